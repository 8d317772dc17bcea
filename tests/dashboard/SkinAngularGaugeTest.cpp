// The sensor-bound needle gauge: its added properties and their one-way
// setters, what its creation step registers, and its frame step fed by a
// real shared block through the skin window's frame pass.
#include <gtest/gtest.h>

#include "SkinWindowFixture.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DataChannel.h"
#include "SkinImpl.h"
#include "SkinImplAngularGauge.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

namespace fs = std::filesystem;

TEST(SkinAngularGauge, ExtremesOnlyMoveOutward) {
  TSkinAngularGauge g(nullptr);
  // They start inverted: the meter's MaxValue and MinValue at construction.
  EXPECT_EQ(g.SensorMinValue(), 100.0f);
  EXPECT_EQ(g.SensorMaxValue(), 0.0f);
  EXPECT_EQ(g.AnalogSensor(), ia0);
  EXPECT_EQ(g.DigitalSensor(), in0);
  struct Step {
    bool Min;  // which setter
    float Set, ExpectedMin, ExpectedMax;
  };
  const Step steps[] = {
      {true, 150, 100, 0},   // not below 100: kept
      {true, 100, 100, 0},   // equal: kept
      {true, 50, 50, 0},
      {true, 70, 50, 0},
      {false, -3, 50, 0},    // not above 0: kept
      {false, 20, 50, 20},
      {false, 19.5f, 50, 20},
      {true, -1e30f, -1e30f, 20},
  };
  for (const Step& s : steps) {
    if (s.Min) g.SetSensorMinValue(s.Set);
    else g.SetSensorMaxValue(s.Set);
    EXPECT_EQ(g.SensorMinValue(), s.ExpectedMin) << s.Set;
    EXPECT_EQ(g.SensorMaxValue(), s.ExpectedMax) << s.Set;
  }
  // Bindings are plain stores.
  g.SetAnalogSensor(ia7);
  g.SetDigitalSensor(in3);
  EXPECT_EQ(g.AnalogSensor(), ia7);
  EXPECT_EQ(g.DigitalSensor(), in3);
}

TEST(SkinAngularGauge, PublishesItsOwnPropertiesAfterTheMeters) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TSkinAngularGauge::StaticClass().Props) own.push_back(p.Name);
  EXPECT_EQ(own, (std::vector<std::string>{"AnalogSensor", "DigitalSensor", "SensorMinValue", "SensorMaxValue"}));
  EXPECT_EQ(TSkinAngularGauge::StaticClass().Parent, &TGaugeAngularMeter::StaticClass());
  EXPECT_TRUE(TSkinAngularGauge::StaticClass().Create);
}

TEST(SkinAngularGauge, RegistersItsAnalogSensorOnly) {
  struct Case {
    TAnalogSensors Analog;
    TDigitalSensors Digital;
    int32_t Registered;
  };
  const Case cases[] = {{ia4, in0, 1}, {ia0, in3, 0}, {ia47, in32, 1}, {ia0, in0, 0}};
  for (const Case& c : cases) {
    TSkinAngularGauge g(nullptr);
    g.SetAnalogSensor(c.Analog);
    g.SetDigitalSensor(c.Digital);
    TSensorList sensors;
    g.CreationStep(sensors);
    EXPECT_EQ(sensors.Count(), c.Registered) << SensorIdentifier(c.Analog);
    if (c.Registered) {
      EXPECT_TRUE(sensors.IsSensorRegistered(SensorIdentifier(c.Analog)));
    }
    EXPECT_FALSE(sensors.IsSensorRegistered(SensorIdentifier(c.Digital)));
  }
}

TEST(SkinAngularGauge, FrameWithoutAListLeavesTheGaugeAlone) {
  ReleaseSensorList();
  TSkinAngularGauge g(nullptr);
  g.SetAnalogSensor(ia1);
  g.SetPosition(12);
  g.FrameStep();
  EXPECT_EQ(g.Position(), 12.0);
}

// A skin window read from text, with a shared block of the test's own.
class SkinAngularGaugeFrames : public SkinWindowTest {
protected:
  void SetUp() override {
    SkinWindowTest::SetUp();
    // Registered here as well, so the test does not depend on the
    // registration list (registering twice keeps the first).
    RegisterClass(TSkinAngularGauge::StaticClass());
  }
  TSkinAngularGauge* Gauge(const char* name) { return Find<TSkinAngularGauge>(name); }
};

