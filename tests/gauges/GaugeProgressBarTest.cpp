// The progress bar: block geometry, the fill count, the value model shared
// by both bars, the cached fill pattern, and pixels on the headless renderer;
// and the reference images of both bars.
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "GaugeLevelBar.h"
#include "GaugeProgressBar.h"
#include "Png.h"
#include "GaugeSysUtils.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

constexpr auto kHorizontal = TGaugeOrientation::voHorizontal;
constexpr auto kVertical = TGaugeOrientation::voVertical;
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// ---- geometry ----------------------------------------------------------------------------

TEST(ProgressBarGeometry, FillCountTruncatesThePercentThenThePixels) {
  struct Case {
    int32_t Position, Min, Max, Total, Expected;
  };
  const Case cases[] = {
      {100, 0, 100, 198, 198}, {50, 0, 100, 198, 99}, {0, 0, 100, 198, 0},
      {60, 0, 100, 80, 47},    // the extended-precision constant lands one below
      {5, 0, 100, 20, 0},      {1, 0, 3, 100, 33},   // 33.3 % -> 33 %
      {-5, -10, 10, 100, 25},  {7, 7, 7, 50, 0},     // an empty range fills nothing
      {kMax, 0, kMax, 1000, 1000}, {kMin, kMin, -1, 1000, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BarFillCount(c.Position, c.Min, c.Max, c.Total), c.Expected)
        << c.Position << " in " << c.Min << ".." << c.Max << " of " << c.Total;
  // A range wider than 32 bits is an overflow, not a wrapped picture.
  EXPECT_THROW(BarFillCount(0, kMin, kMax, 10), EIntOverflow);
}

TEST(ProgressBarGeometry, SegmentSizeIsTwoThirdsOfTheThicknessRoundedDownToEven) {
  const std::pair<int32_t, int32_t> cases[] = {{14, 8}, {12, 8}, {15, 10}, {3, 2}, {2, 0}, {0, 0}, {198, 132}};
  for (auto [thickness, size] : cases) EXPECT_EQ(ProgressSegmentSize(thickness), size) << thickness;
}

// The inside of the bevel of a new 200 x 16 bar.
const TRect kNewArea = Rect(1, 1, 199, 15);

TEST(ProgressBarGeometry, NewBarFullHasTwentyFiveSegmentsTheLastCut) {
  const auto blocks = ProgressBarBlocks(kNewArea, 198, false, kHorizontal);
  ASSERT_EQ(blocks.size(), 25u);
  for (size_t i = 0; i < 24; ++i) {
    const int32_t x = 2 + 8 * int32_t(i);
    EXPECT_EQ(blocks[i].Dest, Rect(x, 2, x + 6, 14)) << i;
    // The pattern is addressed from the area's top-left.
    EXPECT_EQ(blocks[i].Source, Rect(x - 1, 0, x + 5, 12)) << i;
  }
  EXPECT_EQ(blocks.back().Dest, Rect(194, 2, 198, 14));  // cut at R.Right - 1
}

TEST(ProgressBarGeometry, HorizontalBlocksByFillLength) {
  struct Case {
    int32_t Fill;
    bool Smooth;
    std::vector<TRect> Dest;
  };
  const Case cases[] = {
      {0, false, {}},
      {1, false, {}},  // the first segment starts at R.Left + 1
      {2, false, {Rect(2, 2, 8, 14)}},
      {9, false, {Rect(2, 2, 8, 14)}},
      {10, false, {Rect(2, 2, 8, 14), Rect(10, 2, 16, 14)}},
      {0, true, {}},
      {1, true, {}},
      {2, true, {Rect(2, 2, 3, 14)}},
      {99, true, {Rect(2, 2, 100, 14)}},   // 50 % of the new bar
      {198, true, {Rect(2, 2, 198, 14)}},  // never beyond R.Right - 1
  };
  for (const Case& c : cases) {
    std::vector<TRect> dest;
    for (const TProgressBlock& b : ProgressBarBlocks(kNewArea, c.Fill, c.Smooth, kHorizontal)) dest.push_back(b.Dest);
    EXPECT_EQ(dest, c.Dest) << "fill " << c.Fill << (c.Smooth ? " smooth" : "");
  }
}

TEST(ProgressBarGeometry, VerticalBlocksStackUpwardWithTheTopmostCut) {
  const TRect area = Rect(1, 1, 15, 199);  // a 16 x 200 bar
  const auto blocks = ProgressBarBlocks(area, 198, false, kVertical);
  ASSERT_EQ(blocks.size(), 25u);
  for (size_t i = 0; i < 24; ++i) {
    const int32_t bottom = 198 - 8 * int32_t(i);
    EXPECT_EQ(blocks[i].Dest, Rect(2, bottom - 6, 14, bottom)) << i;
    // Full pattern width, starting one row above the block.
    EXPECT_EQ(blocks[i].Source, Rect(0, bottom - 8, 14, bottom - 2)) << i;
  }
  EXPECT_EQ(blocks.back().Dest, Rect(2, 2, 14, 6));  // cut at R.Top + 1

  const auto smooth = ProgressBarBlocks(area, 99, true, kVertical);
  ASSERT_EQ(smooth.size(), 1u);
  EXPECT_EQ(smooth[0].Dest, Rect(2, 100, 14, 199));
  EXPECT_EQ(smooth[0].Source, Rect(0, 98, 14, 197));
  EXPECT_EQ(ProgressBarBlocks(area, 198, true, kVertical)[0].Dest, Rect(2, 2, 14, 199));
  EXPECT_TRUE(ProgressBarBlocks(area, 0, true, kVertical).empty());
}

TEST(ProgressBarGeometry, AreasTooThinForASegmentEndTheWalk) {
  // Thickness 0..2 gives segment slots of 0 pixels: the walk must neither
  // spin nor hand out blocks without pixels.
  for (int32_t thickness : {-5, 0, 1, 2, 3, 4}) {
    for (bool smooth : {false, true}) {
      const auto h = ProgressBarBlocks(Rect(0, 0, 50, thickness), 50, smooth, kHorizontal);
      const auto v = ProgressBarBlocks(Rect(0, 0, thickness, 50), 50, smooth, kVertical);
      for (const auto& b : h) EXPECT_FALSE(IsRectEmpty(b.Dest));
      for (const auto& b : v) EXPECT_FALSE(IsRectEmpty(b.Dest));
      if (thickness <= 2) {
        EXPECT_TRUE(h.empty()) << thickness;
        EXPECT_TRUE(v.empty()) << thickness;
      }
    }
  }
}

// ---- the widget --------------------------------------------------------------------------

class ProgressBar : public HeadlessFormTest {
protected:
  void SetUp() override {
    MakeForm(240, 240, clWhite);
    Bar = new TGaugeProgressBar(Form);
    Bar->SetParent(Form);
  }

  TGaugeProgressBar* Bar = nullptr;
};

TEST_F(ProgressBar, NewBar) {
  EXPECT_EQ(Bar->Width(), 200);
  EXPECT_EQ(Bar->Height(), 16);
  EXPECT_EQ(Bar->Color(), clBlack);
  EXPECT_FALSE(Bar->ParentColor());
  EXPECT_TRUE(Bar->ControlStyle().Contains(csOpaque));
  EXPECT_FALSE(Bar->ControlStyle().Contains(csSetCaption));
  EXPECT_EQ(Bar->MinValue(), 0);
  EXPECT_EQ(Bar->MaxValue(), 100);
  EXPECT_EQ(Bar->Position(), 100);
  EXPECT_EQ(Bar->StartColor(), clNavy);
  EXPECT_EQ(Bar->EndColor(), clAqua);
  EXPECT_FALSE(Bar->Smooth());
  EXPECT_EQ(Bar->Orientation(), kHorizontal);
  EXPECT_EQ(Bar->Step(), 10);
  EXPECT_EQ(Bar->FillType(), TGaugeProgressBarFill::pfGradient);
  EXPECT_TRUE(Bar->Bitmap()->Empty());
  const TGaugeBevel& bevel = *Bar->Bevel();
  EXPECT_EQ(bevel.InnerStyle(), TGaugeBevelStyle::bsNone);
  EXPECT_EQ(bevel.InnerSpace(), 0);
  EXPECT_EQ(bevel.OuterStyle(), TGaugeBevelStyle::bsLowered);
  EXPECT_EQ(bevel.OuterOutline(), TGaugeBevelOutlineStyle::osNone);
  EXPECT_EQ(bevel.TotalWidth(), 1);
  EXPECT_FALSE(Bar->FillDirty());
}

TEST_F(ProgressBar, PropertyTableInStreamOrder) {
  const TClassInfo& info = TGaugeProgressBar::StaticClass();
  std::vector<std::string> own;
  for (size_t i = 0; i < 12; ++i) own.push_back(info.Props[i].Name);
  EXPECT_EQ(own, (std::vector<std::string>{"Bevel", "MaxValue", "MinValue", "Position", "StartColor", "EndColor",
                                           "Smooth", "Orientation", "Step", "Bitmap", "FillType", "OnChange"}));
  ASSERT_TRUE(info.Create);
  for (const char* name : {"Align", "Color", "Visible", "Hint", "OnClick", "Version", "Width"})
    EXPECT_NE(info.FindProp(name), nullptr) << name;
  EXPECT_EQ(info.FindProp("Caption"), nullptr);
  EXPECT_EQ(info.FindProp("FillType")->Enum->Names, (std::vector<std::string>{"pfPlain", "pfGradient", "pfBitmap"}));
  // Skins reach the nested objects by dotted paths.
  EXPECT_EQ(info.FindProp("Bevel")->ObjectGetter(*Bar), Bar->Bevel());
  EXPECT_EQ(info.FindProp("Bitmap")->ObjectGetter(*Bar), Bar->Bitmap());
}

// The range rules are the shared base's; the level bar runs the same code.
TEST_F(ProgressBar, ValueModel) {
  int changes = 0;
  Bar->OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, Bar);
    ++changes;
  };
  struct Step {
    const char* What;
    int32_t Min, Max, Position;  // what to write, Position last; kLeave: nothing
    int32_t WantMin, WantMax, WantPosition, WantChanges;
  };
  constexpr int32_t kLeave = kMin;
  const Step steps[] = {
      {"clamped above", kLeave, kLeave, 150, 0, 100, 100, 0},
      {"clamped below", kLeave, kLeave, -5, 0, 100, 0, 1},
      {"same again", kLeave, kLeave, -7, 0, 100, 0, 1},
      {"inside", kLeave, kLeave, 40, 0, 100, 40, 2},
      {"min = max refused", 100, kLeave, kLeave, 0, 100, 40, 2},
      {"min above max refused", 120, kLeave, kLeave, 0, 100, 40, 2},
      {"max = min refused", kLeave, 0, kLeave, 0, 100, 40, 2},
      {"min under position", 30, kLeave, kLeave, 30, 100, 40, 2},
      {"min drags position", 50, kLeave, kLeave, 50, 100, 50, 3},
      {"max below min refused", kLeave, 45, kLeave, 50, 100, 50, 3},
      {"near the top", kLeave, kLeave, 90, 50, 100, 90, 4},
      {"max drags position", kLeave, 70, kLeave, 50, 70, 70, 5},
      {"max = min refused again", kLeave, 50, kLeave, 50, 70, 70, 5},
      {"negative range", -100, kLeave, -300, -100, 70, -100, 6},
  };
  for (const Step& s : steps) {
    if (s.Min != kLeave) Bar->SetMinValue(s.Min);
    if (s.Max != kLeave) Bar->SetMaxValue(s.Max);
    if (s.Position != kLeave) Bar->SetPosition(s.Position);
    EXPECT_EQ(Bar->MinValue(), s.WantMin) << s.What;
    EXPECT_EQ(Bar->MaxValue(), s.WantMax) << s.What;
    EXPECT_EQ(Bar->Position(), s.WantPosition) << s.What;
    EXPECT_EQ(changes, s.WantChanges) << s.What;
  }
}

