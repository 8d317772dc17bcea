// The LED matrix text display: the code-page conversion and case mapping,
// escape parsing with the text styles, colour codes, alignment starts, the
// bounds that always fit the cells, both scroll sequences with their
// OnScrollDone counts, the timer wiring, and lit and unlit dots on the
// headless renderer.
#include <gtest/gtest.h>

#include "HeadlessFormFixture.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "CharGen5x7.h"
#include "Forms.h"
#include "GaugeMatrix.h"
#include "GaugeSysUtils.h"
#include "GaugeTimer.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

using TS = TGaugeMatrixTextStyle;
using Dir = TGaugeMatrixScrollDirection;
constexpr auto kHorizontal = TGaugeOrientation::voHorizontal;
constexpr auto kVertical = TGaugeOrientation::voVertical;

// ---- text --------------------------------------------------------------------------------

TEST(MatrixText, Utf8BecomesWindows1252AndUnencodableCharactersAnEmptyCode) {
  struct Case {
    const char* Utf8;
    std::string Codes;
  };
  const Case cases[] = {
      {"Hello %A", "Hello %A"},
      {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},     // été
      {"\xE2\x82\xAC" "5", "\x80" "5"},        // the euro sign has a code
      {"\xC5\xA0", "\x8A"},                    // S with caron
      {"a\xC4\x81z", "a\x81z"},                // a with macron: none
      {"\xE2\x86\x92", "\x81"},                // an arrow: none
      {"?", "?"},                              // a real question mark stays one
      {"\xFF", "\x81"},                        // malformed UTF-8
  };
  for (const Case& c : cases) EXPECT_EQ(MatrixCodes(c.Utf8), c.Codes) << c.Utf8;
  EXPECT_EQ(kMatrixNoCode, '\x81');
  EXPECT_EQ(CharGenGlyph(0x81), (TCharGenGlyph{}));  // shown as an empty cell
  // Back for tools: the empty code is the replacement character.
  EXPECT_EQ(MatrixCodesToUtf8("\xE9t\xE9 \x81!"), "\xC3\xA9t\xC3\xA9 \xEF\xBF\xBD!");
  EXPECT_EQ(MatrixCodesToUtf8(""), "");
}

