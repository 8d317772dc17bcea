#include "EmfRaster.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace emf {

TCoverage NewCoverage(const TRect& box) {
  TCoverage c;
  if (box.Right > box.Left && box.Bottom > box.Top) {
    c.Box = box;
    c.Bits.assign(size_t(box.Width()) * size_t(box.Height()), 0);
  }
  return c;
}

int ClampedInt(double v, int lo, int hi) noexcept {
  if (!(v >= lo)) return lo;  // NaN too
  if (!(v <= hi)) return hi;
  return int(v);
}

// GDI's device coordinates are whole pixels: a transformed point is rounded
// before anything is drawn with it.
int PixelOf(double v) noexcept { return ClampedInt(std::floor(v + 0.5), -100000000, 100000000); }

namespace {

struct TEdge {
  int X0, Y0, X1, Y1;
  int Direction;  // +1 downwards, -1 upwards
};

}  // namespace

void FillPolygons(TCoverage& into, std::span<const std::vector<TPointD>> polygons, TFillRule rule) {
  if (into.Empty()) return;
  std::vector<TEdge> edges;
  for (const std::vector<TPointD>& polygon : polygons) {
    const size_t n = polygon.size();
    if (n < 2) continue;
    for (size_t i = 0; i < n; ++i) {
      const TPointD& a = polygon[i];
      const TPointD& b = polygon[(i + 1) % n];
      const int x0 = PixelOf(a.X), y0 = PixelOf(a.Y), x1 = PixelOf(b.X), y1 = PixelOf(b.Y);
      if (y0 == y1) continue;  // a horizontal edge crosses no row
      TEdge e = y0 < y1 ? TEdge{x0, y0, x1, y1, 1} : TEdge{x1, y1, x0, y0, -1};
      // Edges wholly above or below the box cross none of its rows.
      if (e.Y1 <= into.Box.Top || e.Y0 >= into.Box.Bottom) continue;
      edges.push_back(e);
    }
  }
  if (edges.empty()) return;
  // An active edge list: edges enter at their upper end and leave after
  // their lower one, so a row looks only at the edges that cross it.
  std::sort(edges.begin(), edges.end(), [](const TEdge& a, const TEdge& b) { return a.Y0 < b.Y0; });
  struct TCrossing {
    double X;
    int Direction;
  };
  std::vector<TCrossing> crossings;
  std::vector<const TEdge*> active;
  size_t next = 0;
  const int top = std::max(edges.front().Y0, into.Box.Top);
  for (int y = top; y < into.Box.Bottom; ++y) {
    while (next < edges.size() && edges[next].Y0 <= y) active.push_back(&edges[next++]);
    // Rows from the upper end included to the lower end excluded: two
    // edges that meet at a vertex count the row once.
    std::erase_if(active, [y](const TEdge* e) { return e->Y1 <= y; });
    if (active.empty()) {
      if (next == edges.size()) break;
      continue;
    }
    crossings.clear();
    for (const TEdge* e : active) {
      const double x = e->X0 + double(y - e->Y0) * double(e->X1 - e->X0) / double(e->Y1 - e->Y0);
      crossings.push_back({x, e->Direction});
    }
    std::sort(crossings.begin(), crossings.end(), [](const TCrossing& a, const TCrossing& b) { return a.X < b.X; });
    int winding = 0;
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
      winding += rule == frAlternate ? 1 : crossings[i].Direction;
      const bool inside = rule == frAlternate ? (winding & 1) != 0 : winding != 0;
      if (!inside) continue;
      // Pixels whose point lies in [xa, xb): the left edge in, the right out.
      const int first = ClampedInt(std::ceil(crossings[i].X), into.Box.Left, into.Box.Right);
      const int last = ClampedInt(std::ceil(crossings[i + 1].X), into.Box.Left, into.Box.Right);
      if (first < last) std::fill_n(&into.At(first, y), last - first, uint8_t(1));
    }
  }
}

