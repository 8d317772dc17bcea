// Fonts and text: extents, colours, opaque cells, rotation, multi-line
// measurement, and the font's published properties.
#include <gtest/gtest.h>

#include <limits>

#include "DrawingTestUtil.h"

using namespace drawtest;

namespace {

TEST(FontTest, PublishedPropertiesAndDefaults) {
  TFont font;
  std::vector<std::string> names;
  for (const TPropInfo* p : TFont::StaticClass().AllProps()) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Charset", "Color", "Height", "Name", "Pitch", "Size", "Style"}));
  EXPECT_EQ(font.Name(), "MS Sans Serif");
  EXPECT_EQ(font.Height(), -11);
  EXPECT_EQ(font.Size(), 8);
  EXPECT_EQ(font.Color(), clWindowText);
  EXPECT_EQ(font.Charset(), DEFAULT_CHARSET);
  const TPropInfo* style = TFont::StaticClass().FindProp("Style");
  EXPECT_EQ(style->TypeName, "TFontStyles");
  EXPECT_EQ(style->Enum->Names, (std::vector<std::string>{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}));
}

TEST(FontTest, SizeAndHeightConvertAtNinetySixDpi) {
  const std::pair<int, int> cases[] = {{8, -11}, {9, -12}, {10, -13}, {12, -16}, {24, -32}};
  for (auto [size, height] : cases) {
    TFont font;
    font.SetSize(size);
    EXPECT_EQ(font.Height(), height) << size;
    font.SetHeight(height);
    EXPECT_EQ(font.Size(), size) << height;
  }
}

TEST(FontTest, ChangesNotifyOnceAndAssignCopiesEverything) {
  TFont font;
  int changes = 0;
  font.OnChange = [&](TObject*) { ++changes; };
  font.SetName("Arial");
  font.SetName("Arial");
  font.SetStyle({fsBold});
  font.SetOrientation(900);
  EXPECT_EQ(changes, 3);
  TFont copy;
  copy.Assign(font);
  EXPECT_EQ(copy.Name(), "Arial");
  EXPECT_EQ(copy.Style(), TFontStyles({fsBold}));
  EXPECT_EQ(copy.Orientation(), 900);
  TPen pen;
  EXPECT_THROW(copy.Assign(pen), EConvertError);
}

TEST(FontTest, WindowsFacesResolveToMetricCompatibleFamilies) {
  EXPECT_EQ(ResolveFontFamily("arial"), "Liberation Sans");
  EXPECT_EQ(ResolveFontFamily("MS Sans Serif"), "Liberation Sans");
  EXPECT_EQ(ResolveFontFamily("Courier New"), "Liberation Mono");
  EXPECT_EQ(ResolveFontFamily("DejaVu Serif"), "DejaVu Serif");
  // And fontconfig really has the face: the loaded font is Liberation Sans.
  TFont font;
  TTextBlock layout(font, "x");
  EXPECT_EQ(layout.FaceFamily(), "Liberation Sans");
}

TEST(CanvasTextTest, ExtentsOfLiberationSansAreStable) {
  TBitmap bitmap(1, 1);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetName("Arial");
  EXPECT_EQ(canvas.TextExtent("Hello, World"), Point(58, 13));
  EXPECT_EQ(canvas.TextWidth(""), 0);
  EXPECT_EQ(canvas.TextHeight(""), 13);
  canvas.Font().SetHeight(-20);
  EXPECT_EQ(canvas.TextExtent("Hello"), Point(44, 24));
  canvas.Font().SetHeight(20);  // a positive height is the whole cell
  EXPECT_EQ(canvas.TextHeight("Hello"), 20);
  canvas.Font().SetHeight(-11);
  const int regular = canvas.TextWidth("Hello");
  canvas.Font().SetStyle({fsBold});
  EXPECT_GT(canvas.TextWidth("Hello"), regular);
}

TEST(CanvasTextTest, FontsBeyondTheEngineLimitAreDrawnAtTheLargestSize) {
  // Heights past what the font engine can build (65535 pixels per em) are
  // measured and drawn at that size: the same extents, and nothing leaked
  // on the way (the sanitizer build's leak check), down to the height
  // whose magnitude does not fit an int.
  TBitmap bitmap(40, 20);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetName("Arial");
  canvas.Font().SetHeight(-65535);
  const TPoint largest = canvas.TextExtent("x");
  EXPECT_GT(largest.Y, 65535);
  for (int height : {-70000, -2000000, std::numeric_limits<int>::min(), 2000000}) {
    canvas.Font().SetHeight(height);
    if (height < 0) {
      EXPECT_EQ(canvas.TextExtent("x"), largest) << height;
    }
    canvas.TextOut(-10, -60000, "x");
  }
}

TEST(CanvasTextTest, TransparentAndOpaqueTextOut) {
  TBitmap bitmap(80, 20);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetName("Arial");
  canvas.Font().SetColor(clBlue);
  canvas.Brush().SetStyle(bsClear);
  canvas.TextOut(3, 2, "Hello");
  const TPoint extent = canvas.TextExtent("Hello");
  EXPECT_EQ(canvas.PenPos(), Point(3 + extent.X, 2));
  const TRect ink = InkBounds(bitmap);
  EXPECT_GE(ink.Left, 3);
  EXPECT_GE(ink.Top, 2);
  EXPECT_LE(ink.Right, 3 + extent.X);
  EXPECT_LE(ink.Bottom, 2 + extent.Y);
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TColor c = bitmap.Pixels(x, y);
      ASSERT_TRUE(c == clWhite || c == clBlue) << "no anti-aliasing: " << std::hex << c;
    }

