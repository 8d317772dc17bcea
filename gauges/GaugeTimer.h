// TGaugeTimer: the widgets' periodic tick source, and TGaugeTimerThread,
// its worker thread.
//
// Two kinds. `ttThread` (the default): a worker thread waits on an
// auto-reset wake-up event for `Interval` milliseconds and, when the wait
// times out, hands the tick to the user-interface thread through the
// application's blocking Synchronize (SyncEvent True) or runs it in the
// worker (SyncEvent False). `ttSystem`: the application's window-message
// timer. Either way OnTimer runs only while `Enabled` is True; a False
// write leaves the source running and the ticks are dropped by FireTimer.
//
// Widgets create a timer with themselves as owner, set Enabled False,
// assign OnTimer, and then switch Enabled / Interval / TimerType. The
// source is allocated by the first UpdateTimer (Loaded, or a write of
// Enabled True, Interval, TimerType or Priority while enabled).
//
// Priority on Linux: the worker's scheduling follows `Priority` as closely
// as an ordinary process can: tpIdle runs the worker under SCHED_IDLE, the
// others set the thread's nice value (tpLowest 10, tpLower 5, tpNormal 0,
// tpHigher -5, tpHighest -10, tpTimeCritical -20). An unprivileged process
// may not lower a nice value below the one it started with; the request
// is then dropped and the worker keeps running at the priority it has, so
// a refused priority never stops ticks. On Windows each name is the
// thread priority of the same name (THREAD_PRIORITY_IDLE ..
// THREAD_PRIORITY_TIME_CRITICAL).
//
// Thread rules: every member is for the user-interface thread, except
// that the worker calls FireTimer (directly only when SyncEvent is False,
// and then OnTimer must do its own synchronisation). Stopping a worker
// (TimerType change, destruction) keeps serving handed-over work while it
// waits, so a worker blocked in a hand-over cannot deadlock the stop. No
// tick is delivered once the application is terminating.
// Errors: UpdateTimer raises EOutOfResources ("No timer resources left.")
// when the platform refuses a window-message timer; the window stays
// allocated. An exception from OnTimer is caught by FireTimer and handed
// to the application's exception reporting; ticking continues.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "Application.h"
#include "GaugeControls.h"
#include "GraphicsBase.h"
#include "SysUtils.h"

enum TGaugeTimerType : uint8_t { ttThread, ttSystem };
enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

const TEnumInfo& GaugeTimerTypeNames();
const TEnumInfo& ThreadPriorityNames();

// The nice value a priority maps to (tpIdle: the nice value kept beside
// SCHED_IDLE, 19).
int ThreadPriorityNice(TThreadPriority priority) noexcept;

// An auto-reset event: Set wakes one wait (or the next one) and resets.
class TAutoResetEvent {
public:
  void Set();
  // Waits up to `ms` milliseconds; true when the event was set (and is now
  // reset again), false on time-out.
  bool WaitFor(uint32_t ms);

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FSignalled = false;
};

class TGaugeTimer;

// The worker of a thread-kind timer: created suspended with an interval of
// 1000 ms. Suspend / Resume count as the platform's do (Resume undoes one
// Suspend; the worker runs while the count is 0). The interval is written
// only while the worker is suspended and read before every wait.
class TGaugeTimerThread {
public:
  explicit TGaugeTimerThread(TGaugeTimer& timer);
  // Terminates, wakes and joins the worker (serving Synchronize calls
  // meanwhile when called on the user-interface thread).
  ~TGaugeTimerThread();
  TGaugeTimerThread(const TGaugeTimerThread&) = delete;
  TGaugeTimerThread& operator=(const TGaugeTimerThread&) = delete;

  uint32_t Interval() const noexcept { return FInterval.load(std::memory_order_acquire); }
  void SetInterval(uint32_t ms) noexcept { FInterval.store(ms, std::memory_order_release); }
  bool Suspended() const;
  void Suspend();
  void Resume();
  void Terminate() noexcept;
  bool Terminated() const noexcept { return FTerminated.load(std::memory_order_acquire); }
  // Applies the priority to the running worker (see the header comment).
  void SetPriority(TThreadPriority priority);
  TAutoResetEvent& WakeUp() noexcept { return FWakeUp; }
  // Ticks the worker has taken (whether or not they reached OnTimer); for
  // tests that need to know the worker is alive.
  uint64_t Wakes() const noexcept { return FWakes.load(std::memory_order_acquire); }

private:
  void Execute();
  // Blocks while suspended; false once terminated.
  bool WaitWhileSuspended();

  TGaugeTimer& FTimer;
  std::atomic<uint32_t> FInterval{1000};
  std::atomic<bool> FTerminated{false};
  std::atomic<uint64_t> FWakes{0};
  std::atomic<bool> FEnded{false};
  std::atomic<int> FPendingPriority{-1};
  TAutoResetEvent FWakeUp;
  mutable std::mutex FSuspendLock;
  std::condition_variable FSuspendChanged;
  int FSuspendCount = 1;
  std::thread FThread;
};

class TGaugeTimer : public TGaugeComponent {
  VELQ_CLASS(TGaugeTimer)
public:
  explicit TGaugeTimer(TComponent* owner);
  // Clears Enabled and OnTimer, then releases the source.
  ~TGaugeTimer() override;

  bool Enabled() const noexcept { return FEnabled.load(std::memory_order_acquire); }
  void SetEnabled(bool value);
  uint32_t Interval() const noexcept { return FInterval; }
  void SetInterval(uint32_t value);
  bool SyncEvent() const noexcept { return FSyncEvent.load(std::memory_order_acquire); }
  void SetSyncEvent(bool value) { FSyncEvent.store(value, std::memory_order_release); }
  TGaugeTimerType TimerType() const noexcept { return FTimerType; }
  void SetTimerType(TGaugeTimerType value);
  TThreadPriority Priority() const noexcept { return FPriority; }
  void SetPriority(TThreadPriority value);
  // A plain store; takes effect at the next UpdateTimer.
  void SetOnTimer(TNotifyEvent handler);
  bool HasOnTimer() const;

  // Whether the message window or the worker currently exists.
  bool Allocated() const noexcept { return FAllocated; }
  // The worker of a thread-kind timer (null otherwise), for tests.
  TGaugeTimerThread* Thread() const noexcept { return FThread.get(); }

  void Loaded() override;
  // Runs OnTimer(this) when enabled and set; its exception goes to the
  // application's reporting.
  virtual void FireTimer();

  void UpdateTimer();
  void ReleaseTimer();
  void AllocateTimer();

private:
  std::atomic<bool> FEnabled{true};
  uint32_t FInterval = 1000;
  mutable std::mutex FHandlerLock;  // OnTimer may be read by a worker with SyncEvent False
  TNotifyEvent FOnTimer;
  TApplication::TTimerId FWindowTimer = 0;  // the message-kind "timer number 1"
  std::atomic<bool> FSyncEvent{true};
  TGaugeTimerType FTimerType = ttThread;
  std::unique_ptr<TGaugeTimerThread> FThread;
  TThreadPriority FPriority = tpNormal;
  bool FAllocated = false;
};
