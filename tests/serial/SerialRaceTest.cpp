// Host threads that race on the port table: opens and closes at once, calls
// on ports being opened or closed, and a random mix of everything, over real
// pseudo-terminals. ThreadSanitizer runs these too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <latch>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "SerialEnum.h"
#include "SerialPorts.h"
#include "SerialReader.h"
#include "os/SerialDevice.h"
#include "support/PtySimulator.h"

using namespace serialkvl;
using namespace serialtest;
using Clock = std::chrono::steady_clock;

namespace {

const Bytes kLogFrame{0x5A, 0xA5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const Bytes kZtFrame{0x00, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One request and its reply on a port: the frame, or nothing when either
// failed.
Bytes Exchange(int32_t port) {
  const uint8_t request[] = {0x01};
  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;
  if (SendWithRetry(port, request, 1) != 0 || ReceiveWithRetry(port, frame, length) != 0) return {};
  return Bytes(frame, frame + length);
}

// Four answering devices behind COM1..COM4; COM9 names nothing.
class RaceTest : public ::testing::Test {
 protected:
  RaceTest() {
    FDevices.push_back(std::make_unique<PtySimulator>(KVLv2Responder()));
    FDevices.push_back(std::make_unique<PtySimulator>(FixedResponder(kLogFrame)));
    FDevices.push_back(std::make_unique<PtySimulator>(FixedResponder(kZtFrame)));
    FDevices.push_back(std::make_unique<PtySimulator>(FixedResponder(kLogFrame)));
    for (size_t i = 0; i < FDevices.size(); ++i) FMap.Link("COM" + std::to_string(i + 1), FDevices[i]->SlavePath());
  }
  void TearDown() override {
    for (int32_t port = 0; port < kPortCount; ++port) ClosePort(port);
  }
  static LineProfile ProfileOf(int device) {
    switch (device) {
      case 0: return ProfileKVLv2("COM1");
      case 1: return ProfileLOG2A0("COM2");
      case 2: return ProfileZT2("COM3");
      case 3: return ProfileLOG2A0("COM4");
      default: return ProfileZT2("COM9");
    }
  }

  PortMap FMap;
  std::vector<std::unique_ptr<PtySimulator>> FDevices;
};

// Two threads opening two ports at the same moment get two slots, and both
// ports are really theirs: each exchanges a frame with its own device.
TEST_F(RaceTest, SimultaneousOpensGetTheirOwnSlots) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    std::latch start(2);
    auto open = [&](int device) {
      start.arrive_and_wait();
      int32_t port = -1;
      const int status = InitialiserRS232(ProfileOf(device), port);
      return std::make_pair(status, port);
    };
    auto first = std::async(std::launch::async, open, 1);
    auto second = std::async(std::launch::async, open, 2);
    const auto [firstStatus, firstPort] = first.get();
    const auto [secondStatus, secondPort] = second.get();
    ASSERT_EQ(firstStatus, 0);
    ASSERT_EQ(secondStatus, 0);
    ASSERT_NE(firstPort, secondPort);
    EXPECT_EQ(SlotPortName(firstPort), "COM2");
    EXPECT_EQ(SlotPortName(secondPort), "COM3");
    if (round % 5 == 0) {
      EXPECT_EQ(Exchange(firstPort), kLogFrame);
      EXPECT_EQ(Exchange(secondPort), kZtFrame);
    }
    EXPECT_EQ(ClosePort(firstPort), 1);
    EXPECT_EQ(ClosePort(secondPort), 1);
  }
}

// Two opens of one device at once: one gets it, the other is refused as a
// port in use, and no slot is left claimed by the refusal.
TEST_F(RaceTest, SimultaneousOpensOfOneDeviceOpenItOnce) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    std::latch start(2);
    auto open = [&] {
      start.arrive_and_wait();
      int32_t port = -1;
      return std::make_pair(InitialiserRS232(ProfileOf(1), port), port);
    };
    auto first = std::async(std::launch::async, open);
    auto second = std::async(std::launch::async, open);
    const auto a = first.get();
    const auto b = second.get();
    EXPECT_EQ(std::multiset<int>({a.first, b.first}), std::multiset<int>({0, EACCES}));
    const int32_t opened = a.first == 0 ? a.second : b.second;
    EXPECT_EQ(ClosePort(opened), 1);
    for (int32_t port = 0; port < kPortCount; ++port) EXPECT_EQ(ClosePort(port), 0) << port;
  }
}

