// The sensor-bound bars: their added properties, what their creation step
// registers, their place in the registration list, and their frame steps fed
// by a real shared block through the skin window's frame pass.
#include <gtest/gtest.h>

#include "SkinWindowFixture.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DataChannel.h"
#include "SkinImpl.h"
#include "SkinImplBars.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

namespace fs = std::filesystem;

TEST(SkinBars, PublishTheirSensorsAfterTheWidgetsProperties) {
  const std::pair<const TClassInfo*, const TClassInfo*> classes[] = {
      {&TSkinProgressBar::StaticClass(), &TGaugeProgressBar::StaticClass()},
      {&TSkinLevelBar::StaticClass(), &TGaugeLevelBar::StaticClass()},
  };
  for (auto [info, base] : classes) {
    std::vector<std::string> own;
    for (const TPropInfo& p : info->Props) own.push_back(p.Name);
    EXPECT_EQ(own, (std::vector<std::string>{"AnalogSensor", "DigitalSensor"})) << info->Name;
    EXPECT_EQ(info->Parent, base) << info->Name;
    EXPECT_TRUE(info->Create) << info->Name;
    EXPECT_EQ(info->FindProp("AnalogSensor")->Enum, &AnalogSensorNames());
    EXPECT_EQ(info->FindProp("DigitalSensor")->Enum, &DigitalSensorNames());
  }
  TSkinProgressBar p(nullptr);
  TSkinLevelBar l(nullptr);
  EXPECT_EQ(p.AnalogSensor(), ia0);
  EXPECT_EQ(p.DigitalSensor(), in0);
  EXPECT_EQ(l.AnalogSensor(), ia0);
  EXPECT_EQ(l.DigitalSensor(), in0);
}

TEST(SkinBars, RegisterTheirAnalogSensorOnly) {
  struct Case {
    TAnalogSensors Analog;
    TDigitalSensors Digital;
    int32_t Registered;
  };
  const Case cases[] = {{ia4, in0, 1}, {ia0, in3, 0}, {ia47, in32, 1}, {ia0, in0, 0}};
  for (const Case& c : cases) {
    TSkinProgressBar p(nullptr);
    TSkinLevelBar l(nullptr);
    TSkinComponent* components[] = {&p, &l};
    p.SetAnalogSensor(c.Analog);
    p.SetDigitalSensor(c.Digital);
    l.SetAnalogSensor(c.Analog);
    l.SetDigitalSensor(c.Digital);
    for (TSkinComponent* component : components) {
      TSensorList sensors;
      component->CreationStep(sensors);
      EXPECT_EQ(sensors.Count(), c.Registered) << SensorIdentifier(c.Analog);
      if (c.Registered) {
        EXPECT_TRUE(sensors.IsSensorRegistered(SensorIdentifier(c.Analog)));
      }
      EXPECT_FALSE(sensors.IsSensorRegistered(SensorIdentifier(c.Digital)));
    }
  }
}

TEST(SkinBars, RegisteredInTheirPlaceAmongTheSkinClasses) {
  RegisterSkinClasses();
  std::vector<std::string> names;
  for (const TClassInfo* info : RegisteredClasses()) names.push_back(info->Name);
  const auto progress = std::find(names.begin(), names.end(), "TSkinProgressBar");
  ASSERT_NE(progress, names.end());
  ASSERT_NE(progress + 1, names.end());
  EXPECT_EQ(*(progress + 1), "TSkinLevelBar");
  // After the LED, before the number display, when those are there.
  for (const char* before : {"TSkinForm", "TSkinBackground", "TSkinAngularGauge", "TSkinCounter", "TSkinLed"}) {
    const auto it = std::find(names.begin(), names.end(), before);
    if (it != names.end()) {
      EXPECT_LT(it, progress) << before;
    }
  }
  for (const char* after : {"TSkinNum", "TSkinClock", "TSkinMatrix", "TSkinLabel"}) {
    const auto it = std::find(names.begin(), names.end(), after);
    if (it != names.end()) {
      EXPECT_GT(it, progress) << after;
    }
  }
}

TEST(SkinBars, FrameWithoutAListLeavesTheBarsAlone) {
  ReleaseSensorList();
  TSkinProgressBar p(nullptr);
  TSkinLevelBar l(nullptr);
  p.SetAnalogSensor(ia1);
  l.SetAnalogSensor(ia1);
  p.SetPosition(12);
  l.SetPosition(13);
  p.FrameStep();
  l.FrameStep();
  EXPECT_EQ(p.Position(), 12);
  EXPECT_EQ(l.Position(), 13);
}

// A skin window read from text, with a shared block of the test's own.
class SkinBarFrames : public SkinWindowTest {
protected:
  void SetUp() override {
    SkinWindowTest::SetUp();
    // Registered here as well, so the test does not depend on the
    // registration list (registering twice keeps the first).
    RegisterClass(TSkinProgressBar::StaticClass());
    RegisterClass(TSkinLevelBar::StaticClass());
  }
  TGaugeCustomBar* Bar(const char* name) { return Find<TGaugeCustomBar>(name); }
};