TEST_F(SkinAngularGaugeFrames, GaugesFollowTheirSensorsSlots) {
  // ia2 and ia4 take slots 1 and 2 once the list is sorted.
  TDataChannelHost host(2);
  Load(" object A: TSkinAngularGauge\n  Spacing = 25\n  AnalogSensor = ia4\n  SensorMinValue = 150\n"
       "  SensorMaxValue = 80\n end\n"
       " object B: TSkinAngularGauge\n  MinValue = -100\n  AnalogSensor = ia4\n end\n"
       " object C: TSkinAngularGauge\n  AnalogSensor = ia2\n  DigitalSensor = in5\n end\n"
       " object D: TSkinAngularGauge\n  DigitalSensor = in3\n end\n");
  ASSERT_EQ(System.MessageBoxes().size(), 0u);
  ASSERT_NE(SensorList(), nullptr);
  EXPECT_EQ(SensorList()->Count(), 2);
  EXPECT_EQ(SensorList()->FindSensorPosition("ia2"), 1);
  EXPECT_EQ(SensorList()->FindSensorPosition("ia4"), 2);
  // The skin's extremes: 150 is not below 100, 80 is above 0.
  EXPECT_EQ(Gauge("A")->SensorMinValue(), 100.0f);
  EXPECT_EQ(Gauge("A")->SensorMaxValue(), 80.0f);
  // Read from a skin, each meter renders its dial once.
  EXPECT_EQ(Gauge("A")->DialBitmap().Width(), 250);

  struct Step {
    float Ia2, Ia4;
    double A, B, C;  // positions after the frame
  };
  const Step steps[] = {
      {10, 7.99f, double(7.99f), double(7.99f), 10},  // no truncation: the value as a 64-bit float
      {20, -7.99f, 0, double(-7.99f), 20},            // A clamps to its MinValue, B reaches below 0
      {150, 1e9f, 100, 100, 100},                     // both above MaxValue
      {0.5f, 42, 42, 42, 0.5},
  };
  for (const Step& s : steps) {
    host.WriteSlot(1, s.Ia2);
    host.WriteSlot(2, s.Ia4);
    Frame();
    EXPECT_EQ(Gauge("A")->Position(), s.A) << s.Ia4;
    EXPECT_EQ(Gauge("B")->Position(), s.B) << s.Ia4;
    EXPECT_EQ(Gauge("C")->Position(), s.C) << s.Ia2;
    EXPECT_EQ(Gauge("D")->Position(), 0.0);  // bound to nothing
  }
  // Each gauge recorded its frame's value in the sensor: ia4 twice per frame.
  const TSensor& ia2Sensor = SensorList()->SensorAtPosition(1);
  const TSensor& ia4Sensor = SensorList()->SensorAtPosition(2);
  EXPECT_EQ(ia2Sensor.Current(), 0.5f);
  EXPECT_EQ(ia2Sensor.Minimum(), 0.5f);
  EXPECT_EQ(ia2Sensor.Maximum(), 150.0f);
  EXPECT_EQ(ia4Sensor.Current(), 42.0f);
  EXPECT_EQ(ia4Sensor.Minimum(), -7.99f);
  EXPECT_EQ(ia4Sensor.Maximum(), 1e9f);
  // The frame step never touches the gauge's own extremes.
  EXPECT_EQ(Gauge("A")->SensorMinValue(), 100.0f);
  EXPECT_EQ(Gauge("A")->SensorMaxValue(), 80.0f);
}

TEST_F(SkinAngularGaugeFrames, ABlockTooShortForTheSlotLeavesTheGaugeAlone) {
  TDataChannelHost host(1);  // slot 1 only
  Load(" object A: TSkinAngularGauge\n  AnalogSensor = ia1\n end\n"
       " object B: TSkinAngularGauge\n  AnalogSensor = ia2\n end\n");
  host.WriteSlot(1, 33);
  Frame();
  EXPECT_EQ(Gauge("A")->Position(), 33.0);
  EXPECT_EQ(Gauge("B")->Position(), 0.0);
  EXPECT_EQ(SensorList()->SensorAtPosition(2).Maximum(), -10000.0f);  // never updated
}

}  // namespace
