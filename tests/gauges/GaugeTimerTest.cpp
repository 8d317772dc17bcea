// The widget timer: both tick sources, the write rules, handler errors,
// priorities, and stopping a worker that is blocked handing a tick over.
// The message kind runs on the headless backend's manual clock; the thread
// kind runs on real time with short intervals, waiting for events with a
// generous deadline (never asserting durations).
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "GaugeTimer.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

using namespace std::chrono_literals;

class GaugeTimerTest : public ::testing::Test {
protected:
  void SetUp() override {
    System.SetEchoMessageBoxes(false);
    App = std::make_unique<TApplication>(System);
    App->SetTitle("SkinVELQ");
  }
  void TearDown() override { App.reset(); }

  // A timer as the widgets make one: disabled, with a handler.
  TGaugeTimer* MakeTimer(TGaugeTimerType type, uint32_t interval) {
    auto* timer = new TGaugeTimer(App.get());
    timer->SetEnabled(false);
    timer->SetTimerType(type);
    timer->SetInterval(interval);
    timer->SetOnTimer([this](TObject* sender) {
      EXPECT_TRUE(App->IsUIThread());
      LastSender = sender;
      ++Ticks;
    });
    return timer;
  }

  // Runs the loop until `done` holds; false after 10 s without it.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      App->RunSynchronizedUntil([] { return true; });
      App->ProcessMessages();
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  // Runs the loop for a while (for checks that something does NOT happen).
  void PumpFor(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
      App->ProcessMessages();
      std::this_thread::sleep_for(1ms);
    }
  }

  THeadlessWindowSystem System;
  std::unique_ptr<TApplication> App;
  int Ticks = 0;
  TObject* LastSender = nullptr;
};

TEST_F(GaugeTimerTest, DefaultsAndPublishedOrder) {
  TGaugeTimer timer(nullptr);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_TRUE(timer.SyncEvent());
  EXPECT_EQ(timer.TimerType(), ttThread);
  EXPECT_EQ(timer.Priority(), tpNormal);
  EXPECT_FALSE(timer.Allocated());
  std::vector<std::string> own;
  for (const TPropInfo& p : TGaugeTimer::StaticClass().Props) own.push_back(p.Name);
  EXPECT_EQ(own, (std::vector<std::string>{"Enabled", "Interval", "SyncEvent", "TimerType", "Priority", "OnTimer"}));
}

TEST_F(GaugeTimerTest, MessageKindTicksOnTheLoopAndFollowsEnabledAndInterval) {
  TGaugeTimer* timer = MakeTimer(ttSystem, 100);
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Allocated());
  System.AdvanceClock(100);
  App->ProcessMessages();
  EXPECT_EQ(Ticks, 1);
  EXPECT_EQ(LastSender, timer);

  // False drops ticks at once; True restarts counting from now.
  timer->SetEnabled(false);
  System.AdvanceClock(500);
  App->ProcessMessages();
  EXPECT_EQ(Ticks, 1);
  timer->SetEnabled(true);
  System.AdvanceClock(99);
  App->ProcessMessages();
  EXPECT_EQ(Ticks, 1);
  System.AdvanceClock(1);
  App->ProcessMessages();
  EXPECT_EQ(Ticks, 2);

  // Interval 0 stops ticking.
  timer->SetInterval(0);
  System.AdvanceClock(10000);
  App->ProcessMessages();
  EXPECT_EQ(Ticks, 2);
}

TEST_F(GaugeTimerTest, AHandlerThatAlwaysRaisesKeepsTicking) {
  for (const TGaugeTimerType type : {ttSystem, ttThread}) {
    const size_t boxes = System.MessageBoxes().size();
    auto* timer = new TGaugeTimer(App.get());
    timer->SetEnabled(false);
    timer->SetTimerType(type);
    timer->SetInterval(type == ttSystem ? 100 : 2);
    int calls = 0;
    timer->SetOnTimer([&](TObject*) {
      ++calls;
      throw std::runtime_error("Gauge failed");
    });
    timer->SetEnabled(true);
    if (type == ttSystem) {
      for (int i = 0; i < 3; ++i) {
        System.AdvanceClock(100);
        App->ProcessMessages();
      }
    } else {
      ASSERT_TRUE(PumpUntil([&] { return calls >= 3; }));
    }
    delete timer;
    EXPECT_GE(calls, 3) << type;
    ASSERT_GE(System.MessageBoxes().size(), boxes + 3) << type;
    EXPECT_EQ(System.MessageBoxes()[boxes].Text, "Gauge failed.");
    EXPECT_EQ(System.MessageBoxes()[boxes].Caption, "SkinVELQ");
  }
}

TEST_F(GaugeTimerTest, ThreadKindHandsTicksToTheUserInterfaceThread) {
  TGaugeTimer* timer = MakeTimer(ttThread, 2);
  timer->SetEnabled(true);
  ASSERT_NE(timer->Thread(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return Ticks >= 3; }));
  EXPECT_EQ(LastSender, timer);

  // Disabled: the worker keeps waking, the ticks are dropped.
  timer->SetEnabled(false);
  const int ticks = Ticks;
  const uint64_t wakes = timer->Thread()->Wakes();
  ASSERT_TRUE(PumpUntil([&] { return timer->Thread()->Wakes() >= wakes + 3; }));
  EXPECT_EQ(Ticks, ticks);
  // Enabled again: ticks arrive again.
  timer->SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return Ticks >= ticks + 2; }));
}

