// Opening and closing against a recording fake device: exact line settings,
// modem-line order, the failure table, retry counts and buffer bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "SerialEnum.h"
#include "SerialPorts.h"
#include "SerialReader.h"
#include "support/FakeSerialDevice.h"

using namespace serialkvl;
using namespace serialtest;

namespace {

using Calls = std::vector<std::string>;

class FakeDeviceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int32_t port = 0; port < kPortCount; ++port) ClosePort(port);
  }
  // The calls up to and including the last configuration step of opening.
  Calls OpeningCalls() {
    Calls calls = FFake.Script().Calls();
    auto it = std::find(calls.begin(), calls.end(), "SetTimeouts");
    if (it != calls.end()) calls.erase(it + 1, calls.end());
    return calls;
  }
  FakeBackend FFake;
};

struct ProfileCase {
  const char* FName;
  LineProfile FProfile;
  uint32_t FBaud;
  uint8_t FParity;
  uint8_t FDtrControl;
  const char* FDtrCall;  // "SetModemLine 5" raises DTR, "... 6" lowers it
  uint32_t FTimeout;
};

void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.FName; }

class ProfileTest : public FakeDeviceTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileTest, OpensWithExactSettingsAndLineOrder) {
  const ProfileCase& c = GetParam();
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(c.FProfile, port), 0);
  EXPECT_EQ(port, 0);
  EXPECT_EQ(OpeningCalls(), (Calls{"Open COM4", "SetQueueSizes 2048 1024", "Purge 15", "ReadSettings",
                                   "WriteSettings", "SetModemLine 4", c.FDtrCall, "SetTimeouts"}));

  const LineSettings& s = FFake.Script().FWrittenSettings;
  EXPECT_EQ(s.FBaudRate, c.FBaud);
  EXPECT_EQ(s.FParity, c.FParity);
  EXPECT_EQ(s.FByteSize, 8);
  EXPECT_EQ(s.FStopBits, 0);
  EXPECT_TRUE(s.FBinary);
  EXPECT_TRUE(s.FParityCheck);
  EXPECT_FALSE(s.FOutxCtsFlow || s.FOutxDsrFlow || s.FDsrSensitivity);
  EXPECT_TRUE(s.FTXContinueOnXoff);
  EXPECT_FALSE(s.FOutX || s.FInX || s.FErrorChar || s.FNull || s.FAbortOnError);
  EXPECT_EQ(s.FDtrControl, c.FDtrControl);
  EXPECT_EQ(s.FRtsControl, 0);

  const LineTimeouts& t = FFake.Script().FTimeouts;
  EXPECT_EQ(t.FReadIntervalTimeout, 0xFFFFFFFFu);
  EXPECT_EQ(t.FReadTotalMultiplier, 0xFFFFFFFFu);
  EXPECT_EQ(t.FReadTotalConstant, 1u);
  EXPECT_EQ(t.FWriteTotalMultiplier, 100u);
  EXPECT_EQ(t.FWriteTotalConstant, 2000u);
  EXPECT_EQ(Slot(port).FTimeout.load(), c.FTimeout);
  EXPECT_EQ(SlotPortName(port), "COM4");
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileTest,
    ::testing::Values(ProfileCase{"KVLv1", ProfileKVLv1(1200, "COM4"), 1200, 2, 0, "SetModemLine 6", 2000},
                      ProfileCase{"KVLv2", ProfileKVLv2("COM4"), 4800, 0, 1, "SetModemLine 5", 2000},
                      ProfileCase{"LOG2A0", ProfileLOG2A0("COM4"), 19200, 0, 0, "SetModemLine 6", 1000},
                      ProfileCase{"ZT2", ProfileZT2("COM4"), 9600, 0, 0, "SetModemLine 6", 1000}),
    [](const auto& info) { return std::string(info.param.FName); });

// A failed open leaves the slot to be freed with ClosePort, whose result says
// whether the frame event had been created: 0 for failures before it, 1 for
// a failure after it (starting the reader).
struct FailureCase {
  const char* FCall;
  bool FSlotOccupied;
  int FCloseResult;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.FCall; }

class OpenFailureTest : public FakeDeviceTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OpenFailureTest, StatusSlotAndCloseResult) {
  FFake.Script().FFailCall = GetParam().FCall;
  FFake.Script().FFailStatus = EIO;
  int32_t port = -1;
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM7"), port), EIO);
  EXPECT_EQ(port, 0);
  EXPECT_EQ(Slot(0).FOpen.load(), GetParam().FSlotOccupied);
  EXPECT_FALSE(Slot(0).FThread.joinable());

