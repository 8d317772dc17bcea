// Wide pens through GDI (Windows): the stroke is GDI's own geometric pen
// (round caps, round joins) on a white-on-black mask, so wide lines look as
// GDI draws them.
#include <algorithm>
#include <vector>

#include "GdiMask.h"
#include "GraphicsBase.h"
#include "StrokeMask.h"

namespace {
// A GDI object selected into a DC for the scope, then deselected and deleted.
class TSelected {
public:
  TSelected(HDC dc, HGDIOBJ object) : FDc(dc), FObject(object), FPrevious(object ? SelectObject(dc, object) : nullptr) {}
  ~TSelected() {
    if (!FObject) return;
    SelectObject(FDc, FPrevious);
    DeleteObject(FObject);
  }
  TSelected(const TSelected&) = delete;
  TSelected& operator=(const TSelected&) = delete;
  explicit operator bool() const noexcept { return FObject != nullptr; }

private:
  HDC FDc;
  HGDIOBJ FObject;
  HGDIOBJ FPrevious;
};
}  // namespace

TSurfacePtr RasteriseWideStroke(std::span<const TPoint> points, bool closed, int width, const TRect& box) {
  const TGdiMask mask(box.Width(), box.Height());
  if (points.empty()) return mask.ToSurface();
  HDC dc = mask.Dc();
  const int w = std::max(1, width);
  std::vector<POINT> p;
  p.reserve(points.size());
  for (const TPoint& q : points) p.push_back({LONG(q.X - box.Left), LONG(q.Y - box.Top)});
  {
    const LOGBRUSH white{BS_SOLID, RGB(255, 255, 255), 0};
    const TSelected pen(dc, ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, DWORD(w), &white,
                                         0, nullptr));
    if (!pen) throw EOutOfResources("Ressources insuffisantes");
    // A path, so that a closed figure's last corner is a join like the
    // others. One point is a line of no length, whose round caps make the
    // dot.
    BeginPath(dc);
    MoveToEx(dc, p[0].x, p[0].y, nullptr);
    if (p.size() > 1) PolylineTo(dc, p.data() + 1, DWORD(p.size() - 1));
    else LineTo(dc, p[0].x, p[0].y);
    if (closed) CloseFigure(dc);
    EndPath(dc);
    StrokePath(dc);
  }
  const bool dot = std::all_of(p.begin(), p.end(), [&](const POINT& q) { return q.x == p[0].x && q.y == p[0].y; });
  if (dot && IsRectEmpty(mask.LitBounds())) {
    // A GDI that strokes nothing for a line of no length: the round cap is
    // drawn as the disc it is, w pixels across.
    const TSelected pen(dc, CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
    const TSelected brush(dc, CreateSolidBrush(RGB(255, 255, 255)));
    if (!pen || !brush) throw EOutOfResources("Ressources insuffisantes");
    const int left = p[0].x - w / 2, top = p[0].y - w / 2;
    Ellipse(dc, left, top, left + w, top + w);
  }
  return mask.ToSurface();
}
