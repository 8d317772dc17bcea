// The core over real pseudo-terminals with simulated devices.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "SerialPorts.h"
#include "SerialReader.h"
#include "support/FakeSysfs.h"
#include "support/OpenWatch.h"
#include "support/PtySimulator.h"

using namespace serialkvl;
using namespace serialtest;
using Clock = std::chrono::steady_clock;

namespace {

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

double ProcessCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

Bytes Junk(size_t n) { return Bytes(n, 0x33); }

class PtyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int32_t port = 0; port < kPortCount; ++port) ClosePort(port);
  }
  int32_t Open(const LineProfile& profile) {
    int32_t port = -1;
    EXPECT_EQ(InitialiserRS232(profile, port), 0);
    return port;
  }
  PortMap FMap;
};

struct RoundTripCase {
  const char* FName;
  std::function<LineProfile(const char*)> FProfile;
  std::function<Responder()> FResponder;
  Bytes FRequest;
  Bytes FExpectedFrame;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.FName; }

class RoundTripTest : public PtyTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTripTest, RequestGetsRecognisedReply) {
  const RoundTripCase& c = GetParam();
  PtySimulator device(c.FResponder());
  FMap.Link("COM5", device.SlavePath());
  const int32_t port = Open(c.FProfile("COM5"));
  // Two exchanges: the second shows the window was left clean by the first.
  for (int exchange = 0; exchange < 2; ++exchange) {
    ASSERT_EQ(SendWithRetry(port, c.FRequest.data(), static_cast<int32_t>(c.FRequest.size())), 0);
    uint8_t frame[kFrameBufferSize];
    int32_t length = -1;
    ASSERT_EQ(ReceiveWithRetry(port, frame, length), 0);
    EXPECT_EQ(Bytes(frame, frame + length), c.FExpectedFrame);
  }
  EXPECT_EQ(device.RequestCount(), 2);
  EXPECT_EQ(ClosePort(port), 1);
}

