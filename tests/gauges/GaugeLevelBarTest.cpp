// The level bar: layout with the length snap, tick counts and zones, tick
// placement, its events and percent rules, the bevel-change resize, and
// pixels on the headless renderer.
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "GaugeLevelBar.h"
#include "GaugeSysUtils.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

constexpr auto kHorizontal = TGaugeOrientation::voHorizontal;
constexpr auto kVertical = TGaugeOrientation::voVertical;
constexpr auto kBottomLeft = TGaugeProgressStyle::psBottomLeft;
constexpr auto kTopRight = TGaugeProgressStyle::psTopRight;

// ---- layout ------------------------------------------------------------------------------

TEST(LevelBarLayout, TicksThatFitAndTheSnappedLength) {
  struct Case {
    const char* What;
    TRect Client;
    int32_t Bevel;
    TGaugeOrientation Orientation;
    int32_t TickHeight, Spacing;
    int32_t Step, Count, Length;
    TRect Area;
  };
  const Case cases[] = {
      {"new bar", Rect(0, 0, 20, 170), 5, kVertical, 1, 1, 2, 80, 169, Rect(5, 5, 15, 165)},
      {"snapped bar is stable", Rect(0, 0, 20, 169), 5, kVertical, 1, 1, 2, 80, 169, Rect(5, 5, 15, 164)},
      {"horizontal", Rect(0, 0, 170, 20), 5, kHorizontal, 1, 1, 2, 80, 169, Rect(5, 5, 165, 15)},
      {"thick ticks", Rect(0, 0, 20, 170), 5, kVertical, 3, 2, 5, 32, 168, Rect(5, 5, 15, 165)},
      {"no gaps", Rect(0, 0, 20, 170), 5, kVertical, 2, 0, 2, 80, 170, Rect(5, 5, 15, 165)},
      {"no bevel", Rect(0, 0, 20, 10), 0, kVertical, 2, 1, 3, 3, 8, Rect(0, 0, 20, 10)},
      {"too short for a tick", Rect(0, 0, 20, 8), 5, kVertical, 1, 1, 2, 0, 9, Rect(5, 5, 15, 3)},
      // No usable tick step: no ticks, and the length is left alone.
      {"zero step", Rect(0, 0, 20, 170), 5, kVertical, 1, -1, 0, 0, 170, Rect(5, 5, 15, 165)},
      {"negative step", Rect(0, 0, 170, 20), 5, kHorizontal, 1, -3, -2, 0, 170, Rect(5, 5, 165, 15)},
  };
  for (const Case& c : cases) {
    const TLevelBarLayout l = CalcLevelBarLayout(c.Client, c.Bevel, c.Orientation, c.TickHeight, c.Spacing);
    EXPECT_EQ(l.TickStep, c.Step) << c.What;
    EXPECT_EQ(l.TickCount, c.Count) << c.What;
    EXPECT_EQ(l.Length, c.Length) << c.What;
    EXPECT_EQ(l.BarArea, c.Area) << c.What;
  }
}

