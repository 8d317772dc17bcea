// The metafile player's rules in isolation: which pixels a figure covers,
// the raster operations, the mapping modes and the arc direction.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "backend/emf/EmfPlayback.h"
#include "backend/emf/EmfRaster.h"

using namespace emf;

namespace {

std::string Picture(const TCoverage& c) {
  std::string out;
  for (int y = c.Box.Top; y < c.Box.Bottom; ++y) {
    for (int x = c.Box.Left; x < c.Box.Right; ++x) out += c.At(x, y) ? '#' : '.';
    out += '\n';
  }
  return out;
}

std::vector<TPointD> Square(double l, double t, double r, double b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }

TEST(EmfRasterTest, PolygonsCoverTheirPointsLeftAndTopEdgesIn) {
  TCoverage c = NewCoverage({0, 0, 6, 6});
  const std::vector<TPointD> square[1] = {Square(1, 1, 4, 4)};
  FillPolygons(c, square, frAlternate);
  EXPECT_EQ(Picture(c),
            "......\n"
            ".###..\n"
            ".###..\n"
            ".###..\n"
            "......\n"
            "......\n");
  // Vertices are rounded to whole pixels first.
  TCoverage rounded = NewCoverage({0, 0, 6, 6});
  const std::vector<TPointD> shifted[1] = {Square(0.6, 0.6, 3.6, 3.6)};
  FillPolygons(rounded, shifted, frAlternate);
  EXPECT_EQ(Picture(rounded), Picture(c));
}

TEST(EmfRasterTest, FillRulesDifferOnNestedFigures) {
  // Two squares turning the same way: the winding rule fills the inner one,
  // the alternate rule leaves it as a hole.
  const std::vector<std::vector<TPointD>> nested = {Square(0, 0, 6, 6), Square(2, 2, 4, 4)};
  TCoverage alternate = NewCoverage({0, 0, 6, 6}), winding = NewCoverage({0, 0, 6, 6});
  FillPolygons(alternate, nested, frAlternate);
  FillPolygons(winding, nested, frWinding);
  EXPECT_EQ(alternate.At(3, 3), 0);
  EXPECT_NE(winding.At(3, 3), 0);
  EXPECT_NE(alternate.At(1, 1), 0);
}

TEST(EmfRasterTest, CosmeticLinesLeaveOutTheirEndAndCarryTheDashes) {
  TCoverage solid = NewCoverage({0, 0, 8, 1});
  int pos = 0;
  CosmeticLine(solid, {0, 0}, {6, 0}, {}, pos);
  EXPECT_EQ(Picture(solid), "######..\n");
  TCoverage dashed = NewCoverage({0, 0, 8, 1});
  pos = 0;
  CosmeticLine(dashed, {0, 0}, {4, 0}, {2, 1}, pos);
  // The pattern goes on where the last segment stopped.
  CosmeticLine(dashed, {4, 0}, {8, 0}, {2, 1}, pos);
  EXPECT_EQ(Picture(dashed), "##.##.##\n");
}

TEST(EmfRasterTest, WideLinesTakeTheirCaps) {
  const std::vector<TPointD> line = {{10, 10}, {20, 10}};
  auto cover = [&](TCap cap) {
    TCoverage c = NewCoverage({0, 0, 30, 21});
    WideLine(c, line, false, 9, cap, jnRound, 10);
    return c;
  };
  const TCoverage flat = cover(cpFlat), square = cover(cpSquare), round = cover(cpRound);
  // Nine rows around the line; flat ends stop at the end points, square
  // ones go half the width further, round ones bulge there but leave the
  // corners out.
  EXPECT_NE(flat.At(10, 6), 0);
  EXPECT_NE(flat.At(10, 14), 0);
  EXPECT_EQ(flat.At(10, 15), 0);
  EXPECT_EQ(flat.At(9, 10), 0);
  EXPECT_NE(square.At(6, 6), 0);
  EXPECT_NE(square.At(6, 10), 0);
  EXPECT_NE(round.At(6, 10), 0);
  EXPECT_EQ(round.At(6, 6), 0);
}

TEST(EmfRasterTest, RasterOperationsFollowTheirTruthTables) {
  const uint32_t pen = 0xF0F0F0, dest = 0xCCCCCC;
  struct Case {
    int Rop2;
    uint32_t Expected;
  } cases[] = {{1, 0x000000},  {16, 0xFFFFFF},         {13, pen},          {11, dest},
               {6, ~dest & 0xFFFFFF}, {7, pen ^ dest}, {9, pen & dest},    {15, pen | dest},
               {4, ~pen & 0xFFFFFF},  {10, ~(pen ^ dest) & 0xFFFFFF}};
  for (const Case& c : cases) EXPECT_EQ(ApplyRop2(c.Rop2, pen, dest), c.Expected) << c.Rop2;
}

TEST(EmfRasterTest, MappingModesScaleAndTurnTheYAxis) {
  const double perMm = 96 / 25.4;
  TPageSetup text;
  text.WindowOrg = {10, 20};
  text.ViewportOrg = {1, 2};
  const TPointD t = PageTransform(text, perMm, perMm).Apply({10, 20});
  EXPECT_DOUBLE_EQ(t.X, 1);
  EXPECT_DOUBLE_EQ(t.Y, 2);

  TPageSetup himetric;
  himetric.MapMode = 3;  // 0.01 mm, y up
  const TPointD h = PageTransform(himetric, perMm, perMm).Apply({2540, 2540});
  EXPECT_NEAR(h.X, 96, 1e-9);
  EXPECT_NEAR(h.Y, -96, 1e-9);

  TPageSetup aniso;
  aniso.MapMode = 8;
  aniso.WindowExt = {1000, 500};
  aniso.ViewportExt = {200, 200};
  const TPointD a = PageTransform(aniso, perMm, perMm).Apply({1000, 500});
  EXPECT_DOUBLE_EQ(a.X, 200);
  EXPECT_DOUBLE_EQ(a.Y, 200);

  // Isotropic: the smaller scale on both axes, each keeping its sign.
  TPageSetup iso = aniso;
  iso.MapMode = 7;
  iso.ViewportExt = {200, -200};
  const TPointD i = PageTransform(iso, perMm, perMm).Apply({1000, 500});
  EXPECT_DOUBLE_EQ(i.X, 200);
  EXPECT_DOUBLE_EQ(i.Y, -100);
}

TEST(EmfRasterTest, ArcsRunCounterClockwiseOnTheDeviceUnlessTold) {
  const TPointD c{50, 50};
  const TPointD east{100, 50}, north{50, 0};
  // Counter-clockwise as seen (y down): from east up through the upper
  // right quarter to north.
  const std::vector<TPointD> ccw = ArcPoints(c, 20, 10, east, north, false);
  ASSERT_GT(ccw.size(), 2u);
  const TPointD mid = ccw[ccw.size() / 2];
  EXPECT_GT(mid.X, c.X);
  EXPECT_LT(mid.Y, c.Y);
  EXPECT_NEAR(ccw.front().X, 70, 1e-9);
  EXPECT_NEAR(ccw.back().Y, 40, 1e-9);
  // Clockwise: the long way round, through the lower half.
  const std::vector<TPointD> cw = ArcPoints(c, 20, 10, east, north, true);
  EXPECT_GT(cw[cw.size() / 2].Y, c.Y);
  // Equal radials: the whole ellipse.
  const std::vector<TPointD> whole = ArcPoints(c, 20, 10, east, east, false);
  EXPECT_NEAR(whole.front().X, whole.back().X, 1e-9);
  EXPECT_NEAR(whole.front().Y, whole.back().Y, 1e-9);
  EXPECT_GT(whole.size(), ccw.size() * 3);
}

}  // namespace