  // The host frees an occupied slot with the number it was given.
  EXPECT_EQ(ClosePort(port), GetParam().FCloseResult);
  EXPECT_FALSE(Slot(0).FOpen.load());
  int32_t again = -1;
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM7"), again), 0);
  EXPECT_EQ(again, 0);
  EXPECT_EQ(ClosePort(again), 1);
}

INSTANTIATE_TEST_SUITE_P(Steps, OpenFailureTest,
                         ::testing::Values(FailureCase{"Open", false, 0}, FailureCase{"SetQueueSizes", true, 0},
                                           FailureCase{"Purge", true, 0}, FailureCase{"ReadSettings", true, 0},
                                           FailureCase{"WriteSettings", true, 0},
                                           FailureCase{"SetTimeouts", true, 0},
                                           // after the events: the reader cannot be started
                                           FailureCase{"EnableWake", true, 1}),
                         [](const auto& info) { return std::string(info.param.FCall); });

TEST_F(FakeDeviceTest, ModemLineFailureDoesNotRefuseThePort) {
  FFake.Script().FFailCall = "SetModemLine";
  FFake.Script().FFailStatus = ENOTTY;
  int32_t port = -1;
  EXPECT_EQ(InitialiserRS232(ProfileKVLv2("COM1"), port), 0);
}

TEST_F(FakeDeviceTest, NameLongerThanElevenCharactersIsRefusedUntruncated) {
  int32_t port = -1;
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM123456789"), port), ENAMETOOLONG);  // 12 characters
  EXPECT_EQ(port, 0);
  EXPECT_FALSE(Slot(0).FOpen.load());
  EXPECT_TRUE(FFake.Script().Calls().empty());
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM12345678"), port), 0);  // 11 fit
  EXPECT_EQ(SlotPortName(port), "COM12345678");
}

TEST_F(FakeDeviceTest, CloseLowersDtrThenRtsAndFreesTheSlot) {
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileKVLv2("COM2"), port), 0);
  EXPECT_EQ(ClosePort(port), 1);
  Calls calls = FFake.Script().Calls();
  ASSERT_GE(calls.size(), 3u);
  // The reader's final purge runs between lowering the lines and the close.
  auto dtr = std::find(calls.rbegin(), calls.rend(), "SetModemLine 6");
  auto rts = std::find(calls.rbegin(), calls.rend(), "SetModemLine 4");
  EXPECT_EQ(calls.back(), "Close");
  ASSERT_NE(dtr, calls.rend());
  ASSERT_NE(rts, calls.rend());
  EXPECT_GT(dtr - calls.rbegin(), rts - calls.rbegin());  // DTR lowered first
  EXPECT_FALSE(Slot(port).FOpen.load());
  EXPECT_FALSE(Slot(port).FThread.joinable());
  EXPECT_EQ(SlotPortName(port), "COM2");  // the name outlives the close
  EXPECT_EQ(ClosePort(port), 0);             // closing a free slot changes nothing
}

TEST_F(FakeDeviceTest, PortNumbersOutsideTheTableAndFreeSlotsGiveStatuses) {
  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;
  for (int32_t port : {-1, 4, 7, 2147483647}) {
    EXPECT_EQ(SendWithRetry(port, frame, 1), EBADF);
    EXPECT_EQ(ReceiveWithRetry(port, frame, length), EBADF);
    EXPECT_EQ(ClosePort(port), 0);
    EXPECT_EQ(SlotPortName(port), "");
  }
  EXPECT_EQ(SendWithRetry(2, frame, 1), EBADF);  // in range but never opened
  EXPECT_EQ(ReceiveWithRetry(2, frame, length), EBADF);
}

TEST_F(FakeDeviceTest, SendKeepsAtMost255Bytes) {
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileZT2("COM1"), port), 0);
  std::vector<uint8_t> request(300);
  for (size_t i = 0; i < request.size(); ++i) request[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(SendWithRetry(port, request.data(), 300), 0);
  std::lock_guard<std::mutex> lock(FFake.Script().FMutex);
  EXPECT_EQ(FFake.Script().FWritten, std::vector<uint8_t>(request.begin(), request.begin() + 255));
}

TEST_F(FakeDeviceTest, FailingWriteIsTriedFiveTimesPerAttemptThreeAttempts) {
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileZT2("COM1"), port), 0);
  FFake.Script().FWriteStatus = EIO;
  const uint8_t request[] = {1, 2, 3};
  EXPECT_EQ(SendWithRetry(port, request, 3), EIO);
  Calls calls = FFake.Script().Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write 3"), 15);
  // Each failed write purges the output side (abort and clear: 5).
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Purge 5"), 15);
}