  canvas.Brush().SetColor(clYellow);
  canvas.TextOut(3, 2, "Hello");
  EXPECT_EQ(InkBounds(bitmap), Bounds(3, 2, extent.X, extent.Y));
  EXPECT_EQ(bitmap.Pixels(3, 2), clYellow);
}

TEST(CanvasTextTest, RotationTurnsCounterClockwiseAboutTheTopLeft) {
  struct Case {
    int orientation;
    TRect (*expected)(TPoint at, TPoint extent);
  };
  const Case cases[] = {
      {0, [](TPoint p, TPoint e) { return Bounds(p.X, p.Y, e.X, e.Y); }},
      {900, [](TPoint p, TPoint e) { return Rect(p.X, p.Y - e.X, p.X + e.Y, p.Y); }},
      {1800, [](TPoint p, TPoint e) { return Rect(p.X - e.X, p.Y - e.Y, p.X, p.Y); }},
      {2700, [](TPoint p, TPoint e) { return Rect(p.X - e.Y, p.Y, p.X, p.Y + e.X); }},
      {-900, [](TPoint p, TPoint e) { return Rect(p.X - e.Y, p.Y, p.X, p.Y + e.X); }},
  };
  const TPoint at{60, 60};
  for (const auto& c : cases) {
    TBitmap bitmap(120, 120);
    TCanvas& canvas = bitmap.Canvas();
    canvas.Font().SetName("Arial");
    canvas.Font().SetHeight(-16);
    const TPoint extent = canvas.TextExtent("Label");
    canvas.Font().SetOrientation(c.orientation);
    canvas.Brush().SetColor(clYellow);
    canvas.TextOut(at.X, at.Y, "Label");
    const TRect expected = c.expected(at, extent);
    EXPECT_EQ(InkBounds(bitmap), expected) << c.orientation;
    // The glyphs sit inside the cell and are drawn.
    EXPECT_EQ(InkBounds(bitmap, clYellow).Left >= 0, true);
    int glyphPixels = 0;
    for (int y = expected.Top; y < expected.Bottom; ++y)
      for (int x = expected.Left; x < expected.Right; ++x) glyphPixels += bitmap.Pixels(x, y) == clBlack;
    EXPECT_GT(glyphPixels, 20) << c.orientation;
  }
}

