// The needle gauge: its geometry as pure functions (polar points with their
// exact rounding, dial layout, zones, ticks, labels, caption lines, needle
// angle), the value model, when the dial is rebuilt, and pixels of the
// rendered meter on the headless window system.
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "Forms.h"
#include "GaugeAngularMeter.h"
#include "GaugeSysUtils.h"
#include "Png.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

// ---- geometry ----------------------------------------------------------------------------

TEST(AngularMeterGeometry, PolarPointsTruncateAfterRoundingTheAngleToADouble) {
  // Expected values computed independently at 200-bit precision with each
  // rounding step of the definition (80-bit pi and product, 64-bit t,
  // 80-bit sine and cosine, truncation). 30, 60 and 150 degrees show the
  // rounding: r x sin or r x cos lands just below 50 and truncates to 49.
  struct Case {
    int32_t DW, DH, R;
    double A;
    TPoint Expected;
  };
  const Case cases[] = {
      {250, 250, 100, 0, {125, 25}},    {250, 250, 100, 90, {225, 125}},  {250, 250, 100, 180, {125, 225}},
      {250, 250, 100, 270, {25, 125}},  {250, 250, 100, 30, {175, 39}},   {250, 250, 100, 60, {211, 76}},
      {250, 250, 100, 150, {174, 211}}, {250, 250, 100, 220, {61, 201}},  {250, 250, 100, 500, {189, 201}},
      {250, 250, 100, 360, {125, 25}},  {250, 250, 100, 390, {175, 39}},  {250, 250, -875, 0, {125, 1000}},
      {251, 251, 10, 45, {132, 118}},   {200, 100, 100, 120, {186, 100}}, {250, 250, 100, 330, {76, 39}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CalcPolarPoint(c.DW, c.DH, c.R, c.A), c.Expected) << c.R << " at " << c.A;
}

TEST(AngularMeterGeometry, PolarPointThatDoesNotFitRaisesARangeError) {
  // r x cos 180 = 2^31 for the most negative radius; the centre plus a
  // long reach overflows.
  EXPECT_THROW(CalcPolarPoint(0, 0, std::numeric_limits<int32_t>::min(), 180), ERangeError);
  EXPECT_THROW(CalcPolarPoint(std::numeric_limits<int32_t>::max(), 0, std::numeric_limits<int32_t>::max(), 90),
               EIntOverflow);
}

TEST(AngularMeterGeometry, DialLayout) {
  struct Case {
    int32_t Width, Height, Radius, Spacing, Angle, AngleOffset;
    TMeterDial Expected;  // zone ends left at Start: no zones
  };
  const Case cases[] = {
      // The initial meter: the huge Spacing makes R negative and is used as is.
      {250, 250, -1, 1000, 40, 280, {250, 250, 125, 125, -875, 220, 500, 220, 220}},
      {250, 250, -1, 25, 40, 280, {250, 250, 125, 125, 100, 220, 500, 220, 220}},
      // Not square: the smaller half-side, the centre of the control.
      {300, 201, -1, 10, 0, 360, {300, 201, 150, 100, 90, 180, 540, 180, 180}},
      // Own radius: a 2 x Radius box whatever the control's size.
      {250, 250, 60, 10, -90, 180, {120, 120, 60, 60, 50, 90, 270, 90, 90}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MeterDialGeometry(c.Width, c.Height, c.Radius, c.Spacing, c.Angle, c.AngleOffset, 0, 0), c.Expected)
        << c.Width << "x" << c.Height << " radius " << c.Radius;
  EXPECT_THROW(MeterDialGeometry(250, 250, std::numeric_limits<int32_t>::max(), 0, 0, 0, 0, 0), EIntOverflow);
}

TEST(AngularMeterGeometry, ZonesShareTheSweep) {
  const TMeterDial dial = MeterDialGeometry(250, 250, -1, 25, 40, 280, 60, 25);
  // 60 % and 25 % of 280 degrees: 168, 70 and the last 42.
  EXPECT_NEAR(dial.FZ1 - dial.FStart, 168.0, 1e-9);
  EXPECT_NEAR(dial.FZ2 - dial.FZ1, 70.0, 1e-9);
  EXPECT_NEAR(dial.FEnd - dial.FZ2, 42.0, 1e-9);

  struct Span {
    int32_t Zone;
    double From, To;
  };
  struct Case {
    int32_t Percent1, Percent2;
    std::vector<Span> Expected;
  };
  const Case cases[] = {
      {60, 25, {{1, 220, 388}, {2, 388, 458}, {3, 458, 500}}},
      {60, 40, {{1, 220, 388}, {2, 388, 500}}},  // no zone 3 at 100 %
      {0, 0, {{3, 220, 500}}},                    // zone 3 covers everything
      {0, 50, {{2, 220, 360}, {3, 360, 500}}},    // zone 2 starts where zone 1 would have
      {50, 0, {{1, 220, 360}, {3, 360, 500}}},
      {100, 0, {{1, 220, 500}}},
  };
  for (const Case& c : cases) {
    const TMeterDial d = MeterDialGeometry(250, 250, -1, 25, 40, 280, c.Percent1, c.Percent2);
    const std::vector<TMeterZone> zones = MeterZones(d, 14, c.Percent1, c.Percent2);
    ASSERT_EQ(zones.size(), c.Expected.size()) << c.Percent1 << "/" << c.Percent2;
    for (size_t i = 0; i < zones.size(); ++i) {
      EXPECT_EQ(zones[i].FZone, c.Expected[i].Zone);
      EXPECT_NEAR(zones[i].FFrom, c.Expected[i].From, 1e-9);
      EXPECT_NEAR(zones[i].FTo, c.Expected[i].To, 1e-9);
      // The ring box reaches TicksMax beyond the tick circle.
      EXPECT_EQ(zones[i].FBox, Rect(11, 11, 239, 239));
      // Counter-clockwise from the far end back to the near end; the
      // radials reach q = box height - TicksMax = 214.
      EXPECT_EQ(zones[i].FStartRadial, CalcPolarPoint(250, 250, 214, zones[i].FTo));
      EXPECT_EQ(zones[i].FEndRadial, CalcPolarPoint(250, 250, 214, zones[i].FFrom));
    }
  }
}

TEST(AngularMeterGeometry, TicksEveryNthLongStartingWithTheFirst) {
  const TMeterDial dial = MeterDialGeometry(250, 250, -1, 25, 40, 280, 0, 0);
  struct Case {
    int32_t Ticks, Enlarge;
    size_t Marks;
    std::vector<size_t> LongMarks;  // zero-based
  };
  const Case cases[] = {
      {100, 10, 101, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
      {4, 3, 5, {0, 3}},
      {3, 1, 4, {0, 1, 2, 3}},
      {10, 0, 11, {}},  // TicksEnlarge 0: every mark short instead of a division by zero
      {0, 10, 0, {}},
      {-3, 10, 0, {}},
  };
  for (const Case& c : cases) {
    const std::vector<TMeterTick> marks = MeterTicks(dial, 280, c.Ticks, 5, 14, c.Enlarge);
    ASSERT_EQ(marks.size(), c.Marks) << c.Ticks << "/" << c.Enlarge;
    std::vector<size_t> longMarks;
    for (size_t i = 0; i < marks.size(); ++i) {
      if (marks[i].FLength == 14) longMarks.push_back(i);
      else EXPECT_EQ(marks[i].FLength, 5);
    }
    EXPECT_EQ(longMarks, c.LongMarks) << c.Ticks << "/" << c.Enlarge;
  }
  // The marks run from Start to End on the tick circle, outward by their length.
  const std::vector<TMeterTick> marks = MeterTicks(dial, 280, 4, 5, 14, 2);
  const double angles[] = {220, 290, 360, 430, 500};
  for (size_t i = 0; i < marks.size(); ++i) {
    EXPECT_DOUBLE_EQ(marks[i].FAngle, angles[i]);
    EXPECT_EQ(marks[i].FInner, CalcPolarPoint(250, 250, 100, angles[i]));
    EXPECT_EQ(marks[i].FOuter, CalcPolarPoint(250, 250, 100 + marks[i].FLength, angles[i]));
  }
}

constexpr const char* kFrench = "fr_FR.UTF-8";

TEST(AngularMeterGeometry, LabelTexts) {
  // Halves round away from zero on the exact value, the separator is the
  // one given, and a value that rounds to zero carries no sign.
  struct Case {
    double Value;
    int32_t Decimals;
    const char* Separator;
    std::string Expected;
  };
  const Case cases[] = {
      {0, 2, ".", "0.00"},        {100, 2, ".", "100.00"},   {3.14159, 3, ".", "3.142"},
      {-7.25, 1, ".", "-7.3"},    {2.5, 0, ".", "3"},        {-2.5, 0, ".", "-3"},
      {0.125, 2, ".", "0.13"},    {0.015, 2, ".", "0.01"},   {9.995, 2, ".", "9.99"},
      {99.95, 1, ".", "100.0"},   {1, -3, ".", "1"},         {12.5, 4, ".", "12.5000"},
      {-0.001, 2, ".", "0.00"},   {1e20, 0, ".", "100000000000000000000"},
      {2.5, 1, ",", "2,5"},       {-1.25, 1, ",", "-1,3"},   {1000, 0, ",", "1000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatMeterLabel(c.Value, c.Decimals, c.Separator), c.Expected) << c.Value << " " << c.Decimals;
  EXPECT_EQ(FormatMeterLabel(1, 1000, ".").size(), 2u + 64u);
}

TEST(AngularMeterGeometry, LabelsUnderTheFrenchLocaleTakeItsComma) {
  const std::optional<std::string> french = LocaleDecimalSeparator(kFrench);
  ASSERT_TRUE(french.has_value()) << "the locale " << kFrench << " is missing: run scripts/setup-deps";
  const TMeterDial dial = MeterDialGeometry(250, 250, -1, 25, 40, 280, 0, 0);
  std::vector<std::string> texts;
  for (const TMeterLabel& label : MeterLabels(dial, 280, 4, 30, 0, 10, 1, *french)) texts.push_back(label.FText);
  EXPECT_EQ(texts, (std::vector<std::string>{"0,0", "2,5", "5,0", "7,5", "10,0"}));
}

TEST(AngularMeterGeometry, LabelsAlongTheScale) {
  const TMeterDial dial = MeterDialGeometry(250, 250, -1, 25, 40, 280, 0, 0);
  const std::vector<TMeterLabel> labels = MeterLabels(dial, 280, 10, 30, 0, 100, 2, ".");
  ASSERT_EQ(labels.size(), 11u);
  for (size_t k = 0; k < labels.size(); ++k) {
    EXPECT_EQ(labels[k].FText, FormatMeterLabel(10.0 * static_cast<double>(k), 2, "."));
    EXPECT_EQ(labels[k].FCenter, CalcPolarPoint(250, 250, 130, 220 + 28.0 * static_cast<double>(k))) << k;
  }
  EXPECT_EQ(labels.front().FText, "0.00");
  EXPECT_EQ(labels.back().FText, "100.00");
  // Values are computed afresh for each label, from a negative minimum too.
  const std::vector<TMeterLabel> signed3 = MeterLabels(dial, 280, 3, 30, -1.5, 1.5, 1, ".");
  ASSERT_EQ(signed3.size(), 4u);
  EXPECT_EQ(signed3[0].FText, "-1.5");
  EXPECT_EQ(signed3[1].FText, "-0.5");
  EXPECT_EQ(signed3[2].FText, "0.5");
  EXPECT_EQ(signed3[3].FText, "1.5");
  EXPECT_TRUE(MeterLabels(dial, 280, 0, 30, 0, 100, 2, ".").empty());
  EXPECT_TRUE(MeterLabels(dial, 280, -2, 30, 0, 100, 2, ".").empty());
}

TEST(AngularMeterGeometry, CaptionLines) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"Speed", {"Speed"}},
      {"km|h", {"km", "h"}},
      {"A||B", {"A", "", "B"}},
      {"A|", {"A"}},
      {"|A", {"", "A"}},
  };
  for (const auto& [caption, lines] : cases) EXPECT_EQ(MeterCaptionLines(caption), lines) << caption;
}

TEST(AngularMeterGeometry, NeedleAngle) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double Min, Max, Position;
    int32_t Angle, AngleOffset;
    bool Reverse;
    double Expected;
  };
  const Case cases[] = {
      {0, 100, 0, 40, 280, false, 220},    // MinValue at Start
      {0, 100, 50, 40, 280, false, 360},   // midpoint straight up
      {0, 100, 100, 40, 280, false, 500},  // MaxValue at End (140 degrees)
      {0, 100, 100, 40, 280, true, 400},   // reversed: MaxValue at Angle + 360 = 40 degrees
      {0, 100, 0, 40, 280, true, 680},     // reversed: MinValue at 320 degrees
      {0, 100, 25, 40, 280, true, 610},
      {-50, 50, 0, 0, 180, false, 270},
      {5, 5, 5, 40, 280, false, 220},      // no scale to divide: at the start
      {5, 5, 5, 40, 280, true, 400},
      {0, 100, nan, 40, 280, false, 220},  // not a number: at the start
      {-inf, inf, 0, 40, 280, false, 220},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(NeedleAngle(c.Min, c.Max, c.Position, c.Angle, c.AngleOffset, c.Reverse), c.Expected)
        << c.Min << ".." << c.Max << " at " << c.Position << (c.Reverse ? " reversed" : "");
}

TEST(AngularMeterGeometry, NeedleTriangle) {
  const TMeterDial dial = MeterDialGeometry(250, 250, -1, 25, 40, 280, 0, 0);
  EXPECT_EQ(MeterNeedle(dial, 90, 6, 360),
            (TMeterNeedle{CalcPolarPoint(250, 250, 90, 360), CalcPolarPoint(250, 250, 3, 270),
                          CalcPolarPoint(250, 250, 3, 450)}));
  // A negative length reaches the tick circle.
  EXPECT_EQ(MeterNeedle(dial, -1, 7, 90).FTip, Point(225, 125));
  EXPECT_EQ(MeterNeedle(dial, -1, 7, 90).FBase1, CalcPolarPoint(250, 250, 3, 0));
}

// ---- value model -------------------------------------------------------------------------

TEST(AngularMeter, InitialValues) {
  TGaugeAngularMeter m(nullptr);
  EXPECT_EQ(m.Width(), 250);
  EXPECT_EQ(m.Height(), 250);
  EXPECT_EQ(m.NeedleCenterX(), 125);
  EXPECT_EQ(m.NeedleCenterY(), 125);
  EXPECT_FALSE(m.ReverseMotion());
  EXPECT_EQ(m.MaxValue(), 100.0);
  EXPECT_EQ(m.MinValue(), 0.0);
  EXPECT_EQ(m.Position(), 0.0);
  EXPECT_EQ(m.Decimals(), 2);
  EXPECT_EQ(m.Angle(), 40);
  EXPECT_EQ(m.AngleOffset(), 280);
  EXPECT_EQ(m.Radius(), -1);
  EXPECT_EQ(m.Spacing(), 1000);
  EXPECT_EQ(m.Ticks(), 0);
  EXPECT_EQ(m.TicksMin(), 5);
  EXPECT_EQ(m.TicksMax(), 14);
  EXPECT_EQ(m.TicksEnlarge(), 10);
  EXPECT_EQ(m.TicksColor(), clWhite);
  EXPECT_EQ(m.ColorZone1(), clGreen);
  EXPECT_EQ(m.ColorZone2(), clBlue);
  EXPECT_EQ(m.ColorZone3(), clRed);
  EXPECT_EQ(m.Percent1(), 0);
  EXPECT_EQ(m.Percent2(), 0);
  EXPECT_EQ(m.Labels(), 0);
  EXPECT_EQ(m.LabelsOffset(), 30);
  EXPECT_EQ(m.NeedleLength(), 100);
  EXPECT_EQ(m.NeedleBaseWidth(), 6);
  EXPECT_EQ(m.NeedleColor(), clBlack);
  EXPECT_EQ(m.CenterDotColor(), clRed);
  EXPECT_EQ(m.CenterDotWidth(), 0);
  EXPECT_EQ(m.LabelsFont()->Color(), clWhite);
  EXPECT_EQ(m.Font()->Color(), clWhite);
  EXPECT_EQ(m.Color(), clBlack);
  EXPECT_FALSE(m.ParentColor());
  EXPECT_TRUE(m.Transparent());
  EXPECT_FALSE(m.ControlStyle().Contains(csSetCaption));
  EXPECT_EQ(m.ScaleRadius(), -875);
  EXPECT_EQ(m.DialBitmap().Width(), 250);
}

TEST(AngularMeter, PublishesItsPropertiesInStreamOrder) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TGaugeAngularMeter::StaticClass().Props) own.push_back(p.Name);
  const std::vector<std::string> expected = {
      "NeedleCenterX", "NeedleCenterY", "ReverseMotion", "MaxValue", "MinValue", "Position", "Decimals", "Angle",
      "AngleOffset", "Radius", "Spacing", "Ticks", "TicksMin", "TicksMax", "TicksEnlarge", "TicksColor",
      "ColorZone1", "ColorZone2", "ColorZone3", "Percent1", "Percent2", "Labels", "LabelsOffset", "NeedleLength",
      "NeedleBaseWidth", "NeedleColor", "CenterDotColor", "CenterDotWidth", "LabelsFont", "Transparent", "OnChange"};
  ASSERT_GE(own.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(own.begin(), own.begin() + static_cast<long>(expected.size())), expected);
  const TClassInfo& info = TGaugeAngularMeter::StaticClass();
  for (const char* name : {"Caption", "Color", "Font", "Visible", "Anchors", "OnClick", "Version", "Left"})
    EXPECT_NE(info.FindProp(name), nullptr) << name;
  // Skins reach the labels font by a dotted path.
  TGaugeAngularMeter m(nullptr);
  const uint64_t builds = m.DialBuildCount();
  m.LabelsFont()->SetHeight(-20);
  EXPECT_EQ(m.DialBuildCount(), builds + 1);
}

