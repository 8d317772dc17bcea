// Latency from the host's notification to the dashboard's reaction, at a
// steady host frame rate.
//
// BM_NotifyToCallback: from just before the host sends to the watcher
// thread's callback. BM_NotifyToPostedMessage adds the hand-over the skin
// window makes: the callback posts to a queue and a separate thread (the
// user-interface thread's stand-in) wakes up for it.
// Counters: median_us, p99_us and max_us over every notification of the
// run, lost = notifications without a callback.
// Run: channel_benchmarks (about 30 s in all).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DataChannel.h"

namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

std::string Suffix() {
  static int counter = 0;
  return "-bench-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

// Ten seconds of frames at 100 per second, five at 1000.
int NotificationCount(int rate) { return rate <= 100 ? 1000 : 5000; }

// Sends `count` notifications at `rate` per second, each scheduled from the
// start time rather than from the previous send so that the rate does not
// drift; `sent[i]` is taken just before notification i leaves.
void Pace(TDataChannelHost& host, int rate, int count, std::vector<Clock::time_point>& sent) {
  const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
  const auto start = Clock::now() + std::chrono::milliseconds(20);
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_until(start + i * period);
    sent[static_cast<size_t>(i)] = Clock::now();
    host.WriteSlot(1, static_cast<float>(i));
    host.Notify();
  }
}

void Report(benchmark::State& state, const std::vector<Clock::time_point>& sent,
            const std::vector<Clock::time_point>& seen, int seenCount) {
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(seenCount));
  for (int i = 0; i < seenCount; ++i)
    latencies.push_back(std::chrono::duration<double, std::micro>(seen[static_cast<size_t>(i)] -
                                                                  sent[static_cast<size_t>(i)])
                            .count());
  state.counters["median_us"] = Percentile(latencies, 0.5);
  state.counters["p99_us"] = Percentile(latencies, 0.99);
  state.counters["max_us"] = Percentile(latencies, 1.0);
  state.counters["lost"] = static_cast<double>(static_cast<int>(sent.size()) - seenCount);
}

void BM_NotifyToCallback(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const int count = NotificationCount(rate);
  const std::string suffix = Suffix();
  for (auto _ : state) {
    std::vector<Clock::time_point> sent(static_cast<size_t>(count));
    std::vector<Clock::time_point> seen(static_cast<size_t>(count));
    std::atomic<int> seenCount{0};
    TDataChannelHost host(1, std::string(kMapFileName) + suffix, std::string(kDataReadyMessageName) + suffix);
    TDataReadyListener listener(
        [&] {
          const int i = seenCount.load(std::memory_order_relaxed);
          if (i < count) seen[static_cast<size_t>(i)] = Clock::now();
          seenCount.store(i + 1, std::memory_order_release);
        },
        std::string(kDataReadyMessageName) + suffix);
    if (!listener.Listening()) {
      state.SkipWithError("cannot bind the notification");
      return;
    }
    Pace(host, rate, count, sent);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (seenCount.load(std::memory_order_acquire) < count && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    listener.Stop();
    Report(state, sent, seen, std::min(seenCount.load(std::memory_order_acquire), count));
  }
}

void BM_NotifyToPostedMessage(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const int count = NotificationCount(rate);
  const std::string suffix = Suffix();
  for (auto _ : state) {
    std::vector<Clock::time_point> sent(static_cast<size_t>(count));
    std::vector<Clock::time_point> seen(static_cast<size_t>(count));
    std::mutex lock;
    std::condition_variable posted;
    int queued = 0;
    bool done = false;
    int seenCount = 0;
    // The user-interface thread's stand-in: takes one posted message at a
    // time, as the message loop would, and notes when it got it.
    std::thread ui([&] {
      std::unique_lock<std::mutex> guard(lock);
      for (;;) {
        posted.wait(guard, [&] { return queued > 0 || done; });
        if (queued == 0) return;
        --queued;
        if (seenCount < count) seen[static_cast<size_t>(seenCount)] = Clock::now();
        ++seenCount;
      }
    });
    TDataChannelHost host(1, std::string(kMapFileName) + suffix, std::string(kDataReadyMessageName) + suffix);
    TDataReadyListener listener(
        [&] {
          std::lock_guard<std::mutex> guard(lock);
          ++queued;
          posted.notify_one();
        },
        std::string(kDataReadyMessageName) + suffix);
    if (listener.Listening()) Pace(host, rate, count, sent);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    for (;;) {
      {
        std::lock_guard<std::mutex> guard(lock);
        if (seenCount >= count || Clock::now() >= deadline) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    listener.Stop();
    {
      std::lock_guard<std::mutex> guard(lock);
      done = true;
    }
    posted.notify_one();
    ui.join();
    if (!listener.BindErrorText().empty()) {
      state.SkipWithError("cannot bind the notification");
      return;
    }
    Report(state, sent, seen, std::min(seenCount, count));
  }
}

BENCHMARK(BM_NotifyToCallback)->Arg(100)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NotifyToPostedMessage)->Arg(100)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
