// The sensor-bound label: the label number format (one table, with "." and
// with the French ","), the decimal separator taken from the user's
// environment without touching the process's locale, the added properties,
// which labels register which sensors, and the frame step in a live skin
// window (reading, minimum, maximum, the skin's caption until the first
// frame, the analog sensor before the digital one, fixed-text labels).
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "SkinImplAngularGauge.h"
#include "SkinImplLabel.h"
#include "SkinWindowFixture.h"

namespace {

constexpr const char* kFrench = "fr_FR.UTF-8";

// ---- number format -----------------------------------------------------------------------

TEST(LabelNumberTextTest, FormatsAsTheLabelShowsNumbers) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    double Value;
    int32_t Precision;
    const char* Separator;
    const char* Expected;
  };
  const Case cases[] = {
      // Fixed notation, at most 4 significant digits, zero-filled decimals.
      {12.5, 2, ".", "12.50"},
      {3.14159, 2, ".", "3.14"},
      {1234.56, 1, ".", "1235.0"},
      {999.95, 1, ".", "1000.0"},  // stored just above the half: up, still 4 integer digits
      {0.000123456, 18, ".", "0.000123500000000000"},
      {0.0, 2, ".", "0.00"},
      {7.0, 0, ".", "7"},
      // Exponent notation beyond 4 integer digits, padded to the precision when 1 to 4.
      {12345, 0, ".", "1.235E4"},
      {12345, 2, ".", "1.235E04"},
      {10000, 1, ".", "1E4"},
      {10000, 0, ".", "1E4"},       // the initial minimum of a sensor
      {-10000, 1, ".", "-1E4"},     // and its initial maximum
      {9999.5, 0, ".", "1E4"},      // rounding makes the fifth digit
      {99999.99, 2, ".", "1E05"},
      {1e10, 4, ".", "1E0010"},
      {12345, 5, ".", "1.235E4"},   // precision above 4: unpadded
      // Halves away from zero, on the exact expansion of the stored double.
      {0.5, 0, ".", "1"},
      {2.5, 0, ".", "3"},
      {-2.5, 0, ".", "-3"},
      {0.125, 2, ".", "0.13"},      // exactly a half
      {-0.125, 2, ".", "-0.13"},
      {0.015, 2, ".", "0.01"},      // stored as 0.01499999...
      {0.00005, 4, ".", "0.0001"},  // stored as 0.0000500000000000000024
      // Negative values.
      {-12.5, 2, ".", "-12.50"},
      {-1234.56, 1, ".", "-1235.0"},
      {-12345, 3, ".", "-1.235E004"},
      // A value that rounds to zero from below shows no sign.
      {-0.001, 2, ".", "0.00"},
      {-0.4, 0, ".", "0"},
      {-0.0, 1, ".", "0.0"},
      // Precision above 18 acts as 18; below 0 as 0.
      {3.14159, 19, ".", "3.142000000000000000"},
      {3.14159, 1000, ".", "3.142000000000000000"},
      {12345, 19, ".", "1.235E4"},
      {3.14159, -3, ".", "3"},
      // A float reading, formatted from its exact value.
      {double(12.3f), 1, ".", "12.3"},
      {double(12.3f), 6, ".", "12.300000"},
      // Values without a defined display.
      {std::nan(""), 2, ".", "NAN"},
      {kInf, 2, ".", "INF"},
      {-kInf, 2, ".", "-INF"},
      // The French separator.
      {12.5, 2, ",", "12,50"},
      {3.14159, 2, ",", "3,14"},
      {1234.56, 1, ",", "1235,0"},
      {12345, 0, ",", "1,235E4"},
      {12345, 2, ",", "1,235E04"},
      {10000, 1, ",", "1E4"},
      {9999.5, 0, ",", "1E4"},
      {-12.5, 2, ",", "-12,50"},
      {3.14159, 19, ",", "3,142000000000000000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LabelNumberText(c.Value, c.Precision, c.Separator), c.Expected)
        << c.Value << " with " << c.Precision << " and '" << c.Separator << "'";
}

TEST(LabelNumberTextTest, TheExtremesOfTheDoubleRange) {
  EXPECT_EQ(LabelNumberText(std::numeric_limits<double>::max(), 2, "."), "1.798E308");
  EXPECT_EQ(LabelNumberText(std::numeric_limits<double>::denorm_min(), 18, "."), "0.000000000000000000");
  EXPECT_EQ(LabelNumberText(double(std::numeric_limits<float>::max()), 0, "."), "3.403E38");
}

// ---- the decimal separator ---------------------------------------------------------------

// Sets environment variables for a scope and puts the old values back.
class TScopedEnvironment {
public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    FSaved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    ::setenv(name, value, 1);
  }
  ~TScopedEnvironment() {
    for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it) {
      if (it->second) ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else ::unsetenv(it->first.c_str());
    }
  }