TEST(AngularMeter, PositionIsClampedAndAnnouncesOnlyRealChanges) {
  TGaugeAngularMeter m(nullptr);
  int changes = 0;
  m.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &m);
    ++changes;
  };
  struct Step {
    double Set, Expected;
    int Changes;
  };
  const Step steps[] = {
      {150, 100, 1},  // above MaxValue: at the end, one OnChange
      {150, 100, 1},  // the same again: nothing
      {100, 100, 1},
      {-5, 0, 2},
      {42.5, 42.5, 3},
  };
  for (const Step& s : steps) {
    m.SetPosition(s.Set);
    EXPECT_EQ(m.Position(), s.Expected) << s.Set;
    EXPECT_EQ(changes, s.Changes) << s.Set;
  }
}

TEST(AngularMeter, EndsRefuseToCrossOutsideLoading) {
  TGaugeAngularMeter m(nullptr);
  m.SetPosition(50);
  try {
    m.SetMinValue(101);
    FAIL() << "MinValue above MaxValue accepted";
  } catch (const EGaugeException& e) {
    EXPECT_EQ(e.Message(), "Value out of range.");
  }
  EXPECT_EQ(m.MinValue(), 0.0);
  EXPECT_THROW(m.SetMaxValue(-1), EGaugeException);
  EXPECT_EQ(m.MaxValue(), 100.0);
  EXPECT_EQ(m.Position(), 50.0);

  // Pulling the ends in moves the position silently.
  int changes = 0;
  m.OnChange = [&](TObject*) { ++changes; };
  m.SetMinValue(60);
  EXPECT_EQ(m.Position(), 60.0);
  m.SetMaxValue(70);
  m.SetPosition(70);
  m.SetMaxValue(65);
  EXPECT_EQ(m.Position(), 65.0);
  EXPECT_EQ(changes, 1);  // only the explicit SetPosition(70)

  // Equal ends are accepted.
  m.SetMinValue(65);
  EXPECT_EQ(m.MinValue(), m.MaxValue());

  // While a skin is read the order of the two does not matter.
  TGaugeAngularMeter loading(nullptr);
  loading.BeginLoading();
  loading.SetMinValue(500);
  EXPECT_EQ(loading.MinValue(), 500.0);
  loading.SetMaxValue(1000);
  loading.Loaded();
  EXPECT_EQ(loading.MaxValue(), 1000.0);
}

