#include "Canvas.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Bitmap.h"
#include "StrokeMask.h"

namespace {
constexpr uint32_t kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u;

// Dash patterns of 1-pixel pens: alternating on and off run lengths.
struct TDash {
  int Count;
  int Runs[6];
};
constexpr TDash kDashes[] = {
    {0, {}},                    // psSolid
    {2, {18, 6}},               // psDash
    {2, {3, 3}},                // psDot
    {4, {9, 6, 3, 6}},          // psDashDot
    {6, {9, 3, 3, 3, 3, 3}},    // psDashDotDot
};

// Every position of the pattern is on.
bool DashesAreSolid(TPenStyle style) { return style > psDashDotDot || kDashes[style].Count == 0; }

bool DashOn(TPenStyle style, int pos) {
  if (DashesAreSolid(style)) return true;
  const TDash& dash = kDashes[style];
  int period = 0;
  for (int i = 0; i < dash.Count; ++i) period += dash.Runs[i];
  pos %= period;
  for (int i = 0; i < dash.Count; ++i) {
    if (pos < dash.Runs[i]) return (i & 1) == 0;
    pos -= dash.Runs[i];
  }
  return true;
}

bool HatchOn(TBrushStyle style, int x, int y) {
  const bool horizontal = (y & 7) == 0, vertical = (x & 7) == 0;
  const bool forward = ((x - y) & 7) == 0, backward = ((x + y) & 7) == 0;
  switch (style) {
    case bsHorizontal: return horizontal;
    case bsVertical: return vertical;
    case bsFDiagonal: return forward;
    case bsBDiagonal: return backward;
    case bsCross: return horizontal || vertical;
    case bsDiagCross: return forward || backward;
    default: return true;
  }
}
}  // namespace

uint32_t ApplyRop3(TCopyMode rop, uint32_t pattern, uint32_t source, uint32_t dest) noexcept {
  const unsigned table = (uint32_t(rop) >> 16) & 0xFFu;
  uint32_t r = 0;
  for (unsigned i = 0; i < 8; ++i) {
    if (!(table & (1u << i))) continue;
    r |= ((i & 4) ? pattern : ~pattern) & ((i & 2) ? source : ~source) & ((i & 1) ? dest : ~dest);
  }
  return r;
}

TCanvas::TCanvas() = default;

TCanvas::TCanvas(TBitmap& bitmap) : FBitmap(&bitmap) {}

TCanvas::TCanvas(TSurfacePtr surface, TPoint origin, const TRect& clip) { SetTarget(std::move(surface), origin, clip); }

TCanvas::~TCanvas() = default;

void TCanvas::SetTarget(TSurfacePtr surface, TPoint origin, const TRect& clip) {
  FSurface = std::move(surface);
  FOrigin = origin;
  FClip = clip;
}

TSurfacePtr TCanvas::Surface() const noexcept { return FBitmap ? FBitmap->Surface() : FSurface; }

TPoint TCanvas::Origin() const noexcept { return FBitmap ? TPoint{} : FOrigin; }

TPixelView TCanvas::View() const { return Target().View; }

TCanvas::TTarget TCanvas::Target() const {
  TTarget t;
  if (FBitmap) {
    t.View = FBitmap->View();
    t.Clip = FBitmapClip ? IntersectRect(*FBitmapClip, t.View.Bounds()) : t.View.Bounds();
    t.Monochrome = FBitmap->Monochrome();
    return t;
  }
  if (!FSurface || FSurface->Format() == TSurface::sfA8) return t;
  t.View = FSurface->View();
  t.Origin = FOrigin;
  t.Clip = IntersectRect(FClip, t.View.Bounds());
  return t;
}

void TCanvas::Changed(const TTarget& t) {
  if (t.View.Empty()) return;
  if (FBitmap) FBitmap->Modified();
  if (OnChange) OnChange(this);
}