void CosmeticLine(TCoverage& into, TPoint a, TPoint b, const TDashes& dashes, int& dashPos) {
  int period = 0;
  for (int run : dashes) period += run;
  auto dashOn = [&](int pos) {
    if (period <= 0) return true;
    int p = pos % period;
    for (size_t i = 0; i < dashes.size(); ++i) {
      if (p < dashes[i]) return (i % 2) == 0;
      p -= dashes[i];
    }
    return true;
  };
  // A line that runs far outside the box starts where it comes near it:
  // the steps before are only counted for the dash pattern.
  const int64_t steps = std::max(std::abs(int64_t(b.X) - a.X), std::abs(int64_t(b.Y) - a.Y));
  const TRect& box = into.Box;
  if (steps > 4 * (int64_t(box.Width()) + box.Height()) + 8) {
    double t0 = 0, t1 = 1;
    const double px = a.X, py = a.Y, qx = double(b.X) - a.X, qy = double(b.Y) - a.Y;
    auto clip = [&](double p, double q) {  // keeps p * t <= q
      if (p == 0) return q >= 0;
      const double t = q / p;
      if (p < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
      return t0 <= t1;
    };
    if (!clip(-qx, px - (box.Left - 1)) || !clip(qx, (box.Right + 1) - px) || !clip(-qy, py - (box.Top - 1)) ||
        !clip(qy, (box.Bottom + 1) - py)) {
      dashPos += int(steps % 1000000);
      return;
    }
    const int skipped = int(std::floor(t0 * double(steps)));
    const TPoint start{PixelOf(px + t0 * qx), PixelOf(py + t0 * qy)};
    const TPoint end{PixelOf(px + t1 * qx), PixelOf(py + t1 * qy)};
    dashPos += skipped % 1000000;
    // The clipped part, to the box's far side; its own end is inside the
    // margin, so leaving it out changes nothing visible.
    if (start != end) CosmeticLine(into, start, end, dashes, dashPos);
    return;
  }
  const int dx = std::abs(b.X - a.X), dy = -std::abs(b.Y - a.Y);
  const int sx = a.X < b.X ? 1 : -1, sy = a.Y < b.Y ? 1 : -1;
  int err = dx + dy;
  int x = a.X, y = a.Y;
  // Bresenham; the end point itself is left out, as LineTo does.
  while (x != b.X || y != b.Y) {
    if (dashOn(dashPos) && x >= into.Box.Left && x < into.Box.Right && y >= into.Box.Top && y < into.Box.Bottom) {
      into.At(x, y) = 1;
    }
    ++dashPos;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

namespace {

void FillOne(TCoverage& into, std::vector<TPointD> polygon) {
  const std::vector<TPointD> one[1] = {std::move(polygon)};
  FillPolygons(into, one, frWinding);
}

void Disc(TCoverage& into, TPointD c, double radius) {
  const int n = ClampedInt(std::ceil(radius * 3), 8, 128);
  std::vector<TPointD> polygon(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = 2 * std::numbers::pi * i / n;
    polygon[size_t(i)] = {c.X + radius * std::cos(t), c.Y + radius * std::sin(t)};
  }
  FillOne(into, std::move(polygon));
}

}  // namespace

void WideLine(TCoverage& into, std::span<const TPointD> input, bool closed, double width, TCap cap, TJoin join,
              double miterLimit) {
  if (into.Empty() || input.empty()) return;
  // Repeated points carry no direction.
  std::vector<TPointD> points;
  for (const TPointD& p : input) {
    if (points.empty() || std::hypot(p.X - points.back().X, p.Y - points.back().Y) > 1e-9) points.push_back(p);
  }
  if (closed && points.size() > 2 &&
      std::hypot(points.front().X - points.back().X, points.front().Y - points.back().Y) <= 1e-9) {
    points.pop_back();
  }
  const double half = width / 2;
  if (points.size() == 1) {
    if (cap == cpRound) Disc(into, points[0], half);
    else if (cap == cpSquare)
      FillOne(into, {{points[0].X - half, points[0].Y - half}, {points[0].X + half, points[0].Y - half},
                     {points[0].X + half, points[0].Y + half}, {points[0].X - half, points[0].Y + half}});
    return;
  }
  const size_t n = points.size();
  const size_t segments = closed ? n : n - 1;
  auto normal = [&](size_t i) {
    const TPointD& p = points[i];
    const TPointD& q = points[(i + 1) % n];
    const double length = std::hypot(q.X - p.X, q.Y - p.Y);
    return TPointD{-(q.Y - p.Y) / length * half, (q.X - p.X) / length * half};
  };
  for (size_t i = 0; i < segments; ++i) {
    TPointD p = points[i], q = points[(i + 1) % n];
    const TPointD nrm = normal(i);
    if (!closed && cap == cpSquare) {
      // Square caps lengthen the line's two ends by half the width.
      const TPointD along{nrm.Y, -nrm.X};
      if (i == 0) p = {p.X - along.X, p.Y - along.Y};
      if (i + 1 == segments) q = {q.X + along.X, q.Y + along.Y};
    }
    FillOne(into, {{p.X + nrm.X, p.Y + nrm.Y}, {q.X + nrm.X, q.Y + nrm.Y}, {q.X - nrm.X, q.Y - nrm.Y},
                   {p.X - nrm.X, p.Y - nrm.Y}});
  }
  // Joins at the inner vertices (all of them on a closed figure).
  for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i) {
    const TPointD& v = points[i];
    if (join == jnRound) {
      Disc(into, v, half);
      continue;
    }
    const TPointD n1 = normal((i + n - 1) % n), n2 = normal(i);
    // The outer side is where the turn opens.
    const double cross = n1.X * n2.Y - n1.Y * n2.X;
    const double side = cross > 0 ? -1 : 1;
    const TPointD a{v.X + side * n1.X, v.Y + side * n1.Y}, b{v.X + side * n2.X, v.Y + side * n2.Y};
    bool mitered = false;
    if (join == jnMiter) {
      const TPointD bisector{n1.X + n2.X, n1.Y + n2.Y};
      const double length = std::hypot(bisector.X, bisector.Y);
      if (length > 1e-9) {
        const double cosHalf = length / (2 * half);
        // Miter length over width is 1 / sin(angle / 2), here 1 / cosHalf.
        if (cosHalf > 1e-9 && 1 / cosHalf <= miterLimit) {
          const double reach = half / cosHalf;
          const TPointD tip{v.X + side * bisector.X / length * reach, v.Y + side * bisector.Y / length * reach};
          FillOne(into, {v, a, tip, b});
          mitered = true;
        }
      }
    }
    if (!mitered) FillOne(into, {v, a, b});
  }
  if (!closed && cap == cpRound) {
    Disc(into, points.front(), half);
    Disc(into, points.back(), half);
  }
}

uint32_t ApplyRop2(int rop2, uint32_t pen, uint32_t dest) noexcept {
  // The code less one is a truth table over (pen bit, destination bit):
  // bit 3 for (1, 1), bit 2 for (1, 0), bit 1 for (0, 1), bit 0 for (0, 0).
  const unsigned table = unsigned(std::clamp(rop2, 1, 16) - 1);
  auto all = [](unsigned bit) { return bit ? 0xFFFFFFu : 0u; };
  const uint32_t p = pen & 0xFFFFFF, d = dest & 0xFFFFFF;
  return ((p & d & all(table & 8)) | (p & ~d & all(table & 4)) | (~p & d & all(table & 2)) |
          (~p & ~d & all(table & 1))) &
         0xFFFFFF;
}

TRaster::TRaster(int width, int height) : FImage(NewSurface(width, height, TSurface::sfArgb32)) {}

bool TRaster::Clipped(int x, int y) const noexcept {
  if (!FClip) return false;
  const TRect& b = FClip->Box;
  return x < b.Left || x >= b.Right || y < b.Top || y >= b.Bottom || FClip->At(x, y) == 0;
}

uint32_t TRaster::Dest(int x, int y) const noexcept {
  const uint32_t pixel = reinterpret_cast<const uint32_t*>(FImage->Row(y))[x];
  return (pixel >> 24) == 0 ? 0xFFFFFFu : pixel & 0xFFFFFF;
}

void TRaster::Put(int x, int y, uint32_t rgb) noexcept {
  reinterpret_cast<uint32_t*>(FImage->Row(y))[x] = 0xFF000000u | (rgb & 0xFFFFFF);
}

void TRaster::Blend(int x, int y, uint32_t argb, int constantAlpha, bool premultiplied) noexcept {
  const uint32_t c = uint32_t(std::clamp(constantAlpha, 0, 255));
  const uint32_t a = ((argb >> 24) * c + 127) / 255;
  if (a == 0 && !premultiplied) return;
  const uint32_t d = Dest(x, y);
  auto channel = [&](int shift) {
    const uint32_t s = (argb >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
    // Premultiplied: source times the constant, destination times what the
    // source leaves; straight: the usual mix.
    const uint32_t v = premultiplied ? (s * c + dc * (255 - a) + 127) / 255 : (s * a + dc * (255 - a) + 127) / 255;
    return std::min<uint32_t>(v, 255) << shift;
  };
  Put(x, y, channel(16) | channel(8) | channel(0));
}

void TRaster::Paint(const TCoverage& coverage, const TPaint& paint, int rop2) {
  if (coverage.Empty()) return;
  const int left = std::max(coverage.Box.Left, 0), right = std::min(coverage.Box.Right, Width());
  const int top = std::max(coverage.Box.Top, 0), bottom = std::min(coverage.Box.Bottom, Height());
  const std::vector<uint32_t>* tile = paint.Tile.get();
  auto wrap = [](int v, int n) { return ((v % n) + n) % n; };
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (coverage.At(x, y) == 0 || Clipped(x, y)) continue;
      uint32_t color = paint.Color;
      if (tile) {
        const uint32_t t = (*tile)[size_t(wrap(y - paint.TileOrigin.Y, paint.TileHeight)) * size_t(paint.TileWidth) +
                                   size_t(wrap(x - paint.TileOrigin.X, paint.TileWidth))];
        if ((t >> 24) == 0) continue;
        color = t & 0xFFFFFF;
      }
      Put(x, y, rop2 == 13 ? color : ApplyRop2(rop2, color, Dest(x, y)));
    }
  }
}

}  // namespace emf
