// The sensor-bound matrix: its added properties, the text of a sensor
// value (64-bit truncation), a matrix read from a skin (bounds and
// alignment after loading, scrolling from the skin), frames over a real
// shared block with the extremes, and the state reported to tools.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "DataChannel.h"
#include "GaugeTimer.h"
#include "SkinImplMatrix.h"
#include "SkinStream.h"
#include "SkinWindowFixture.h"

namespace {

TEST(SkinMatrix, AddsItsPropertiesAfterTheMatrixWithTheirDefaults) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TSkinMatrix::StaticClass().Props) own.push_back(p.Name);
  EXPECT_EQ(own, (std::vector<std::string>{"AnalogSensor", "DigitalSensor", "MonitorOption"}));
  EXPECT_EQ(TSkinMatrix::StaticClass().Parent, &TGaugeMatrix::StaticClass());
  EXPECT_TRUE(TSkinMatrix::StaticClass().Create);
  TSkinMatrix m(nullptr);
  EXPECT_EQ(m.AnalogSensor(), ia0);
  EXPECT_EQ(m.DigitalSensor(), in0);
  EXPECT_EQ(m.MonitorOption(), TSensorMonitor::_realtime);
}

TEST(SkinMatrix, TheTextOfAValueIsItsWholePartIn64Bits) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::pair<float, const char*> cases[] = {
      {5000000000.0f, "5000000000"},  // not the low 32 bits
      {2.9f, "2"},
      {-2.9f, "-2"},
      {-0.5f, "0"},  // no minus sign before zero
      {0.0f, "0"},
      {-1234567.0f, "-1234567"},
      {1e19f, "9223372036854775807"},  // beyond 64 bits: saturated
      {-1e19f, "-9223372036854775808"},
      {inf, "9223372036854775807"},
      {-inf, "-9223372036854775808"},
      {std::numeric_limits<float>::quiet_NaN(), "0"},
  };
  for (auto [value, text] : cases) EXPECT_EQ(MatrixSensorText(value), text) << value;
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

class SkinMatrixWindow : public SkinWindowTest {};

TEST_F(SkinMatrixWindow, FramesWriteTheValueAndUpdateTheExtremes) {
  TDataChannelHost host(3);
  Load(" object Speed: TSkinMatrix\n  Width = 100\n  AnalogSensor = ia2\n  Text = 'Hello'\n end\n"
       " object Gear: TSkinMatrix\n  Leds = 2\n  DigitalSensor = in4\n  MonitorOption = _max\n end\n"
       " object Banner: TSkinMatrix\n  Leds = 8\n  Alignment = vaRightJustify\n  Text = 'Hi'\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  EXPECT_EQ(SkinSensorLayout(*Form), (std::vector<std::string>{"ia2", "in4"}));
  auto* speed = Find<TSkinMatrix>("Speed");
  auto* gear = Find<TSkinMatrix>("Gear");
  auto* banner = Find<TSkinMatrix>("Banner");
  // After loading: the size fits the cells whatever the skin wrote, and the
  // start position follows the alignment.
  EXPECT_EQ(speed->Width(), 248);
  EXPECT_EQ(speed->Height(), 30);
  EXPECT_EQ(gear->Width(), 2 * 14 + 2 + 10);
  EXPECT_EQ(banner->StartPosition(), 2 - 8 + 1);
  EXPECT_EQ(gear->MonitorOption(), TSensorMonitor::_max);
  EXPECT_EQ(speed->ShownChars(), "HELLO");  // the skin's text until the first frame

  struct Step {
    float Speed, Gear;
    const char* SpeedText;
    const char* GearText;
  };
  const Step steps[] = {
      {5000000000.0f, 3.0f, "5000000000", "3"},
      {-42.9f, 0.99f, "-42", "0"},
  };
  for (const Step& s : steps) {
    host.WriteSlot(1, s.Speed);
    host.WriteSlot(2, s.Gear);
    Frame();
    EXPECT_EQ(speed->Text(), s.SpeedText);
    EXPECT_EQ(speed->ShownChars(), s.SpeedText);
    EXPECT_EQ(gear->Text(), s.GearText);
  }
  EXPECT_EQ(banner->Text(), "Hi");  // bound to nothing: left alone
  const TSensor& ia2Record = SensorList()->SensorAtPosition(1);
  EXPECT_EQ(ia2Record.Maximum(), 5000000000.0f);
  EXPECT_EQ(ia2Record.Minimum(), -42.9f);
  EXPECT_EQ(SensorList()->SensorAtPosition(2).Maximum(), 3.0f);

  TStateLog log;
  speed->WriteState(log);
  banner->WriteState(log);
  EXPECT_EQ(log.Texts, (std::vector<std::pair<std::string, std::string>>{{"text", "-42"}, {"text", "HI"}}));
  EXPECT_EQ(log.Others, 0);
}

TEST_F(SkinMatrixWindow, ASkinsScrollingMatrixRunsOnItsTimer) {
  TDataChannelHost host(1);
  Load(" object Msg: TSkinMatrix\n  Threaded = False\n  Leds = 3\n  AutoScroll = True\n  TimeInterval = 200\n"
       "  ScrollDirection = msdLeftToRight\n  Text = '%Cgo'\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  auto* msg = Find<TSkinMatrix>("Msg");
  EXPECT_TRUE(msg->Timer().Enabled());
  EXPECT_EQ(msg->Timer().TimerType(), ttSystem);
  EXPECT_EQ(msg->Timer().Interval(), 200u);
  EXPECT_EQ(msg->ShownChars(), "GO");
  EXPECT_EQ(msg->ColorCodes(), "CC");
  EXPECT_EQ(msg->StartPosition(), 1);
  System.AdvanceClock(200);
  App->ProcessMessages();
  EXPECT_EQ(msg->StartPosition(), 0);
}

}  // namespace
