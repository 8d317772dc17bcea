// Request-to-frame latency over a pseudo-terminal with a device that answers
// at once, and the CPU an idle open port costs.
//
// The reader sleeps 20 ms after every write by contract, so a round trip can
// never be faster than that; the counters report the time beyond it.
// Run: serial_benchmarks (about 40 s in all).
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "SerialPorts.h"
#include "SerialReader.h"
#include "support/PtySimulator.h"

using namespace serialkvl;
using namespace serialtest;

namespace {

const Bytes kZtFrame{0x00, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void BM_RequestToFrame(benchmark::State& state) {
  PtySimulator device(FixedResponder(kZtFrame));
  PortMap map;
  map.Link("COM1", device.SlavePath());
  int32_t port = -1;
  if (InitialiserRS232(ProfileZT2("COM1"), port) != 0) {
    state.SkipWithError("cannot open the port");
    return;
  }
  const uint8_t request[] = {0x01};
  uint8_t frame[kFrameBufferSize];
  std::vector<double> latenciesMs;
  // With a gap the request meets an idle reader; back to back it also meets
  // the 20 ms pause that follows each delivered frame.
  const auto gap = std::chrono::milliseconds(state.range(0));
  for (auto _ : state) {
    std::this_thread::sleep_for(gap);
    const auto start = std::chrono::steady_clock::now();
    int32_t length = 0;
    int status = SendWithRetry(port, request, 1);
    if (status == 0) status = ReceiveWithRetry(port, frame, length);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) {
      state.SkipWithError("exchange failed");
      break;
    }
    state.SetIterationTime(seconds);
    latenciesMs.push_back(seconds * 1e3);
  }
  ClosePort(port);
  state.counters["median_ms"] = Percentile(latenciesMs, 0.5);
  state.counters["p99_ms"] = Percentile(latenciesMs, 0.99);
  state.counters["median_beyond_20ms"] = Percentile(latenciesMs, 0.5) - 20.0;
  state.counters["p99_beyond_20ms"] = Percentile(latenciesMs, 0.99) - 20.0;
}
BENCHMARK(BM_RequestToFrame)
    ->ArgName("gap_ms")
    ->Arg(30)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(500);

double ThreadCpuSeconds(pthread_t thread) {
  clockid_t clock;
  if (pthread_getcpuclockid(thread, &clock) != 0) return 0;
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU of the reader thread of one open, idle port over 10 s.
void BM_IdlePortCpu(benchmark::State& state) {
  PtySimulator device;
  PortMap map;
  map.Link("COM1", device.SlavePath());
  int32_t port = -1;
  if (InitialiserRS232(ProfileLOG2A0("COM1"), port) != 0) {
    state.SkipWithError("cannot open the port");
    return;
  }
  pthread_t reader = Slot(port).FThread.native_handle();
  double cpuSeconds = 0;
  for (auto _ : state) {
    const double before = ThreadCpuSeconds(reader);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    cpuSeconds = ThreadCpuSeconds(reader) - before;
    state.SetIterationTime(10.0);
  }
  ClosePort(port);
  state.counters["reader_cpu_ms_per_10s"] = cpuSeconds * 1e3;
  state.counters["reader_cpu_percent"] = cpuSeconds / 10.0 * 100.0;
}
BENCHMARK(BM_IdlePortCpu)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