TEST_F(FakeDeviceTest, EmptySendPurgesInputAndSucceeds) {
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileLOG2A0("COM1"), port), 0);
  Calls before = FFake.Script().Calls();
  EXPECT_EQ(SendWithRetry(port, nullptr, 0), 0);
  Calls after = FFake.Script().Calls();
  Calls added(after.begin() + static_cast<std::ptrdiff_t>(before.size()), after.end());
  EXPECT_NE(std::find(added.begin(), added.end(), "Purge 10"), added.end());
  // The first write is made even for an empty request.
  EXPECT_NE(std::find(added.begin(), added.end(), "Write 0"), added.end());
  EXPECT_EQ(SendWithRetry(port, nullptr, -1), EINVAL);
}

TEST_F(FakeDeviceTest, ParityIsAppliedForKvlv1) {
  // Pseudo-terminals drop parity, so only the fake shows that KVLv1 asks
  // for even parity at the host's rate.
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileKVLv1(9600, "COM1"), port), 0);
  EXPECT_EQ(FFake.Script().FWrittenSettings.FParity, 2);
  EXPECT_EQ(FFake.Script().FWrittenSettings.FBaudRate, 9600u);
}

TEST_F(FakeDeviceTest, RoundTripThroughTheReaderThread) {
  FFake.Script().FOnWrite = [](FakeScript& script, const uint8_t* data, uint32_t size) {
    if (size == 4 && data[0] == 0x78) {
      for (uint8_t b : {data[1], data[2], uint8_t{0x42}}) script.FIncoming.push_back(b);
    }
  };
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileKVLv1(4800, "COM1"), port), 0);
  const uint8_t request[] = {0x78, 0x12, 0x34, 0x00};
  ASSERT_EQ(SendWithRetry(port, request, 4), 0);
  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;
  ASSERT_EQ(ReceiveWithRetry(port, frame, length), 0);
  EXPECT_EQ(std::vector<uint8_t>(frame, frame + length), (std::vector<uint8_t>{0x12, 0x34, 0x42}));
}

// Opening a serial tty raises DTR and RTS even when the open is then
// refused, so a device this process holds must not be opened again, under
// its own name or another name for it.
TEST_F(FakeDeviceTest, HeldDeviceIsNeverOpenedAgain) {
  FFake.Script().FIdentities = {{"COM1", "adapter-A"}, {"COM9", "adapter-A"}, {"COM2", "adapter-B"}};
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileKVLv2("COM1"), port), 0);
  for (const char* name : {"COM1", "COM9"}) {
    int32_t second = -1;
    EXPECT_EQ(InitialiserRS232(ProfileZT2(name), second), EACCES) << name;
    EXPECT_EQ(second, 1);
    EXPECT_FALSE(Slot(1).FOpen.load());
  }
  Calls calls = FFake.Script().Calls();
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("Open ", 0) == 0; }),
            1);
  // Another device opens normally, and a closed one can be opened again.
  int32_t other = -1;
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM2"), other), 0);
  EXPECT_EQ(ClosePort(port), 1);
  EXPECT_EQ(InitialiserRS232(ProfileZT2("COM9"), port), 0);
}

TEST_F(FakeDeviceTest, EnumerationProbesWithoutOpening) {
  FFake.Script().FPresent = {"COM1", "COM3", "COM19", "COM20"};
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileZT2("COM3"), port), 0);  // one of them held here
  const size_t before = FFake.Script().Calls().size();

  const PortList& list = EnumeratePorts();
  ASSERT_EQ(list.FCount, 3);
  EXPECT_STREQ(list.FEntries[0].FName, "COM1");
  EXPECT_STREQ(list.FEntries[1].FName, "COM3");
  EXPECT_STREQ(list.FEntries[2].FName, "COM19");

  Calls calls = FFake.Script().Calls();
  Calls added(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end());
  Calls expected;
  for (int n = 1; n <= 19; ++n) expected.push_back("IsPresent COM" + std::to_string(n));
  EXPECT_EQ(added, expected);  // probes only: nothing opened, no line touched
}

TEST_F(FakeDeviceTest, SendEndsOnlyWhenTheOutputHasDrained) {
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileZT2("COM1"), port), 0);
  FFake.Script().FDrainHeld = true;
  const uint8_t request[] = {1, 2, 3};
  auto send = std::async(std::launch::async, [&] { return SendWithRetry(port, request, 3); });
  ASSERT_TRUE(FFake.Script().WaitForCall("Drain"));
  // The bytes are queued but have not left: the send is still waiting.
  EXPECT_EQ(send.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  FFake.Script().ReleaseDrain();
  EXPECT_EQ(send.get(), 0);

  Calls calls = FFake.Script().Calls();
  auto write = std::find(calls.begin(), calls.end(), "Write 3");
  ASSERT_NE(write, calls.end());
  EXPECT_EQ(*(write + 1), "Drain");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write 3"), 1);
}

