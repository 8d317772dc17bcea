// The digit counter: its layout arithmetic (cell and row sizes, the padded
// text, cell positions and the cut-off of over-long values, centring, the
// automatic size), its value model, and what it draws on the headless
// renderer (padded values, the cut, Stretch, Transparent, the built-in
// strip coming back for an empty bitmap).
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "GaugeCounter.h"
#include "GaugeResources.h"
#include "GaugeSysUtils.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// ---- layout arithmetic -------------------------------------------------------------------

TEST(CounterLayoutTest, CellsAndRowFollowTheStripDigitsAndSpacing) {
  struct Case {
    int32_t StripWidth, StripHeight, Digits, Spacing;
    TCounterLayout Expected;
  };
  const Case cases[] = {
      {90, 13, 6, 0, {9, 13, 54, 13}},     // the built-in strip
      {90, 13, 6, 2, {9, 13, 64, 13}},     // five gaps of 2
      {95, 13, 6, 0, {9, 13, 54, 13}},     // 5 extra columns never shown
      {99, 20, 1, 7, {9, 20, 9, 20}},      // one cell has no gap
      {90, 13, 10, 1, {9, 13, 99, 13}},
      {90, 13, 6, -9, {9, 13, 9, 13}},     // cells overlapping
      {90, 13, 6, -20, {9, 13, -46, 13}},  // more overlap than cell: nothing left of the row
      {9, 5, 6, 0, {0, 5, 0, 5}},          // a strip narrower than ten cells
      {0, 0, 6, 3, {0, 0, 15, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CounterLayout(c.StripWidth, c.StripHeight, c.Digits, c.Spacing), c.Expected)
        << c.StripWidth << "x" << c.StripHeight << " digits " << c.Digits << " spacing " << c.Spacing;
}

TEST(CounterLayoutTest, ARowBeyond32BitsIsAnOverflowNotAWrap) {
  EXPECT_THROW(CounterLayout(90, 13, 6, kMax), EIntOverflow);
  EXPECT_THROW(CounterLayout(90, 13, 3, -kMax), EIntOverflow);
  EXPECT_EQ(CounterLayout(90, 13, 1, kMax).FRowWidth, 9);  // no gap, no overflow
}

TEST(CounterTextTest, PadsWithLeadingZerosToAtLeastDigits) {
  struct Case {
    int32_t Value, Digits;
    const char* Expected;
  };
  const Case cases[] = {
      {42, 6, "000042"},     {0, 6, "000000"},           {1234567, 6, "1234567"},
      {5, 1, "5"},           {0, 1, "0"},                {0, 10, "0000000000"},
      {kMax, 10, "2147483647"}, {kMax, 1, "2147483647"}, {999999, 6, "999999"},
      {1000000, 6, "1000000"},
      // Out-of-range inputs are clamped first.
      {-5, 3, "000"},        {7, 0, "7"},                {7, 11, "0000000007"},
  };
  for (const Case& c : cases) EXPECT_EQ(CounterText(c.Value, c.Digits), c.Expected) << c.Value << " " << c.Digits;
}

std::vector<std::pair<int32_t, int32_t>> DigitsAndLefts(const TCounterCells& cells) {
  std::vector<std::pair<int32_t, int32_t>> out;
  for (const TCounterCell& cell : cells.Cells()) out.emplace_back(cell.FDigit, cell.FDest.Left);
  return out;
}

TEST(CounterCellsTest, CellsAdvanceByWidthPlusSpacingAndStopAtTheRowEnd) {
  using Cells = std::vector<std::pair<int32_t, int32_t>>;
  struct Case {
    const char* Text;
    int32_t Digits, Spacing;
    Cells Expected;  // digit, left edge in the row image
  };
  const Case cases[] = {
      {"000042", 6, 0, {{0, 0}, {0, 9}, {0, 18}, {0, 27}, {4, 36}, {2, 45}}},
      {"000042", 6, 2, {{0, 0}, {0, 11}, {0, 22}, {0, 33}, {4, 44}, {2, 55}}},
      // An over-long value keeps its leading digits: the seventh cell would
      // start at the row's end.
      {"1234567", 6, 0, {{1, 0}, {2, 9}, {3, 18}, {4, 27}, {5, 36}, {6, 45}}},
      {"2147483647", 1, 0, {{2, 0}}},
      // Overlapping cells: later cells are drawn over earlier ones; the row
      // is 9 + 5 x 2 = 19 wide, so the third cell (x 14) still starts inside.
      {"123", 3, -2, {{1, 0}, {2, 7}, {3, 14}}},
      // A huge spacing cuts off instead of overflowing.
      {"12", 1, kMax, {{1, 0}}},
      // Non-digits are skipped.
      {"1x2", 2, 0, {{1, 0}, {2, 9}}},
  };
  for (const Case& c : cases) {
    const TCounterLayout layout = CounterLayout(90, 13, c.Digits, c.Spacing);
    EXPECT_EQ(DigitsAndLefts(CounterCells(c.Text, layout, c.Spacing)), c.Expected) << c.Text << " " << c.Spacing;
  }
}

TEST(CounterCellsTest, EachCellCopiesItsDigitsColumnOfTheStrip) {
  // A 95-pixel strip: 9-pixel cells; its last 5 columns are never a source.
  const TCounterLayout layout = CounterLayout(95, 13, 2, 4);
  const TCounterCells cells = CounterCells("90", layout, 4);
  ASSERT_EQ(cells.FCount, 2);
  EXPECT_EQ(cells.Cells()[0], (TCounterCell{9, Bounds(81, 0, 9, 13), Bounds(0, 0, 9, 13)}));
  EXPECT_EQ(cells.Cells()[1], (TCounterCell{0, Bounds(0, 0, 9, 13), Bounds(13, 0, 9, 13)}));
}

TEST(CounterRowOriginTest, CentresWithDivisionsTruncatingTowardZero) {
  struct Case {
    int32_t ClientWidth, ClientHeight, RowWidth, RowHeight;
    TPoint Expected;
  };
  const Case cases[] = {
      {150, 25, 54, 13, {48, 6}},
      {55, 14, 54, 13, {0, 0}},     // one spare pixel stays on the right and bottom
      {54, 13, 54, 13, {0, 0}},
      {50, 10, 54, 13, {-2, -1}},   // -4 div 2, -3 div 2 (not -2)
      {0, 0, 0, 0, {0, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CounterRowOrigin(c.ClientWidth, c.ClientHeight, c.RowWidth, c.RowHeight), c.Expected)
        << c.ClientWidth << "x" << c.ClientHeight;
}

TEST(CounterAutoSizeTest, AlignDecidesWhichSideFollowsTheRow) {
  struct Case {
    TAlign Align;
    int32_t RowWidth, RowHeight;
    int ExpectedWidth, ExpectedHeight;
  };
  const Case cases[] = {
      {alNone, 54, 13, 54, 13},    {alTop, 54, 13, 150, 13},   {alBottom, 54, 13, 150, 13},
      {alLeft, 54, 13, 54, 25},    {alRight, 54, 13, 54, 25},  {alClient, 54, 13, 150, 25},
      {alCustom, 54, 13, 150, 25},
      // An empty row leaves that side alone.
      {alNone, 0, 13, 150, 13},    {alNone, -46, 13, 150, 13}, {alNone, 54, 0, 54, 25},
  };
  for (const Case& c : cases) {
    int width = 150, height = 25;
    CounterAutoSize(c.Align, c.RowWidth, c.RowHeight, width, height);
    EXPECT_EQ(width, c.ExpectedWidth) << int(c.Align) << " " << c.RowWidth;
    EXPECT_EQ(height, c.ExpectedHeight) << int(c.Align) << " " << c.RowHeight;
  }
}

// ---- the widget --------------------------------------------------------------------------

// A counter that counts its paints.
class TCountingCounter : public TGaugeCounter {
public:
  using TGaugeCounter::TGaugeCounter;
  int Paints = 0;

protected:
  void Paint() override {
    ++Paints;
    TGaugeCounter::Paint();
  }
};

// The built-in strip, decoded.
std::unique_ptr<TBitmap> BuiltInStrip() {
  auto strip = std::make_unique<TBitmap>();
  strip->LoadFromBytes(FindGlyphResource("BMCOUNTER"));
  return strip;
}

// A 10-cell strip of solid cells, w x h each, digit d in colour DigitColor(d).
TColor DigitColor(int digit) { return TColor(0x102030 + digit * 0x101010); }
std::unique_ptr<TBitmap> SolidStrip(int cellWidth, int height, int extraColumns = 0) {
  auto strip = std::make_unique<TBitmap>(cellWidth * 10 + extraColumns, height);
  for (int d = 0; d < 10; ++d)
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < cellWidth; ++x) strip->SetPixels(d * cellWidth + x, y, DigitColor(d));
  for (int x = cellWidth * 10; x < strip->Width(); ++x)
    for (int y = 0; y < height; ++y) strip->SetPixels(x, y, clRed);
  return strip;
}

class CounterWidget : public HeadlessFormTest {
protected:
  void SetUp() override {
    MakeForm(200, 60, clBlue);
    Counter = new TCountingCounter(Form);
    Counter->SetBounds(10, 10, 150, 25);
    Counter->SetParent(Form);
    Form->Show();
    App->ProcessMessages();
    Window = System.Windows().back();
  }

  TColor Screen(int x, int y) const { return Window->ScreenPixel(x, y); }
  // The screen, from `origin` (form coordinates), shows `text` in the cells
  // of `strip` with the given spacing, pixel by pixel.
  void ExpectRow(TPoint origin, const TBitmap& strip, const std::string& text, int spacing) {
    const int cell = strip.Width() / 10;
    for (size_t i = 0; i < text.size(); ++i) {
      const int digit = text[i] - '0';
      for (int y = 0; y < strip.Height(); ++y)
        for (int x = 0; x < cell; ++x)
          ASSERT_EQ(Screen(origin.X + int(i) * (cell + spacing) + x, origin.Y + y), strip.Pixels(digit * cell + x, y))
              << "cell " << i << " of " << text << " at " << x << "," << y;
    }
  }

  TCountingCounter* Counter = nullptr;
};

TEST_F(CounterWidget, ConstructorDefaults) {
  TGaugeCounter counter(nullptr);
  EXPECT_EQ(counter.Value(), 0);
  EXPECT_EQ(counter.Digits(), 6);
  EXPECT_EQ(counter.Spacing(), 0);
  EXPECT_FALSE(counter.Stretch());
  EXPECT_FALSE(counter.Transparent());
  EXPECT_FALSE(counter.AutoSize());
  EXPECT_EQ(counter.Color(), clBtnFace);
  EXPECT_FALSE(counter.ParentColor());
  EXPECT_EQ(counter.BoundsRect(), Bounds(0, 0, 150, 25));
  EXPECT_TRUE(counter.ControlStyle().Contains(csOpaque));
  EXPECT_EQ(counter.Version(), "1.3");
  // The built-in strip and the row it gives.
  EXPECT_EQ(counter.Bitmap()->Width(), 90);
  EXPECT_EQ(counter.Bitmap()->Height(), 13);
  EXPECT_EQ(counter.Layout(), (TCounterLayout{9, 13, 54, 13}));
  EXPECT_EQ(counter.RowImage().Width(), 54);
  EXPECT_EQ(counter.RowImage().Height(), 13);
}

TEST_F(CounterWidget, PublishesItsPropertiesInOrder) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TGaugeCounter::StaticClass().Props) own.push_back(p.Name);
  const std::vector<std::string> expected{
      "Value",     "Digits",        "Bitmap",         "Spacing",     "Stretch",      "OnChange",
      "Transparent", "Align",       "Anchors",        "AutoSize",    "Constraints",  "Color",
      "DragCursor", "DragKind",     "DragMode",       "ParentColor", "ParentShowHint", "PopupMenu",
      "ShowHint",  "Visible",       "OnClick",        "OnContextPopup", "OnDblClick", "OnDragDrop",
      "OnDragOver", "OnEndDock",    "OnEndDrag",      "OnMouseDown", "OnMouseMove",  "OnMouseUp",
      "OnStartDock", "OnStartDrag"};
  EXPECT_EQ(own, expected);
  // The strip is reached as a sub-object whose Data a skin sets.
  const TPropInfo* data = TGaugeCounter::StaticClass().FindProp("Bitmap")->ObjectClass->FindProp("Data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Kind, TPropKind::Binary);
}

TEST_F(CounterWidget, ValueClampsRepaintsAndFiresOnlyWhenItChanges) {
  std::vector<int32_t> seen;
  Counter->SetOnChange([&](TObject* sender) {
    EXPECT_EQ(sender, Counter);
    seen.push_back(Counter->Value());
  });
  const int paints = Counter->Paints;
  Counter->SetValue(0);  // the value already held
  EXPECT_EQ(Counter->Paints, paints);
  Counter->SetValue(42);
  EXPECT_EQ(Counter->Paints, paints + 1);  // opaque: painted at once, alone
  Counter->SetValue(42);
  EXPECT_EQ(Counter->Paints, paints + 1);
  Counter->SetValue(-7);  // clamped to 0
  Counter->SetValue(std::numeric_limits<int32_t>::min());
  Counter->SetValue(kMax);
  EXPECT_EQ(seen, (std::vector<int32_t>{42, 0, kMax}));
}

TEST_F(CounterWidget, DigitsAndSpacingLayTheRowOutAgain) {
  struct Case {
    int32_t Digits, Spacing;
    int32_t ExpectedDigits, ExpectedRowWidth;
  };
  const Case cases[] = {{6, 2, 6, 64}, {1, 2, 1, 9}, {0, 0, 1, 9}, {11, 0, 10, 90}, {-3, 1, 1, 9}, {10, -1, 10, 81}};
  for (const Case& c : cases) {
    Counter->SetDigits(c.Digits);
    Counter->SetSpacing(c.Spacing);
    EXPECT_EQ(Counter->Digits(), c.ExpectedDigits);
    EXPECT_EQ(Counter->RowImage().Width(), c.ExpectedRowWidth) << c.Digits << " " << c.Spacing;
    EXPECT_EQ(Counter->RowImage().Height(), 13);
  }
  // A spacing or digit count whose row does not fit 32 bits is refused with
  // the overflow error; the counter keeps its settings and its row.
  EXPECT_THROW(Counter->SetSpacing(kMax), EIntOverflow);
  EXPECT_EQ(Counter->Spacing(), -1);
  Counter->SetDigits(1);
  Counter->SetSpacing(kMax / 2);  // one cell, no gap
  EXPECT_THROW(Counter->SetDigits(3), EIntOverflow);
  EXPECT_EQ(Counter->Digits(), 1);
  EXPECT_EQ(Counter->RowImage().Width(), 9);
}

TEST_F(CounterWidget, PaddedValueOnTheBuiltInStrip) {
  const auto strip = BuiltInStrip();
  // The counter at (10, 10), 150 x 25; the 54 x 13 row centred at (48, 6).
  const TPoint origin{10 + 48, 10 + 6};
  for (int32_t value : {42, 0}) {
    Counter->SetValue(value);
    App->ProcessMessages();
    ExpectRow(origin, *strip, CounterText(value, 6), 0);
  }
  // Around the row the counter shows its Color; outside it the form.
  const TColor face = ColorToRGB(clBtnFace);
  EXPECT_EQ(Screen(origin.X - 1, origin.Y), face);
  EXPECT_EQ(Screen(origin.X + 54, origin.Y + 12), face);
  EXPECT_EQ(Screen(origin.X, origin.Y - 1), face);
  EXPECT_EQ(Screen(origin.X, origin.Y + 13), face);
  EXPECT_EQ(Screen(10, 10), face);
  EXPECT_EQ(Screen(159, 34), face);
  EXPECT_EQ(Screen(160, 34), clBlue);
  EXPECT_EQ(Screen(9, 10), clBlue);
}

TEST_F(CounterWidget, ASeventhDigitIsCutOff) {
  const auto strip = BuiltInStrip();
  const TPoint origin{10 + 48, 10 + 6};
  Counter->SetValue(1234567);
  App->ProcessMessages();
  ExpectRow(origin, *strip, "123456", 0);
  // Where a seventh cell would go, the counter's face.
  for (int x = 0; x < 9; ++x)
    for (int y = 0; y < 13; ++y) ASSERT_EQ(Screen(origin.X + 54 + x, origin.Y + y), ColorToRGB(clBtnFace));
}

TEST_F(CounterWidget, SpacingShowsTheFaceBetweenCells) {
  const auto strip = SolidStrip(4, 3, 5);
  Counter->SetBitmap(*strip);
  Counter->SetDigits(3);
  Counter->SetSpacing(2);
  Counter->SetValue(907);
  App->ProcessMessages();
  // Row 3 x 4 + 2 x 2 = 16 x 3, centred in 150 x 25 at (67, 11).
  const TPoint origin{10 + 67, 10 + 11};
  ExpectRow(origin, *strip, "907", 2);
  for (int gap : {4, 5, 10, 11}) EXPECT_EQ(Screen(origin.X + gap, origin.Y + 1), ColorToRGB(clBtnFace)) << gap;
  // The strip's extra columns (red) never show.
  for (int x = 0; x < 150; ++x) ASSERT_NE(Screen(10 + x, origin.Y + 1), clRed) << x;
}

TEST_F(CounterWidget, StretchScalesTheRowToTheClientArea) {
  const auto strip = SolidStrip(3, 2);
  Counter->SetBitmap(*strip);
  Counter->SetDigits(2);
  Counter->SetValue(58);
  Counter->SetBounds(10, 10, 12, 8);  // the 6 x 2 row, twice as wide and four times as tall
  const int paints = Counter->Paints;
  Counter->SetStretch(true);
  EXPECT_EQ(Counter->Paints, paints + 1);
  Counter->SetStretch(true);
  EXPECT_EQ(Counter->Paints, paints + 1);
  App->ProcessMessages();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(Screen(10 + x, 10 + y), DigitColor(x < 6 ? 5 : 8)) << x << "," << y;
}

TEST_F(CounterWidget, AutoSizeWinsOverStretchAndAdoptsTheRow) {
  Counter->SetStretch(true);
  Counter->SetAutoSize(true);
  EXPECT_EQ(Counter->BoundsRect(), Bounds(10, 10, 54, 13));
  // Centred unscaled in a client of exactly the row's size.
  Counter->SetValue(42);
  App->ProcessMessages();
  ExpectRow({10, 10}, *BuiltInStrip(), "000042", 0);
  EXPECT_EQ(Screen(64, 10), clBlue);
  // A new layout resizes the counter.
  Counter->SetSpacing(2);
  EXPECT_EQ(Counter->BoundsRect(), Bounds(10, 10, 64, 13));
  Counter->SetDigits(2);
  EXPECT_EQ(Counter->BoundsRect(), Bounds(10, 10, 20, 13));
}

TEST_F(CounterWidget, AutoSizeFollowsTheAlignedSideOnly) {
  struct Case {
    TAlign Align;
    TRect Expected;  // in the 200 x 60 form
  };
  const Case cases[] = {
      {alTop, Bounds(0, 0, 200, 13)},
      {alLeft, Bounds(0, 0, 54, 60)},
      {alClient, Bounds(0, 0, 200, 60)},
  };
  for (const Case& c : cases) {
    TGaugeCounter* counter = new TGaugeCounter(Form);
    counter->SetParent(Form);
    counter->SetAlign(c.Align);
    counter->SetAutoSize(true);
    EXPECT_EQ(counter->BoundsRect(), c.Expected) << int(c.Align);
    delete counter;
  }
}

TEST_F(CounterWidget, AnEmptyBitmapBringsBackTheBuiltInStrip) {
  const auto strip = SolidStrip(5, 7);
  Counter->SetBitmap(*strip);
  EXPECT_EQ(Counter->Layout(), (TCounterLayout{5, 7, 30, 7}));
  Counter->SetBitmap(TBitmap());
  EXPECT_EQ(Counter->Layout(), (TCounterLayout{9, 13, 54, 13}));
  EXPECT_EQ(Counter->Bitmap()->SaveToBytes(), BuiltInStrip()->SaveToBytes());
  // Emptying the owned strip in place (as a skin's empty Bitmap.Data does)
  // falls back the same way.
  Counter->SetBitmap(*strip);
  Counter->Bitmap()->SetData(std::vector<uint8_t>{0, 0, 0, 0});
  EXPECT_EQ(Counter->Bitmap()->Width(), 90);
  Counter->SetValue(42);
  App->ProcessMessages();
  ExpectRow({10 + 48, 10 + 6}, *BuiltInStrip(), "000042", 0);
}

TEST_F(CounterWidget, TransparentLetsTheBackgroundThroughWhereTheRowHasColor) {
  const auto strip = SolidStrip(4, 3);
  // Digit 1's cell in the counter's own colour: it shows the background.
  for (int x = 4; x < 8; ++x)
    for (int y = 0; y < 3; ++y) strip->SetPixels(x, y, clYellow);
  Counter->SetColor(clYellow);
  Counter->SetBitmap(*strip);
  Counter->SetDigits(2);
  Counter->SetValue(12);
  Counter->SetTransparent(true);
  App->ProcessMessages();
  const TPoint origin{10 + (150 - 8) / 2, 10 + (25 - 3) / 2};
  EXPECT_EQ(Screen(origin.X, origin.Y), clBlue);          // the '1' cell
  EXPECT_EQ(Screen(origin.X + 4, origin.Y), DigitColor(2));
  EXPECT_EQ(Screen(10, 10), clBlue);                      // the face around the row
  // A new value repaints over the stored background, not through the form.
  Counter->SetValue(21);
  App->ProcessMessages();
  EXPECT_EQ(Screen(origin.X, origin.Y), DigitColor(2));
  EXPECT_EQ(Screen(origin.X + 4, origin.Y), clBlue);
  EXPECT_EQ(Screen(10, 10), clBlue);
}

}  // namespace