TEST(AngularMeter, PercentagesAreKeptWithinAHundredOutsideLoading) {
  TGaugeAngularMeter m(nullptr);
  m.SetPercent1(60);
  m.SetPercent2(25);
  m.SetPercent2(50);
  EXPECT_EQ(m.Percent2(), 40);
  m.SetPercent1(90);
  EXPECT_EQ(m.Percent1(), 60);
  m.SetPercent2(0);
  m.SetPercent1(100);
  EXPECT_EQ(m.Percent1(), 100);

  TGaugeAngularMeter loading(nullptr);
  loading.BeginLoading();
  loading.SetPercent1(90);
  loading.SetPercent2(40);
  loading.Loaded();
  EXPECT_EQ(loading.Percent1(), 90);
  EXPECT_EQ(loading.Percent2(), 40);
}

TEST(AngularMeter, DialIsBuiltOnceAfterLoadingAndOnlyWhenItsInputsChange) {
  TGaugeAngularMeter m(nullptr);
  m.BeginLoading();
  const uint64_t before = m.DialBuildCount();
  m.SetBounds(10, 20, 200, 180);
  m.SetSpacing(20);
  m.SetTicks(10);
  m.SetCaption("rpm");
  m.SetColor(clNavy);
  // Placing by the centre works while loading, with the width known then.
  m.SetNeedleCenterX(300);
  m.SetNeedleCenterY(100);
  EXPECT_EQ(m.Left(), 200);
  EXPECT_EQ(m.Top(), 10);
  EXPECT_EQ(m.DialBuildCount(), before);
  m.Loaded();
  EXPECT_EQ(m.DialBuildCount(), before + 1);
  EXPECT_EQ(m.DialBitmap().Width(), 200);
  EXPECT_EQ(m.DialBitmap().Height(), 180);

  // Each row: a change and whether it renders the dial again.
  struct Step {
    const char* What;
    std::function<void()> Change;
    bool Rebuilds;
  };
  const Step steps[] = {
      {"Position", [&] { m.SetPosition(30); }, false},
      {"ReverseMotion", [&] { m.SetReverseMotion(true); }, false},
      {"NeedleLength", [&] { m.SetNeedleLength(50); }, false},
      {"NeedleBaseWidth", [&] { m.SetNeedleBaseWidth(9); }, false},
      {"NeedleColor", [&] { m.SetNeedleColor(clYellow); }, false},
      {"CenterDotColor", [&] { m.SetCenterDotColor(clLime); }, false},
      {"CenterDotWidth", [&] { m.SetCenterDotWidth(4); }, false},
      {"Ticks unchanged", [&] { m.SetTicks(10); }, false},
      {"Ticks", [&] { m.SetTicks(20); }, true},
      {"ColorZone1 unchanged", [&] { m.SetColorZone1(m.ColorZone1()); }, true},
      {"Labels", [&] { m.SetLabels(4); }, true},
      {"Caption", [&] { m.SetCaption("km/h"); }, true},
      {"Font", [&] { m.Font()->SetColor(clYellow); }, true},
      {"Color", [&] { m.SetColor(clMaroon); }, true},
      {"MaxValue", [&] { m.SetMaxValue(200); }, true},
      {"SetBounds", [&] { m.SetBounds(0, 0, 120, 120); }, true},
  };
  for (const Step& s : steps) {
    const uint64_t builds = m.DialBuildCount();
    s.Change();
    EXPECT_EQ(m.DialBuildCount(), builds + (s.Rebuilds ? 1 : 0)) << s.What;
  }
  // SetBounds keeps the centre properties on the control's centre.
  EXPECT_EQ(m.NeedleCenterX(), 60);
  EXPECT_EQ(m.NeedleCenterY(), 60);
  m.SetNeedleCenterX(100);
  EXPECT_EQ(m.Left(), 40);
  EXPECT_EQ(m.NeedleCenterX(), 100);
}

