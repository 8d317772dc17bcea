// The shared helpers of the widgets: the percentage arithmetic the bars
// count with, checked arithmetic, colour channels, gradient stripes, 3D
// frames, tiling, decorated text, string splitting and the image-and-caption
// layout.
#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>

#include "../framework/DrawingTestUtil.h"
#include "GaugeSysUtils.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// ---- percentages -------------------------------------------------------------------------

TEST(Percentages, PercentOfTruncatesTheExtendedProduct) {
  struct Case {
    int32_t Percent, Total, Expected;
  };
  const Case cases[] = {
      // Exact multiples that land one below, because 0.01 rounds low.
      {60, 80, 47}, {5, 20, 0}, {60, 50, 29}, {60, 20, 11},
      // ... and ones that do not.
      {25, 80, 20}, {50, 80, 40}, {50, 198, 99}, {100, 37, 37}, {0, 12345, 0},
      // Negative operands truncate toward zero.
      {50, -7, -3}, {-50, 7, -3},
      // The 32-bit limits.
      {100, kMax, kMax}, {100, kMin, kMin}, {50, kMax, 1073741823}, {0, kMin, 0}, {kMax, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentOf(c.Percent, c.Total), c.Expected) << c.Percent << "% of " << c.Total;
}

TEST(Percentages, HundredPercentIsTheTotalOverARange) {
  for (int32_t total = -2000; total <= 200000; ++total) ASSERT_EQ(PercentOf(100, total), total);
  for (int32_t total : {kMax, kMax - 1, kMin, kMin + 1, 1 << 30, -(1 << 30) - 7}) EXPECT_EQ(PercentOf(100, total), total);
}

TEST(Percentages, ResultsBeyond32BitsAreRangeErrors) {
  EXPECT_THROW(PercentOf(101, kMax), ERangeError);
  EXPECT_THROW(PercentOf(200, kMin), ERangeError);
  EXPECT_THROW(PercentOf(kMax, kMax), ERangeError);
  EXPECT_THROW(ToPercent(kMax, 1), ERangeError);
  EXPECT_THROW(ToPercent(kMin, -1), ERangeError);
}

TEST(Percentages, ToPercent) {
  struct Case {
    int32_t Value, Range, Expected;
  };
  const Case cases[] = {
      {50, 200, 25}, {7, 0, 0}, {0, 0, 0}, {kMax, 0, 0}, {1, 3, 33}, {2, 3, 66}, {3, 3, 100},
      {-1, 3, -33}, {199, 200, 99}, {kMax, kMax, 100}, {kMin, kMax, -100}, {kMax / 100, kMax, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ToPercent(c.Value, c.Range), c.Expected) << c.Value << " of " << c.Range;
}

// ---- checked arithmetic ------------------------------------------------------------------

TEST(CheckedArithmetic, OverflowRaisesInsteadOfWrapping) {
  EXPECT_EQ(CheckedAdd(kMax - 1, 1), kMax);
  EXPECT_EQ(CheckedSub(kMin + 1, 1), kMin);
  EXPECT_EQ(CheckedMul(-65536, 32768), kMin);
  EXPECT_EQ(CheckedDiv(-7, 2), -3);
  EXPECT_EQ(CheckedMod(-7, 2), -1);
  EXPECT_EQ(CheckedMod(kMin, -1), 0);
  EXPECT_THROW(CheckedAdd(kMax, 1), EIntOverflow);
  EXPECT_THROW(CheckedSub(kMin, 1), EIntOverflow);
  EXPECT_THROW(CheckedMul(65536, 32768), EIntOverflow);
  EXPECT_THROW(CheckedNeg(kMin), EIntOverflow);
  EXPECT_THROW(CheckedDiv(kMin, -1), EIntOverflow);
  EXPECT_THROW(CheckedDiv(1, 0), EDivByZero);
  EXPECT_THROW(CheckedMod(1, 0), EDivByZero);
  try {
    CheckedAdd(kMax, kMax);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Débordement d'entier");
  }
}

TEST(CheckedArithmetic, ConversionsCheckTheirRange) {
  EXPECT_EQ(CheckedTrunc(-2147483648.9L), kMin);
  EXPECT_EQ(CheckedTrunc(2147483647.9L), kMax);
  EXPECT_EQ(CheckedTrunc(-0.9L), 0);
  EXPECT_THROW(CheckedTrunc(2147483648.0L), ERangeError);
  EXPECT_THROW(CheckedTrunc(std::numeric_limits<long double>::quiet_NaN()), ERangeError);
  EXPECT_EQ(CheckedRound(2.5L), 2);  // ties to even
  EXPECT_EQ(CheckedRound(3.5L), 4);
  EXPECT_EQ(CheckedRound(-2.5L), -2);
  EXPECT_THROW(CheckedRound(2147483647.5L), ERangeError);
  EXPECT_EQ(CheckedNarrow<uint8_t>(255), 255);
  EXPECT_THROW(CheckedNarrow<uint8_t>(256), ERangeError);
  EXPECT_THROW(CheckedNarrow<uint8_t>(-1), ERangeError);
  EXPECT_THROW(CheckedNarrow<int16_t>(int64_t{1} << 40), ERangeError);
  try {
    CheckedNarrow<uint8_t>(300);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Erreur de vérification d'étendue");
  }
}

TEST(SmallHelpers, ClampIntRectsAndTokens) {
  struct Case {
    int32_t Value, Low, High, Expected;
  };
  // Below low wins first: with low > high a small value still becomes low.
  const Case cases[] = {{5, 0, 10, 5}, {-1, 0, 10, 0}, {11, 0, 10, 10}, {3, 8, 2, 8}, {9, 8, 2, 2}};
  for (const Case& c : cases) {
    int32_t v = c.Value;
    ClampInt(v, c.Low, c.High);
    EXPECT_EQ(v, c.Expected) << c.Value;
  }
  EXPECT_EQ(IntMin(3, -4), -4);
  EXPECT_EQ(IntMax(3, -4), 3);
  EXPECT_EQ(RectWidth(Rect(2, 3, 7, 11)), 5);
  EXPECT_EQ(RectHeight(Rect(2, 3, 7, 11)), 8);
  EXPECT_TRUE(SameRect(Rect(1, 2, 3, 4), Rect(1, 2, 3, 4)));
  EXPECT_FALSE(SameRect(Rect(1, 2, 3, 4), Rect(1, 2, 3, 5)));
  TBitmap bitmap(7, 3);
  EXPECT_EQ(BitmapRect(bitmap), Rect(0, 0, 7, 3));
}

TEST(SmallHelpers, NextTokenSplitsAtEachSeparator) {
  std::string text = "A||B";
  EXPECT_EQ(NextToken(text, '|'), "A");
  EXPECT_EQ(text, "|B");
  EXPECT_EQ(NextToken(text, '|'), "");
  EXPECT_EQ(NextToken(text, '|'), "B");
  EXPECT_EQ(text, "");
  EXPECT_EQ(NextToken(text, '|'), "");
  text = "no separator";
  EXPECT_EQ(NextToken(text, ';'), "no separator");
  EXPECT_EQ(text, "");
}

// ---- colours -----------------------------------------------------------------------------

TEST(Colours, ChannelsRoundTiesToEvenThenClamp) {
  const std::pair<double, int> cases[] = {{-3.0, 0},    {0.5, 0},     {1.5, 2},     {2.5, 2},   {127.5, 128},
                                          {254.5, 254}, {254.6, 255}, {255.4, 255}, {1e300, 255}, {-1e300, 0}};
  for (const auto& [in, out] : cases) EXPECT_EQ(ClampColorChannel(in), out) << in;
  EXPECT_THROW(ClampColorChannel(std::numeric_limits<double>::quiet_NaN()), ERangeError);
  EXPECT_EQ(RGBFromChannels(255.0, 128.5, -4.0), 0x0080FF);
  EXPECT_EQ(ResolveColor(clBtnFace), RGB(212, 208, 200));
  EXPECT_EQ(ResolveColor(clBtnShadow), clGray);
  EXPECT_EQ(ResolveColor(clBtnHighlight), clWhite);
  EXPECT_EQ(ResolveColor(clRed), clRed);
}

// ---- gradients ---------------------------------------------------------------------------

TEST(Gradient, StripeCountIsExtentDivStepPlusOne) {
  struct Case {
    TRect Rect;
    int32_t Direction, Step;
    size_t Stripes;
  };
  const Case cases[] = {
      {Rect(0, 0, 1, 5), 1, 1, 2},   // one pixel wide: offsets 0 and 1
      {Rect(0, 0, 10, 5), 1, 3, 4},  // 0, 3, 6, 9
      {Rect(0, 0, 9, 5), 1, 3, 4},   // 0, 3, 6, 9 (9 <= 9)
      {Rect(0, 0, 5, 12), 0, 5, 3},  // top to bottom uses the height
      {Rect(0, 0, 0, 0), 0, 1, 2},   // an empty extent counts as 1
      {Rect(0, 0, 10, 10), 2, 1, 0}, // unknown direction
      {Rect(0, 0, 10, 10), 1, 0, 0}, // a step that never advances
  };
  for (const Case& c : cases)
    EXPECT_EQ(GradientStripes(c.Rect, clBlack, clWhite, c.Direction, c.Step).size(), c.Stripes)
        << c.Rect.Width() << "x" << c.Rect.Height() << " dir " << c.Direction << " step " << c.Step;
}

TEST(Gradient, StripesStartAtTheFirstColourAndRoundTiesToEven) {
  const auto stripes = GradientStripes(Rect(2, 3, 12, 7), clBlack, clWhite, 1, 1);
  ASSERT_EQ(stripes.size(), 11u);
  EXPECT_EQ(stripes[0].Rect, Rect(2, 3, 3, 7));
  EXPECT_EQ(stripes[0].Color, clBlack);
  // 25.5 a stripe: 25.5 -> 26, 76.5 -> 76, 127.5 -> 128.
  EXPECT_EQ(GetRValue(stripes[1].Color), 26);
  EXPECT_EQ(GetRValue(stripes[3].Color), 76);
  EXPECT_EQ(GetRValue(stripes[5].Color), 128);
  EXPECT_EQ(stripes[10].Color, clWhite);
  EXPECT_EQ(stripes[10].Rect, Rect(12, 3, 13, 7));  // the last stripe reaches beyond the rectangle

  // System colours are resolved; a stripe of a one-pixel rectangle is painted.
  TBitmap bitmap(3, 3);
  GradientFill(bitmap.Canvas(), Rect(0, 0, 1, 3), clBtnShadow, clWhite, 1, 1);
  EXPECT_EQ(bitmap.Pixels(0, 1), clGray);
  EXPECT_EQ(bitmap.Pixels(1, 1), clWhite);
}

// ---- frames, tiles and recolouring -------------------------------------------------------

TEST(Frame3D, NestedFramesShrinkTheRectangle) {
  TBitmap bitmap(5, 4);
  TRect r = Rect(0, 0, 5, 4);
  DrawFrame3D(bitmap.Canvas(), r, clRed, clBlue, 1);
  EXPECT_EQ(r, Rect(1, 1, 4, 3));
  EXPECT_EQ(drawtest::Art(bitmap), drawtest::Rows({"rrrrb",
                                                   "r...b",
                                                   "r...b",
                                                   "bbbbb"}));
  TBitmap two(6, 6);
  r = Rect(0, 0, 6, 6);
  DrawFrame3D(two.Canvas(), r, clRed, clBlue, 2);
  EXPECT_EQ(r, Rect(2, 2, 4, 4));
  EXPECT_EQ(drawtest::Art(two), drawtest::Rows({"rrrrrb",
                                                "rrrrbb",
                                                "rr..bb",
                                                "rr..bb",
                                                "rbbbbb",
                                                "bbbbbb"}));
}

TEST(Frame3D, WidthZeroDrawsNothingAndKeepsTheRectangle) {
  TBitmap bitmap(4, 4);
  TRect r = Rect(0, 0, 4, 4);
  DrawFrame3D(bitmap.Canvas(), r, clRed, clBlue, 0);
  EXPECT_EQ(r, Rect(0, 0, 4, 4));
  EXPECT_EQ(drawtest::InkBounds(bitmap), TRect{});
}

TEST(Tiles, TheLastRowAndColumnAreNotClipped) {
  TBitmap tile(2, 2);
  tile.Canvas().Brush().SetColor(clRed);
  tile.Canvas().FillRect(Rect(0, 0, 2, 2));
  TBitmap bitmap(9, 7);
  TileBitmap(bitmap.Canvas(), Rect(1, 1, 6, 4), tile);
  EXPECT_EQ(drawtest::InkBounds(bitmap), Rect(1, 1, 7, 5));
  TileBitmap(bitmap.Canvas(), Rect(0, 0, 9, 7), TBitmap());  // an empty tile draws nothing, and ends
}

TEST(Recolour, ReplaceBitmapColorChangesOnlyThatColour) {
  TBitmap bitmap(4, 1);
  drawtest::Paint(bitmap, {"as#a"});
  ReplaceBitmapColor(bitmap, clGray, clRed);
  EXPECT_EQ(drawtest::Art(bitmap), "rs#r");
}

// ---- text --------------------------------------------------------------------------------

class TextHelpers : public ::testing::Test {
protected:
  void SetUp() override {
    Bitmap.SetSize(60, 30);
    Canvas().Font().SetName("Arial");
    Canvas().Font().SetHeight(-16);
    Canvas().Font().SetColor(clBlack);
  }
  TCanvas& Canvas() { return Bitmap.Canvas(); }
  std::set<TColor> Colours() const {
    std::set<TColor> seen;
    for (int y = 0; y < Bitmap.Height(); ++y)
      for (int x = 0; x < Bitmap.Width(); ++x) seen.insert(Bitmap.Pixels(x, y));
    return seen;
  }
  TBitmap Bitmap;
};

TEST_F(TextHelpers, SizeAndAngle) {
  EXPECT_EQ(GetTextSize(Canvas(), "Hello"), Canvas().TextExtent("Hello"));
  SetFontAngle(Canvas(), 90);
  EXPECT_EQ(Canvas().Font().Orientation(), 900);
  EXPECT_THROW(SetFontAngle(Canvas(), kMax / 5), EIntOverflow);
}

TEST_F(TextHelpers, EmbossedAndShadowTextKeepTheFontColour) {
  DrawEmbossedText(Canvas(), 10, 5, "H", clRed, clBlue);
  EXPECT_EQ(Canvas().Font().Color(), clBlack);
  EXPECT_EQ(Canvas().Brush().Style(), bsClear);
  // The shadow copy sticks out one pixel down-right, the highlight up-left.
  const TRect ink = drawtest::InkBounds(Bitmap);
  EXPECT_EQ(Bitmap.Pixels(ink.Right - 1, ink.Bottom - 1), clBlue);
  EXPECT_EQ(Bitmap.Pixels(ink.Left, ink.Top), clRed);
  EXPECT_TRUE(Colours().contains(clBlack));

  TBitmap plain(60, 30);
  plain.Canvas().Font().Assign(Canvas().Font());
  plain.Canvas().Brush().SetStyle(bsClear);
  plain.Canvas().TextOut(10, 5, "H");
  Bitmap.Canvas().Brush().SetColor(clWhite);
  Bitmap.Canvas().FillRect(Rect(0, 0, 60, 30));
  DrawShadowText(Canvas(), 10, 5, "H", clBlue, 3, 2);
  EXPECT_EQ(Canvas().Font().Color(), clBlack);
  EXPECT_EQ(drawtest::InkBounds(Bitmap), UnionRect(drawtest::InkBounds(plain), OffsetRect(drawtest::InkBounds(plain), 3, 2)));
}

TEST_F(TextHelpers, TexturedTextShowsTheTextureOnlyInsideTheLetters) {
  TBitmap texture(2, 2);
  drawtest::Paint(texture, {"rg", "gr"});
  Canvas().Brush().SetColor(clYellow);
  Canvas().FillRect(Rect(0, 0, 60, 30));
  DrawTexturedText(Canvas(), Rect(0, 0, 60, 30), 5, 5, "HH", texture, 0);
  const std::set<TColor> seen = Colours();
  EXPECT_TRUE(seen.contains(clRed) && seen.contains(clLime) && seen.contains(clYellow));
  EXPECT_FALSE(seen.contains(clBlack));
  EXPECT_EQ(Canvas().Font().Color(), clBlack);
  // The letters are where plain text would be.
  TBitmap plain(60, 30);
  plain.Canvas().Font().Assign(Canvas().Font());
  plain.Canvas().TextOut(5, 5, "HH");
  const TRect letters = drawtest::InkBounds(plain);
  EXPECT_EQ(drawtest::InkBounds(Bitmap, clYellow), letters);
}

// ---- image and caption layout ------------------------------------------------------------

TEST(ImageTextLayout, PositionsForEachLayoutAndFreeRoom) {
  struct Case {
    int32_t Layout, Margin, Spacing;
    TPoint Image, Text;
  };
  // Client 100 x 50, image 20 x 10, text 30 x 14; the cross axis is centred
  // (Y 20 and 18 beside, X 40 and 35 above or below).
  const Case cases[] = {
      {kLayoutImageLeft, -1, -1, {16, 20}, {52, 18}},  // margin = spacing = (100 - 50) div 3
      {kLayoutImageLeft, -1, 4, {23, 20}, {47, 18}},   // margin = (100 - 54 + 1) div 2
      {kLayoutImageLeft, 5, -1, {5, 20}, {47, 18}},    // spacing = (100 - 25 - 30) div 2
      {kLayoutImageLeft, 5, 4, {5, 20}, {29, 18}},
      {kLayoutImageRight, -1, -1, {64, 20}, {18, 18}},
      {kLayoutImageRight, -1, 4, {57, 20}, {23, 18}},
      {kLayoutImageRight, 5, -1, {75, 20}, {23, 18}},
      {kLayoutImageRight, 5, 4, {75, 20}, {41, 18}},
      {kLayoutImageTop, -1, -1, {40, 8}, {35, 26}},    // on Y: (50 - 24) div 3
      {kLayoutImageTop, -1, 4, {40, 11}, {35, 25}},    // (50 - 28 + 1) div 2
      {kLayoutImageTop, 5, -1, {40, 5}, {35, 25}},     // spacing = (50 - 15 - 14) div 2
      {kLayoutImageTop, 5, 4, {40, 5}, {35, 19}},
      {kLayoutImageBottom, -1, -1, {40, 32}, {35, 10}},
      {kLayoutImageBottom, -1, 4, {40, 29}, {35, 11}},
      {kLayoutImageBottom, 5, -1, {40, 35}, {35, 11}},
      {kLayoutImageBottom, 5, 4, {40, 35}, {35, 17}},
  };
  for (const Case& c : cases) {
    TPoint image, text;
    ImageTextPositions({100, 50}, {30, 14}, c.Layout, c.Margin, c.Spacing, {20, 10}, image, text);
    EXPECT_EQ(image, c.Image) << "layout " << c.Layout << " margin " << c.Margin << " spacing " << c.Spacing;
    EXPECT_EQ(text, c.Text) << "layout " << c.Layout << " margin " << c.Margin << " spacing " << c.Spacing;
  }
}

TEST(ImageTextLayout, SpacingVanishesWithoutTextAndDivisionsTruncateTowardZero) {
  TPoint image, text;
  ImageTextPositions({100, 50}, {0, 0}, kLayoutImageLeft, -1, 7, {20, 10}, image, text);
  EXPECT_EQ(image, (TPoint{40, 20}));  // (100 - 20 + 1) div 2, spacing 7 ignored
  EXPECT_EQ(text, (TPoint{60, 25}));
  ImageTextPositions({100, 50}, {30, 14}, kLayoutImageLeft, -1, -1, {0, 0}, image, text);
  EXPECT_EQ(image, (TPoint{35, 25}));  // no image: spacing 0, margin (100 - 30 + 1) div 2
  EXPECT_EQ(text, (TPoint{35, 18}));
  // Too little room: (10 - 50) div 3 is -13, not -14.
  ImageTextPositions({10, 50}, {30, 14}, kLayoutImageLeft, -1, -1, {20, 10}, image, text);
  EXPECT_EQ(image.X, -13);
  EXPECT_EQ(text.X, -6);
}

TEST(ImageTextLayout, CaptionIsMeasuredAndEverythingMovesWithTheClient) {
  TBitmap bitmap(10, 10);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetName("Arial");
  canvas.Font().SetHeight(-12);
  TRect measured = Rect(0, 0, 100, 0);
  canvas.DrawText("Two\nlines", measured, DT_CALCRECT);
  TPoint imagePos;
  TRect textRect;
  const TRect client = Rect(7, 3, 107, 53);
  CalcImageTextLayout(canvas, client, "Two\nlines", kLayoutImageTop, 2, 1, {20, 10}, imagePos, textRect);
  TPoint image, text;
  ImageTextPositions({100, 50}, {measured.Width(), measured.Height()}, kLayoutImageTop, 2, 1, {20, 10}, image, text);
  EXPECT_EQ(imagePos, (TPoint{image.X + 7, image.Y + 3}));
  EXPECT_EQ(textRect, Bounds(text.X + 7, text.Y + 3, measured.Width(), measured.Height()));
  CalcImageTextLayout(canvas, client, "", kLayoutImageLeft, 0, 5, {20, 10}, imagePos, textRect);
  EXPECT_EQ(imagePos, (TPoint{7, 23}));
  EXPECT_EQ(textRect, Rect(27, 28, 27, 28));  // an empty caption is an empty rectangle after the image
}

}  // namespace