const Bytes kLogFrame{0x5A, 0xA5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const Bytes kZtFrame{0x00, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

INSTANTIATE_TEST_SUITE_P(
    Profiles, RoundTripTest,
    ::testing::Values(
        RoundTripCase{"KVLv1", [](const char* n) { return ProfileKVLv1(9600, n); }, KVLv1Responder,
                      {0x78, 0x12, 0x34, 0x01}, {0x12, 0x34, 0x10, 0x11}},
        RoundTripCase{"KVLv2", ProfileKVLv2, KVLv2Responder, {0x80, 0x10, 0xF0, 0x01, 0xBF, 0x20},
                      {0x80, 0xF0, 0x10, 0x03, 0xFF, 0x12, 0x34, 0xC8}},
        RoundTripCase{"LOG2A0", ProfileLOG2A0, [] { return FixedResponder(kLogFrame); }, {0x01}, kLogFrame},
        RoundTripCase{"ZT2", ProfileZT2, [] { return FixedResponder(kZtFrame); }, {0x01}, kZtFrame}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST_F(PtyTest, ReplyBeforeReceiveIsRecoveredByResending) {
  PtySimulator device(FixedResponder(kZtFrame));
  FMap.Link("COM1", device.SlavePath());
  const int32_t port = Open(ProfileZT2("COM1"));
  const uint8_t request[] = {0x01};
  ASSERT_EQ(SendWithRetry(port, request, 1), 0);
  // The device has answered (it counts a request just before it replies),
  // and the port's reader has had time to take the reply into the window.
  // On a loaded machine the answer alone can take longer than a fixed wait.
  for (int i = 0; i < 500 && device.RequestCount() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(device.RequestCount(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));

  const auto start = Clock::now();
  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;
  ASSERT_EQ(ReceiveWithRetry(port, frame, length), 0);
  // The waiting window saw no new bytes, so the first wait ran out and the
  // request went out again.
  EXPECT_GE(MsSince(start), 950);
  EXPECT_EQ(device.RequestCount(), 2);
  EXPECT_EQ(Bytes(frame, frame + length), kZtFrame);
}

TEST_F(PtyTest, UnansweredRequestWaitsFourTimesAndResendsThree) {
  PtySimulator device(KVLv1Responder());
  FMap.Link("COM1", device.SlavePath());
  const int32_t port = Open(ProfileKVLv1(19200, "COM1"));
  const uint8_t request[] = {0x55, 0x12, 0x34, 0x00};  // no frame rule for 0x55
  ASSERT_EQ(SendWithRetry(port, request, 4), 0);
  uint8_t frame[kFrameBufferSize] = {0xEE};
  int32_t length = 7;
  const auto start = Clock::now();
  EXPECT_EQ(ReceiveWithRetry(port, frame, length), CODE_COMM_TIMEOUT);
  const int64_t elapsed = MsSince(start);
  EXPECT_GE(elapsed, 4 * 2000 - 50);
  EXPECT_LT(elapsed, 4 * 2000 + 3 * 2000);
  EXPECT_EQ(device.RequestCount(), 1 + 3);
  EXPECT_EQ(length, 7);  // untouched on failure
  EXPECT_EQ(frame[0], 0xEE);
}

TEST_F(PtyTest, ReceiveWithoutRequestNeverResends) {
  PtySimulator device;  // silent
  FMap.Link("COM1", device.SlavePath());
  const int32_t port = Open(ProfileLOG2A0("COM1"));
  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;
  const auto start = Clock::now();
  EXPECT_EQ(ReceiveWithRetry(port, frame, length), CODE_COMM_TIMEOUT);
  EXPECT_GE(MsSince(start), 4 * 1000 - 50);
  EXPECT_TRUE(device.Received().empty());
}

// Fills the window up to start + count with a frame consumed at `start`, then
// sends `extra` bytes while no receive waits; the last 12 of them hold a
// frame. Whether that frame survives shows which overflow rule applied.
struct OverflowCase {
  const char* FName;
  int32_t FStart;
  int32_t FCount;
  bool FKept;
};

void PrintTo(const OverflowCase& c, std::ostream* os) { *os << c.FName; }

class WindowOverflowTest : public PtyTest, public ::testing::WithParamInterface<OverflowCase> {};

TEST_P(WindowOverflowTest, AtIndex2047) {
  const OverflowCase& c = GetParam();
  PtySimulator device;
  FMap.Link("COM1", device.SlavePath());
  const int32_t port = Open(ProfileLOG2A0("COM1"));
  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;

  // 1. A receive consumes everything up to index c.FStart.
  auto first = std::async(std::launch::async, [&] { return ReceiveWithRetry(port, frame, length); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Bytes lead = Junk(static_cast<size_t>(c.FStart) - kLogFrame.size());
  lead.insert(lead.end(), kLogFrame.begin(), kLogFrame.end());
  device.Send(lead);
  ASSERT_EQ(first.get(), 0);

  // 2. With no receive waiting, the window grows to start + count, then 47
  // more bytes reach index 2047; the last 12 are a frame.
  device.Send(Junk(static_cast<size_t>(c.FCount)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Bytes tail = Junk(47 - kLogFrame.size());
  tail.insert(tail.end(), kLogFrame.begin(), kLogFrame.end());
  ASSERT_EQ(tail.size(), 47u);
  device.Send(tail);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  // 3. A receive runs the recogniser once one more byte arrives.
  auto second = std::async(std::launch::async, [&] { return ReceiveWithRetry(port, frame, length); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  device.Send({0x00});
  EXPECT_EQ(second.get(), c.FKept ? 0 : CODE_COMM_TIMEOUT);
  if (c.FKept) {
    EXPECT_EQ(Bytes(frame, frame + length), kLogFrame);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowOverflowTest,
                         ::testing::Values(OverflowCase{"ManyBytesDropped", 1900, 100, false},
                                           OverflowCase{"FewBytesMovedToFront", 1960, 40, true}),
                         [](const auto& info) { return std::string(info.param.FName); });

TEST_F(PtyTest, EmptySendSendsNothingAndDropsEarlierInput) {
  PtySimulator device;
  FMap.Link("COM1", device.SlavePath());
  const int32_t port = Open(ProfileLOG2A0("COM1"));
  device.Send(Bytes(kLogFrame.begin(), kLogFrame.begin() + 6));  // half a frame
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(SendWithRetry(port, nullptr, 0), 0);
  EXPECT_TRUE(device.Received().empty());

  // Had the half frame survived, these six bytes would complete it.
  auto receive = std::async(std::launch::async, [&] {
    uint8_t frame[kFrameBufferSize];
    int32_t length = 0;
    int status = ReceiveWithRetry(port, frame, length);
    return std::make_pair(status, Bytes(frame, frame + (status == 0 ? length : 0)));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  device.Send(Bytes(kLogFrame.begin() + 6, kLogFrame.end()));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  device.Send(kLogFrame);
  auto [status, frame] = receive.get();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(frame, kLogFrame);
}

TEST_F(PtyTest, FifthOpenFindsNoSlot) {
  std::vector<std::unique_ptr<PtySimulator>> devices;
  for (int i = 1; i <= 5; ++i) {
    devices.push_back(std::make_unique<PtySimulator>());
    FMap.Link("COM" + std::to_string(i), devices.back()->SlavePath());
  }
  for (int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Open(ProfileLOG2A0(("COM" + std::to_string(i + 1)).c_str())), i);
  }
  int32_t port = -1;
  EXPECT_EQ(InitialiserRS232(ProfileLOG2A0("COM5"), port), CODE_OPEN_FAILED);
  EXPECT_EQ(port, 4);
  // A freed slot is handed out again, lowest first.
  EXPECT_EQ(ClosePort(2), 1);
  EXPECT_EQ(Open(ProfileZT2("COM5")), 2);
}

// A device this library holds is refused without a second open(): even a
// refused open raises the modem lines, and as root the exclusive-use guard
// does not even refuse it. Two names for one device are one device.
TEST_F(PtyTest, PortHeldHereIsRefusedWithoutOpeningIt) {
  PtySimulator device, other;
  FMap.Link("COM1", device.SlavePath());
  FMap.Link("COM3", device.SlavePath());
  FMap.Link("COM2", other.SlavePath());
  EXPECT_EQ(Open(ProfileZT2("COM1")), 0);
  OpenWatch watch;
  ASSERT_TRUE(watch.Watch(device.SlavePath()));
  for (const char* name : {"COM1", "COM3"}) {
    int32_t port = -1;
    EXPECT_EQ(InitialiserRS232(ProfileLOG2A0(name), port), EACCES) << name;
    EXPECT_EQ(port, 1);
    EXPECT_FALSE(Slot(1).FOpen.load());
  }
  EXPECT_EQ(watch.Opens(), 0);
  EXPECT_EQ(Open(ProfileZT2("COM2")), 1);
}

// Held by someone else (another process, here another descriptor with the
// lock): the open is refused with the same status and leaves the slot free.
TEST_F(PtyTest, PortLockedElsewhereIsRefusedAndSlotStaysFree) {
  PtySimulator device;
  FMap.Link("COM1", device.SlavePath());
  const int holder = open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  int32_t port = -1;
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM1"), port), EACCES);
  EXPECT_EQ(port, 0);
  EXPECT_FALSE(Slot(0).FOpen.load());
  close(holder);
  EXPECT_EQ(Open(ProfileZT2("COM1")), 0);
}

// An unplugged adapter comes back under another device node behind the same
// stable (by-id) link. The host closes the port and opens the same name
// again, which works as soon as the link leads to the device.
TEST_F(PtyTest, ReplugUnderAnotherNodeBehindTheSameLink) {
  const Bytes kOtherFrame{0x00, 0x01, 0x02, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
  char pattern[] = "/tmp/serialkvl-by-id-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string byId = std::string(pattern) + "/usb-Maker_Adapter_0001-if00-port0";
  auto before = std::make_unique<PtySimulator>(FixedResponder(kZtFrame));
  MakeLink(before->SlavePath(), byId);
  FMap.Link("COM4", byId);
  const uint8_t request[] = {0x01};
  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;

  int32_t port = Open(ProfileZT2("COM4"));
  ASSERT_EQ(SendWithRetry(port, request, 1), 0);
  ASSERT_EQ(ReceiveWithRetry(port, frame, length), 0);

  // Unplugged: the device goes, and udev removes its by-id link.
  before->Unplug();
  ASSERT_EQ(unlink(byId.c_str()), 0);
  EXPECT_NE(SendWithRetry(port, request, 1), 0);
  // Back before the host has reacted: a new node, since the old one is still
  // held by the port.
  PtySimulator after(FixedResponder(kOtherFrame));
  ASSERT_NE(after.SlavePath(), before->SlavePath());
  EXPECT_EQ(ClosePort(port), 1);
  before.reset();
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM4"), port), ENOENT);  // no link yet
  EXPECT_EQ(port, 0);

  RepointLink(after.SlavePath(), byId);
  port = Open(ProfileZT2("COM4"));
  ASSERT_EQ(port, 0);
  ASSERT_EQ(SendWithRetry(port, request, 1), 0);
  ASSERT_EQ(ReceiveWithRetry(port, frame, length), 0);
  EXPECT_EQ(Bytes(frame, frame + length), kOtherFrame);
  EXPECT_EQ(ClosePort(port), 1);
  RemoveTree(pattern);
}

TEST_F(PtyTest, MissingPortIsNotFound) {
  int32_t port = -1;
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM9"), port), ENOENT);
  EXPECT_EQ(port, 0);
  EXPECT_FALSE(Slot(0).FOpen.load());
}

// A receive-only host (its device talks on its own) learns that the device
// has gone: the waiting receive ends with the read's error, not with
// time-outs for ever, and the dead port costs no CPU while it stays open.
TEST_F(PtyTest, UnplugEndsAWaitingReceive) {
  PtySimulator device;
  FMap.Link("COM1", device.SlavePath());
  const int32_t port = Open(ProfileLOG2A0("COM1"));
  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;
  auto first = std::async(std::launch::async, [&] { return ReceiveWithRetry(port, frame, length); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  device.Send(kLogFrame);
  ASSERT_EQ(first.get(), 0);

  auto receive = std::async(std::launch::async, [&] {
    uint8_t late[kFrameBufferSize];
    int32_t lateLength = 0;
    return ReceiveWithRetry(port, late, lateLength);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  device.Unplug();
  EXPECT_EQ(receive.get(), EIO);
  EXPECT_LT(MsSince(start), 2000);
  EXPECT_EQ(ReceiveWithRetry(port, frame, length), EIO);  // and again, at once

  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.2);

  const uint8_t request[] = {0x01};
  EXPECT_NE(SendWithRetry(port, request, 1), 0);
  const auto closing = Clock::now();
  EXPECT_EQ(ClosePort(port), 1);
  EXPECT_LT(MsSince(closing), 1000 + 20 + 200);
}

TEST_F(PtyTest, CloseDuringReceiveWakesTheReceiver) {
  PtySimulator device;
  FMap.Link("COM1", device.SlavePath());
  const int32_t port = Open(ProfileKVLv2("COM1"));
  auto receive = std::async(std::launch::async, [&] {
    uint8_t frame[kFrameBufferSize];
    int32_t length = 0;
    return ReceiveWithRetry(port, frame, length);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  EXPECT_EQ(ClosePort(port), 1);
  EXPECT_LT(MsSince(start), 2000 + 20 + 200);
  EXPECT_EQ(receive.get(), EBADF);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_FALSE(Slot(port).FThread.joinable());
}

}  // namespace
