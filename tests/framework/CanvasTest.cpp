// Pixel-exact behaviour of the canvas primitives on small bitmaps.
#include <gtest/gtest.h>

#include <array>

#include "DrawingTestUtil.h"

using namespace drawtest;

namespace {

struct Fixture {
  TBitmap bitmap;
  TCanvas& canvas;
  Fixture(int w, int h) : bitmap(w, h), canvas(bitmap.Canvas()) {
    canvas.Pen().SetColor(clBlack);
    canvas.Brush().SetColor(clRed);
  }
};

TEST(CanvasTest, FillRectCoversLeftTopUpToRightBottomExclusive) {
  Fixture f(6, 4);
  f.canvas.FillRect(Rect(1, 1, 4, 3));
  EXPECT_EQ(Art(f.bitmap), Rows({"......", ".rrr..", ".rrr..", "......"}));
  f.canvas.Brush().SetStyle(bsClear);
  f.canvas.Brush().SetColor(clBlue);  // a colour makes a clear brush solid again
  EXPECT_EQ(f.canvas.Brush().Style(), bsSolid);
  f.canvas.Brush().SetStyle(bsClear);
  f.canvas.FillRect(Rect(0, 0, 6, 4));
  EXPECT_EQ(Art(f.bitmap), Rows({"......", ".rrr..", ".rrr..", "......"}));
}

TEST(CanvasTest, RectangleOutlinesItsOuterPixelsAndFillsInside) {
  struct Case {
    const char* name;
    TPenStyle pen;
    int width;
    TBrushStyle brush;
    std::string art;
  };
  const Case cases[] = {
      {"solid", psSolid, 1, bsSolid, Rows({"........", ".#####..", ".#rrr#..", ".#####..", "........", "........"})},
      {"clear brush", psSolid, 1, bsClear, Rows({"........", ".#####..", ".#...#..", ".#####..", "........", "........"})},
      {"clear pen shrinks", psClear, 1, bsSolid, Rows({"........", ".rrrr...", ".rrrr...", "........", "........", "........"})},
      {"wide pen straddles", psSolid, 3, bsSolid, Rows({"#######.", "#######.", "#######.", "#######.", "#######.", "........"})},
      {"inside frame", psInsideFrame, 2, bsSolid, Rows({"........", ".#####..", ".#####..", ".#####..", "........", "........"})},
  };
  for (const auto& c : cases) {
    Fixture f(8, 6);
    f.canvas.Pen().SetStyle(c.pen);
    f.canvas.Pen().SetWidth(c.width);
    f.canvas.Brush().SetStyle(c.brush);
    if (c.pen == psSolid && c.width == 3) f.canvas.Brush().SetColor(clWhite);
    f.canvas.Rectangle(1, 1, 6, 4);
    EXPECT_EQ(Art(f.bitmap), c.art) << c.name;
  }
}

TEST(CanvasTest, DottedRectangleFollowsThePatternAroundTheFrame) {
  Fixture f(12, 3);
  f.canvas.Pen().SetStyle(psDot);
  f.canvas.Brush().SetStyle(bsClear);
  f.canvas.Rectangle(0, 0, 12, 3);
  // Three on, three off, continuing round the corner.
  EXPECT_EQ(Art(f.bitmap), Rows({"###...###...", "#..........#", "#...###...##"}));
}

TEST(CanvasTest, EllipseFillsTheBoxWithoutItsCorners) {
  Fixture f(6, 6);
  f.canvas.Brush().SetColor(clWhite);
  f.canvas.Ellipse(0, 0, 6, 6);
  EXPECT_EQ(Art(f.bitmap), Rows({".####.", "#....#", "#....#", "#....#", "#....#", ".####."}));

  Fixture g(6, 4);
  g.canvas.Ellipse(0, 0, 4, 4);
  EXPECT_EQ(Art(g.bitmap), Rows({".##...", "#rr#..", "#rr#..", ".##..."}));
}

TEST(CanvasTest, EllipseExtentsAndSymmetryForManySizes) {
  for (int w = 2; w <= 17; w += 3)
    for (int h = 2; h <= 13; h += 2) {
      Fixture f(20, 16);
      f.canvas.Ellipse(1, 2, 1 + w, 2 + h);
      ASSERT_EQ(InkBounds(f.bitmap), Bounds(1, 2, w, h)) << w << "x" << h;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const TColor c = f.bitmap.Pixels(1 + x, 2 + y);
          ASSERT_EQ(c, f.bitmap.Pixels(1 + w - 1 - x, 2 + y)) << w << "x" << h << " at " << x << "," << y;
          ASSERT_EQ(c, f.bitmap.Pixels(1 + x, 2 + h - 1 - y)) << w << "x" << h << " at " << x << "," << y;
        }
      Fixture clear(20, 16);
      clear.canvas.Pen().SetStyle(psClear);
      clear.canvas.Ellipse(1, 2, 1 + w, 2 + h);
      EXPECT_EQ(InkBounds(clear.bitmap), Bounds(1, 2, w - 1, h - 1)) << w << "x" << h;
    }
}