uint32_t TCanvas::DrawColor(TColor color, const TTarget& t) const {
  const uint32_t pixel = ColorToPixel(color);
  if (!t.Monochrome) return pixel;
  // Perceived brightness decides black or white on a two-colour target.
  const uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
  return (r * 30 + g * 59 + b * 11) >= 128 * 100 ? kWhite : kBlack;
}

void TCanvas::Plot(const TTarget& t, int x, int y, uint32_t pixel, TPenMode mode) const {
  if (!PtInRect(t.Clip, {x, y})) return;
  uint32_t& d = t.View.Row(y)[x];
  d = mode == pmCopy ? pixel : 0xFF000000u | ApplyPenMode(mode, pixel, d);
}

void TCanvas::Span(const TTarget& t, int y, int x0, int x1, uint32_t pixel, TPenMode mode) const {
  if (y < t.Clip.Top || y >= t.Clip.Bottom) return;
  x0 = std::max(x0, t.Clip.Left);
  x1 = std::min(x1, t.Clip.Right);
  if (x0 >= x1) return;
  uint32_t* row = t.View.Row(y);
  if (mode == pmCopy) {
    std::fill(row + x0, row + x1, pixel);
  } else {
    for (int x = x0; x < x1; ++x) row[x] = 0xFF000000u | ApplyPenMode(mode, pixel, row[x]);
  }
}

void TCanvas::BrushSpan(const TTarget& t, int y, int x0, int x1, TPenMode mode) const {
  const TBrushStyle style = FBrush.Style();
  if (style == bsClear) return;
  const uint32_t pixel = DrawColor(FBrush.Color(), t);
  if (style == bsSolid) return Span(t, y, x0, x1, pixel, mode);
  for (int x = x0; x < x1; ++x)
    if (HatchOn(style, x, y)) Plot(t, x, y, pixel, mode);
}

template <class Inside>
void TCanvas::DrawRegion(const TTarget& t, const TRect& box, Inside inside) const {
  const TRect area = IntersectRect(box, t.Clip);
  if (IsRectEmpty(area)) return;
  const bool pen = FPen.Style() != psClear;
  const int width = FPen.Width();
  const uint32_t penPixel = DrawColor(FPen.Color(), t);
  const TPenMode mode = FPen.Mode();
  auto edge = [&](int x, int y) {
    for (int k = 1; k <= width; ++k)
      if (!inside(x - k, y) || !inside(x + k, y) || !inside(x, y - k) || !inside(x, y + k)) return true;
    return false;
  };
  for (int y = area.Top; y < area.Bottom; ++y) {
    int runStart = -1;  // brush pixels are gathered into spans
    for (int x = area.Left; x <= area.Right; ++x) {
      const bool in = x < area.Right && inside(x, y);
      const bool onEdge = in && pen && edge(x, y);
      if (in && !onEdge) {
        if (runStart < 0) runStart = x;
        continue;
      }
      if (runStart >= 0) {
        BrushSpan(t, y, runStart, x, mode);
        runStart = -1;
      }
      if (onEdge) Plot(t, x, y, penPixel, mode);
    }
  }
}

void TCanvas::FillRect(const TRect& rect) {
  const TTarget t = Target();
  if (t.View.Empty()) return;
  const TRect r = OffsetRect(rect, t.Origin.X, t.Origin.Y);
  const int top = std::max(r.Top, t.Clip.Top), bottom = std::min(r.Bottom, t.Clip.Bottom);
  for (int y = top; y < bottom; ++y) BrushSpan(t, y, r.Left, r.Right, pmCopy);
  Changed(t);
}