TEST_F(FakeDeviceTest, DrainPastTheTimeOutIsAWriteTimeOut) {
  LineProfile profile = ProfileZT2("COM1");
  profile.FTimeout = 150;  // keeps the three attempts short
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(profile, port), 0);
  FFake.Script().FDrainHeld = true;  // the output never drains
  const uint8_t request[] = {1, 2, 3};
  EXPECT_EQ(SendWithRetry(port, request, 3), CODE_COMM_TIMEOUT);

  // What had not left by the time-out was dropped, so a retry does not queue
  // behind it.
  ASSERT_TRUE(FFake.Script().WaitForCall("Purge 5"));
  Calls calls = FFake.Script().Calls();
  auto late = std::find(calls.begin(), calls.end(), "Drain timed out");
  ASSERT_NE(late, calls.end());
  EXPECT_EQ(*(late + 1), "Purge 5");
  FFake.Script().ReleaseDrain();
}

// A failed read means the line failed: a receive that waits is woken with the
// read's error, later receives get it at once without waiting, and only
// closing the port clears it (a fresh open reads again).
TEST_F(FakeDeviceTest, ReadFailureEndsReceivesUntilClose) {
  const std::vector<uint8_t> frameBytes{0x5A, 0xA5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  FakeScript& script = FFake.Script();
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileLOG2A0("COM1"), port), 0);
  PortSlot& slot = Slot(port);

  uint8_t frame[kFrameBufferSize];
  int32_t length = 0;
  auto receive = std::async(std::launch::async, [&] { return ReceiveWithRetry(port, frame, length); });
  ASSERT_TRUE(script.WaitUntil([&] { return slot.FReadRequested.load(); }));
  const auto start = std::chrono::steady_clock::now();
  script.FMutex.lock();
  script.FReadFailure = EIO;
  script.FMutex.unlock();
  script.Deliver({0x00});
  EXPECT_EQ(receive.get(), EIO);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_LT(waited, std::chrono::milliseconds(500));

  // Frames that arrive later change nothing: the line is not trusted again.
  script.Deliver(frameBytes);
  for (int again = 0; again < 2; ++again) {
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(ReceiveWithRetry(port, frame, length), EIO);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
  }
  EXPECT_EQ(length, 0);

  ASSERT_EQ(ClosePort(port), 1);
  ASSERT_EQ(InitialiserRS232(ProfileLOG2A0("COM1"), port), 0);
  receive = std::async(std::launch::async, [&] { return ReceiveWithRetry(port, frame, length); });
  ASSERT_TRUE(script.WaitUntil([&] { return Slot(port).FReadRequested.load(); }));
  script.Deliver(frameBytes);
  ASSERT_EQ(receive.get(), 0);
  EXPECT_EQ(std::vector<uint8_t>(frame, frame + length), frameBytes);
}

// A close from another thread while a receive waits must end that receive
// with EBADF, never with success and the frame of an earlier receive. Run
// many times with the close at different moments; ThreadSanitizer checks
// the hand-over.
TEST_F(FakeDeviceTest, CloseDuringReceiveNeverPassesAnOldFrame) {
  const std::vector<uint8_t> old{0x5A, 0xA5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE(round);
    int32_t port = -1;
    ASSERT_EQ(InitialiserRS232(ProfileLOG2A0("COM1"), port), 0);
    uint8_t frame[kFrameBufferSize];
    int32_t length = 0;
    auto first = std::async(std::launch::async, [&] { return ReceiveWithRetry(port, frame, length); });
    ASSERT_TRUE(FFake.Script().WaitUntil([&] { return Slot(port).FReadRequested.load(); }));
    FFake.Script().Deliver(old);
    ASSERT_EQ(first.get(), 0);  // the frame buffer now holds an old frame

    uint8_t again[kFrameBufferSize] = {};
    int32_t againLength = -7;
    auto waiting = std::async(std::launch::async, [&] { return ReceiveWithRetry(port, again, againLength); });
    if (round % 3 == 1) std::this_thread::yield();
    if (round % 3 == 2) {
      ASSERT_TRUE(FFake.Script().WaitUntil([&] { return Slot(port).FReadRequested.load(); }));
    }
    EXPECT_EQ(ClosePort(port), 1);
    EXPECT_EQ(waiting.get(), EBADF);
    EXPECT_EQ(againLength, -7);
  }
}

}  // namespace