// ---- rendering on the headless window system ---------------------------------------------

class MeterPixels : public HeadlessFormTest {
protected:
  void SetUp() override {
    MakeForm(260, 260, clBlue);
    Meter = new TGaugeAngularMeter(Form);
    Meter->SetTransparent(false);
    Meter->SetSpacing(25);  // R = 100
    Meter->SetNeedleLength(90);
    Meter->SetNeedleColor(clYellow);
    Meter->SetParent(Form);
    Form->Show();
    App->ProcessMessages();
    Window = System.Windows().back();
  }

  TColor Screen(TPoint p) {
    App->ProcessMessages();
    return Window->ScreenPixel(p.X, p.Y);
  }
  // Whether the needle covers the points 30 and 70 pixels out along angle a.
  bool NeedleAt(double a) {
    return Screen(CalcPolarPoint(250, 250, 30, a)) == clYellow && Screen(CalcPolarPoint(250, 250, 70, a)) == clYellow;
  }
  std::vector<double> NeedleAngles() {
    std::vector<double> found;
    for (double a : {40.0, 140.0, 220.0, 320.0, 360.0}) {
      if (NeedleAt(a)) found.push_back(a);
    }
    return found;
  }

  TGaugeAngularMeter* Meter = nullptr;
};

TEST_F(MeterPixels, NeedleFollowsPositionAndReverseMotion) {
  struct Case {
    bool Reverse;
    double Position;
    std::vector<double> Expected;
  };
  const Case cases[] = {
      {false, 0, {220}},    // MinValue
      {false, 50, {360}},   // midpoint
      {false, 100, {140}},  // MaxValue: 500 degrees
      {true, 100, {40}},
      {true, 0, {320}},
  };
  for (const Case& c : cases) {
    Meter->SetReverseMotion(c.Reverse);
    Meter->SetPosition(c.Position == 0 ? 1 : 0);  // make sure the next set repaints
    Meter->SetPosition(c.Position);
    EXPECT_EQ(NeedleAngles(), c.Expected) << c.Position << (c.Reverse ? " reversed" : "");
  }
}