void TCanvas::FrameRect(const TRect& rect) {
  const TTarget t = Target();
  if (t.View.Empty() || IsRectEmpty(rect)) return;
  const TRect r = OffsetRect(rect, t.Origin.X, t.Origin.Y);
  const uint32_t pixel = DrawColor(FBrush.Color(), t);
  Span(t, r.Top, r.Left, r.Right, pixel, pmCopy);
  Span(t, r.Bottom - 1, r.Left, r.Right, pixel, pmCopy);
  for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
    Plot(t, r.Left, y, pixel, pmCopy);
    Plot(t, r.Right - 1, y, pixel, pmCopy);
  }
  Changed(t);
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  const TTarget t = Target();
  if (t.View.Empty()) return;
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  TRect r = OffsetRect({x1, y1, x2, y2}, t.Origin.X, t.Origin.Y);
  const TPenMode mode = FPen.Mode();
  if (FPen.Style() == psClear) {
    for (int y = r.Top; y < r.Bottom - 1; ++y) BrushSpan(t, y, r.Left, r.Right - 1, mode);
    return Changed(t);
  }
  const int w = FPen.Width();
  // A wide pen straddles the outline, except an inside-frame pen.
  if (w > 1 && FPen.Style() != psInsideFrame) r = {r.Left - (w - 1) / 2, r.Top - (w - 1) / 2, r.Right + w / 2, r.Bottom + w / 2};
  if (IsRectEmpty(r)) return;
  const TRect inner = InflateRect(r, -w, -w);
  if (IsRectEmpty(inner) || (w == 1 && FPen.Style() == psSolid) || w > 1) {
    // Solid frames (and frames with nothing inside) are spans.
    const uint32_t pixel = DrawColor(FPen.Color(), t);
    for (int y = r.Top; y < r.Bottom; ++y) {
      if (IsRectEmpty(inner) || y < inner.Top || y >= inner.Bottom) {
        Span(t, y, r.Left, r.Right, pixel, mode);
      } else {
        Span(t, y, r.Left, inner.Left, pixel, mode);
        BrushSpan(t, y, inner.Left, inner.Right, mode);
        Span(t, y, inner.Right, r.Right, pixel, mode);
      }
    }
    return Changed(t);
  }
  // A patterned 1-pixel frame: the brush inside, the pen around as one closed line.
  for (int y = inner.Top; y < inner.Bottom; ++y) BrushSpan(t, y, inner.Left, inner.Right, mode);
  const TPoint corners[] = {{r.Left, r.Top}, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1}, {r.Left, r.Bottom - 1}};
  int patternPos = 0;
  for (int i = 0; i < 4; ++i) PenLine(t, corners[i], corners[(i + 1) % 4], false, patternPos);
  Changed(t);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) { EllipticFigure(x1, y1, x2, y2, nullptr); }

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  const TPoint radials[2] = {{x3, y3}, {x4, y4}};
  EllipticFigure(x1, y1, x2, y2, radials);
}

void TCanvas::EllipticFigure(int x1, int y1, int x2, int y2, const TPoint* radials) {
  const TTarget t = Target();
  if (t.View.Empty()) return;
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  if (FPen.Style() == psClear) {
    --x2;
    --y2;
  }
  if (x2 <= x1 || y2 <= y1) return;
  const TRect box = OffsetRect({x1, y1, x2, y2}, t.Origin.X, t.Origin.Y);
  const double cx = (box.Left + box.Right) / 2.0, cy = (box.Top + box.Bottom) / 2.0;
  const double rx = (box.Right - box.Left) / 2.0, ry = (box.Bottom - box.Top) / 2.0;
  // Radials in mathematical orientation (y up), so that counter-clockwise on
  // screen is counter-clockwise here.
  const TPoint start = radials ? radials[0] : TPoint{}, end = radials ? radials[1] : TPoint{};
  const double sx = start.X + t.Origin.X - cx, sy = cy - (start.Y + t.Origin.Y);
  const double ex = end.X + t.Origin.X - cx, ey = cy - (end.Y + t.Origin.Y);
  const double sweepCross = sx * ey - sy * ex;
  const bool whole = !radials || (sx == 0 && sy == 0) || (ex == 0 && ey == 0) ||
                     (sweepCross == 0 && sx * ex + sy * ey > 0);
  auto inside = [&](int x, int y) {
    if (x < box.Left || x >= box.Right || y < box.Top || y >= box.Bottom) return false;
    const double vx = x + 0.5 - cx, vy = cy - (y + 0.5);
    // A pixel is in when its centre is; the centre row and column always
    // are, so that even thin figures reach every side of their box.
    if ((vx * vx) / (rx * rx) + (vy * vy) / (ry * ry) > 1.0 && std::abs(vx) > 0.5 && std::abs(vy) > 0.5) return false;
    if (whole) return true;
    const double fromStart = sx * vy - sy * vx, toEnd = vx * ey - vy * ex;
    if (sweepCross >= 0) return fromStart >= 0 && toEnd >= 0;
    // More than half a turn: everything but the opposite sector.
    return !(fromStart < 0 && toEnd < 0);
  };
  DrawRegion(t, box, inside);
  Changed(t);
}