TEST(CanvasTest, PieRunsCounterClockwiseFromStartToEndRadial) {
  struct Case {
    const char* name;
    TPoint start, end;
    std::array<bool, 4> quadrants;  // top-right, top-left, bottom-left, bottom-right painted
    bool right, left;               // the points on the horizontal axis, right and left
  };
  // Box 0,0,20,20, centre (10,10). The axis probes lie just above the
  // horizontal radius (pixel centres are at +0.5).
  const Case cases[] = {
      {"top-right quadrant", {20, 10}, {10, 0}, {true, false, false, false}, true, false},
      {"top half", {20, 10}, {0, 10}, {true, true, false, false}, true, true},
      {"three quarters", {10, 0}, {20, 10}, {false, true, true, true}, false, true},
      {"wedge across 0 degrees", {20, 15}, {20, 5}, {false, false, false, false}, true, false},
      {"all but that wedge", {20, 5}, {20, 15}, {true, true, true, true}, false, true},
      {"equal radials: whole", {20, 5}, {20, 5}, {true, true, true, true}, true, true},
  };
  const TPoint probes[4] = {{14, 6}, {6, 6}, {6, 14}, {14, 14}};
  for (const auto& c : cases) {
    Fixture f(20, 20);
    f.canvas.Pen().SetStyle(psClear);
    f.canvas.Pie(0, 0, 20, 20, c.start.X, c.start.Y, c.end.X, c.end.Y);
    for (int q = 0; q < 4; ++q)
      EXPECT_EQ(f.bitmap.Pixels(probes[q].X, probes[q].Y) == clRed, c.quadrants[q]) << c.name << " quadrant " << q;
    EXPECT_EQ(f.bitmap.Pixels(16, 9) == clRed, c.right) << c.name;
    EXPECT_EQ(f.bitmap.Pixels(3, 9) == clRed, c.left) << c.name;
  }
}

TEST(CanvasTest, PieOutlineFollowsArcAndBothRadials) {
  Fixture f(10, 7);
  f.canvas.Brush().SetColor(clWhite);
  f.canvas.Pie(0, 0, 10, 10, 10, 5, 5, 0);  // top-right quarter of a 10x10 disc
  EXPECT_EQ(Art(f.bitmap), Rows({".....##...", ".....#.##.", ".....#..#.", ".....#...#", ".....#####", "..........",
                                 ".........."}));
}