TEST_F(MeterPixels, AMovingNeedleRepaintsOnlyWhereNeedlesShowAndLeavesNoTrace) {
  auto screen = [&] {
    App->ProcessMessages();
    std::vector<TColor> pixels;
    for (int y = 0; y < Form->ClientHeight(); ++y)
      for (int x = 0; x < Form->ClientWidth(); ++x) pixels.push_back(Window->ScreenPixel(x, y));
    return pixels;
  };
  const int64_t meterArea = int64_t(Meter->Width()) * Meter->Height();
  struct Step {
    bool Reverse;
    double Position;
  };
  // A reversal is stored without a repaint: the needle on screen stays
  // where it was drawn until the next move, which must erase it there.
  const Step steps[] = {{false, 10}, {false, 35}, {true, 36}, {true, 37}, {false, 90}, {false, 89}};
  for (const Step& step : steps) {
    Meter->SetReverseMotion(step.Reverse);
    Meter->SetPosition(step.Position);
    const std::vector<TColor> moved = screen();
    int64_t presented = 0;
    for (const TRect& r : Window->LastPresented()) presented += int64_t(r.Width()) * r.Height();
    if (step.Position == 37 || step.Position == 89) {  // a one-step move: a small part of the gauge
      EXPECT_LT(presented, meterArea / 2) << step.Position;
    }
    Meter->Repaint();  // the whole gauge drawn afresh: the reference
    EXPECT_EQ(moved, screen()) << "after the move to " << step.Position << (step.Reverse ? " reversed" : "");
  }
}

