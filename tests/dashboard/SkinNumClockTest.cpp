// The sensor-bound number display and the skin clock: their properties,
// the analog-else-digital binding, the frame step over a real shared block
// (truncation, the low 32 bits, extremes shared with other components),
// and both read from a skin into a live skin window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DataChannel.h"
#include "SkinImplAngularGauge.h"
#include "SkinImplClock.h"
#include "SkinImplNum.h"
#include "SkinStream.h"
#include "SkinWindowFixture.h"

namespace {

TEST(SkinNum, AddsItsPropertiesAfterTheNumbers) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TSkinNum::StaticClass().Props) own.push_back(p.Name);
  EXPECT_EQ(own, (std::vector<std::string>{"AnalogSensor", "DigitalSensor", "MonitorOption"}));
  EXPECT_EQ(TSkinNum::StaticClass().Parent, &TGaugeNum::StaticClass());
  EXPECT_TRUE(TSkinClock::StaticClass().Props.empty());
  EXPECT_EQ(TSkinClock::StaticClass().Parent, &TGaugeClock::StaticClass());
  TSkinNum num(nullptr);
  EXPECT_EQ(num.AnalogSensor(), ia0);
  EXPECT_EQ(num.DigitalSensor(), in0);
  EXPECT_EQ(num.MonitorOption(), TSensorMonitor::_realtime);
}

class SkinNumWindow : public SkinWindowTest {};

TEST_F(SkinNumWindow, FramesTruncateTakeTheLow32BitsAndShareExtremes) {
  TDataChannelHost host(3);
  Load(" object N: TSkinNum\n  AnalogSensor = ia4\n  Min = -2147483648\n  Max = 2147483647\n end\n"
       " object G: TSkinAngularGauge\n  AnalogSensor = ia4\n end\n"
       " object D: TSkinNum\n  AnalogSensor = ia0\n  DigitalSensor = in3\n end\n"
       " object Off: TSkinNum\n  Value = 5\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  // ia4, then in3 after every analog sensor; the unbound display takes no slot.
  EXPECT_EQ(SkinSensorLayout(*Form), (std::vector<std::string>{"ia4", "in3"}));
  struct Case {
    float Reading;
    int32_t Value;
  };
  const Case cases[] = {
      {7.99f, 7},
      {-7.99f, -7},
      // 5e9 is 0x12A05F200: its low 32 bits are 0x2A05F200.
      {5e9f, 705032704},
  };
  TSkinNum* n = Find<TSkinNum>("N");
  for (const Case& c : cases) {
    host.WriteSlot(1, c.Reading);
    host.WriteSlot(2, 1.0f);
    Frame();
    EXPECT_EQ(n->Value(), c.Value) << c.Reading;
  }
  // The display's extremes update is the same sensor record the gauge sees.
  const TSensor& ia4Record = SensorList()->SensorAtPosition(1);
  EXPECT_EQ(ia4Record.Minimum(), -7.99f);
  EXPECT_EQ(ia4Record.Maximum(), 5e9f);
  EXPECT_EQ(Find<TSkinNum>("D")->Value(), 1);  // bound to in3
  EXPECT_EQ(SensorList()->SensorAtPosition(2).Maximum(), 1.0f);
  EXPECT_EQ(Find<TSkinNum>("Off")->Value(), 5);
}

TEST_F(SkinNumWindow, AClockLoadsWithoutASensorAndShowsTheTime) {
  TDataChannelHost host(0);
  Load(" object C: TSkinClock\n  ShowSeconds = True\n  Threaded = False\n end\n"
       " object Custom: TSkinClock\n  ClockType = ctCustom\n  Hours = 13\n  Minutes = 5\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  EXPECT_TRUE(SkinSensorLayout(*Form).empty());
  auto* clock = Find<TSkinClock>("C");
  ASSERT_NE(clock, nullptr);
  EXPECT_FALSE(clock->Threaded());
  EXPECT_EQ(clock->ShownText().size(), 8u);  // hh:mm:ss of the machine's time
  EXPECT_EQ(Find<TSkinClock>("Custom")->ShownText(), "13:05");
  Frame();  // a frame passes the clocks by
  EXPECT_EQ(Find<TSkinClock>("Custom")->ShownText(), "13:05");
}

}  // namespace
