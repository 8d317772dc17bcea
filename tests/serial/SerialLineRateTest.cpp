// Line rates: any rate a driver takes, set through termios2 where the classic
// codes have none, checked by reading the kernel's settings back.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "SerialPorts.h"
#include "SerialReader.h"
#include "os/PosixLineRate.h"
#include "support/LineRateProbe.h"
#include "support/PtySimulator.h"

using namespace serialkvl;
using namespace serialtest;

namespace {

struct RateCase {
  uint32_t FRate;
  bool FClassic;  // a classic terminal code exists for it
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.FRate; }

class KvlV1RateTest : public ::testing::TestWithParam<RateCase> {
 protected:
  void TearDown() override {
    for (int32_t port = 0; port < kPortCount; ++port) ClosePort(port);
  }
};

TEST_P(KvlV1RateTest, DriverHoldsTheRateAfterOpening) {
  const RateCase& c = GetParam();
  PtySimulator device;
  PortMap map;
  map.Link("COM1", device.SlavePath());
  int32_t port = -1;
  ASSERT_EQ(InitialiserRS232(ProfileKVLv1(c.FRate, "COM1"), port), 0);

  const LineRateReading reading = ReadTermios2(device.MasterFd());
  ASSERT_TRUE(reading.FOk);
  EXPECT_EQ(reading.FOutputRate, c.FRate);
  EXPECT_EQ(reading.FInputRate, c.FRate);
  // The classic path stays where it applies; only other rates go by number.
  EXPECT_EQ(reading.FByNumber, !c.FClassic);
}

INSTANTIATE_TEST_SUITE_P(Rates, KvlV1RateTest,
                         ::testing::Values(RateCase{1200, true}, RateCase{4800, true}, RateCase{9600, true},
                                           RateCase{10400, false}, RateCase{14400, false},
                                           RateCase{31250, false}, RateCase{56000, false},
                                           RateCase{115200, true}, RateCase{128000, false},
                                           RateCase{250000, false}, RateCase{256000, false},
                                           RateCase{921600, true}),
                         [](const auto& info) { return std::to_string(info.param.FRate); });

TEST(KvlV1RateRefusal, RateZeroIsNoRateAndKeepsTheSlotUntilClosed) {
  PtySimulator device;
  PortMap map;
  map.Link("COM1", device.SlavePath());
  const uint32_t before = ReadTermios2(device.MasterFd()).FOutputRate;
  int32_t port = -1;
  // Rate 0 would hang the line up; it fails where the settings are written.
  EXPECT_EQ(InitialiserRS232(ProfileKVLv1(0, "COM1"), port), EINVAL);
  EXPECT_EQ(port, 0);
  EXPECT_TRUE(Slot(port).FOpen.load());
  EXPECT_EQ(ReadTermios2(device.MasterFd()).FOutputRate, before);
  // The events were never created, so the close reports 0.
  EXPECT_EQ(ClosePort(port), 0);
  EXPECT_FALSE(Slot(port).FOpen.load());
}

struct TakenCase {
  uint32_t FAsked, FActual;
  bool FTaken;
};

class LineRateTakenTest : public ::testing::TestWithParam<TakenCase> {};

TEST_P(LineRateTakenTest, DriverRoundingIsAcceptedAFallbackIsNot) {
  EXPECT_EQ(LineRateTaken(GetParam().FAsked, GetParam().FActual), GetParam().FTaken);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineRateTakenTest,
                         ::testing::Values(TakenCase{10400, 10400, true},    // exact
                                           TakenCase{10400, 10399, true},    // divisor rounding
                                           TakenCase{250000, 256000, true},  // 2.4 %
                                           TakenCase{10400, 10800, false},   // 3.8 %
                                           TakenCase{256000, 9600, false},   // fell back to a default
                                           TakenCase{3000000, 38400, false},
                                           TakenCase{4000000000u, 4000000000u, true}),
                         [](const auto& info) {
                           return "Asked" + std::to_string(info.param.FAsked) + "Got" +
                                  std::to_string(info.param.FActual);
                         });

}  // namespace