TEST_F(MeterPixels, EqualEndsPutTheNeedleAtTheStart) {
  Meter->SetPosition(50);
  Meter->SetMaxValue(50);
  Meter->SetMinValue(50);
  EXPECT_EQ(NeedleAngles(), std::vector<double>{220});
  Meter->SetReverseMotion(true);
  Meter->SetNeedleColor(clRed);
  Meter->SetNeedleColor(clYellow);  // a repaint with the reversed start
  EXPECT_EQ(NeedleAngles(), std::vector<double>{40});
}

TEST_F(MeterPixels, DialRingTicksAndFrames) {
  Meter->SetPercent1(50);
  Meter->SetPercent2(25);
  // Zone 1 from 220 to 360, zone 2 to 430, zone 3 to 500; the ring lies
  // between R - 2 = 98 and R + TicksMax = 114. Nothing outside the sweep.
  const std::pair<double, TColor> ring[] = {
      {250, clGreen}, {340, clGreen}, {380, clBlue}, {420, clBlue}, {450, clRed}, {490, clRed}, {180, clBlack}};
  for (const auto& [a, color] : ring) {
    EXPECT_EQ(Screen(CalcPolarPoint(250, 250, 106, a)), color) << a;
    EXPECT_EQ(Screen(CalcPolarPoint(250, 250, 90, a)), clBlack) << a;  // inside the ring: Color
  }
  // Ticks over the ring: with TicksEnlarge 0 every mark is short.
  Meter->SetTicks(4);
  Meter->SetTicksEnlarge(0);
  Meter->SetTicksColor(clWhite);
  for (const TMeterTick& tick : MeterTicks(Meter->DialGeometry(), 280, 4, 5, 14, 0)) {
    EXPECT_EQ(tick.FLength, 5);
    EXPECT_EQ(Screen(tick.FInner), clWhite) << tick.FAngle;
    EXPECT_NE(Screen(CalcPolarPoint(250, 250, 112, tick.FAngle)), clWhite) << tick.FAngle;
  }
  Meter->SetTicksEnlarge(2);
  const std::vector<TMeterTick> marks = MeterTicks(Meter->DialGeometry(), 280, 4, 5, 14, 2);
  EXPECT_EQ(Screen(CalcPolarPoint(250, 250, 112, marks[0].FAngle)), clWhite);
  EXPECT_NE(Screen(CalcPolarPoint(250, 250, 112, marks[1].FAngle)), clWhite);

  // Frames blit the cached dial: many positions, no rebuild.
  const uint64_t builds = Meter->DialBuildCount();
  for (int i = 0; i <= 50; ++i) Meter->SetPosition(i * 2);
  EXPECT_EQ(Meter->DialBuildCount(), builds);
  EXPECT_EQ(NeedleAngles(), std::vector<double>{140});
}