TEST_F(ProgressBar, OrientationTurnsTheBarOnItsSideOutsideLoading) {
  Bar->SetBounds(5, 6, 200, 16);
  Bar->SetOrientation(kVertical);
  EXPECT_EQ(Bar->BoundsRect(), Bounds(5, 6, 16, 200));
  EXPECT_TRUE(Bar->FillDirty());
  Bar->SetOrientation(kVertical);
  EXPECT_EQ(Bar->BoundsRect(), Bounds(5, 6, 16, 200));
  // A skin sets the size it wants for its orientation.
  auto* loading = new TGaugeProgressBar(Form);
  loading->BeginLoading();
  loading->SetOrientation(kVertical);
  EXPECT_EQ(loading->Width(), 200);
  EXPECT_EQ(loading->Height(), 16);
  loading->Loaded();
}

TEST_F(ProgressBar, NewBarPixels) {
  Show();
  // The lowered bevel: shadow on the top and left, highlight on the bottom and right.
  EXPECT_EQ(Pixel(0, 0), ColorToRGB(clBtnShadow));
  EXPECT_EQ(Pixel(199, 15), ColorToRGB(clBtnHighlight));
  const TBitmap& pattern = Bar->FillBitmap();
  ASSERT_EQ(pattern.Width(), 198);
  ASSERT_EQ(pattern.Height(), 14);
  // Segments 6 wide at x = 2, 10, 18, ... with 2-pixel gaps, 12 high.
  for (int x = 1; x < 199; ++x) {
    const bool gap = x == 1 || x == 198 || (x - 2) % 8 >= 6;
    for (int y : {1, 2, 8, 13, 14}) {
      const bool lit = !gap && y >= 2 && y <= 13;
      // A block shows the pattern from the area's top-left, one row up.
      EXPECT_EQ(Pixel(x, y), lit ? pattern.Pixels(x - 1, y - 2) : clBlack) << x << "," << y;
    }
  }
  // The gradient runs from StartColor at the empty end to EndColor at the full end.
  EXPECT_EQ(pattern.Pixels(0, 0), clNavy);
  EXPECT_EQ(pattern.Pixels(197, 13), RGB(0, 254, 254));
}