TEST(CanvasTextTest, DrawTextMeasuresLinesLikeCalcRect) {
  TBitmap bitmap(1, 1);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetName("Arial");
  const int lineHeight = canvas.TextHeight("");
  const int one = canvas.TextWidth("one"), three = canvas.TextWidth("three words here");

  TRect r = Rect(5, 7, 5, 7);
  EXPECT_EQ(canvas.DrawText("one", r, DT_CALCRECT), lineHeight);
  EXPECT_EQ(r, Rect(5, 7, 5 + one, 7 + lineHeight));

  r = Rect(0, 0, 0, 0);
  canvas.DrawText("one\r\nthree words here\nx", r, DT_CALCRECT);
  EXPECT_EQ(r, Rect(0, 0, three, 3 * lineHeight));

  r = Rect(0, 0, canvas.TextWidth("three words"), 0);
  canvas.DrawText("three words here", r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(r.Bottom, 2 * lineHeight);
  EXPECT_EQ(r.Right, canvas.TextWidth("three words"));

  r = Rect(0, 0, 1, 0);  // a word wider than the rectangle widens it
  canvas.DrawText("three", r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(r, Rect(0, 0, canvas.TextWidth("three"), lineHeight));

  r = Rect(0, 0, 0, 0);
  canvas.DrawText("&Save && quit", r, DT_CALCRECT);
  EXPECT_EQ(r.Right, canvas.TextWidth("Save & quit"));
  r = Rect(0, 0, 0, 0);
  canvas.DrawText("&Save", r, DT_CALCRECT | DT_NOPREFIX);
  EXPECT_EQ(r.Right, canvas.TextWidth("&Save"));

  r = Rect(0, 0, 50, 0);
  EXPECT_EQ(canvas.DrawText("", r, DT_CALCRECT), 0);
  EXPECT_EQ(r, Rect(0, 0, 0, 0));
}

TEST(CanvasTextTest, DrawTextUnderlinesTheAcceleratorOnly) {
  auto render = [](const char* text, unsigned format) {
    auto bitmap = std::make_unique<TBitmap>(60, 20);
    bitmap->Canvas().Font().SetName("Arial");
    bitmap->Canvas().Brush().SetStyle(bsClear);
    TRect r = Rect(0, 0, 60, 20);
    bitmap->Canvas().DrawText(text, r, format);
    return bitmap;
  };
  const auto plain = render("Ab", DT_LEFT), marked = render("&Ab", DT_LEFT), literal = render("&Ab", DT_NOPREFIX);
  const int aWidth = plain->Canvas().TextWidth("A");
  int extraUnderA = 0, extraElsewhere = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      if (plain->Pixels(x, y) == marked->Pixels(x, y)) continue;
      (x <= aWidth ? extraUnderA : extraElsewhere) += 1;  // the line may reach one pixel past the advance
    }
  EXPECT_GT(extraUnderA, 3);
  EXPECT_EQ(extraElsewhere, 0);
  EXPECT_GT(InkBounds(*literal).Right, InkBounds(*plain).Right);  // the '&' is shown
}

TEST(CanvasTextTest, DrawTextAlignsAndClipsToItsRectangle) {
  TBitmap bitmap(100, 20);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetName("Arial");
  canvas.Brush().SetStyle(bsClear);
  TRect r = Rect(10, 0, 90, 20);
  canvas.DrawText("Hi", r, DT_RIGHT | DT_SINGLELINE);
  const TRect ink = InkBounds(bitmap);
  EXPECT_LE(ink.Right, 90);
  EXPECT_GT(ink.Left, 90 - canvas.TextWidth("Hi") - 1);

  TBitmap clipped(100, 20);
  clipped.Canvas().Font().SetName("Arial");
  clipped.Canvas().Brush().SetStyle(bsClear);
  r = Rect(0, 0, 8, 20);
  clipped.Canvas().DrawText("Clipped text", r, DT_LEFT);
  EXPECT_LE(InkBounds(clipped).Right, 8);
}

}  // namespace