// Closes racing on one port: exactly one tears it down and reports it; the
// others answer as for a closed port. None hangs, and the slot opens again.
TEST_F(RaceTest, SimultaneousClosesTearDownOnce) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    int32_t port = -1;
    ASSERT_EQ(InitialiserRS232(ProfileOf(3), port), 0);
    std::latch start(3);
    auto close = [&] {
      start.arrive_and_wait();
      return ClosePort(port);
    };
    const auto began = Clock::now();
    std::vector<std::future<int>> closes;
    for (int i = 0; i < 3; ++i) closes.push_back(std::async(std::launch::async, close));
    std::multiset<int> results;
    for (auto& c : closes) results.insert(c.get());
    EXPECT_EQ(results, std::multiset<int>({0, 0, 1}));
    EXPECT_LT(MsSince(began), 3000);
    EXPECT_FALSE(Slot(port).FOpen.load());
  }
}

// An open that is slow to get its device holds no lock the other ports need:
// a request and reply on another port, a close, the names and the listing all
// go on meanwhile, and the slot being opened is neither closed nor given out.
struct Gate {
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FHeld = true;
  bool FEntered = false;
};
Gate* gGate = nullptr;

std::unique_ptr<SerialDevice> GatedOpen(const char* name, int& status) {
  if (std::strcmp(name, "SLOW") == 0) {
    std::unique_lock<std::mutex> lock(gGate->FMutex);
    gGate->FEntered = true;
    gGate->FChanged.notify_all();
    gGate->FChanged.wait(lock, [] { return !gGate->FHeld; });
  }
  return PlatformSerialBackend().FOpen(name, status);
}
bool PlatformIsPresent(const char* name) { return PlatformSerialBackend().FIsPresent(name); }
int PlatformIdentify(const char* name, std::string& identity) {
  return PlatformSerialBackend().FIdentify(name, identity);
}
const SerialBackend kGatedBackend{&GatedOpen, &PlatformIsPresent, &PlatformIdentify};

TEST_F(RaceTest, ASlowOpenBlocksNoOtherPort) {
  Gate gate;
  gGate = &gate;
  SetSerialBackend(&kGatedBackend);
  PtySimulator slowDevice(FixedResponder(kLogFrame));
  FMap.Link("SLOW", slowDevice.SlavePath());

  int32_t busy = -1;
  ASSERT_EQ(InitialiserRS232(ProfileOf(1), busy), 0);
  int32_t slowPort = -1;
  auto slowOpen = std::async(std::launch::async, [&] { return InitialiserRS232(ProfileLOG2A0("SLOW"), slowPort); });
  {
    std::unique_lock<std::mutex> lock(gate.FMutex);
    ASSERT_TRUE(gate.FChanged.wait_for(lock, std::chrono::seconds(10), [&] { return gate.FEntered; }));
  }

  const auto began = Clock::now();
  EXPECT_EQ(Exchange(busy), kLogFrame);
  EXPECT_EQ(ClosePort(1), 0);  // the slot being opened: not open yet
  EXPECT_NE(SlotPortName(1), "SLOW");  // named only once open
  EXPECT_EQ(EnumeratePorts().FCount, 4);
  int32_t other = -1;
  EXPECT_EQ(InitialiserRS232(ProfileOf(2), other), 0);
  EXPECT_EQ(other, 2);
  EXPECT_LT(MsSince(began), 2000);

  {
    std::lock_guard<std::mutex> lock(gate.FMutex);
    gate.FHeld = false;
  }
  gate.FChanged.notify_all();
  EXPECT_EQ(slowOpen.get(), 0);
  EXPECT_EQ(slowPort, 1);
  EXPECT_EQ(SlotPortName(1), "SLOW");
  for (int32_t port = 0; port < kPortCount; ++port) ClosePort(port);
  SetSerialBackend(nullptr);
  gGate = nullptr;
}

