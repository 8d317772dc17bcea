#include "Application.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "Forms.h"

TApplication* Application = nullptr;

const TClassInfo& TApplication::StaticClass() {
  static const TClassInfo info = TClassBuilder<TApplication>("TApplication", &TComponent::StaticClass()).Build();
  return info;
}

TApplication::TApplication(IWindowSystem& windowSystem)
    : TComponent(nullptr), FWindowSystem(windowSystem), FUIThread(std::this_thread::get_id()) {
  Application = this;
}

TApplication::~TApplication() {
  {
    std::lock_guard guard(FLock);
    FLoopEnded = true;
  }
  FSyncChanged.notify_all();
  // Forms owned by the application go with it (TComponent destroys them);
  // forms owned elsewhere just stop being tracked.
  DestroyComponents();
  if (Application == this) Application = nullptr;
}

void TApplication::Run() {
  // The loop shows the main form first (its OnShow runs here), as the
  // classic framework does, even when termination is already requested.
  if (FMainForm && !FMainForm->Visible()) Guard([this] { FMainForm->Show(); });
  while (!Terminated()) HandleMessage();
  {
    std::lock_guard guard(FLock);
    FLoopEnded = true;
  }
  // Workers blocked in Synchronize give up rather than wait for a loop that
  // will never run again.
  FSyncChanged.notify_all();
}

void TApplication::Terminate() noexcept {
  FTerminated.store(true, std::memory_order_release);
  FWindowSystem.Wake();
}

void TApplication::ProcessMessages() {
  if (!FWindowSystem.Wait(0)) Terminate();
  RunPosted();
  FireDueTimers();
  PaintForms();
}

void TApplication::HandleMessage() {
  int timeout = TimeUntilNextTimer();
  {
    std::lock_guard guard(FLock);
    if (!FPosted.empty() || !FSyncJobs.empty()) timeout = 0;
  }
  if (!FWindowSystem.Wait(timeout)) Terminate();
  RunPosted();
  FireDueTimers();
  PaintForms();
}

void TApplication::Guard(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& e) {
    HandleException(e);
  }
}

void TApplication::Post(std::function<void()> work) {
  {
    std::lock_guard guard(FLock);
    FPosted.push_back(TPosted{std::move(work), nullptr, {}});
  }
  FWindowSystem.Wake();
}

void TApplication::PostMessage(TForm* form, const TMessage& message) {
  {
    std::lock_guard guard(FLock);
    FPosted.push_back(TPosted{{}, form, message});
  }
  FWindowSystem.Wake();
}

void TApplication::RunPosted() {
  // A handler that pumps the loop itself runs a nested batch, which needs
  // storage of its own.
  std::optional<std::deque<TPosted>> nested;
  if (FRunPostedDepth > 0) nested.emplace();
  std::deque<TPosted>& batch = nested ? *nested : FRunning;
  {
    std::lock_guard guard(FLock);
    batch.swap(FPosted);
  }
  ++FRunPostedDepth;
  for (TPosted& posted : batch) {
    if (posted.Work) {
      Guard(posted.Work);
    } else if (IsLiveForm(posted.Form)) {
      TForm* form = posted.Form;
      TMessage& message = posted.Message;
      Guard([form, &message] { form->Dispatch(message); });
    }
  }
  --FRunPostedDepth;
  batch.clear();
  RunSyncJobs();
}

void TApplication::RunSyncJobs() {
  for (;;) {
    std::shared_ptr<TSyncJob> job;
    {
      std::lock_guard guard(FLock);
      if (FSyncJobs.empty()) return;
      job = FSyncJobs.front();
      FSyncJobs.pop_front();
    }
    Guard(job->Work);
    {
      std::lock_guard guard(FLock);
      job->Done = true;
    }
    FSyncChanged.notify_all();
  }
}

