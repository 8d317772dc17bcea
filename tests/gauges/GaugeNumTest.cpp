// The number display: the row arithmetic as a table, the write rules, and
// what reaches the screen, checked cell by cell against the recoloured
// digit strip.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "GaugeNum.h"
#include "GaugeSysUtils.h"
#include "HeadlessFormFixture.h"

namespace {

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

TEST(NumText, BlankingComesBeforePadding) {
  struct Case {
    int32_t Value, Digits;
    bool LeadingZero, ZeroBlank;
    const char* Text;
  };
  const Case cases[] = {
      {0, 4, false, false, "   0"},  {7, 4, true, false, "0007"},   {0, 4, false, true, "    "},
      {0, 4, true, true, "0000"},    {-12, 4, false, false, "  12"}, {12345, 4, false, false, "12345"},
      {5, 0, false, false, "5"},     {5, 20, true, false, "0000000000000005"},
      {kInt32Min, 4, false, false, "2147483648"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NumText(c.Value, c.Digits, c.LeadingZero, c.ZeroBlank), c.Text) << c.Value << "/" << c.Digits;
}

TEST(NumCellsFor, RowPlacementSignCellAndOverflow) {
  struct Case {
    const char* Name;
    TNumLayoutInput In;
    std::vector<TNumCell> Cells;
    int32_t Y;
  };
  // Defaults: 100 x 26, 13 x 24 cells, spacing 2: a 58-pixel row at 21.
  TNumLayoutInput d;
  d.ClientWidth = 100;
  d.ClientHeight = 26;
  d.CellWidth = 13;
  d.CellHeight = 24;
  d.Spacing = 2;
  auto with = [&](auto change) {
    TNumLayoutInput in = d;
    change(in);
    return in;
  };
  const Case cases[] = {
      {"defaults", d, {{10, 21}, {10, 36}, {10, 51}, {0, 66}}, 1},
      {"minus with sign cell", with([](auto& in) { in.Value = -12; in.SignCell = true; }),
       {{12, 13}, {10, 28}, {10, 43}, {1, 58}, {2, 73}}, 1},
      {"unlit sign for a positive value", with([](auto& in) { in.Value = 12; in.SignCell = true; }),
       {{11, 13}, {10, 28}, {10, 43}, {1, 58}, {2, 73}}, 1},
      {"five digits from the four-cell start", with([](auto& in) { in.Value = 12345; }),
       {{1, 21}, {2, 36}, {3, 51}, {4, 66}, {5, 81}}, 1},
      {"left", with([](auto& in) { in.Value = 7; in.Alignment = naLeftJustify; }),
       {{10, 0}, {10, 15}, {10, 30}, {7, 45}}, 1},
      {"right", with([](auto& in) { in.Value = 7; in.Alignment = naRightJustify; }),
       {{10, 42}, {10, 57}, {10, 72}, {7, 87}}, 1},
      {"centre of a too narrow client truncates toward zero", with([](auto& in) { in.ClientWidth = 55; in.ClientHeight = 21; }),
       {{10, -1}, {10, 14}, {10, 29}, {0, 44}}, -1},
      {"ns5x7 cells are 4 wide", with([](auto& in) { in.CellWidth = 52 / 13; in.CellHeight = 7; in.Value = 42; }),
       {{10, 39}, {10, 45}, {4, 51}, {2, 57}}, 9},
  };
  for (const Case& c : cases) {
    const TNumCells cells = NumCellsFor(c.In);
    EXPECT_EQ(std::vector<TNumCell>(cells.Cells().begin(), cells.Cells().end()), c.Cells) << c.Name;
    EXPECT_EQ(cells.Y, c.Y) << c.Name;
  }
}

TEST(NumRowWidth, OverflowIsRefused) {
  EXPECT_EQ(NumRowWidth(4, 13, 2), 58);
  EXPECT_EQ(NumRowWidth(1, 13, 1000), 13);
  EXPECT_THROW(NumRowWidth(16, 13, std::numeric_limits<int32_t>::max()), EIntOverflow);
}

TEST(GaugeNumWrites, ClampingRangeRulesAndEvents) {
  TGaugeNum num(nullptr);
  int changes = 0;
  num.SetOnChange([&](TObject*) { ++changes; });
  num.SetValue(10000);
  EXPECT_EQ(num.Value(), 9999);
  EXPECT_EQ(changes, 1);
  num.SetValue(9999);
  EXPECT_EQ(changes, 1);
  num.SetValue(-5);
  EXPECT_EQ(num.Value(), 0);

  // Min < Max strictly; neither write re-clamps the value.
  num.SetMin(9999);
  EXPECT_EQ(num.Min(), 0);
  num.SetMin(10000);
  EXPECT_EQ(num.Min(), 0);
  num.SetMax(0);
  EXPECT_EQ(num.Max(), 9999);
  num.SetValue(500);
  num.SetMax(100);
  EXPECT_EQ(num.Max(), 100);
  EXPECT_EQ(num.Value(), 500);
  EXPECT_FALSE(num.SignCell());
  num.SetMin(-50);
  EXPECT_TRUE(num.SignCell());
  num.SetMin(3);
  EXPECT_FALSE(num.SignCell());

  // Digits clamp to 1..16; the automatic width does not count the sign cell.
  num.SetDigits(0);
  EXPECT_EQ(num.Digits(), 1);
  num.SetDigits(99);
  EXPECT_EQ(num.Digits(), 16);
  num.SetDigits(4);
  num.SetMin(-50);
  EXPECT_EQ(num.GetDigitsWidth(), 58);
  num.SetStyle(ns5x7);
  EXPECT_EQ(num.CellWidth(), 4);
  EXPECT_EQ(num.CellHeight(), 7);
  EXPECT_EQ(num.GetDigitsWidth(), 4 * 4 + 3 * 2);
}

TEST(GaugeNumWrites, DefaultsAndPublishedOrder) {
  TGaugeNum num(nullptr);
  EXPECT_EQ(num.Width(), 100);
  EXPECT_EQ(num.Height(), 26);
  EXPECT_EQ(num.Color(), clBlack);
  EXPECT_FALSE(num.ParentColor());
  EXPECT_EQ(num.Palette()->Low(), clGreen);
  EXPECT_EQ(num.Palette()->High(), clLime);
  std::vector<std::string> names;
  for (const TPropInfo& p : TGaugeNum::StaticClass().Props) names.push_back(p.Name);
  ASSERT_GE(names.size(), 11u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 11),
            (std::vector<std::string>{"Digits", "Value", "Spacing", "Style", "LeadingZero", "Palette", "Alignment",
                                      "Max", "Min", "ZeroBlank", "Transparent"}));
}

class GaugeNumPixels : public HeadlessFormTest {
protected:
  // The cell `cell` of the widget's strip is at (x, y) of its last frame:
  // lit and unlit segments in the palette's colours, black pixels showing
  // the background colour.
  void ExpectCell(TGaugeNum& num, int32_t cell, int32_t x, int32_t y, const std::string& what) {
    const TBitmap& strip = num.DigitStrip();
    const TBitmap& frame = num.ImageBitmap();
    int wrong = 0;
    for (int32_t j = 0; j < num.CellHeight(); ++j)
      for (int32_t i = 0; i < num.CellWidth(); ++i) {
        const TColor source = strip.Pixels(cell * num.CellWidth() + i, j);
        const TColor expected = source == clBlack ? num.Color() : source;
        if (frame.Pixels(x + i, y + j) != expected && ++wrong <= 3)
          ADD_FAILURE() << what << ": cell " << cell << " differs at (" << x + i << ", " << y + j << ")";
      }
  }
};

TEST_F(GaugeNumPixels, RowsReachTheImageWhereTheArithmeticPutsThem) {
  struct Case {
    const char* Name;
    std::function<void(TGaugeNum&)> Setup;
    std::vector<TNumCell> Cells;
    int32_t Y;
  };
  const Case cases[] = {
      {"defaults", [](TGaugeNum&) {}, {{10, 21}, {10, 36}, {10, 51}, {0, 66}}, 1},
      {"leading zero", [](TGaugeNum& n) { n.SetLeadingZero(true); n.SetValue(7); },
       {{0, 21}, {0, 36}, {0, 51}, {7, 66}}, 1},
      {"zero blank", [](TGaugeNum& n) { n.SetZeroBlank(true); }, {{10, 21}, {10, 36}, {10, 51}, {10, 66}}, 1},
      {"zero blank with leading zero", [](TGaugeNum& n) { n.SetZeroBlank(true); n.SetLeadingZero(true); },
       {{0, 21}, {0, 36}, {0, 51}, {0, 66}}, 1},
      {"minus", [](TGaugeNum& n) { n.SetMin(-50); n.SetValue(-12); },
       {{12, 13}, {10, 28}, {10, 43}, {1, 58}, {2, 73}}, 1},
      {"unlit sign", [](TGaugeNum& n) { n.SetMin(-50); n.SetValue(12); },
       {{11, 13}, {10, 28}, {10, 43}, {1, 58}, {2, 73}}, 1},
      {"five digits", [](TGaugeNum& n) { n.SetMax(99999); n.SetValue(12345); },
       {{1, 21}, {2, 36}, {3, 51}, {4, 66}, {5, 81}}, 1},
      {"ns5x7", [](TGaugeNum& n) { n.SetStyle(ns5x7); n.SetValue(42); },
       {{10, 39}, {10, 45}, {4, 51}, {2, 57}}, 9},
  };
  MakeForm(400, 60, clWhite);
  for (const Case& c : cases) {
    auto* num = new TGaugeNum(Form);
    num->SetAutoSize(false);
    num->SetBounds(0, 0, 100, 26);
    c.Setup(*num);
    num->SetParent(Form);
    Form->Show();
    App->ProcessMessages();
    for (const TNumCell& cell : c.Cells) ExpectCell(*num, cell.Cell, cell.X, c.Y, c.Name);
    // Outside the row the image is the background colour.
    EXPECT_EQ(num->ImageBitmap().Pixels(c.Cells.front().X - 1, c.Y + 2), clBlack) << c.Name;
    delete num;
  }
}

TEST_F(GaugeNumPixels, ThePaletteRecoloursTheGlyphs) {
  MakeForm(120, 40, clWhite);
  auto* num = new TGaugeNum(Form);
  num->SetValue(8);
  num->Palette()->SetLow(clNavy);
  num->Palette()->SetHigh(clRed);
  num->SetParent(Form);
  Show();
  bool red = false, navy = false;
  const TBitmap& frame = num->ImageBitmap();
  for (int y = 0; y < frame.Height(); ++y)
    for (int x = 0; x < frame.Width(); ++x) {
      const TColor c = frame.Pixels(x, y);
      red = red || c == clRed;
      navy = navy || c == clNavy;
      EXPECT_TRUE(c == clRed || c == clNavy || c == clBlack) << x << "," << y;
      if (c != clRed && c != clNavy && c != clBlack) return;
    }
  EXPECT_TRUE(red);   // the lit segments of the 8
  EXPECT_TRUE(navy);  // the blank cells
}

}  // namespace