void TCanvas::Polygon(std::span<const TPoint> points) {
  const TTarget t = Target();
  if (t.View.Empty() || points.empty()) return;
  std::vector<TPoint> p(points.begin(), points.end());
  for (auto& q : p) q = {q.X + t.Origin.X, q.Y + t.Origin.Y};
  int top = p[0].Y, bottom = p[0].Y;
  for (const auto& q : p) {
    top = std::min(top, q.Y);
    bottom = std::max(bottom, q.Y);
  }
  top = std::max(top, t.Clip.Top);
  bottom = std::min(bottom, t.Clip.Bottom);
  // Alternate fill at pixel centres: a pixel is in when its centre lies
  // between an odd and the next even crossing of its row.
  std::vector<double> crossings;
  for (int y = top; y < bottom; ++y) {
    const double yc = y + 0.5;
    crossings.clear();
    for (size_t i = 0; i < p.size(); ++i) {
      const TPoint a = p[i], b = p[(i + 1) % p.size()];
      if ((a.Y <= yc && yc < b.Y) || (b.Y <= yc && yc < a.Y))
        crossings.push_back(a.X + (yc - a.Y) * double(b.X - a.X) / double(b.Y - a.Y));
    }
    std::sort(crossings.begin(), crossings.end());
    for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
      const int x0 = int(std::ceil(crossings[i] - 0.5)), x1 = int(std::ceil(crossings[i + 1] - 0.5));
      BrushSpan(t, y, x0, x1, FPen.Mode());
    }
  }
  if (FPen.Style() != psClear) {
    if (FPen.Width() > 1) {
      WideLines(t, p, true);
    } else {
      int patternPos = 0;
      for (size_t i = 0; i < p.size(); ++i) PenLine(t, p[i], p[(i + 1) % p.size()], p.size() == 1, patternPos);
    }
  }
  Changed(t);
}

void TCanvas::Polyline(std::span<const TPoint> points) {
  const TTarget t = Target();
  if (t.View.Empty() || points.size() < 2) return;
  if (FPen.Style() != psClear) {
    std::vector<TPoint> p(points.begin(), points.end());
    for (auto& q : p) q = {q.X + t.Origin.X, q.Y + t.Origin.Y};
    if (FPen.Width() > 1) {
      WideLines(t, p, false);
    } else {
      int patternPos = 0;
      for (size_t i = 0; i + 1 < p.size(); ++i) PenLine(t, p[i], p[i + 1], false, patternPos);
    }
  }
  FPenPos = points.back();
  Changed(t);
}

void TCanvas::LineTo(int x, int y) {
  const TPoint points[] = {FPenPos, {x, y}};
  Polyline(points);
}

