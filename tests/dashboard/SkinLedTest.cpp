// The sensor-bound lamp: its added properties, the TriggerValue2 rule in
// file order, the thresholds (two and three states, reversed thresholds),
// the creation step (strip file, then both sensors), frames over a real
// shared block (no extremes update) and the state reported to tools.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "DataChannel.h"
#include "SkinImplLed.h"
#include "SkinStream.h"
#include "SkinWindowFixture.h"

namespace {

using A = TGaugeLedActive;
using S = TGaugeLedState;

TEST(SkinLed, AddsItsPropertiesAfterTheLampsWithTheirDefaults) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TSkinLed::StaticClass().Props) own.push_back(p.Name);
  EXPECT_EQ(own, (std::vector<std::string>{"AnalogSensor", "DigitalSensor", "GlyphsFile", "TriggerValue1",
                                           "TriggerValue2"}));
  EXPECT_EQ(TSkinLed::StaticClass().Parent, &TGaugeLed::StaticClass());
  EXPECT_TRUE(TSkinLed::StaticClass().Create);
  TSkinLed led(nullptr);
  EXPECT_EQ(led.AnalogSensor(), ia0);
  EXPECT_EQ(led.DigitalSensor(), in0);
  EXPECT_EQ(led.GlyphsFile(), "");
  EXPECT_EQ(led.TriggerValue1(), 0.0f);
  EXPECT_EQ(led.TriggerValue2(), 0.0f);
}

TEST(SkinLed, ThresholdsLightTheCells) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    S States;
    float T1, T2, Value;
    A Expected;  // starting from la2
  };
  const Case cases[] = {
      // Three states, 10 and 20: equal to a threshold lights the upper cell.
      {S::ls3, 10, 20, 9.99f, A::la1},
      {S::ls3, 10, 20, 10, A::la2},
      {S::ls3, 10, 20, 19.99f, A::la2},
      {S::ls3, 10, 20, 20, A::la3},
      {S::ls3, 10, 20, 1e30f, A::la3},
      // Two states with T1 = 0: every value >= 0 is on, negatives off.
      {S::ls2, 0, 0, 0, A::la2},
      {S::ls2, 0, 0, 1234.5f, A::la2},
      {S::ls2, 0, 0, -0.01f, A::la1},
      {S::ls2, 0, 0, -0.0f, A::la2},
      {S::ls2, 5, -100, 4.0f, A::la1},  // T2 plays no part
      // Reversed (T2 < T1, ls3 set after the thresholds were read): between
      // them both the first and the third test hold, and the third wins.
      {S::ls3, 20, 10, 15, A::la3},
      {S::ls3, 20, 10, 10, A::la3},
      {S::ls3, 20, 10, 9, A::la1},
      {S::ls3, 20, 10, 20, A::la3},
      // No test holds for NaN: the lamp keeps its cell.
      {S::ls3, 10, 20, nan, A::la2},
      {S::ls2, 10, 20, nan, A::la2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LedActiveFor(c.Value, c.T1, c.T2, c.States, A::la2), c.Expected)
        << int(c.States) << " T1 " << c.T1 << " T2 " << c.T2 << " v " << c.Value;
}

TEST(SkinLed, TriggerValue2BelowTriggerValue1SwapsOnlyForThreeStates) {
  struct Case {
    const char* What;
    S States;
    float T1, T2;
    float ExpectedT1, ExpectedT2;
  };
  const Case cases[] = {
      {"ls3: 50 then 30 swap", S::ls3, 50, 30, 30, 50},
      {"ls3: 30 then 50 stay", S::ls3, 30, 50, 30, 50},
      {"ls3: equal stays", S::ls3, 40, 40, 40, 40},
      {"ls2: 50 then 30 stay", S::ls2, 50, 30, 50, 30},
  };
  for (const Case& c : cases) {
    TSkinLed led(nullptr);
    led.SetStates(c.States);
    led.SetTriggerValue1(c.T1);
    led.SetTriggerValue2(c.T2);
    EXPECT_EQ(led.TriggerValue1(), c.ExpectedT1) << c.What;
    EXPECT_EQ(led.TriggerValue2(), c.ExpectedT2) << c.What;
  }
  // A write of the value already held does nothing, even below T1.
  TSkinLed led(nullptr);
  led.SetTriggerValue1(50);
  led.SetTriggerValue2(0);  // equal to the initial 0
  EXPECT_EQ(led.TriggerValue1(), 50.0f);
  EXPECT_EQ(led.TriggerValue2(), 0.0f);
}

// Collects what a component reports to tools.
class TStateLog final : public TSkinStateWriter {
public:
  std::vector<std::pair<std::string, std::string>> Texts;
  int Others = 0;
  void Integer(std::string_view, int64_t) override { ++Others; }
  void Number(std::string_view, double) override { ++Others; }
  void Text(std::string_view key, std::string_view value) override { Texts.emplace_back(key, value); }
};