TEST(CanvasTest, PolygonFillsPixelCentresAndClosesItsOutline) {
  const TPoint square[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  Fixture f(6, 6);
  f.canvas.Polygon(square);
  EXPECT_EQ(Art(f.bitmap), Rows({"#####.", "#rrr#.", "#rrr#.", "#rrr#.", "#####.", "......"}));

  Fixture clear(6, 6);
  clear.canvas.Pen().SetStyle(psClear);
  clear.canvas.Polygon(square);
  EXPECT_EQ(Art(clear.bitmap), Rows({"rrrr..", "rrrr..", "rrrr..", "rrrr..", "......", "......"}));

  const TPoint triangle[] = {{0, 0}, {6, 0}, {0, 6}};
  Fixture t(7, 7);
  t.canvas.Pen().SetStyle(psClear);
  t.canvas.Polygon(triangle);
  // Pixels whose centre lies on the slanted edge stay out.
  EXPECT_EQ(Art(t.bitmap), Rows({"rrrrr..", "rrrr...", "rrr....", "rr.....", "r......", ".......", "......."}));
}

TEST(CanvasTest, OnePixelLinesLeaveOutTheirLastPoint) {
  Fixture f(6, 6);
  f.canvas.MoveTo(0, 0);
  f.canvas.LineTo(5, 0);
  EXPECT_EQ(f.canvas.PenPos(), Point(5, 0));
  f.canvas.LineTo(5, 5);
  f.canvas.MoveTo(0, 1);
  f.canvas.LineTo(4, 5);
  EXPECT_EQ(Art(f.bitmap), Rows({"######", "#....#", ".#...#", "..#..#", "...#.#", "......"}));

  Fixture p(6, 3);
  const TPoint points[] = {{0, 0}, {3, 0}, {3, 2}, {0, 2}};
  p.canvas.Polyline(points);
  EXPECT_EQ(Art(p.bitmap), Rows({"####..", "...#..", ".###.."}));
  EXPECT_EQ(p.canvas.PenPos(), Point(0, 2));
}

TEST(CanvasTest, StraightLinesRunEitherWayAndAreClippedToTheTarget) {
  Fixture f(6, 4);
  f.canvas.MoveTo(-3, 0);
  f.canvas.LineTo(9, 0);  // across, from outside to outside
  f.canvas.MoveTo(4, 5);
  f.canvas.LineTo(4, -2);  // upwards from below the bitmap
  f.canvas.MoveTo(2, 3);
  f.canvas.LineTo(0, 3);  // leftwards: (0,3) is its last point, left out
  f.canvas.MoveTo(0, 1);
  f.canvas.LineTo(0, 3);  // downwards: (0,3) left out again
  EXPECT_EQ(Art(f.bitmap), Rows({"######", "#...#.", "#...#.", ".##.#."}));
  EXPECT_EQ(f.canvas.PenPos(), Point(0, 3));
}

TEST(CanvasTest, PenModeCombinesWithTheDestination) {
  Fixture f(4, 1);
  Paint(f.bitmap, {"#.#."});
  f.canvas.Pen().SetMode(pmXor);
  f.canvas.Pen().SetColor(clWhite);
  f.canvas.MoveTo(0, 0);
  f.canvas.LineTo(4, 0);
  EXPECT_EQ(Art(f.bitmap), ".#.#");
  f.canvas.Pen().SetMode(pmNot);
  f.canvas.MoveTo(0, 0);
  f.canvas.LineTo(2, 0);
  EXPECT_EQ(Art(f.bitmap), "#..#");
}

TEST(CanvasTest, WideLinesAreCentredAndRoundCapped) {
  Fixture f(11, 7);
  f.canvas.Pen().SetWidth(3);
  f.canvas.MoveTo(2, 3);
  f.canvas.LineTo(8, 3);
  EXPECT_EQ(InkBounds(f.bitmap), Rect(1, 2, 10, 5));
  EXPECT_EQ(f.bitmap.Pixels(5, 2), clBlack);
  EXPECT_EQ(f.bitmap.Pixels(5, 5), clWhite);
}

TEST(CanvasTest, ExternalSurfaceUsesOriginAndClip) {
  const TSurfacePtr surface = NewSurface(20, 20, TSurface::sfArgb32);
  TCanvas canvas(surface, Point(5, 4), Rect(6, 5, 12, 9));
  EXPECT_EQ(canvas.ClipRect(), Rect(1, 1, 7, 5));
  canvas.Brush().SetColor(clBlue);
  canvas.FillRect(Rect(-100, -100, 100, 100));
  canvas.Brush().SetColor(clRed);
  canvas.FillRect(Rect(0, 0, 2, 2));  // only canvas (1,1) is inside the clip
  const auto* data = surface->View().Data;
  const int stride = surface->View().Stride;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      uint32_t expected = 0;
      if (x >= 6 && x < 12 && y >= 5 && y < 9) expected = 0xFF0000FFu;
      if (x == 6 && y == 5) expected = 0xFFFF0000u;
      ASSERT_EQ(data[y * stride + x], expected) << x << "," << y;
    }
  EXPECT_EQ(canvas.Pixels(1, 1), clRed);
  EXPECT_EQ(canvas.Pixels(0, 0), -1);  // outside the clip
}