private:
  std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

TEST(LabelDecimalSeparator, FrenchGivesACommaAndCAPoint) {
  const std::optional<std::string> french = LocaleDecimalSeparator(kFrench);
  ASSERT_TRUE(french.has_value()) << "the locale " << kFrench << " is missing: run scripts/setup-deps";
  EXPECT_EQ(*french, ",");
  EXPECT_EQ(LocaleDecimalSeparator("C"), ".");
  EXPECT_EQ(LocaleDecimalSeparator("xx_NOWHERE.UTF-8"), std::nullopt);
}

TEST(LabelDecimalSeparator, TheEnvironmentNamesTheLocaleAndTheProcessKeepsItsOwn) {
  struct Case {
    const char* All;
    const char* Numeric;
    const char* Lang;
    std::optional<std::string> Expected;
  };
  const Case cases[] = {
      {kFrench, "C", "C", ","},      // LC_ALL first
      {"", kFrench, "C", ","},       // then LC_NUMERIC
      {"", "", kFrench, ","},        // then LANG
      {"C", kFrench, kFrench, "."},
      {"", "", "", "."},
      {"xx_NOWHERE.UTF-8", "", "", std::nullopt},
  };
  for (const Case& c : cases) {
    TScopedEnvironment environment;
    environment.Set("LC_ALL", c.All);
    environment.Set("LC_NUMERIC", c.Numeric);
    environment.Set("LANG", c.Lang);
    EXPECT_EQ(LocaleDecimalSeparator(""), c.Expected) << c.All << "|" << c.Numeric << "|" << c.Lang;
  }
  // Nothing switched the process's numeric locale: C formatting still
  // writes a point.
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
  EXPECT_STREQ(buffer, "1.5");
}

TEST(LabelDecimalSeparatorDeathTest, TheUsersSeparatorIsReadOnceFromTheEnvironment) {
  // A fresh process, so that nothing has read the separator yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_TRUE(LocaleDecimalSeparator(kFrench).has_value()) << "run scripts/setup-deps";
  TScopedEnvironment environment;
  environment.Set("LC_ALL", kFrench);
  EXPECT_EXIT(
      {
        const bool comma = UserDecimalSeparator() == ",";
        ::setenv("LC_ALL", "C", 1);
        const bool kept = UserDecimalSeparator() == ",";
        const bool processUntouched = std::string(std::setlocale(LC_NUMERIC, nullptr)) == "C";
        std::fprintf(stderr, "comma %d kept %d untouched %d\n", comma, kept, processUntouched);
        std::exit(comma && kept && processUntouched ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "comma 1 kept 1 untouched 1");
}

// ---- the skin class ----------------------------------------------------------------------

TEST(SkinLabelClass, AddsItsPropertiesAfterTheLabelsWithTheirDefaults) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TSkinLabel::StaticClass().Props) own.push_back(p.Name);
  EXPECT_EQ(own, (std::vector<std::string>{"AnalogSensor", "DigitalSensor", "SensorMonitor", "LabelType",
                                           "SensorPrecision"}));
  EXPECT_EQ(TSkinLabel::StaticClass().Parent, &TGaugeLabel::StaticClass());
  EXPECT_TRUE(TSkinLabel::StaticClass().Create);
  TSkinLabel label(nullptr);
  EXPECT_EQ(label.AnalogSensor(), ia0);
  EXPECT_EQ(label.DigitalSensor(), in0);
  EXPECT_EQ(label.SensorMonitor(), TSensorMonitor::_realtime);
  EXPECT_EQ(label.LabelType(), TLabelType::_text);
  EXPECT_EQ(label.SensorPrecision(), 0);
  EXPECT_EQ(label.ShownSensor(), nullptr);
}