bool TApplication::Synchronize(std::function<void()> work) {
  if (IsUIThread()) {
    Guard(work);
    return true;
  }
  auto job = std::make_shared<TSyncJob>();
  job->Work = std::move(work);
  std::unique_lock lock(FLock);
  if (FLoopEnded) return false;
  FSyncJobs.push_back(job);
  lock.unlock();
  FSyncChanged.notify_all();  // a user-interface thread waiting for workers
  FWindowSystem.Wake();       // a user-interface thread waiting for events
  lock.lock();
  FSyncChanged.wait(lock, [&] { return job->Done || FLoopEnded; });
  if (!job->Done) {
    // Not run: take it back so the loop never runs it after we returned.
    auto it = std::find(FSyncJobs.begin(), FSyncJobs.end(), job);
    if (it != FSyncJobs.end()) FSyncJobs.erase(it);
  }
  return job->Done;
}

void TApplication::RunSynchronizedUntil(const std::function<bool()>& done) {
  while (!done()) {
    RunSyncJobs();
    std::unique_lock lock(FLock);
    FSyncChanged.wait_for(lock, std::chrono::milliseconds(5), [&] { return !FSyncJobs.empty(); });
  }
}

std::string TApplication::ExceptionBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
    return message + ".";
  return message;
}

void TApplication::HandleException(const std::exception& e) { ShowException(e.what()); }

void TApplication::ShowException(const std::string& message) {
  FWindowSystem.MessageBox(FTitle, ExceptionBoxText(message), true);
}

void TApplication::ShowMessage(const std::string& text) { FWindowSystem.MessageBox(FTitle, text, false); }

TApplication::TTimerId TApplication::SetTimer(int intervalMs, std::function<void()> tick) {
  if (FTimers.size() >= kMaxTimers) return 0;
  const TTimerId id = FNextTimerId++;
  TTimer timer;
  timer.Interval = std::max(intervalMs, 1);
  timer.Due = NowMs() + timer.Interval;
  timer.Tick = std::move(tick);
  FTimers.emplace(id, std::move(timer));
  return id;
}

void TApplication::KillTimer(TTimerId id) { FTimers.erase(id); }

int TApplication::TimeUntilNextTimer() const {
  if (FTimers.empty()) return -1;
  int64_t due = INT64_MAX;
  for (const auto& [id, timer] : FTimers) due = std::min(due, timer.Due);
  const int64_t wait = due - NowMs();
  return wait <= 0 ? 0 : static_cast<int>(std::min<int64_t>(wait, INT32_MAX));
}

void TApplication::FireDueTimers() {
  const int64_t now = NowMs();
  std::vector<TTimerId> due;
  for (const auto& [id, timer] : FTimers)
    if (timer.Due <= now) due.push_back(id);
  for (TTimerId id : due) {
    auto it = FTimers.find(id);
    if (it == FTimers.end()) continue;  // killed by an earlier tick
    // The next tick is planned from the intended time, not from now, so the
    // period does not drift; a loop that fell behind skips to the future
    // instead of firing a burst.
    it->second.Due += it->second.Interval;
    if (it->second.Due <= now) it->second.Due = now + it->second.Interval;
    auto tick = it->second.Tick;  // the handler may kill or replace its timer
    Guard(tick);
  }
}

void TApplication::PaintForms() {
  // A copy, since painting may open or close forms; its storage is kept.
  // (A paint that pumps the loop would reach here nested: it paints from a
  // copy of its own.)
  std::vector<TForm*> nested;
  std::vector<TForm*>& forms = FPainting.empty() ? FPainting : nested;
  forms.assign(FForms.begin(), FForms.end());
  for (TForm* form : forms)
    if (IsLiveForm(form)) Guard([form] { form->PaintAndPresent(); });
  forms.clear();
}

void TApplication::AddForm(TForm* form) {
  FForms.push_back(form);
  if (!FMainForm) FMainForm = form;
}

void TApplication::RemoveForm(TForm* form) {
  FForms.erase(std::remove(FForms.begin(), FForms.end(), form), FForms.end());
  if (FMainForm == form) FMainForm = nullptr;
}

bool TApplication::IsLiveForm(const TForm* form) const noexcept {
  return std::find(FForms.begin(), FForms.end(), form) != FForms.end();
}

bool TApplication::IsFormNameInUse(std::string_view name, const TForm* except) const {
  for (const TForm* form : FForms)
    if (form != except && SameText(form->Name(), name)) return true;
  return false;
}