TEST(CanvasTest, CopyModesCombineSourceDestinationAndBrush) {
  struct Case {
    TCopyMode mode;
    const char* expected;
  };
  // Source: black, white, red, white; destination: white, white, blue, blue.
  const Case cases[] = {
      {cmSrcCopy, "#.r."},
      {cmSrcAnd, "#.#b"},
      {cmSrcInvert, ".#?y"},  // red ^ blue = magenta; white ^ blue = yellow
      {cmMaskPattern, "..gg"},  // destination where the mask is black, brush (lime) where white
  };
  for (const auto& c : cases) {
    TBitmap source(4, 1);
    Paint(source, {c.mode == cmMaskPattern ? "#.#." : "#.r."});
    if (c.mode == cmMaskPattern) Paint(source, {"#.#."});
    Fixture f(4, 1);
    Paint(f.bitmap, {"..bb"});
    f.canvas.Brush().SetColor(clLime);
    f.canvas.SetCopyMode(c.mode);
    f.canvas.CopyRect(Rect(0, 0, 4, 1), source.Canvas(), Rect(0, 0, 4, 1));
    if (c.mode == cmMaskPattern) {
      EXPECT_EQ(Art(f.bitmap), ".gbg") << std::hex << c.mode;
    } else {
      EXPECT_EQ(Art(f.bitmap), c.expected) << std::hex << c.mode;
    }
  }
  EXPECT_EQ(ApplyRop3(cmSrcInvert, 0, 0x0000FF, 0xFF0000), 0xFF00FFu);
}

TEST(CanvasTest, StretchCopiesTakeTheNearestPixel) {
  TBitmap source(2, 2);
  Paint(source, {"#r", "gb"});
  Fixture f(4, 4);
  f.canvas.CopyRect(Rect(0, 0, 4, 4), source.Canvas(), Rect(0, 0, 2, 2));
  EXPECT_EQ(Art(f.bitmap), Rows({"##rr", "##rr", "ggbb", "ggbb"}));

  TBitmap big(4, 1);
  Paint(big, {"#rgb"});
  Fixture shrink(2, 1);
  shrink.canvas.CopyRect(Rect(0, 0, 2, 1), big.Canvas(), Rect(0, 0, 4, 1));
  EXPECT_EQ(Art(shrink.bitmap), "rb");
  Fixture mirror(4, 1);
  mirror.canvas.CopyRect(Rect(4, 0, 0, 1), big.Canvas(), Rect(0, 0, 4, 1));
  EXPECT_EQ(Art(mirror.bitmap), "bgr#");
}

TEST(CanvasTest, CopyWithinOneBitmapReadsBeforeWriting) {
  Fixture f(5, 1);
  Paint(f.bitmap, {"#rgb."});
  f.canvas.CopyRect(Rect(1, 0, 5, 1), f.canvas, Rect(0, 0, 4, 1));
  EXPECT_EQ(Art(f.bitmap), "##rgb");
}