TEST_F(MeterPixels, TransparentMeterShowsWhatLiesBeneath) {
  Form->OnPaint = [this](TObject*) {
    Form->Canvas()->Brush().SetColor(clFuchsia);
    Form->Canvas()->FillRect(Rect(0, 0, 260, 20));
  };
  Meter->SetTransparent(true);
  Form->Invalidate();
  App->ProcessMessages();
  EXPECT_EQ(Screen(Point(5, 5)), clFuchsia);     // the form's stripe through the dial's Color
  EXPECT_EQ(Screen(Point(125, 60)), clBlue);     // the form's own colour inside the ring
  EXPECT_EQ(Screen(CalcPolarPoint(250, 250, 106, 250)), clRed);  // zone 3 stays
  // A new position repaints over the stored snapshot.
  Meter->SetPosition(50);
  EXPECT_TRUE(NeedleAt(360));
  EXPECT_EQ(Screen(Point(5, 5)), clFuchsia);
  EXPECT_EQ(Screen(CalcPolarPoint(250, 250, 50, 220)), clBlue);  // the old needle is gone
}

TEST_F(MeterPixels, CaptionLinesBelowTheNeedleBase) {
  Meter->Font()->SetHeight(-12);
  Meter->SetCaption("A|B");
  // Height div 2 + NeedleBaseWidth = 131: line one from there, line two
  // one text height lower, both centred on the dial.
  TCanvas& probe = *Meter->Canvas();
  probe.Font().Assign(*Meter->Font());
  const int lineHeight = probe.TextHeight("A");
  const TBitmap& dial = Meter->DialBitmap();
  auto inkRows = [&](int top, int bottom) {
    int rows = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = 100; x < 150; ++x)
        if (dial.Pixels(x, y) == clWhite) {
          ++rows;
          break;
        }
    return rows;
  };
  EXPECT_EQ(inkRows(100, 131), 0);
  EXPECT_GT(inkRows(131, 131 + lineHeight), 0);
  EXPECT_GT(inkRows(131 + lineHeight, 131 + 2 * lineHeight), 0);
  EXPECT_EQ(inkRows(131 + 2 * lineHeight, 200), 0);
}

