#include "GaugeTimer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <chrono>

const TEnumInfo& GaugeTimerTypeNames() {
  static const TEnumInfo names{"TGaugeTimerType", {"ttThread", "ttSystem"}};
  return names;
}

const TEnumInfo& ThreadPriorityNames() {
  static const TEnumInfo names{
      "TThreadPriority", {"tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical"}};
  return names;
}

int ThreadPriorityNice(TThreadPriority priority) noexcept {
  static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};
  return priority <= tpTimeCritical ? kNice[priority] : 0;
}

// ---- TAutoResetEvent ----------------------------------------------------------------------

void TAutoResetEvent::Set() {
  {
    std::lock_guard guard(FLock);
    FSignalled = true;
  }
  FChanged.notify_one();
}

bool TAutoResetEvent::WaitFor(uint32_t ms) {
  std::unique_lock lock(FLock);
  const bool signalled = FChanged.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FSignalled; });
  FSignalled = false;
  return signalled;
}

// ---- TGaugeTimerThread --------------------------------------------------------------------

namespace {

#ifdef _WIN32
// Applies a priority to the calling thread: the seven names are the
// system's seven relative thread priorities, in the same order. A refusal
// is ignored: the worker keeps ticking at the priority it already has.
void ApplyPriorityToCallingThread(TThreadPriority priority) {
  static constexpr int kWindowsPriority[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                             THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                             THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                             THREAD_PRIORITY_TIME_CRITICAL};
  const int value = priority <= tpTimeCritical ? kWindowsPriority[priority] : THREAD_PRIORITY_NORMAL;
  (void)::SetThreadPriority(::GetCurrentThread(), value);
}
#else
// Applies a priority to the calling thread. Refusals (an unprivileged
// process asking for a lower nice value than it has, or to leave
// SCHED_IDLE beyond its RLIMIT_NICE) are ignored: the worker keeps ticking
// at the priority it already has.
void ApplyPriorityToCallingThread(TThreadPriority priority) {
  const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  sched_param param{};
  param.sched_priority = 0;
  if (priority == tpIdle) {
    (void)sched_setscheduler(tid, SCHED_IDLE, &param);
  } else if (sched_getscheduler(tid) == SCHED_IDLE) {
    (void)sched_setscheduler(tid, SCHED_OTHER, &param);
  }
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), ThreadPriorityNice(priority));
}
#endif

}  // namespace

TGaugeTimerThread::TGaugeTimerThread(TGaugeTimer& timer) : FTimer(timer) {
  FThread = std::thread([this] { Execute(); });
}

TGaugeTimerThread::~TGaugeTimerThread() {
  Terminate();
  {
    std::lock_guard guard(FSuspendLock);
    FSuspendCount = 0;
  }
  FSuspendChanged.notify_all();
  FWakeUp.Set();
  // The worker may be blocked handing a tick to this very thread: keep
  // running handed-over work until it has ended.
  if (Application && Application->IsUIThread())
    Application->RunSynchronizedUntil([this] { return FEnded.load(std::memory_order_acquire); });
  if (FThread.joinable()) FThread.join();
}

bool TGaugeTimerThread::Suspended() const {
  std::lock_guard guard(FSuspendLock);
  return FSuspendCount > 0;
}

void TGaugeTimerThread::Suspend() {
  std::lock_guard guard(FSuspendLock);
  ++FSuspendCount;
}

void TGaugeTimerThread::Resume() {
  {
    std::lock_guard guard(FSuspendLock);
    if (FSuspendCount > 0) --FSuspendCount;
    if (FSuspendCount > 0) return;
  }
  FSuspendChanged.notify_all();
}

void TGaugeTimerThread::Terminate() noexcept { FTerminated.store(true, std::memory_order_release); }

void TGaugeTimerThread::SetPriority(TThreadPriority priority) {
  FPendingPriority.store(static_cast<int>(priority), std::memory_order_release);
}

bool TGaugeTimerThread::WaitWhileSuspended() {
  std::unique_lock lock(FSuspendLock);
  FSuspendChanged.wait(lock, [this] { return FSuspendCount == 0 || Terminated(); });
  return !Terminated();
}

void TGaugeTimerThread::Execute() {
  while (WaitWhileSuspended()) {
    const int priority = FPendingPriority.exchange(-1, std::memory_order_acq_rel);
    if (priority >= 0) ApplyPriorityToCallingThread(static_cast<TThreadPriority>(priority));

    // A signalled event is a request to re-check (termination, a new
    // interval), never a tick.
    if (FWakeUp.WaitFor(Interval())) continue;
    if (Terminated()) break;
    // A suspension that arrived during the wait holds the tick back, as a
    // frozen thread would.
    if (Suspended()) continue;
    if (!Application || Application->Terminated()) continue;
    FWakes.fetch_add(1, std::memory_order_acq_rel);
    // Checked again where the tick runs: a hand-over queued just before
    // the application began shutting down must not deliver it either.
    if (FTimer.SyncEvent())
      Application->Synchronize([this] {
        if (!Application->Terminated()) FTimer.FireTimer();
      });
    else if (!Application->Terminated())
      FTimer.FireTimer();
  }
  FEnded.store(true, std::memory_order_release);
}