TEST(CanvasTest, BrushCopyDropsOrRecoloursTheTransparentColour) {
  TBitmap glyph(3, 1);
  Paint(glyph, {"#s#"});
  Fixture clear(3, 1);
  Paint(clear.bitmap, {"bbb"});
  clear.canvas.Brush().SetStyle(bsClear);
  clear.canvas.BrushCopy(Rect(0, 0, 3, 1), glyph, Rect(0, 0, 3, 1), clSilver);
  EXPECT_EQ(Art(clear.bitmap), "#b#");

  Fixture solid(6, 1);
  solid.canvas.Brush().SetColor(clYellow);
  solid.canvas.BrushCopy(Rect(0, 0, 6, 1), glyph, Rect(0, 0, 3, 1), clSilver);
  EXPECT_EQ(Art(solid.bitmap), "##yy##");
}

TEST(CanvasTest, DrawHonoursTransparencyAndStretchDrawScales) {
  TBitmap glyph(2, 2);
  Paint(glyph, {"#r", "rr"});  // bottom-left red is the automatic transparent colour
  Fixture f(4, 3);
  f.canvas.Draw(1, 1, glyph);
  EXPECT_EQ(Art(f.bitmap), Rows({"....", ".#r.", ".rr."}));
  glyph.SetTransparent(true);
  Fixture t(4, 3);
  t.canvas.Draw(1, 1, glyph);
  EXPECT_EQ(Art(t.bitmap), Rows({"....", ".#..", "...."}));
  Fixture s(4, 2);
  s.canvas.StretchDraw(Rect(0, 0, 4, 2), glyph);
  EXPECT_EQ(Art(s.bitmap), Rows({"##..", "...."}));
}

TEST(CanvasTest, MonochromeTargetsGetOnlyBlackAndWhite) {
  TBitmap mask(4, 1);
  Paint(mask, {"s.#r"});
  mask.Mask(clSilver);
  EXPECT_TRUE(mask.Monochrome());
  EXPECT_EQ(Art(mask), ".###");

  TBitmap mono(4, 1);
  mono.SetMonochrome(true);
  mono.Canvas().Brush().SetColor(clSilver);  // bright: white
  mono.Canvas().FillRect(Rect(0, 0, 2, 1));
  mono.Canvas().Brush().SetColor(clNavy);  // dark: black
  mono.Canvas().FillRect(Rect(2, 0, 4, 1));
  EXPECT_EQ(Art(mono), "..##");
  TBitmap colour(4, 1);
  Paint(colour, {".r.s"});
  mono.Canvas().CopyRect(Rect(0, 0, 4, 1), colour.Canvas(), Rect(0, 0, 4, 1));
  EXPECT_EQ(Art(mono), ".#.#");
}

TEST(CanvasTest, BitmapChangesAreNotifiedAndLocksCount) {
  Fixture f(3, 3);
  int changes = 0;
  f.bitmap.OnChange = [&](TObject*) { ++changes; };
  f.canvas.FillRect(Rect(0, 0, 1, 1));
  f.canvas.Rectangle(0, 0, 3, 3);
  EXPECT_EQ(changes, 2);
  f.canvas.Lock();
  f.canvas.Lock();
  EXPECT_EQ(f.canvas.LockCount(), 2);
  f.canvas.Unlock();
  f.canvas.Unlock();
  EXPECT_EQ(f.canvas.LockCount(), 0);
}

TEST(CanvasTest, HatchedBrushPaintsOnlyItsLines) {
  Fixture f(9, 2);
  f.canvas.Brush().SetStyle(bsVertical);
  f.canvas.FillRect(Rect(0, 0, 9, 2));
  EXPECT_EQ(Art(f.bitmap), Rows({"r.......r", "r.......r"}));
}

}  // namespace