TEST_F(ProgressBar, EmptyAndSmoothPixels) {
  Show();
  Bar->SetPosition(0);
  for (int x = 1; x < 199; ++x) EXPECT_EQ(Pixel(x, 8), clBlack) << x;
  Bar->SetSmooth(true);
  Bar->SetPosition(50);
  for (int x = 1; x < 199; ++x) EXPECT_EQ(Pixel(x, 8) != clBlack, x >= 2 && x < 100) << x;
  for (int y = 1; y < 15; ++y) EXPECT_EQ(Pixel(50, y) != clBlack, y >= 2 && y < 14) << y;
}

TEST_F(ProgressBar, VerticalBarPixelsAndGradient) {
  Bar->SetOrientation(kVertical);
  Show();
  ASSERT_EQ(Bar->Height(), 200);
  for (int y = 1; y < 199; ++y) {
    const bool lit = y >= 2 && y < 198 && (197 - y) % 8 < 6;
    EXPECT_EQ(Pixel(8, y) != clBlack, lit) << y;
  }
  EXPECT_EQ(Pixel(1, 195), clBlack);
  EXPECT_EQ(Pixel(14, 195), clBlack);
  // Re-rendered top to bottom with StartColor at the bottom, where the bar starts.
  const TBitmap& pattern = Bar->FillBitmap();
  ASSERT_EQ(pattern.Width(), 14);
  ASSERT_EQ(pattern.Height(), 198);
  EXPECT_EQ(pattern.Pixels(0, 0), clAqua);
  EXPECT_EQ(pattern.Pixels(13, 197), RGB(0, 1, 129));
}