TEST_F(SkinBarFrames, BarsTakeTheirSensorsValueTruncatedTowardZero) {
  // ia2 and ia4 take slots 1 and 2 once the list is sorted.
  TDataChannelHost host(2);
  Load(" object P: TSkinProgressBar\n  MinValue = -100\n  AnalogSensor = ia4\n end\n"
       " object Q: TSkinProgressBar\n  AnalogSensor = ia4\n  DigitalSensor = in1\n end\n"
       " object L: TSkinLevelBar\n  AnalogSensor = ia2\n  DigitalSensor = in5\n end\n"
       " object N: TSkinLevelBar\n  Position = 33\n  DigitalSensor = in3\n end\n");
  ASSERT_EQ(System.MessageBoxes().size(), 0u);
  ASSERT_NE(SensorList(), nullptr);
  EXPECT_EQ(SensorList()->Count(), 2);
  EXPECT_EQ(SensorList()->FindSensorPosition("ia2"), 1);
  EXPECT_EQ(SensorList()->FindSensorPosition("ia4"), 2);

  struct Step {
    float Ia2, Ia4;
    int32_t P, Q, L;  // positions after the frame
  };
  const Step steps[] = {
      {50.5f, 7.99f, 7, 7, 50},     // both bars on ia4 move together
      {-0.5f, -7.99f, -7, 0, 0},    // toward zero; Q clamps to its MinValue
      {99.99f, 1e9f, 100, 100, 99},
      // 3e9 does not fit 32 bits: its low 32 bits are negative.
      {100, 3e9f, -100, 0, 100},
      {-3e9f, -3e9f, 100, 100, 100},  // and those of -3e9 positive
  };
  for (const Step& s : steps) {
    host.WriteSlot(1, s.Ia2);
    host.WriteSlot(2, s.Ia4);
    Frame();
    EXPECT_EQ(Bar("P")->Position(), s.P) << s.Ia4;
    EXPECT_EQ(Bar("Q")->Position(), s.Q) << s.Ia4;
    EXPECT_EQ(Bar("L")->Position(), s.L) << s.Ia2;
    EXPECT_EQ(Bar("N")->Position(), 33);  // bound to nothing
  }
  // Each bar recorded its frame's raw value in the sensor: ia4 twice per frame.
  const TSensor& ia2Sensor = SensorList()->SensorAtPosition(1);
  const TSensor& ia4Sensor = SensorList()->SensorAtPosition(2);
  EXPECT_EQ(ia2Sensor.Current(), -3e9f);
  EXPECT_EQ(ia2Sensor.Minimum(), -3e9f);
  EXPECT_EQ(ia2Sensor.Maximum(), 100.0f);
  EXPECT_EQ(ia4Sensor.Current(), -3e9f);
  EXPECT_EQ(ia4Sensor.Minimum(), -3e9f);
  EXPECT_EQ(ia4Sensor.Maximum(), 3e9f);
}

TEST_F(SkinBarFrames, ABlockTooShortForTheSlotLeavesTheBarAlone) {
  TDataChannelHost host(1);  // slot 1 only
  Load(" object P: TSkinProgressBar\n  AnalogSensor = ia1\n end\n"
       " object L: TSkinLevelBar\n  AnalogSensor = ia2\n  Position = 5\n end\n");
  host.WriteSlot(1, 33);
  Frame();
  EXPECT_EQ(Bar("P")->Position(), 33);
  EXPECT_EQ(Bar("L")->Position(), 5);
  EXPECT_EQ(SensorList()->SensorAtPosition(2).Maximum(), -10000.0f);  // never updated
}

TEST_F(SkinBarFrames, SkinPropertiesAreAppliedAsRead) {
  TDataChannelHost host(1);
  // While a skin is read the bars neither turn on their side nor resize for
  // a bevel, and Percent1 is not held within 100 % - but Percent2 is.
  Load(" object L: TSkinLevelBar\n  Left = 10\n  Top = 20\n  Width = 169\n  Height = 20\n"
       "  Orientation = voHorizontal\n  Percent1 = 90\n  Percent2 = 20\n  Palette1.High = clBlue\n"
       "  Bevel.InnerWidth = 1\n  Style = psTopRight\n  TickHeight = 0\n end\n"
       " object P: TSkinProgressBar\n  Width = 20\n  Height = 120\n  Orientation = voVertical\n"
       "  FillType = pfPlain\n  Smooth = True\n  Bevel.OuterWidth = 2\n  Step = 5\n  AnalogSensor = ia1\n end\n");
  ASSERT_EQ(System.MessageBoxes().size(), 0u);
  auto* level = dynamic_cast<TSkinLevelBar*>(Form->FindComponent("L"));
  auto* progress = dynamic_cast<TSkinProgressBar*>(Form->FindComponent("P"));
  ASSERT_TRUE(level && progress);
  EXPECT_EQ(level->BoundsRect(), Bounds(10, 20, 169, 20));
  EXPECT_EQ(level->Orientation(), TGaugeOrientation::voHorizontal);
  EXPECT_EQ(level->Percent1(), 90);
  EXPECT_EQ(level->Percent2(), 25);
  EXPECT_EQ(level->Palette1()->High(), clBlue);
  EXPECT_EQ(level->Bevel()->TotalWidth(), 4);
  EXPECT_EQ(level->Style(), TGaugeProgressStyle::psTopRight);
  EXPECT_EQ(level->TickHeight(), 1);
  EXPECT_EQ(progress->Width(), 20);
  EXPECT_EQ(progress->Height(), 120);
  EXPECT_EQ(progress->Orientation(), TGaugeOrientation::voVertical);
  EXPECT_EQ(progress->FillType(), TGaugeProgressBarFill::pfPlain);
  EXPECT_TRUE(progress->Smooth());
  EXPECT_EQ(progress->Bevel()->OuterWidth(), 2);
  EXPECT_EQ(progress->Step(), 5);
  EXPECT_EQ(progress->AnalogSensor(), ia1);
  // A frame then drives the bar that is bound.
  host.WriteSlot(1, 42.9f);
  Frame();
  EXPECT_EQ(progress->Position(), 42);
}

}  // namespace