void TCanvas::PenLine(const TTarget& t, TPoint a, TPoint b, bool lastPoint, int& patternPos) const {
  const uint32_t pixel = DrawColor(FPen.Color(), t);
  const TPenMode mode = FPen.Mode();
  const TPenStyle style = FPen.Style();
  // Bresenham along the major axis; the end point is drawn only on request.
  const int dx = std::abs(b.X - a.X), dy = std::abs(b.Y - a.Y);
  const int stepX = b.X >= a.X ? 1 : -1, stepY = b.Y >= a.Y ? 1 : -1;
  const int steps = std::max(dx, dy) + (lastPoint ? 1 : 0);
  // Solid horizontal and vertical lines (frames and bevels, drawn at every
  // frame) plot the same pixels as the general walk, a row or a column at once.
  if (steps > 0 && DashesAreSolid(style) && (dy == 0 || dx == 0)) {
    patternPos += steps;
    const int first = dy == 0 ? a.X : a.Y, last = first + (dy == 0 ? stepX : stepY) * (steps - 1);
    const int low = std::min(first, last), high = std::max(first, last) + 1;
    if (dy == 0) return Span(t, a.Y, low, high, pixel, mode);
    for (int y = std::max(low, t.Clip.Top); y < std::min(high, t.Clip.Bottom); ++y) Plot(t, a.X, y, pixel, mode);
    return;
  }
  int x = a.X, y = a.Y;
  int error = (dx >= dy ? dx : dy) / 2;
  for (int i = 0; i < steps; ++i) {
    if (DashOn(style, patternPos++)) Plot(t, x, y, pixel, mode);
    if (dx >= dy) {
      x += stepX;
      error -= dy;
      if (error < 0) {
        y += stepY;
        error += dx;
      }
    } else {
      y += stepY;
      error -= dx;
      if (error < 0) {
        x += stepX;
        error += dy;
      }
    }
  }
}

void TCanvas::WideLines(const TTarget& t, std::span<const TPoint> points, bool closed) const {
  const int w = FPen.Width();
  TRect box{points[0].X, points[0].Y, points[0].X + 1, points[0].Y + 1};
  for (const auto& p : points) box = UnionRect(box, {p.X, p.Y, p.X + 1, p.Y + 1});
  box = IntersectRect(InflateRect(box, w, w), t.Clip);
  if (IsRectEmpty(box)) return;
  // The platform rasterises the stroke into a mask without anti-aliasing;
  // the mask is then painted like any other figure.
  const TSurfacePtr mask = RasteriseWideStroke(points, closed, w, box);
  PaintMask(t, mask->Bytes(), mask->Stride(), box, DrawColor(FPen.Color(), t), FPen.Mode());
}

void TCanvas::PaintMask(const TTarget& t, const uint8_t* mask, int stride, const TRect& box, uint32_t pixel,
                        TPenMode mode) const {
  const TRect area = IntersectRect(box, t.Clip);
  for (int y = area.Top; y < area.Bottom; ++y) {
    const uint8_t* m = mask + std::ptrdiff_t(y - box.Top) * stride;
    for (int x = area.Left; x < area.Right; ++x)
      if (m[x - box.Left] >= 128) Plot(t, x, y, pixel, mode);
  }
}

TRect TCanvas::ClipRect() const {
  const TTarget t = Target();
  return OffsetRect(t.Clip, -t.Origin.X, -t.Origin.Y);
}

TColor TCanvas::Pixels(int x, int y) const {
  const TTarget t = Target();
  const TPoint p{x + t.Origin.X, y + t.Origin.Y};
  if (t.View.Empty() || !PtInRect(t.Clip, p)) return -1;
  return PixelToColor(t.View.Row(p.Y)[p.X]);
}

void TCanvas::SetPixels(int x, int y, TColor color) {
  const TTarget t = Target();
  if (t.View.Empty()) return;
  Plot(t, x + t.Origin.X, y + t.Origin.Y, DrawColor(color, t), pmCopy);
  Changed(t);
}

void TCanvas::Lock() {
  FLock.lock();
  ++FLockCount;
}

void TCanvas::Unlock() {
  --FLockCount;
  FLock.unlock();
}

bool TCanvas::TryLock() {
  if (!FLock.try_lock()) return false;
  ++FLockCount;
  return true;
}