TEST(LevelBarLayout, CountsGoThroughPercentOf) {
  struct Case {
    int32_t Position, Min, Max, Percent1, Percent2, Ticks;
    TLevelBarCounts Want;
  };
  const Case cases[] = {
      {50, 0, 100, 60, 25, 80, {40, 47, 20}},  // 60 % of 80 is 47, not 48
      {100, 0, 100, 60, 25, 80, {80, 47, 20}},
      {0, 0, 100, 60, 25, 80, {0, 47, 20}},
      {60, 0, 100, 100, 0, 80, {47, 80, 0}},
      {5, 0, 100, 5, 95, 20, {0, 0, 19}},
      {-25, -50, 50, 50, 50, 10, {2, 5, 5}},  // 25 % of 10 ticks
      {3, 3, 3, 60, 25, 80, {0, 47, 20}},     // an empty range lights nothing
      {50, 0, 100, 60, 25, 0, {0, 0, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LevelBarCounts(c.Position, c.Min, c.Max, c.Percent1, c.Percent2, c.Ticks), c.Want)
        << c.Position << " of " << c.Min << ".." << c.Max << ", " << c.Ticks << " ticks";
}

TEST(LevelBarLayout, Zones) {
  const std::pair<int32_t, int32_t> cases[] = {{0, 0}, {46, 0}, {47, 1}, {66, 1}, {67, 2}, {79, 2}};
  for (auto [k, zone] : cases) EXPECT_EQ(LevelTickZone(k, 47, 20), zone) << k;
  EXPECT_EQ(LevelTickZone(0, 0, 0), 2);
  EXPECT_EQ(LevelTickZone(5, 2147483647, 2147483647), 0);
  EXPECT_EQ(LevelTickZone(2147483646, 2147483000, 2147483647), 1);  // n1 + n2 would not fit
}

TEST(LevelBarLayout, TickPlacement) {
  const TLevelBarLayout vertical = CalcLevelBarLayout(Rect(0, 0, 20, 169), 5, kVertical, 1, 1);
  const TLevelBarLayout horizontal = CalcLevelBarLayout(Rect(0, 0, 169, 20), 5, kHorizontal, 1, 1);
  struct Case {
    const TLevelBarLayout* Layout;
    TGaugeOrientation Orientation;
    TGaugeProgressStyle Style;
    int32_t K;
    TRect Want;
  };
  const Case cases[] = {
      {&vertical, kVertical, kBottomLeft, 0, Rect(5, 163, 15, 164)},  // k = 0 at the bottom
      {&vertical, kVertical, kBottomLeft, 1, Rect(5, 161, 15, 162)},
      {&vertical, kVertical, kBottomLeft, 79, Rect(5, 5, 15, 6)},
      {&vertical, kVertical, kTopRight, 0, Rect(5, 5, 15, 6)},  // k = 0 at the top
      {&vertical, kVertical, kTopRight, 79, Rect(5, 163, 15, 164)},
      {&horizontal, kHorizontal, kBottomLeft, 0, Rect(5, 5, 6, 15)},  // k = 0 at the left
      {&horizontal, kHorizontal, kBottomLeft, 79, Rect(163, 5, 164, 15)},
      {&horizontal, kHorizontal, kTopRight, 0, Rect(163, 5, 164, 15)},  // k = 0 at the right
      {&horizontal, kHorizontal, kTopRight, 79, Rect(5, 5, 6, 15)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LevelTickRect(*c.Layout, 1, c.Orientation, c.Style, c.K), c.Want)
        << (c.Orientation == kVertical ? "vertical " : "horizontal ") << int(c.Style) << " k " << c.K;
  // Thicker ticks keep their size and step.
  const TLevelBarLayout thick = CalcLevelBarLayout(Rect(0, 0, 20, 168), 5, kVertical, 3, 2);
  EXPECT_EQ(LevelTickRect(thick, 3, kVertical, kBottomLeft, 0), Rect(5, 160, 15, 163));
  EXPECT_EQ(LevelTickRect(thick, 3, kVertical, kBottomLeft, 31), Rect(5, 5, 15, 8));
}

// ---- the widget --------------------------------------------------------------------------

class LevelBar : public HeadlessFormTest {
protected:
  void SetUp() override {
    MakeForm(240, 240, clWhite);
    Bar = new TGaugeLevelBar(Form);
    Bar->SetParent(Form);
  }
  // The screen row or column through the middle of tick k.
  TColor Tick(int32_t k) {
    const TRect r = LevelTickRect({Bar->TickStep(), Bar->BarArea(), Bar->TickCount(), 0}, Bar->TickHeight(),
                                  Bar->Orientation(), Bar->Style(), k);
    return Pixel((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  }

  TGaugeLevelBar* Bar = nullptr;
};

TEST_F(LevelBar, NewBar) {
  EXPECT_EQ(Bar->Width(), 20);
  EXPECT_EQ(Bar->Height(), 170);
  EXPECT_EQ(Bar->Color(), clBlack);
  EXPECT_FALSE(Bar->ParentColor());
  EXPECT_TRUE(Bar->ControlStyle().Contains(csOpaque));
  EXPECT_EQ(Bar->MinValue(), 0);
  EXPECT_EQ(Bar->MaxValue(), 100);
  EXPECT_EQ(Bar->Position(), 0);
  EXPECT_EQ(Bar->Percent1(), 60);
  EXPECT_EQ(Bar->Percent2(), 25);
  EXPECT_EQ(Bar->Orientation(), kVertical);
  EXPECT_EQ(Bar->Spacing(), 1);
  EXPECT_EQ(Bar->TickHeight(), 1);
  EXPECT_EQ(Bar->Style(), kBottomLeft);
  EXPECT_EQ(Bar->Step(), 10);
  const std::pair<TColor, TColor> palettes[] = {{clGreen, clLime}, {clOlive, clYellow}, {clMaroon, clRed}};
  const TGaugePalette* own[] = {Bar->Palette1(), Bar->Palette2(), Bar->Palette3()};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(own[i]->Low(), palettes[i].first) << i;
    EXPECT_EQ(own[i]->High(), palettes[i].second) << i;
  }
  EXPECT_EQ(Bar->Bevel()->InnerWidth(), 2);
  EXPECT_EQ(Bar->Bevel()->InnerColor(), clBlack);
  EXPECT_EQ(Bar->Bevel()->TotalWidth(), 5);
}

TEST_F(LevelBar, PropertyTableInStreamOrder) {
  const TClassInfo& info = TGaugeLevelBar::StaticClass();
  std::vector<std::string> own;
  for (size_t i = 0; i < 17; ++i) own.push_back(info.Props[i].Name);
  EXPECT_EQ(own, (std::vector<std::string>{"MaxValue", "MinValue", "Position", "Percent1", "Percent2", "Palette1",
                                           "Palette2", "Palette3", "Bevel", "Orientation", "Spacing", "TickHeight",
                                           "Style", "Step", "OnChange", "OnMinValue", "OnMaxValue"}));
  ASSERT_TRUE(info.Create);
  EXPECT_NE(info.FindProp("Color"), nullptr);
  EXPECT_EQ(info.FindProp("Align"), nullptr);
  EXPECT_EQ(info.FindProp("Palette3")->ObjectGetter(*Bar), Bar->Palette3());
  EXPECT_EQ(info.FindProp("Style")->Enum->Names, (std::vector<std::string>{"psBottomLeft", "psTopRight"}));
}

TEST_F(LevelBar, EventsFireOnChangesThatLandOnTheBounds) {
  std::vector<std::string> log;
  Bar->OnChange = [&](TObject*) { log.push_back("change"); };
  Bar->OnMinValue = [&](TObject*) { log.push_back("min"); };
  Bar->OnMaxValue = [&](TObject*) { log.push_back("max"); };
  struct Step {
    int32_t Position;
    int32_t Want;
    std::vector<std::string> Log;
  };
  const Step steps[] = {
      {0, 0, {}},  // no change, no events
      {150, 100, {"change", "max"}},
      {150, 100, {}},
      {50, 50, {"change"}},
      {-1, 0, {"change", "min"}},
  };
  for (const Step& s : steps) {
    log.clear();
    Bar->SetPosition(s.Position);
    EXPECT_EQ(Bar->Position(), s.Want) << s.Position;
    EXPECT_EQ(log, s.Log) << s.Position;
  }
  // A bound that drags the position fires the events too.
  Bar->SetPosition(80);
  log.clear();
  Bar->SetMaxValue(70);
  EXPECT_EQ(log, (std::vector<std::string>{"change", "max"}));
  // MinValue 100 while MaxValue is 70: ignored.
  Bar->SetMinValue(100);
  EXPECT_EQ(Bar->MinValue(), 0);
}

TEST_F(LevelBar, Percent1IsClampedWhilePercent2IsRefused) {
  struct Step {
    bool Loading;
    int Which;  // 1 or 2
    int Value;
    int Want1, Want2;
  };
  const Step steps[] = {
      {false, 2, 50, 60, 25},  // 60 + 50 > 100: refused
      {false, 2, 40, 60, 40},  // exactly 100: taken
      {false, 1, 70, 60, 40},  // clamped to 100 - 40
      {false, 1, 10, 10, 40},
      {true, 1, 90, 90, 40},   // while loading Percent1 is not cross-checked...
      {true, 2, 20, 90, 40},   // ...but Percent2 still is
      {true, 2, 10, 90, 10},
  };
  for (const Step& s : steps) {
    TGaugeLevelBar bar(nullptr);
    for (const Step& before : steps) {  // replay the earlier steps on a fresh bar
      if (&before == &s) break;
      if (before.Loading) bar.BeginLoading();
      before.Which == 1 ? bar.SetPercent1(uint8_t(before.Value)) : bar.SetPercent2(uint8_t(before.Value));
    }
    if (s.Loading) bar.BeginLoading();
    s.Which == 1 ? bar.SetPercent1(uint8_t(s.Value)) : bar.SetPercent2(uint8_t(s.Value));
    EXPECT_EQ(bar.Percent1(), s.Want1) << "Percent" << s.Which << " := " << s.Value;
    EXPECT_EQ(bar.Percent2(), s.Want2) << "Percent" << s.Which << " := " << s.Value;
  }
}

TEST_F(LevelBar, TickHeightTakesOnlyPositiveValues) {
  for (int32_t v : {0, -1, -100}) {
    Bar->SetTickHeight(v);
    EXPECT_EQ(Bar->TickHeight(), 1) << v;
  }
  Bar->SetTickHeight(3);
  EXPECT_EQ(Bar->TickHeight(), 3);
  Bar->SetSpacing(-1);  // accepted; the layout then fits fewer ticks
  EXPECT_EQ(Bar->Spacing(), -1);
}

TEST_F(LevelBar, FirstPaintSnapsTheLengthAndZonesLightUp) {
  Show();
  EXPECT_EQ(Bar->Height(), 169);
  EXPECT_EQ(Bar->TickCount(), 80);
  EXPECT_EQ(Bar->BarArea(), Rect(5, 5, 15, 164));
  App->ProcessMessages();
  EXPECT_EQ(Bar->Height(), 169);  // the next layout keeps it
  EXPECT_EQ(Pixel(10, 167), ColorToRGB(clBtnShadow));  // the raised outer bevel's bottom
  EXPECT_EQ(Pixel(10, 168), clBlack);                  // the outline around it
  EXPECT_EQ(Pixel(10, 169), clWhite);                  // the form beneath

  struct Case {
    int32_t Position;
    std::vector<std::pair<int32_t, TColor>> Ticks;
  };
  const Case cases[] = {
      {0, {{0, clGreen}, {46, clGreen}, {47, clOlive}, {66, clOlive}, {67, clMaroon}, {79, clMaroon}}},
      {50, {{0, clLime}, {39, clLime}, {40, clGreen}, {47, clOlive}, {79, clMaroon}}},
      {100, {{0, clLime}, {46, clLime}, {47, clYellow}, {66, clYellow}, {67, clRed}, {79, clRed}}},
  };
  for (const Case& c : cases) {
    Bar->SetPosition(c.Position);
    for (auto [k, color] : c.Ticks) EXPECT_EQ(Tick(k), color) << "position " << c.Position << " tick " << k;
  }
  // Tick 0 is the bottom row inside the bevel; the gaps show the background.
  EXPECT_EQ(Pixel(5, 163), clLime);
  EXPECT_EQ(Pixel(14, 163), clLime);
  EXPECT_EQ(Pixel(10, 162), clBlack);
  EXPECT_EQ(Pixel(10, 5), clRed);
}

TEST_F(LevelBar, TopRightStyleFillsFromTheTop) {
  Bar->SetStyle(kTopRight);
  Bar->SetPosition(50);
  Show();
  EXPECT_EQ(Pixel(10, 5), clLime);     // zone 1 at the top, lit
  EXPECT_EQ(Pixel(10, 83), clLime);    // the 40th tick
  EXPECT_EQ(Pixel(10, 85), clGreen);   // the 41st, unlit
  EXPECT_EQ(Pixel(10, 163), clMaroon); // zone 3 at the bottom
}

TEST_F(LevelBar, OrientationSwapsTheBoundsAndTheNextPaintSnapsTheWidth) {
  Show();
  ASSERT_EQ(Bar->Height(), 169);
  Bar->SetOrientation(kHorizontal);
  App->ProcessMessages();
  EXPECT_EQ(Bar->Width(), 169);
  EXPECT_EQ(Bar->Height(), 20);
  EXPECT_EQ(Bar->TickCount(), 80);
  Bar->SetPosition(100);
  EXPECT_EQ(Pixel(5, 10), clLime);    // k = 0 at the left
  EXPECT_EQ(Pixel(163, 10), clRed);

  // An unsnapped length is snapped by the paint after the swap.
  Bar->SetOrientation(kVertical);  // repaints at once: 20 x 169
  Bar->SetBounds(0, 0, 20, 170);
  Bar->SetOrientation(kHorizontal);
  App->ProcessMessages();
  EXPECT_EQ(Bar->Width(), 169);
}

TEST_F(LevelBar, BevelChangeResizesAroundTheTickArea) {
  // Before the first layout there is no tick area: the size stays.
  Bar->Bevel()->SetInnerWidth(1);
  EXPECT_EQ(Bar->Width(), 20);
  EXPECT_EQ(Bar->Height(), 170);
  Show();
  ASSERT_EQ(Bar->Height(), 169);  // bevel 4: 81 ticks
  ASSERT_EQ(Bar->BarArea(), Rect(4, 4, 16, 165));
  Bar->Bevel()->SetInnerWidth(3);  // bevel 6: the 12 x 161 area grows by 6 on every side
  EXPECT_EQ(Bar->Width(), 24);
  EXPECT_EQ(Bar->Height(), 173);
  App->ProcessMessages();
  EXPECT_EQ(Bar->BarArea(), Rect(6, 6, 18, 167));
  EXPECT_EQ(Bar->TickCount(), 81);
  EXPECT_EQ(Bar->Height(), 173);
  // While loading the bevel changes nothing else.
  Bar->BeginLoading();
  Bar->Bevel()->SetVisible(false);
  EXPECT_EQ(Bar->Width(), 24);
  Bar->Loaded();
}

TEST_F(LevelBar, PaletteChangeRepaints) {
  Show();
  Bar->SetPosition(100);
  Bar->Palette1()->SetHigh(clBlue);
  EXPECT_EQ(Tick(0), clBlue);
  TGaugePalette other;
  other.SetLow(clWhite);
  other.SetHigh(clSilver);
  Bar->SetPalette3(&other);
  EXPECT_EQ(Tick(79), clSilver);
  EXPECT_EQ(Bar->Palette3()->Low(), clWhite);
}

}  // namespace