TEST(SkinLabelClass, OnlySensorLabelsRegisterAnalogThenDigital) {
  struct Case {
    TLabelType Type;
    TAnalogSensors Analog;
    TDigitalSensors Digital;
    std::vector<std::string> Registered;  // after sorting
    const char* Shown;                    // null: none
  };
  const Case cases[] = {
      {TLabelType::_text, ia3, in2, {}, nullptr},
      {TLabelType::_sensor, ia3, in0, {"ia3"}, "ia3"},
      {TLabelType::_sensor, ia0, in7, {"in7"}, "in7"},
      {TLabelType::_sensor, ia2, in5, {"ia2", "in5"}, "ia2"},  // both take a slot; ia2 is shown
      {TLabelType::_sensor, ia0, in0, {}, nullptr},
  };
  for (const Case& c : cases) {
    TSkinLabel label(nullptr);
    label.SetLabelType(c.Type);
    label.SetAnalogSensor(c.Analog);
    label.SetDigitalSensor(c.Digital);
    TSensorList sensors;
    label.RegisterSensors(sensors);
    sensors.Sort();
    std::vector<std::string> registered;
    for (int32_t p = 1; p <= sensors.Count(); ++p) registered.push_back(sensors.SensorAtPosition(p).SensorName());
    EXPECT_EQ(registered, c.Registered) << int(c.Analog) << " " << int(c.Digital);
    if (c.Shown) {
      ASSERT_NE(label.ShownSensor(), nullptr);
      EXPECT_EQ(*label.ShownSensor(), c.Shown);
    } else {
      EXPECT_EQ(label.ShownSensor(), nullptr);
    }
  }
}

// What a component's WriteState reports.
class TRecordingWriter : public TSkinStateWriter {
public:
  void Integer(std::string_view key, int64_t value) override { Items.push_back(std::string(key) + "=" + std::to_string(value)); }
  void Number(std::string_view key, double value) override { Items.push_back(std::string(key) + "=" + std::to_string(value)); }
  void Text(std::string_view key, std::string_view value) override {
    Items.push_back(std::string(key) + "=" + std::string(value));
  }
  std::vector<std::string> Items;
};

// ---- in a live skin window ---------------------------------------------------------------

class SkinLabelWindow : public SkinWindowTest {
protected:
  TSkinLabel* Label(const char* name) const { return Find<TSkinLabel>(name); }
  // The text a label shows for `value` with `precision` decimals here.
  static std::string Shown(double value, int32_t precision) {
    return LabelNumberText(value, precision, UserDecimalSeparator());
  }
};