TEST(MatrixText, WesternEuropeanCaseMapping) {
  struct Case {
    unsigned char Lower, Upper;
  };
  const Case pairs[] = {{'a', 'A'}, {'z', 'Z'}, {0xE0, 0xC0}, {0xE8, 0xC8}, {0xFE, 0xDE},
                        {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
  for (const Case& c : pairs) {
    EXPECT_EQ(uint8_t(MatrixUpperCase(char(c.Lower))), c.Upper) << int(c.Lower);
    EXPECT_EQ(uint8_t(MatrixLowerCase(char(c.Upper))), c.Lower) << int(c.Upper);
  }
  // Without a case pair: signs, digits, sharp s, micro, the division and
  // multiplication signs.
  for (unsigned char c : std::string("1% \xDF\xB5\xF7\xD7\x81")) {
    EXPECT_EQ(uint8_t(MatrixUpperCase(char(c))), c) << int(c);
    EXPECT_EQ(uint8_t(MatrixLowerCase(char(c))), c) << int(c);
  }
}

TEST(MatrixText, EscapesAndTextStyles) {
  struct Case {
    const char* Codes;
    TS Style;
    TMatrixText Expected;
  };
  const Case cases[] = {
      {"%Aab%%c", TS::tsAsIs, {"ab%c", "AAAA"}},
      {"%Aab%%c", TS::tsUpperCase, {"AB%C", "AAAA"}},
      {"x%Zy", TS::tsAsIs, {"xy", "--"}},               // Z consumed, colour reset
      {"%a1%-2%f3%04", TS::tsAsIs, {"1234", "a-f0"}},   // digits kept as written
      {"%%%", TS::tsAsIs, {"%", "-"}},                  // a final "%" only resets
      {"a%", TS::tsAsIs, {"a", "-"}},
      {"%C", TS::tsAsIs, {"", ""}},
      {"", TS::tsProperCase, {"", ""}},
      {"Hello", TS::tsUpperCase, {"HELLO", "-----"}},
      {"Hello \xC9T\xC9", TS::tsLowerCase, {"hello \xE9t\xE9", "---------"}},
      {"  hELLO wORLD", TS::tsProperCase, {"  Hello world", "-------------"}},
      {"   ", TS::tsProperCase, {"   ", "---"}},        // nothing to raise
      {"\xC9T\xC9", TS::tsProperCase, {"\xE9t\xE9", "---"}},  // only a to z are raised
      {"%Bx%%", TS::tsProperCase, {"X%", "BB"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseMatrixText(c.Codes, c.Style), c.Expected) << c.Codes;
}

TEST(MatrixText, ColourCodes) {
  const TColor high = TColor(0x123456);
  const std::pair<char, TColor> cases[] = {
      {'-', high},     {'0', high},      {'1', clBlack},  {'2', clMaroon}, {'3', clGreen},  {'4', clOlive},
      {'5', clNavy},   {'6', clPurple},  {'7', clTeal},   {'8', clGray},   {'9', clSilver}, {'A', clRed},
      {'B', clLime},   {'C', clYellow},  {'D', clBlue},   {'E', clFuchsia}, {'F', clAqua},  {'a', clRed},
      {'f', clAqua},   {'G', high},
  };
  for (auto [code, color] : cases) EXPECT_EQ(MatrixCodeColor(code, high), color) << code;
}

// ---- geometry ----------------------------------------------------------------------------

TEST(MatrixGeometry, CellsOfTheThreeStyles) {
  struct Case {
    TGaugeMatrixLedStyle Style;
    int32_t Dot;
    TPoint Cell;
    const char* Resource;
  };
  const Case cases[] = {{TGaugeMatrixLedStyle::ls9x13, 1, {9, 13}, "GAUGEMATRIXLED9x13"},
                        {TGaugeMatrixLedStyle::ls14x20, 2, {14, 20}, "GAUGEMATRIXLED14x20"},
                        {TGaugeMatrixLedStyle::ls19x27, 3, {19, 27}, "GAUGEMATRIXLED19x27"}};
  for (const Case& c : cases) {
    EXPECT_EQ(MatrixDotSize(c.Style), c.Dot);
    EXPECT_EQ(MatrixCellSize(c.Style), c.Cell);
    EXPECT_EQ(MatrixCellResource(c.Style), c.Resource);
  }
  // Bit 4 lands on the cell's left edge, bit 0 on its right.
  EXPECT_EQ(MatrixDotRect({5, 5}, {14, 20}, 2, 0, 4), Bounds(5, 5, 2, 2));
  EXPECT_EQ(MatrixDotRect({5, 5}, {14, 20}, 2, 6, 0), Bounds(17, 23, 2, 2));
  EXPECT_EQ(MatrixDotRect({0, 0}, {19, 27}, 3, 1, 2), Bounds(8, 4, 3, 3));
}

TEST(MatrixGeometry, AlignmentStartPositions) {
  struct Case {
    TGaugeAlignment Alignment;
    int32_t Length, Leds, Start;
  };
  const Case cases[] = {
      {TGaugeAlignment::vaLeftJustify, 5, 15, 1},
      {TGaugeAlignment::vaRightJustify, 5, 15, -9},  // the last five cells
      {TGaugeAlignment::vaCenter, 5, 15, -4},        // 1 - (10 div 2)
      {TGaugeAlignment::vaCenter, 4, 15, -4},        // 11 div 2 = 5
      {TGaugeAlignment::vaCenter, 0, 15, -6},
      {TGaugeAlignment::vaCenter, 20, 15, 3},        // 1 - (-5 div 2) = 1 + 2, truncating
      {TGaugeAlignment::vaRightJustify, 20, 15, 6},
      {TGaugeAlignment::vaLeftJustify, 20, 15, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatrixAlignStart(c.Alignment, c.Length, c.Leds), c.Start) << int(c.Alignment) << " " << c.Length;
}

TEST(MatrixGeometry, TheControlFitsItsCells) {
  struct Case {
    TGaugeOrientation Orientation;
    int32_t Leds, Spacing;
    TPoint Cell;
    int32_t Inset;
    TPoint Size;
  };
  const Case cases[] = {
      {kHorizontal, 15, 2, {14, 20}, 5, {248, 30}},  // the defaults
      {kVertical, 15, 2, {14, 20}, 5, {24, 338}},
      {kHorizontal, 1, 7, {9, 13}, 0, {9, 13}},      // one cell: no gap
      {kHorizontal, 0, 2, {14, 20}, 5, {10, 30}},    // no cells: just the frame
      {kHorizontal, 3, -14, {14, 20}, 0, {14, 20}},  // overlapping completely
      {kHorizontal, 3, -22, {14, 20}, 0, {0, 20}},   // more than that: nothing
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatrixBoundsSize(c.Orientation, c.Leds, c.Spacing, c.Cell, c.Inset), c.Size)
        << c.Leds << " " << c.Spacing;
  EXPECT_THROW(MatrixBoundsSize(kHorizontal, 200000000, 2, {19, 27}, 5), EIntOverflow);
  EXPECT_EQ(MatrixCellOrigin(kHorizontal, 248, 30, 15, 2, {14, 20}), (TPoint{5, 5}));
  EXPECT_EQ(MatrixCellOrigin(kVertical, 24, 338, 15, 2, {14, 20}), (TPoint{5, 5}));
  EXPECT_EQ(MatrixCellOrigin(kHorizontal, 20, 30, 3, 0, {9, 13}), (TPoint{-3, 8}));  // -7 div 2
}

TEST(MatrixGeometry, ScrollSteps) {
  EXPECT_EQ(MatrixScrollStep(Dir::msdRightToLeft, 1, 2, 3), (TMatrixScroll{2, false}));
  EXPECT_EQ(MatrixScrollStep(Dir::msdRightToLeft, 2, 2, 3), (TMatrixScroll{-2, true}));
  EXPECT_EQ(MatrixScrollStep(Dir::msdRightToLeft, 9, 2, 3), (TMatrixScroll{-2, true}));  // text got shorter
  EXPECT_EQ(MatrixScrollStep(Dir::msdLeftToRight, -1, 2, 3), (TMatrixScroll{-2, false}));
  EXPECT_EQ(MatrixScrollStep(Dir::msdLeftToRight, -2, 2, 3), (TMatrixScroll{2, true}));
  EXPECT_EQ(MatrixScrollStep(Dir::msdLeftToRight, -7, 0, 3), (TMatrixScroll{0, true}));
}

TEST(MatrixGeometry, VisibleCellsAreExactlyThoseReachingTheImage) {
  // Against a walk over every cell, across runs that start before, inside
  // and after the image, go forwards, backwards or stay on one place.
  for (int64_t origin = -12; origin <= 12; origin += 3)
    for (int64_t step = -4; step <= 4; ++step)
      for (int64_t cell = 1; cell <= 3; ++cell)
        for (int64_t extent : {0, 1, 7})
          for (int32_t leds = 0; leds <= 9; leds += 3) {
            int64_t first = leds, end = 0;
            for (int64_t k = 0; k < leds; ++k) {
              const int64_t at = origin + k * step;
              if (at + cell > 0 && at < extent && extent > 0) {  // reaches into [0, extent)
                first = std::min(first, k);
                end = k + 1;
              }
            }
            const TMatrixCellRange got = MatrixVisibleCells(origin, step, cell, extent, leds);
            const int64_t count = end > first ? end - first : 0;
            ASSERT_EQ(got.End > got.First ? got.End - got.First : 0, count)
                << origin << " " << step << " " << cell << " " << extent << " " << leds;
            if (count > 0) {
              ASSERT_EQ(got, (TMatrixCellRange{first, end}));
            }
          }
  // A hundred million cells in a 20-pixel image: the range is the image's.
  EXPECT_EQ(MatrixVisibleCells(-1000, 1, 14, 20, 100000000), (TMatrixCellRange{987, 1020}));
  EXPECT_EQ(MatrixVisibleCells(5, 0, 14, 20, 100000000), (TMatrixCellRange{0, 100000000}));
}

// ---- the widget's model ------------------------------------------------------------------

TEST(Matrix, ConstructorDefaults) {
  TGaugeMatrix m(nullptr);
  EXPECT_EQ(m.BoundsRect(), Bounds(0, 0, 248, 30));
  EXPECT_TRUE(m.Threaded());
  EXPECT_EQ(m.TextStyle(), TS::tsUpperCase);
  EXPECT_EQ(m.Orientation(), kHorizontal);
  EXPECT_EQ(m.Leds(), 15);
  EXPECT_EQ(m.Spacing(), 2);
  EXPECT_EQ(m.Palette()->Low(), clGreen);
  EXPECT_EQ(m.Palette()->High(), clLime);
  EXPECT_EQ(m.LedStyle(), TGaugeMatrixLedStyle::ls14x20);
  EXPECT_TRUE(m.LedsVisible());
  EXPECT_FALSE(m.AutoScroll());
  EXPECT_EQ(m.Alignment(), TGaugeAlignment::vaLeftJustify);
  EXPECT_EQ(m.TimeInterval(), 500);
  EXPECT_EQ(m.ScrollDirection(), Dir::msdRightToLeft);
  EXPECT_EQ(m.Bevel()->InnerWidth(), 2);
  EXPECT_EQ(m.Bevel()->InnerColor(), clBlack);
  EXPECT_EQ(m.Bevel()->TotalWidth(), 5);
  EXPECT_EQ(m.Color(), clBlack);
  EXPECT_FALSE(m.ParentColor());
  EXPECT_EQ(m.Text(), "");
  EXPECT_EQ(m.StartPosition(), 1);
  EXPECT_EQ(m.CellBitmap().Width(), 14);
  EXPECT_EQ(m.CellBitmap().Height(), 20);
  // The timer: owned, disabled, 500 ms, handing its ticks over.
  EXPECT_EQ(m.Timer().Owner(), &m);
  EXPECT_FALSE(m.Timer().Enabled());
  EXPECT_EQ(m.Timer().Interval(), 500u);
  EXPECT_TRUE(m.Timer().SyncEvent());
  EXPECT_TRUE(m.Timer().HasOnTimer());
  EXPECT_FALSE(m.Timer().Allocated());
}

TEST(Matrix, PublishesItsPropertiesInOrder) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TGaugeMatrix::StaticClass().Props) own.push_back(p.Name);
  const std::vector<std::string> expected{
      "Threaded",    "TextStyle",  "Orientation", "Leds",          "Spacing",        "Palette",
      "LedStyle",    "LedsVisible", "AutoScroll", "Alignment",     "TimeInterval",   "ScrollDirection",
      "Bevel",       "OnScrollDone", "Anchors",   "Constraints",   "Color",          "DragCursor",
      "DragKind",    "DragMode",   "ParentColor", "ParentShowHint", "PopupMenu",     "ShowHint",
      "Text",        "Visible",    "OnClick",     "OnContextPopup", "OnDblClick",    "OnDragDrop",
      "OnDragOver",  "OnEndDock",  "OnEndDrag",   "OnMouseDown",   "OnMouseMove",    "OnMouseUp",
      "OnStartDock", "OnStartDrag"};
  EXPECT_EQ(own, expected);
}

TEST(Matrix, TextIsParsedWhenTextOrStyleChanges) {
  TGaugeMatrix m(nullptr);
  m.SetText("%Aab%%c");
  EXPECT_EQ(m.ShownChars(), "AB%C");
  EXPECT_EQ(m.ColorCodes(), "AAAA");
  m.SetTextStyle(TS::tsAsIs);
  EXPECT_EQ(m.ShownChars(), "ab%c");
  m.SetText("\xC3\xA9l\xC3\xA8ve \xE2\x86\x92 ok");  // élève → ok
  EXPECT_EQ(m.ShownChars(), "\xE9l\xE8ve \x81 ok");
  EXPECT_EQ(m.ShownText(), "\xC3\xA9l\xC3\xA8ve \xEF\xBF\xBD ok");
  m.SetTextStyle(TS::tsUpperCase);
  EXPECT_EQ(m.ShownChars(), "\xC9L\xC8VE \x81 OK");
}

TEST(Matrix, EveryBoundsChangingPropertyResizesTheControl) {
  struct Step {
    const char* What;
    std::function<void(TGaugeMatrix&)> Write;
    TRect Bounds;
  };
  const Step steps[] = {
      {"a size written by a skin is overridden", [](TGaugeMatrix& m) { m.SetBounds(7, 9, 100, 100); },
       Bounds(7, 9, 248, 30)},
      {"Leds", [](TGaugeMatrix& m) { m.SetLeds(4); }, Bounds(7, 9, 4 * 14 + 3 * 2 + 10, 30)},
      {"Spacing", [](TGaugeMatrix& m) { m.SetSpacing(0); }, Bounds(7, 9, 4 * 14 + 10, 30)},
      {"LedStyle", [](TGaugeMatrix& m) { m.SetLedStyle(TGaugeMatrixLedStyle::ls19x27); },
       Bounds(7, 9, 4 * 19 + 10, 37)},
      {"Orientation", [](TGaugeMatrix& m) { m.SetOrientation(kVertical); }, Bounds(7, 9, 29, 4 * 27 + 10)},
      {"Bevel", [](TGaugeMatrix& m) { m.Bevel()->SetBorderWidth(3); }, Bounds(7, 9, 35, 4 * 27 + 16)},
      {"Bevel assigned", [](TGaugeMatrix& m) { TGaugeBevel plain; m.SetBevel(&plain); },
       Bounds(7, 9, 19 + 8, 4 * 27 + 8)},
      {"invisible bevel", [](TGaugeMatrix& m) { m.Bevel()->SetVisible(false); }, Bounds(7, 9, 19, 4 * 27)},
      {"negative Leds are none", [](TGaugeMatrix& m) { m.SetLeds(-3); }, Bounds(7, 9, 19, 0)},
      {"Width", [](TGaugeMatrix& m) { m.SetWidth(500); }, Bounds(7, 9, 19, 0)},
  };
  TGaugeMatrix m(nullptr);
  for (const Step& s : steps) {
    s.Write(m);
    EXPECT_EQ(m.BoundsRect(), s.Bounds) << s.What;
  }
  EXPECT_EQ(m.Leds(), 0);
  // Sizes beyond 32 bits are refused and the matrix stays as it was.
  m.SetLeds(2);
  EXPECT_THROW(m.SetLeds(200000000), EIntOverflow);
  EXPECT_THROW(m.SetSpacing(2147483600), EIntOverflow);
  EXPECT_EQ(m.Leds(), 2);
  EXPECT_EQ(m.Spacing(), 0);
  EXPECT_EQ(m.BoundsRect(), Bounds(7, 9, 19, 2 * 27));
}

// Runs `steps` scroll steps and records the start positions and the
// OnScrollDone count after each.
std::vector<std::pair<int32_t, int>> Scroll(TGaugeMatrix& m, int steps) {
  int done = 0;
  m.SetOnScrollDone([&](TObject* sender) {
    EXPECT_EQ(sender, &m);
    ++done;
  });
  std::vector<std::pair<int32_t, int>> seen;
  for (int i = 0; i < steps; ++i) {
    m.ScrollStep();
    seen.emplace_back(m.StartPosition(), done);
  }
  m.SetOnScrollDone(nullptr);
  return seen;
}

TEST(Matrix, ScrollSequencesInBothDirections) {
  using Seq = std::vector<std::pair<int32_t, int>>;
  struct Case {
    Dir Direction;
    Seq Expected;  // start position, OnScrollDone count
  };
  const Case cases[] = {
      // From 1: 2, then the pass ends: -2, -1, 0, 1, 2 and ends again; one
      // OnScrollDone per pass of L + N = 5 steps.
      {Dir::msdRightToLeft, {{2, 0}, {-2, 1}, {-1, 1}, {0, 1}, {1, 1}, {2, 1}, {-2, 2}}},
      {Dir::msdLeftToRight, {{0, 0}, {-1, 0}, {-2, 0}, {2, 1}, {1, 1}, {0, 1}, {-1, 1}, {-2, 1}, {2, 2}}},
  };
  for (const Case& c : cases) {
    TGaugeMatrix m(nullptr);
    m.SetLeds(3);
    m.SetText("AB");
    m.SetScrollDirection(c.Direction);
    EXPECT_EQ(Scroll(m, int(c.Expected.size())), c.Expected) << int(c.Direction);
  }
}

TEST(Matrix, TimerWiring) {
  TGaugeMatrix m(nullptr);
  m.SetThreaded(false);
  EXPECT_EQ(m.Timer().TimerType(), ttSystem);
  m.SetThreaded(true);
  EXPECT_EQ(m.Timer().TimerType(), ttThread);
  m.SetTimeInterval(120);
  EXPECT_EQ(m.Timer().Interval(), 120u);
  // A negative interval is a range error and changes nothing.
  EXPECT_THROW(m.SetTimeInterval(-1), ERangeError);
  EXPECT_EQ(m.TimeInterval(), 120);
  const TPropInfo* interval = TGaugeMatrix::StaticClass().FindProp("TimeInterval");
  EXPECT_THROW(interval->Setter(m, int64_t{-500}), ERangeError);
  EXPECT_EQ(m.TimeInterval(), 120);
  m.SetTimeInterval(0);
  EXPECT_EQ(m.TimeInterval(), 0);
}

// ---- on the screen -----------------------------------------------------------------------

constexpr TColor kForm = clWhite;

class MatrixPixels : public HeadlessFormTest {
protected:
  void SetUp() override { MakeForm(300, 400, kForm); }

  TGaugeMatrix* Make(int left, int top) {
    auto* m = new TGaugeMatrix(Form);
    m->SetThreaded(false);  // the window-message kind: ticks only when the test's clock moves
    m->SetLeft(left);
    m->SetTop(top);
    m->SetParent(Form);
    return m;
  }

  // Every pixel of every cell: lit dots of the character shown there in its
  // colour, the other dots in Low (or the background without LedsVisible),
  // the rest of the cell the background. `shown` holds one code and colour
  // per cell, code 32 for an empty cell.
  void ExpectCells(const TGaugeMatrix& m, TPoint firstCell, const std::vector<std::pair<uint8_t, TColor>>& shown) {
    const int dot = MatrixDotSize(m.LedStyle());
    const int pitch = dot + 1;
    const int w = 5 * pitch - 1, h = 7 * pitch - 1;
    const bool horizontal = m.Orientation() == kHorizontal;
    ASSERT_EQ(int(shown.size()), m.Leds());
    for (int k = 0; k < m.Leds(); ++k) {
      const TPoint cell{firstCell.X + (horizontal ? k * (w + m.Spacing()) : 0),
                        firstCell.Y + (horizontal ? 0 : k * (h + m.Spacing()))};
      const auto& [code, color] = shown[size_t(k)];
      const TCharGenGlyph& glyph = CharGenGlyph(code);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const bool onDot = x % pitch < dot && y % pitch < dot;
          const int column = x / pitch, row = y / pitch;
          TColor expected = m.Color();
          if (onDot && ((glyph[size_t(row)] >> (4 - column)) & 1)) expected = color;
          else if (onDot && m.LedsVisible()) expected = m.Palette()->Low();
          ASSERT_EQ(Window->ScreenPixel(m.Left() + cell.X + x, m.Top() + cell.Y + y), expected)
              << "cell " << k << " at " << x << "," << y;
        }
    }
  }
};

// `text` from the first cell on, `empty` for the other cells.
std::vector<std::pair<uint8_t, TColor>> Cells(const std::string& codes, std::vector<TColor> colors, int leds,
                                              int first = 0) {
  std::vector<std::pair<uint8_t, TColor>> out(size_t(leds), {uint8_t(' '), clBlack});
  for (size_t i = 0; i < codes.size(); ++i)
    if (first + int(i) >= 0 && first + int(i) < leds)
      out[size_t(first) + i] = {uint8_t(codes[i]), colors[i < colors.size() ? i : colors.size() - 1]};
  return out;
}

TEST_F(MatrixPixels, LitAndUnlitDots) {
  // Code 247 has no glyph; code 200 (E with grave accent) has one.
  ASSERT_EQ(CharGenGlyph(247), TCharGenGlyph{});
  ASSERT_NE(CharGenGlyph(200), TCharGenGlyph{});
  struct Case {
    const char* What;
    std::function<void(TGaugeMatrix&)> Setup;
    TPoint FirstCell;  // in the control
    std::vector<std::pair<uint8_t, TColor>> Shown;
  };
  const Case cases[] = {
      {"Hello with the defaults: HELLO in lime, ten unlit cells",
       [](TGaugeMatrix& m) { m.SetText("Hello"); }, {5, 5}, Cells("HELLO", {clLime}, 15)},
      {"colour escapes", [](TGaugeMatrix& m) { m.SetText("%Aab%%c%-d%5e"); }, {5, 5},
       Cells("AB%CDE", {clRed, clRed, clRed, clRed, clLime, clNavy}, 15)},
      {"as is, in the palette and Color", 
       [](TGaugeMatrix& m) {
         m.SetTextStyle(TS::tsAsIs);
         TGaugePalette p;
         p.SetLow(clMaroon);
         p.SetHigh(clYellow);
         m.SetPalette(&p);
         m.SetColor(clNavy);
         m.SetText("ag%0g");
       },
       {5, 5}, Cells("agg", {clYellow}, 15)},
      {"LedsVisible False on black: only the lit dots",
       [](TGaugeMatrix& m) {
         m.SetLedsVisible(false);
         m.SetText("%Cx");
       },
       {5, 5}, Cells("X", {clYellow}, 15)},
      {"code 247 is empty, code 200 has its glyph, no code is empty",
       [](TGaugeMatrix& m) { m.SetText("\xC3\xB7\xC3\x88\xC4\x81" "A"); }, {5, 5},
       Cells("\xF7\xC8\x81" "A", {clLime}, 15)},
      {"right-justified: the last five cells", 
       [](TGaugeMatrix& m) {
         m.SetAlignment(TGaugeAlignment::vaRightJustify);
         m.SetText("12345");
       },
       {5, 5}, Cells("12345", {clLime}, 15, 10)},
      {"centred: five empty cells, the text, five empty cells",
       [](TGaugeMatrix& m) {
         m.SetAlignment(TGaugeAlignment::vaCenter);
         m.SetText("12345");
       },
       {5, 5}, Cells("12345", {clLime}, 15, 5)},
      {"vertical, small cells, no bevel",
       [](TGaugeMatrix& m) {
         m.SetOrientation(kVertical);
         m.SetLedStyle(TGaugeMatrixLedStyle::ls9x13);
         m.SetLeds(3);
         m.SetSpacing(1);
         m.Bevel()->SetVisible(false);
         m.SetText("a%%");
       },
       {0, 0}, Cells("A%", {clLime}, 3)},
      {"large cells", 
       [](TGaugeMatrix& m) {
         m.SetLedStyle(TGaugeMatrixLedStyle::ls19x27);
         m.SetLeds(2);
         m.SetText("0g");
       },
       {5, 5}, Cells("0G", {clLime}, 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TGaugeMatrix* m = Make(10, 10);
    c.Setup(*m);
    Show();
    App->ProcessMessages();
    ExpectCells(*m, c.FirstCell, c.Shown);
    // The frame's outermost line (the black outline) when there is a bevel,
    // and the form right beside the control.
    if (m->Bevel()->Visible()) {
      EXPECT_EQ(Window->ScreenPixel(10, 10), clBlack);
    }
    EXPECT_EQ(Window->ScreenPixel(10 + m->Width(), 10), kForm);
    delete m;
  }
}

TEST_F(MatrixPixels, ScrollingKeepsItsPositionAndTheTimerDrivesIt) {
  TGaugeMatrix* m = Make(10, 10);
  m->SetLeds(3);
  m->SetText("AB");
  Show();
  ExpectCells(*m, {5, 5}, Cells("AB", {clLime}, 3));
  m->SetAutoScroll(true);
  EXPECT_TRUE(m->Timer().Enabled());
  int done = 0;
  m->SetOnScrollDone([&](TObject*) { ++done; });
  // One tick per 500 ms of the loop's clock.
  System.AdvanceClock(500);
  App->ProcessMessages();
  EXPECT_EQ(m->StartPosition(), 2);
  ExpectCells(*m, {5, 5}, Cells("B", {clLime}, 3));
  System.AdvanceClock(500);
  App->ProcessMessages();
  EXPECT_EQ(m->StartPosition(), -2);
  EXPECT_EQ(done, 1);
  ExpectCells(*m, {5, 5}, Cells("", {clLime}, 3));
  System.AdvanceClock(500);
  App->ProcessMessages();
  ExpectCells(*m, {5, 5}, Cells("A", {clLime}, 3, 2));  // entering from the right
  // Stopped, the next paint aligns the text again.
  m->SetAutoScroll(false);
  EXPECT_FALSE(m->Timer().Enabled());
  System.AdvanceClock(500);
  App->ProcessMessages();
  EXPECT_EQ(m->StartPosition(), -1);  // no further step
  m->SetLedsVisible(false);           // any repaint
  App->ProcessMessages();
  EXPECT_EQ(m->StartPosition(), 1);
}

}  // namespace

TEST_F(MatrixPixels, CellsOnOnePlacePaintAsTheirLastWhateverTheirNumber) {
  // A spacing of minus the cell width stacks every cell on the first one;
  // a hundred million of them paint as the few that matter: the cells with
  // a character, in order, then the last (empty) one.
  for (const bool ledsVisible : {true, false}) {
    SCOPED_TRACE(ledsVisible ? "LedsVisible" : "without LedsVisible");
    TGaugeMatrix* m = Make(10, 10);
    m->SetLedsVisible(ledsVisible);
    m->SetSpacing(-MatrixCellSize(m->LedStyle()).X);
    m->SetLeds(100000000);
    m->SetText("%AA%CB");
    Show();
    App->ProcessMessages();
    const int dot = MatrixDotSize(m->LedStyle()), pitch = dot + 1;
    const TCharGenGlyph& a = CharGenGlyph('A');
    const TCharGenGlyph& b = CharGenGlyph('B');
    for (int y = 0; y < 7 * pitch - 1; ++y)
      for (int x = 0; x < 5 * pitch - 1; ++x) {
        const bool onDot = x % pitch < dot && y % pitch < dot;
        const int column = x / pitch, row = y / pitch;
        const bool inA = onDot && ((a[size_t(row)] >> (4 - column)) & 1);
        const bool inB = onDot && ((b[size_t(row)] >> (4 - column)) & 1);
        // The last cell's unlit dots cover both characters; without the
        // cells' images B is painted over A.
        TColor expected = m->Color();
        if (ledsVisible && onDot) expected = m->Palette()->Low();
        else if (!ledsVisible && inB) expected = clYellow;
        else if (!ledsVisible && inA) expected = clRed;
        ASSERT_EQ(Window->ScreenPixel(m->Left() + 5 + x, m->Top() + 5 + y), expected) << x << "," << y;
      }
    delete m;
  }
}