class SkinLedWindow : public SkinWindowTest {
protected:
  // A 30 x 10 strip of three cells, written as a Windows bitmap under Skin/.
  void WriteStrip(const std::string& name) {
    TBitmap strip(30, 10);
    const auto bytes = strip.SaveToBytes();
    std::ofstream out(Dir / "Skin" / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
};

TEST_F(SkinLedWindow, TriggersAreReadInFileOrder) {
  WriteStrip("lamp.bmp");
  TDataChannelHost host(0);
  Load(" object Swap: TSkinLed\n  States = ls3\n  GlyphsFile = 'lamp.bmp'\n  TriggerValue1 = 50\n"
       "  TriggerValue2 = 30\n end\n"
       " object Two: TSkinLed\n  States = ls2\n  GlyphsFile = 'lamp.bmp'\n  TriggerValue1 = 50\n"
       "  TriggerValue2 = 30\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  EXPECT_EQ(Find<TSkinLed>("Swap")->TriggerValue1(), 30.0f);
  EXPECT_EQ(Find<TSkinLed>("Swap")->TriggerValue2(), 50.0f);
  EXPECT_EQ(Find<TSkinLed>("Two")->TriggerValue1(), 50.0f);
  EXPECT_EQ(Find<TSkinLed>("Two")->TriggerValue2(), 30.0f);
}

TEST_F(SkinLedWindow, FramesLightTheLampsWithoutTouchingTheExtremes) {
  WriteStrip("lamp.bmp");
  TDataChannelHost host(4);  // slot 0 and the three sensors
  Load(" object Rpm: TSkinLed\n  LedType = ltCustom\n  GlyphsFile = 'lamp.bmp'\n  AnalogSensor = ia3\n"
       "  DigitalSensor = in1\n  TriggerValue1 = 10\n  TriggerValue2 = 20\n end\n"
       " object Door: TSkinLed\n  States = ls2\n  GlyphsFile = 'lamp.bmp'\n  DigitalSensor = in2\n end\n"
       " object Off: TSkinLed\n  GlyphsFile = 'lamp.bmp'\n  Active = la2\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  // Both sensors of Rpm take a slot; Off takes none.
  EXPECT_EQ(SkinSensorLayout(*Form), (std::vector<std::string>{"ia3", "in1", "in2"}));
  auto* rpm = Find<TSkinLed>("Rpm");
  auto* door = Find<TSkinLed>("Door");
  EXPECT_EQ(rpm->Glyphs()->Width(), 30);  // the strip file, loaded at creation
  struct Step {
    float Rpm, Door;
    A RpmActive, DoorActive;
  };
  const Step steps[] = {
      {9.99f, -1.0f, A::la1, A::la1},
      {10.0f, 0.0f, A::la2, A::la2},
      {19.99f, -0.5f, A::la2, A::la1},
      {20.0f, 1.0f, A::la3, A::la2},
  };
  for (const Step& s : steps) {
    host.WriteSlot(1, s.Rpm);
    host.WriteSlot(2, 99.0f);  // in1: not read while ia3 is set
    host.WriteSlot(3, s.Door);
    Frame();
    EXPECT_EQ(rpm->Active(), s.RpmActive) << s.Rpm;
    EXPECT_EQ(door->Active(), s.DoorActive) << s.Door;
  }
  EXPECT_EQ(Find<TSkinLed>("Off")->Active(), A::la2);
  // Lamps never update the extremes.
  for (int32_t p = 1; p <= 3; ++p) {
    EXPECT_EQ(SensorList()->SensorAtPosition(p).Minimum(), 10000.0f) << p;
    EXPECT_EQ(SensorList()->SensorAtPosition(p).Maximum(), -10000.0f) << p;
  }
  // What tools are told.
  TStateLog log;
  rpm->WriteState(log);
  door->WriteState(log);
  Find<TSkinLed>("Off")->WriteState(log);
  EXPECT_EQ(log.Texts, (std::vector<std::pair<std::string, std::string>>{
                           {"active", "la3"}, {"active", "la2"}, {"active", "la2"}}));
  EXPECT_EQ(log.Others, 0);
}

TEST_F(SkinLedWindow, AStripThatCannotBeLoadedStopsTheCreationHandler) {
  WriteStrip("lamp.bmp");
  Load(" object First: TSkinLed\n  GlyphsFile = 'lamp.bmp'\n  AnalogSensor = ia1\n end\n"
       " object Broken: TSkinLed\n  GlyphsFile = 'none.bmp'\n  AnalogSensor = ia2\n end\n"
       " object Later: TSkinLed\n  GlyphsFile = 'lamp.bmp'\n  AnalogSensor = ia3\n end\n");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], "Impossible d'ouvrir le fichier \"Skin/none.bmp\". No such file or directory.");
  // The lamp before it registered; it and the lamps after it did not.
  ASSERT_NE(SensorList(), nullptr);
  EXPECT_EQ(SensorList()->Count(), 1);
  EXPECT_TRUE(SensorList()->IsSensorRegistered("ia1"));
  EXPECT_TRUE(Find<TSkinLed>("Later")->Glyphs()->Empty());
}

}  // namespace
