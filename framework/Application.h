// TApplication: the user-interface thread's message loop, posted work,
// Synchronize, window-message timers, the forms of the process, and the
// exception reporting.
//
// Thread rules: everything runs on the thread that created the application
// (the user-interface thread), except Post, PostMessage, Synchronize and
// Terminated, which any thread may call.
// Errors: exceptions that escape handlers run on the loop (posted work,
// timers, window events, Synchronize calls) go to HandleException, which
// shows a modal error box captioned with the title; the loop carries on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Classes.h"
#include "Messages.h"
#include "backend/WindowSystem.h"

class TForm;

class TApplication : public TComponent {
  VELQ_CLASS(TApplication)
public:
  // The application becomes the process's `Application` until destroyed.
  explicit TApplication(IWindowSystem& windowSystem);
  ~TApplication() override;

  IWindowSystem& WindowSystem() const noexcept { return FWindowSystem; }
  const std::string& Title() const noexcept { return FTitle; }
  void SetTitle(const std::string& title) { FTitle = title; }

  // The first form created becomes the main form; closing it ends the loop.
  TForm* MainForm() const noexcept { return FMainForm; }

  // Shows the main form, runs the loop until Terminate, then releases
  // waiting Synchronize callers.
  void Run();
  void Terminate() noexcept;
  bool Terminated() const noexcept { return FTerminated.load(std::memory_order_acquire); }
  // Handles everything pending without waiting.
  void ProcessMessages();
  // One pass of the loop: waits for something to happen (up to the next
  // timer), then handles platform events, posted work and timers, then
  // paints and presents the forms.
  void HandleMessage();

  // Runs `work` later on the user-interface thread.
  void Post(std::function<void()> work);
  // Delivers `message` to `form` later, on the user-interface thread; a form
  // destroyed in between never sees it.
  void PostMessage(TForm* form, const TMessage& message);
  // Runs `work` on the user-interface thread and waits until it has run.
  // Returns false without running it once the loop has ended. On the
  // user-interface thread it runs at once.
  bool Synchronize(std::function<void()> work);
  // On the user-interface thread: waits until `done` is true, running
  // Synchronize calls meanwhile (so a worker that hands work over while the
  // user-interface thread waits for it to end cannot deadlock).
  void RunSynchronizedUntil(const std::function<bool()>& done);

  // Exception reporting: modal error box, caption = Title, text = message
  // with "." appended when its last character sorts after ".".
  void HandleException(const std::exception& e);
  void ShowException(const std::string& message);
  static std::string ExceptionBoxText(const std::string& message);
  // A plain information box captioned with the title.
  void ShowMessage(const std::string& text);

  // Window-message timers: `tick` runs on the loop every `intervalMs`
  // (ticks that fall due while the loop is busy coalesce into one). Like
  // any window system's, the timer table is finite: SetTimer refuses with
  // 0 once kMaxTimers are running, so a runaway caller fails visibly
  // instead of slowing every loop pass.
  using TTimerId = int;
  static constexpr size_t kMaxTimers = 10000;
  TTimerId SetTimer(int intervalMs, std::function<void()> tick);
  void KillTimer(TTimerId id);
  int64_t NowMs() const { return FWindowSystem.NowMs(); }

  // Forms register themselves here.
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);
  const std::vector<TForm*>& Forms() const noexcept { return FForms; }
  bool IsLiveForm(const TForm* form) const noexcept;
  // True when another live form already has this name (ASCII case ignored).
  bool IsFormNameInUse(std::string_view name, const TForm* except = nullptr) const;

  bool IsUIThread() const noexcept { return std::this_thread::get_id() == FUIThread; }

private:
  struct TSyncJob {
    std::function<void()> Work;
    bool Done = false;
  };
  // A posted piece of work, or (Work empty) a message for a form: messages,
  // one per host notification, are queued without allocating.
  struct TPosted {
    std::function<void()> Work;
    TForm* Form = nullptr;
    TMessage Message;
  };
  struct TTimer {
    int Interval = 0;
    int64_t Due = 0;
    std::function<void()> Tick;
  };

  int TimeUntilNextTimer() const;
  void RunPosted();
  void RunSyncJobs();
  void FireDueTimers();
  void PaintForms();
  void Guard(const std::function<void()>& work);

  IWindowSystem& FWindowSystem;
  std::string FTitle;
  TForm* FMainForm = nullptr;
  std::vector<TForm*> FForms;
  std::atomic<bool> FTerminated{false};
  std::thread::id FUIThread;

  std::mutex FLock;  // guards the two queues and FLoopEnded
  std::condition_variable FSyncChanged;
  std::deque<TPosted> FPosted;
  // The batch being run, kept so that its storage is reused (a deque
  // allocates even when empty), and how deep RunPosted is nested.
  std::deque<TPosted> FRunning;
  int FRunPostedDepth = 0;
  std::vector<TForm*> FPainting;  // the forms being painted, storage kept
  std::deque<std::shared_ptr<TSyncJob>> FSyncJobs;
  bool FLoopEnded = false;

  std::map<TTimerId, TTimer> FTimers;
  TTimerId FNextTimerId = 1;
};

// The process's application object (null when there is none).
extern TApplication* Application;