TEST_F(ProgressBar, FillPatternIsRenderedOnlyWhenAnInputChanges) {
  Show();
  ASSERT_EQ(Bar->FillRenderCount(), 1);
  auto renders = [&] {
    App->ProcessMessages();
    return Bar->FillRenderCount();
  };
  struct Step {
    const char* What;
    std::function<void()> Change;
    int64_t Renders;
  };
  TBitmap tile(2, 2);
  tile.SetPixels(0, 0, clRed);
  const Step steps[] = {
      {"position", [&] { Bar->SetPosition(30); }, 1},
      {"smooth", [&] { Bar->SetSmooth(true); }, 1},
      {"range", [&] { Bar->SetMaxValue(200); }, 1},
      {"bevel colour", [&] { Bar->Bevel()->SetOuterShadow(clRed); }, 1},
      {"picture under a gradient", [&] { Bar->SetBitmap(&tile); }, 1},
      {"start colour", [&] { Bar->SetStartColor(clRed); }, 2},
      {"same start colour", [&] { Bar->SetStartColor(clRed); }, 2},
      {"end colour", [&] { Bar->SetEndColor(clLime); }, 3},
      {"fill type", [&] { Bar->SetFillType(TGaugeProgressBarFill::pfBitmap); }, 4},
      {"picture under pfBitmap", [&] { Bar->Bitmap()->SetPixels(1, 1, clBlue); }, 5},
      {"system colours", [&] { Bar->SysColorChange(); }, 6},
      {"bevel width", [&] { Bar->Bevel()->SetOuterWidth(2); }, 7},
      {"size", [&] { Bar->SetBounds(0, 0, 150, 16); }, 8},
      {"orientation", [&] { Bar->SetOrientation(kVertical); }, 9},
  };
  for (const Step& s : steps) {
    s.Change();
    EXPECT_EQ(renders(), s.Renders) << s.What;
    EXPECT_FALSE(Bar->FillDirty()) << s.What;
  }
}