// Six host threads calling everything at random on four ports, as hosts that
// do not keep to one caller per port do. Every call returns a status the
// library documents; afterwards every port opens and closes again.
TEST_F(RaceTest, HostThreadsAtRandom) {
  const char* setting = std::getenv("SERIALKVL_STRESS_SECONDS");
  const int seconds = setting != nullptr ? std::max(1, std::atoi(setting)) : 8;
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  std::atomic<int> calls{0};
  std::mutex problemsMutex;
  std::vector<std::string> problems;
  auto expectOneOf = [&](int status, std::initializer_list<int> allowed, const char* what) {
    for (int a : allowed) {
      if (status == a) return;
    }
    std::lock_guard<std::mutex> lock(problemsMutex);
    problems.push_back(std::string(what) + " returned " + std::to_string(status));
  };

  auto host = [&](unsigned seed) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    while (Clock::now() < deadline) {
      const int32_t port = pick(5) == 0 ? pick(7) - 1 : pick(kPortCount);  // now and then out of range
      uint8_t frame[kFrameBufferSize];
      int32_t length = 0;
      switch (pick(8)) {
        case 0:
        case 1: {
          int32_t opened = -1;
          const int device = pick(5);
          const int status = InitialiserRS232(ProfileOf(device), opened);
          expectOneOf(status, {0, CODE_OPEN_FAILED, EACCES, ENOENT}, "open");
          if (opened < 0 || opened > kPortCount) expectOneOf(opened, {}, "open's slot");
          break;
        }
        case 2: expectOneOf(ClosePort(port), {0, 1}, "close"); break;
        case 3: {
          const uint8_t request[] = {0x80, 0x10, 0xF0, 0x01, 0xBF, 0x20};
          expectOneOf(SendWithRetry(port, request, sizeof request), {0, CODE_COMM_TIMEOUT, EBADF}, "send");
          break;
        }
        case 4:
          expectOneOf(ReceiveWithRetry(port, frame, length), {0, CODE_COMM_TIMEOUT, EBADF}, "receive");
          break;
        case 5: {
          const int count = EnumeratePorts().FCount;
          expectOneOf(count, {4}, "listing's count");
          break;
        }
        case 6: {
          const std::string text = ErrorText(pick(2) == 0 ? CODE_COMM_TIMEOUT : EIO);
          if (text != " Communication timeout " && text != "Input/output error") expectOneOf(-1, {}, text.c_str());
          break;
        }
        default: {
          // A name is whole, whatever open or close runs beside the read.
          const std::string name = SlotPortName(port);
          static const std::set<std::string> kNames{"", "COM1", "COM2", "COM3", "COM4", "SLOW"};
          if (kNames.count(name) == 0) expectOneOf(-1, {}, ("name " + name).c_str());
          break;
        }
      }
      ++calls;
    }
  };
  std::vector<std::thread> hosts;
  for (unsigned i = 0; i < 6; ++i) hosts.emplace_back(host, 1000 + i);
  for (std::thread& t : hosts) t.join();
  EXPECT_TRUE(problems.empty()) << problems.size() << " problems, first: " << problems.front();
  EXPECT_GT(calls.load(), 6);

  for (int32_t port = 0; port < kPortCount; ++port) ClosePort(port);
  for (int device = 0; device < 4; ++device) {
    int32_t port = -1;
    EXPECT_EQ(InitialiserRS232(ProfileOf(device), port), 0) << device;
    EXPECT_EQ(port, device);
  }
  for (int32_t port = 0; port < kPortCount; ++port) EXPECT_EQ(ClosePort(port), 1) << port;
}

}  // namespace