// ---- TGaugeTimer --------------------------------------------------------------------------

const TClassInfo& TGaugeTimer::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeTimer>("TGaugeTimer", &TGaugeComponent::StaticClass())
          .Boolean("Enabled", &TGaugeTimer::Enabled, &TGaugeTimer::SetEnabled)
          .Integer("Interval", &TGaugeTimer::Interval, &TGaugeTimer::SetInterval)
          .Boolean("SyncEvent", &TGaugeTimer::SyncEvent, &TGaugeTimer::SetSyncEvent)
          .Enum("TimerType", GaugeTimerTypeNames(), &TGaugeTimer::TimerType, &TGaugeTimer::SetTimerType)
          .Enum("Priority", ThreadPriorityNames(), &TGaugeTimer::Priority, &TGaugeTimer::SetPriority)
          .Event("OnTimer", "TNotifyEvent", &TGaugeTimer::SetOnTimer)
          .Build();
  return info;
}

TGaugeTimer::TGaugeTimer(TComponent* owner) : TGaugeComponent(owner) {}

TGaugeTimer::~TGaugeTimer() {
  FEnabled.store(false, std::memory_order_release);
  {
    std::lock_guard guard(FHandlerLock);
    FOnTimer = nullptr;
  }
  ReleaseTimer();
}

void TGaugeTimer::SetEnabled(bool value) {
  if (value == Enabled()) return;
  FEnabled.store(value, std::memory_order_release);
  if (value) UpdateTimer();
}

void TGaugeTimer::SetInterval(uint32_t value) {
  if (value == FInterval) return;
  FInterval = value;
  if (Enabled()) UpdateTimer();
}

void TGaugeTimer::SetTimerType(TGaugeTimerType value) {
  if (value == FTimerType) return;
  ReleaseTimer();
  FTimerType = value;
  if (Enabled()) UpdateTimer();
}

void TGaugeTimer::SetPriority(TThreadPriority value) {
  if (value == FPriority) return;
  FPriority = value;
  if (FTimerType == ttThread && Enabled()) UpdateTimer();
}

void TGaugeTimer::SetOnTimer(TNotifyEvent handler) {
  std::lock_guard guard(FHandlerLock);
  FOnTimer = std::move(handler);
}

bool TGaugeTimer::HasOnTimer() const {
  std::lock_guard guard(FHandlerLock);
  return static_cast<bool>(FOnTimer);
}

void TGaugeTimer::Loaded() {
  TGaugeComponent::Loaded();
  UpdateTimer();
}

void TGaugeTimer::AllocateTimer() {
  if (FTimerType == ttThread) FThread = std::make_unique<TGaugeTimerThread>(*this);
  FAllocated = true;
}

void TGaugeTimer::ReleaseTimer() {
  if (!FAllocated) return;
  if (FTimerType == ttSystem) {
    if (FWindowTimer && Application) Application->KillTimer(FWindowTimer);
    FWindowTimer = 0;
  } else {
    // Destroying the worker wakes it, lets it end and waits for it.
    FThread.reset();
  }
  FAllocated = false;
}

void TGaugeTimer::UpdateTimer() {
  if (ComponentState().Contains(csDesigning)) return;
  if (!FAllocated) AllocateTimer();
  const bool ticking = FInterval != 0 && Enabled() && HasOnTimer();
  if (FTimerType == ttSystem) {
    if (FWindowTimer && Application) Application->KillTimer(FWindowTimer);
    FWindowTimer = 0;
    if (!ticking) return;
    // The loop's timers take a signed interval; longer ones are clamped to
    // about 24.8 days, which no widget comes near.
    const int interval = FInterval > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(FInterval);
    if (Application) FWindowTimer = Application->SetTimer(interval, [this] { FireTimer(); });
    if (!FWindowTimer) throw EOutOfResources("No timer resources left.");
    return;
  }
  if (!FThread->Suspended()) FThread->Suspend();
  FThread->SetInterval(FInterval);
  if (!ticking) return;
  FThread->SetPriority(FPriority);
  while (FThread->Suspended()) FThread->Resume();
  // Counting restarts from now, with the new interval: the wake-up ends a
  // wait begun with the old one and yields no tick.
  FThread->WakeUp().Set();
}

void TGaugeTimer::FireTimer() {
  if (!Enabled()) return;
  TNotifyEvent handler;
  {
    std::lock_guard guard(FHandlerLock);
    handler = FOnTimer;
  }
  if (!handler) return;
  try {
    handler(this);
  } catch (const std::exception& e) {
    if (!Application) return;
    if (Application->IsUIThread()) {
      Application->HandleException(e);
    } else {
      // A worker without SyncEvent: the report is shown by the
      // user-interface thread, which owns the message boxes.
      Application->Post([message = std::string(e.what())] {
        if (Application) Application->ShowException(message);
      });
    }
  }
}