TEST_F(ProgressBar, APendingRenderingSurvivesEveryLaterChange) {
  // A colour changed while the bar cannot paint (hidden) leaves the pattern
  // to render at the next paint, whatever else changes in between.
  Show();
  TBitmap tile(2, 2);
  tile.SetPixels(0, 0, clRed);
  struct Case {
    const char* What;
    std::function<void()> Change;
  };
  const Case cases[] = {
      {"picture under a gradient", [&] { Bar->SetBitmap(&tile); }},
      {"picture edited under a gradient", [&] { Bar->Bitmap()->SetPixels(1, 1, clBlue); }},
      {"position", [&] { Bar->SetPosition(Bar->Position() == 40 ? 60 : 40); }},
      {"smooth", [&] { Bar->SetSmooth(!Bar->Smooth()); }},
      {"bevel colour", [&] { Bar->Bevel()->SetOuterShadow(Bar->Bevel()->OuterShadow() == clRed ? clLime : clRed); }},
  };
  TColor start = clNavy;
  for (const Case& c : cases) {
    start = start == clMaroon ? clOlive : clMaroon;
    Bar->SetVisible(false);
    Bar->SetStartColor(start);
    c.Change();
    Bar->SetVisible(true);
    App->ProcessMessages();
    EXPECT_FALSE(Bar->FillDirty()) << c.What;
    EXPECT_EQ(Bar->FillBitmap().Pixels(0, 0), start) << c.What;
  }
}

TEST_F(ProgressBar, PlainAndBitmapFills) {
  Show();
  const TColor highlight = ColorToRGB(clHighlight);
  Bar->SetFillType(TGaugeProgressBarFill::pfPlain);
  EXPECT_EQ(Pixel(2, 2), highlight);
  EXPECT_EQ(Pixel(197, 13), highlight);
  // Without a picture the bitmap fill falls back to the highlight colour.
  Bar->SetFillType(TGaugeProgressBarFill::pfBitmap);
  EXPECT_EQ(Pixel(2, 2), highlight);
  // A picture is tiled from the area's top-left.
  TBitmap tile(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) tile.SetPixels(x, y, (x + y) % 2 ? clRed : clLime);
  Bar->SetBitmap(&tile);
  const TBitmap& pattern = Bar->FillBitmap();
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 198; ++x) ASSERT_EQ(pattern.Pixels(x, y), tile.Pixels(x % 3, y % 2)) << x << "," << y;
  EXPECT_EQ(Pixel(2, 2), tile.Pixels(1, 0));
}

// ---- reference images of both bars -------------------------------------------------------
// Whole frames of bars (no text: only the framework's own rectangles, frames
// and gradient stripes), compared pixel for pixel with PNG files under
// tests/gauges/reference/. After an intended change of the drawing,
// regenerate them and look at the new pictures before committing:
//   VELQ_UPDATE_REFERENCE=1 build/tests/gauges/test_gauges --gtest_filter='BarReference.*'

class BarReference : public HeadlessFormTest {
protected:
  void SetUp() override {
    MakeForm(240, 240, clGray);
  }
};

TEST_F(BarReference, VerticalGradientSegmentsInARaisedBevel) {
  auto* bar = new TGaugeProgressBar(Form);
  bar->SetOrientation(kVertical);  // 16 x 200
  bar->SetBounds(0, 0, 24, 200);
  bar->SetStartColor(clRed);
  bar->SetEndColor(clYellow);
  bar->Bevel()->SetOuterStyle(TGaugeBevelStyle::bsRaised);
  bar->Bevel()->SetOuterWidth(2);
  bar->SetPosition(70);
  CheckReference(*bar, "progress_bar_vertical.png");
}

TEST_F(BarReference, HorizontalTopRightLevelBar) {
  auto* bar = new TGaugeLevelBar(Form);
  bar->SetOrientation(TGaugeOrientation::voHorizontal);  // 170 x 20, snapped to 169
  bar->SetStyle(TGaugeProgressStyle::psTopRight);
  bar->SetTickHeight(3);
  bar->SetSpacing(2);
  bar->SetPercent1(50);
  bar->SetPercent2(30);
  bar->SetPosition(85);
  CheckReference(*bar, "level_bar_horizontal.png");
}

}  // namespace