TEST_F(GaugeTimerTest, IntervalZeroOrNoHandlerKeepsTheWorkerSuspended) {
  TGaugeTimer* timer = MakeTimer(ttThread, 0);
  timer->SetEnabled(true);
  ASSERT_NE(timer->Thread(), nullptr);
  EXPECT_TRUE(timer->Thread()->Suspended());
  PumpFor(30ms);
  EXPECT_EQ(timer->Thread()->Wakes(), 0u);
  EXPECT_EQ(Ticks, 0);

  auto* silent = new TGaugeTimer(App.get());
  silent->SetInterval(2);
  silent->UpdateTimer();
  ASSERT_NE(silent->Thread(), nullptr);
  EXPECT_TRUE(silent->Thread()->Suspended());
}

TEST_F(GaugeTimerTest, AKindChangeStopsTheOldSourceBeforeTheWriteReturns) {
  TGaugeTimer* timer = MakeTimer(ttThread, 2);
  timer->SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return Ticks >= 1; }));
  timer->SetTimerType(ttSystem);
  EXPECT_EQ(timer->Thread(), nullptr);  // the worker has been joined
  EXPECT_TRUE(timer->Allocated());
  const int ticks = Ticks;
  PumpFor(20ms);  // real time passes; the manual clock does not
  EXPECT_EQ(Ticks, ticks);
  System.AdvanceClock(2);
  App->ProcessMessages();
  EXPECT_EQ(Ticks, ticks + 1);

  // And back: the window timer is gone, the worker ticks.
  timer->SetTimerType(ttThread);
  System.AdvanceClock(1000);
  App->ProcessMessages();
  EXPECT_EQ(Ticks, ticks + 1);
  ASSERT_NE(timer->Thread(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return Ticks >= ticks + 2; }));
}

// The worker has taken a tick and is blocked in the hand-over, because the
// user-interface thread is not running the loop.
bool WaitUntilBlockedInHandOver(TGaugeTimer& timer) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (timer.Thread()->Wakes() == 0)
    if (std::chrono::steady_clock::now() > deadline) return false;
    else std::this_thread::sleep_for(1ms);
  return true;
}

TEST_F(GaugeTimerTest, DestroyingOrSwitchingATimerWhoseWorkerIsBlockedInAHandOverCompletes) {
  for (const bool destroy : {true, false}) {
    Ticks = 0;
    TGaugeTimer* timer = MakeTimer(ttThread, 1);
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitUntilBlockedInHandOver(*timer));
    if (destroy) {
      delete timer;  // would hang if the stop did not serve the hand-over
    } else {
      timer->SetTimerType(ttSystem);
      EXPECT_EQ(timer->Thread(), nullptr);
      delete timer;
    }
    // Served while stopping, the hand-over ran a tick or dropped it; either
    // way nothing is left for the loop.
    const int ticks = Ticks;
    App->ProcessMessages();
    EXPECT_EQ(Ticks, ticks);
    EXPECT_LE(Ticks, 1);
  }
}

TEST_F(GaugeTimerTest, NoTickOnceTheApplicationIsTerminating) {
  TGaugeTimer* timer = MakeTimer(ttThread, 1);
  timer->SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return Ticks >= 1; }));
  App->Terminate();
  // Not even a hand-over that was already on its way delivers its tick.
  const int ticks = Ticks;
  PumpFor(50ms);
  EXPECT_EQ(Ticks, ticks);
  delete timer;
}

TEST_F(GaugeTimerTest, PriorityReachesTheWorkerThread) {
  struct Case {
    TThreadPriority Priority;
    int Policy;
    int Nice;
  };
  // Lowering a priority is always allowed, so these hold for any user.
  const Case cases[] = {{tpLowest, SCHED_OTHER, 10}, {tpLower, SCHED_OTHER, 5}, {tpIdle, SCHED_IDLE, 19}};
  for (const Case& c : cases) {
    auto* timer = new TGaugeTimer(App.get());
    timer->SetEnabled(false);
    timer->SetSyncEvent(false);  // the handler runs in the worker itself
    timer->SetInterval(2);
    std::atomic<int> policy{-1}, nice{-100};
    std::atomic<bool> seen{false};
    timer->SetOnTimer([&](TObject*) {
      if (seen.load()) return;
      const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
      policy = sched_getscheduler(tid);
      errno = 0;
      nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
      seen = true;
    });
    timer->SetPriority(c.Priority);  // stored; applied when the worker runs
    timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return seen.load(); })) << c.Priority;
    delete timer;
    EXPECT_EQ(policy.load(), c.Policy) << c.Priority;
    EXPECT_EQ(nice.load(), c.Nice) << c.Priority;
  }
}

TEST_F(GaugeTimerTest, ARefusedWindowTimerRaisesNoTimerResourcesLeft) {
  for (size_t i = 0; i < TApplication::kMaxTimers; ++i) ASSERT_NE(App->SetTimer(1000, [] {}), 0);
  TGaugeTimer* timer = MakeTimer(ttSystem, 100);
  try {
    timer->SetEnabled(true);
    FAIL() << "no error";
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(e.Message(), "No timer resources left.");
  }
  EXPECT_TRUE(timer->Allocated());
}

TEST(GaugeTimerPriority, NiceValuesFollowThePriorityOrder) {
  int previous = 20;
  for (int p = tpIdle; p <= tpTimeCritical; ++p) {
    const int nice = ThreadPriorityNice(static_cast<TThreadPriority>(p));
    EXPECT_LT(nice, previous) << p;
    EXPECT_GE(nice, -20);
    EXPECT_LE(nice, 19);
    previous = nice;
  }
  EXPECT_EQ(ThreadPriorityNice(tpNormal), 0);
}

}  // namespace