// Draws a meter's dial with two scale labels, at -0.25 and 0.25 with one
// decimal, in this process's environment, and counts the pixels of the
// label cells that differ from the given texts drawn by hand there: 0 for
// the texts the dial shows.
int LabelCellsDifferingFrom(const char* low, const char* high) {
  THeadlessWindowSystem system;
  TApplication app(system);
  TGaugeAngularMeter meter(nullptr);
  meter.SetTransparent(false);
  meter.SetSpacing(25);  // R = 100; the labels sit 50 inside the ring
  meter.SetLabelsOffset(-50);
  meter.SetMaxValue(0.25);
  meter.SetMinValue(-0.25);
  meter.SetDecimals(1);
  meter.SetLabels(1);
  const TBitmap& dial = meter.DialBitmap();
  const std::vector<TMeterLabel> at = MeterLabels(meter.DialGeometry(), 280, 1, -50, -0.25, 0.25, 1, ",");
  TBitmap expected(dial.Width(), dial.Height());
  TCanvas& canvas = expected.Canvas();
  canvas.Brush().SetColor(meter.Color());
  canvas.FillRect(Rect(0, 0, dial.Width(), dial.Height()));
  canvas.Font().Assign(*meter.LabelsFont());
  int differing = 0;
  const char* texts[] = {low, high};
  for (size_t k = 0; k < 2; ++k) {
    const TPoint size = canvas.TextExtent(texts[k]);
    const int x = at[k].FCenter.X - size.X / 2, y = at[k].FCenter.Y - size.Y / 2;
    canvas.TextOut(x, y, texts[k]);
    for (int py = y; py < y + size.Y; ++py)
      for (int px = x; px < x + size.X; ++px)
        if (expected.Pixels(px, py) != dial.Pixels(px, py)) ++differing;
  }
  return differing;
}

// A meter in a process whose environment names the French locale writes
// "-0,3" and "0,3": the comma, and the exact halves rounded away from zero.
TEST(MeterLabelsDeathTest, TheDialWritesTheUsersDecimalSeparator) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: nothing read the separator yet
  ASSERT_TRUE(LocaleDecimalSeparator(kFrench).has_value()) << "run scripts/setup-deps";
  const char* saved = std::getenv("LC_ALL");
  const std::string previous = saved ? saved : "";
  ::setenv("LC_ALL", kFrench, 1);
  EXPECT_EXIT(
      {
        const int comma = LabelCellsDifferingFrom("-0,3", "0,3");
        const int point = LabelCellsDifferingFrom("-0.2", "0.2");
        std::fprintf(stderr, "comma %d point %d\n", comma, point);
        std::exit(comma == 0 && point > 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "comma 0 point [1-9]");
  if (saved) ::setenv("LC_ALL", previous.c_str(), 1);
  else ::unsetenv("LC_ALL");
}

// ---- reference images ---------------------------------------------------------------------
// Whole frames of meters without text (the shapes are the framework's own
// deterministic rasterisation, no fonts involved), compared pixel for pixel
// with PNG files under tests/gauges/reference/. After an intended change of
// the drawing, regenerate them and look at the new pictures before
// committing:
//   VELQ_UPDATE_REFERENCE=1 build/tests/gauges/test_gauges --gtest_filter='MeterReference.*'

class MeterReference : public HeadlessFormTest {
protected:
  void SetUp() override {
    MakeForm(260, 260, clGray);
    Meter = new TGaugeAngularMeter(Form);
    Meter->SetTransparent(false);
  }

  TGaugeAngularMeter* Meter = nullptr;
};

TEST_F(MeterReference, ThreeZonesTicksAndNeedle) {
  Meter->SetSpacing(30);
  Meter->SetPercent1(55);
  Meter->SetPercent2(25);
  Meter->SetTicks(20);
  Meter->SetTicksEnlarge(5);
  Meter->SetNeedleLength(-1);
  Meter->SetNeedleBaseWidth(10);
  Meter->SetNeedleColor(clYellow);
  Meter->SetPosition(30);
  CheckReference(*Meter, "angular_meter_zones.png");
}

TEST_F(MeterReference, OwnRadiusHalfDialReversed) {
  Meter->SetBounds(0, 0, 200, 200);
  Meter->SetColor(clNavy);
  Meter->SetRadius(90);
  Meter->SetSpacing(20);
  Meter->SetAngle(90);
  Meter->SetAngleOffset(180);
  Meter->SetPercent1(30);
  Meter->SetPercent2(30);
  Meter->SetColorZone3(clYellow);
  Meter->SetTicks(12);
  Meter->SetTicksEnlarge(0);  // every mark short
  Meter->SetTicksColor(clAqua);
  Meter->SetReverseMotion(true);
  Meter->SetNeedleLength(60);
  Meter->SetNeedleColor(clWhite);
  Meter->SetPosition(75);
  CheckReference(*Meter, "angular_meter_reversed.png");
}

}  // namespace