TEST_F(SkinLabelWindow, ReadingMinimumAndMaximumAfterTheFirstFrame) {
  TDataChannelHost host(1);
  Load(" object Now: TSkinLabel\n  Caption = 'now'\n  LabelType = _sensor\n  AnalogSensor = ia3\n"
       "  SensorPrecision = 2\n end\n"
       " object Low: TSkinLabel\n  Caption = 'min'\n  LabelType = _sensor\n  AnalogSensor = ia3\n"
       "  SensorMonitor = _min\n  SensorPrecision = 1\n end\n"
       " object High: TSkinLabel\n  Caption = 'max'\n  LabelType = _sensor\n  AnalogSensor = ia3\n"
       "  SensorMonitor = _max\n  SensorPrecision = 1\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  ASSERT_EQ(SensorList()->Count(), 1);
  // Until the first frame every label keeps the skin's caption.
  EXPECT_EQ(Label("Now")->Caption(), "now");
  EXPECT_EQ(Label("Low")->Caption(), "min");
  EXPECT_EQ(Label("High")->Caption(), "max");

  struct Step {
    float Value;
    double Now, Low, High;
  };
  const Step steps[] = {{12.3f, 12.3f, 12.3f, 12.3f}, {20.0f, 20.0, 12.3f, 20.0}, {-3.5f, -3.5, -3.5, 20.0}};
  for (const Step& s : steps) {
    host.WriteSlot(1, s.Value);
    Frame();
    EXPECT_EQ(Label("Now")->Caption(), Shown(s.Now, 2)) << s.Value;
    EXPECT_EQ(Label("Low")->Caption(), Shown(s.Low, 1)) << s.Value;
    EXPECT_EQ(Label("High")->Caption(), Shown(s.High, 1)) << s.Value;
  }
  EXPECT_EQ(Label("Low")->Caption(), "-3" + UserDecimalSeparator() + "5");

  TRecordingWriter state;
  Label("High")->WriteState(state);
  EXPECT_EQ(state.Items, (std::vector<std::string>{"caption=" + Shown(20.0, 1)}));
}

TEST_F(SkinLabelWindow, AMaximumLabelShowsTheHighestValueAnyComponentRecorded) {
  // The label comes first in the file; the gauges after it update the same
  // sensor's extremes, and so does the label itself.
  TDataChannelHost host(1);
  Load(" object High: TSkinLabel\n  LabelType = _sensor\n  AnalogSensor = ia4\n  SensorMonitor = _max\n end\n"
       " object G1: TSkinAngularGauge\n  AnalogSensor = ia4\n end\n"
       " object G2: TSkinAngularGauge\n  AnalogSensor = ia4\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  for (float v : {5.0f, 30.0f, 10.0f}) {
    host.WriteSlot(1, v);
    Frame();
  }
  EXPECT_EQ(Label("High")->Caption(), "30");
}

TEST_F(SkinLabelWindow, TheAnalogSensorIsShownAndTheDigitalStillTakesItsSlot) {
  TDataChannelHost host(2);
  Load(" object Both: TSkinLabel\n  LabelType = _sensor\n  AnalogSensor = ia2\n  DigitalSensor = in5\n end\n"
       " object Digital: TSkinLabel\n  LabelType = _sensor\n  DigitalSensor = in5\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  EXPECT_EQ(SensorList()->FindSensorPosition("ia2"), 1);
  EXPECT_EQ(SensorList()->FindSensorPosition("in5"), 2);
  host.WriteSlot(1, 4.0f);
  host.WriteSlot(2, 1.0f);
  Frame();
  EXPECT_EQ(Label("Both")->Caption(), "4");
  EXPECT_EQ(Label("Digital")->Caption(), "1");
}

TEST_F(SkinLabelWindow, FixedTextAndUnboundLabelsAreLeftAlone) {
  TDataChannelHost host(1);
  Load(" object Title: TSkinLabel\n  Caption = 'Speed'\n  AnalogSensor = ia1\n end\n"
       " object Unbound: TSkinLabel\n  Caption = 'none'\n  LabelType = _sensor\n end\n"
       " object Bound: TSkinLabel\n  LabelType = _sensor\n  AnalogSensor = ia6\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  EXPECT_EQ(SensorList()->Count(), 1);  // ia6 only: a _text label registers nothing
  EXPECT_FALSE(SensorList()->IsSensorRegistered("ia1"));
  host.WriteSlot(1, 9.0f);
  Frame(2);
  EXPECT_EQ(Label("Title")->Caption(), "Speed");
  EXPECT_EQ(Label("Unbound")->Caption(), "none");
  EXPECT_EQ(Label("Bound")->Caption(), "9");
  TRecordingWriter state;
  Label("Title")->WriteState(state);
  EXPECT_EQ(state.Items, (std::vector<std::string>{"caption=Speed"}));
}

}  // namespace
