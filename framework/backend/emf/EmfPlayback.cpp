#include "EmfPlayback.h"

#include <iconv.h>
#include <uemf.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "BitmapCodec.h"
#include "Canvas.h"
#include "Font.h"
#include "GraphicsBase.h"

namespace emf {

TXform TXform::Then(const TXform& n) const noexcept {
  return {M11 * n.M11 + M12 * n.M21, M11 * n.M12 + M12 * n.M22, M21 * n.M11 + M22 * n.M21,
          M21 * n.M12 + M22 * n.M22, Dx * n.M11 + Dy * n.M21 + n.Dx, Dx * n.M12 + Dy * n.M22 + n.Dy};
}

TXform PageTransform(const TPageSetup& page, double pixelsPerMmX, double pixelsPerMmY) noexcept {
  double sx = 1, sy = 1;
  // Millimetres per logical unit of the fixed modes.
  double unitMm = 0;
  switch (page.MapMode) {
    case U_MM_LOMETRIC: unitMm = 0.1; break;
    case U_MM_HIMETRIC: unitMm = 0.01; break;
    case U_MM_LOENGLISH: unitMm = 0.254; break;
    case U_MM_HIENGLISH: unitMm = 0.0254; break;
    case U_MM_TWIPS: unitMm = 25.4 / 1440; break;
    case U_MM_ISOTROPIC:
    case U_MM_ANISOTROPIC: {
      const double wx = page.WindowExt.X != 0 ? page.WindowExt.X : 1, wy = page.WindowExt.Y != 0 ? page.WindowExt.Y : 1;
      sx = page.ViewportExt.X / wx;
      sy = page.ViewportExt.Y / wy;
      if (page.MapMode == U_MM_ISOTROPIC) {
        const double s = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(s, sx);
        sy = std::copysign(s, sy);
      }
      break;
    }
    default: break;  // MM_TEXT: one unit, one pixel
  }
  if (unitMm > 0) {
    sx = unitMm * pixelsPerMmX;
    sy = -unitMm * pixelsPerMmY;
  }
  return {sx, 0, 0, sy, page.ViewportOrg.X - page.WindowOrg.X * sx, page.ViewportOrg.Y - page.WindowOrg.Y * sy};
}

std::vector<TPointD> ArcPoints(TPointD c, double rx, double ry, TPointD start, TPointD end, bool clockwise) {
  std::vector<TPointD> points;
  if (!(rx > 0) || !(ry > 0)) return points;
  // Angles of the radials on the circle the ellipse is a scaled copy of,
  // y up as angles are counted.
  const double a0 = std::atan2(-(start.Y - c.Y) / ry, (start.X - c.X) / rx);
  const double a1 = std::atan2(-(end.Y - c.Y) / ry, (end.X - c.X) / rx);
  double sweep = clockwise ? a0 - a1 : a1 - a0;
  while (sweep <= 1e-12) sweep += 2 * std::numbers::pi;
  const double perimeter = std::numbers::pi * (rx + ry);
  const int steps = ClampedInt(std::ceil(perimeter * sweep / (2 * std::numbers::pi) / 2), 4, 2000);
  points.reserve(size_t(steps) + 1);
  for (int i = 0; i <= steps; ++i) {
    const double a = a0 + (clockwise ? -1 : 1) * sweep * i / steps;
    points.push_back({c.X + rx * std::cos(a), c.Y - ry * std::sin(a)});
  }
  return points;
}

namespace {

// ---- reading records ------------------------------------------------------

struct TRecord {
  const uint8_t* Data;
  uint32_t Type;
  uint32_t Size;
  // A field of type T at `offset`, or nothing when the record is too short.
  template <class T> std::optional<T> Get(size_t offset = 0) const {
    if (offset > Size || Size - offset < sizeof(T)) return std::nullopt;
    T value;
    std::memcpy(&value, Data + offset, sizeof(T));
    return value;
  }
  bool Holds(size_t offset, size_t bytes) const { return offset <= Size && Size - offset >= bytes; }
};

uint32_t Rgb(U_COLORREF c) { return (uint32_t(c.Red) << 16) | (uint32_t(c.Green) << 8) | c.Blue; }

// ---- GDI objects ---------------------------------------------------------

struct TPenObject {
  bool Null = false;
  bool Geometric = false;  // an ExtCreatePen geometric pen (caps, joins)
  bool Cosmetic = false;   // an ExtCreatePen cosmetic pen: always one pixel
  double Width = 0;        // logical units; 0 is one pixel
  uint32_t Color = 0;
  int Style = U_PS_SOLID;  // the dash style (low byte of the pen style)
  TCap Cap = cpRound;
  TJoin Join = jnRound;
  bool InsideFrame = false;
  TDashes UserDashes;
};

struct TBrushObject {
  enum TKind { bkSolid, bkNull, bkHatched, bkPattern } Kind = bkSolid;
  uint32_t Color = 0xFFFFFF;
  int Hatch = 0;
  // A pattern: its pixels, or for a monochrome one the bits (1 = set), which
  // take the background colour, and the others the text colour, when drawn.
  std::shared_ptr<const std::vector<uint32_t>> Pattern;
  int PatternWidth = 0, PatternHeight = 0;
  bool Monochrome = false;
};

struct TFontObject {
  int Height = 0, Width = 0, Escapement = 0, Weight = 400;
  bool Italic = false, Underline = false, StrikeOut = false;
  int Charset = 0;
  std::string Face;
};

struct TObject {
  enum TKind { okNone, okPen, okBrush, okFont } Kind = okNone;
  TPenObject Pen;
  TBrushObject Brush;
  TFontObject Font;
};

TPenObject StockPen(uint32_t index) {
  TPenObject pen;
  if (index == U_NULL_PEN) pen.Null = true;
  if (index == U_WHITE_PEN) pen.Color = 0xFFFFFF;
  return pen;
}

TBrushObject StockBrush(uint32_t index) {
  TBrushObject brush;
  switch (index) {
    case U_WHITE_BRUSH: brush.Color = 0xFFFFFF; break;
    case U_LTGRAY_BRUSH: brush.Color = 0xC0C0C0; break;
    case U_GRAY_BRUSH: brush.Color = 0x808080; break;
    case U_DKGRAY_BRUSH: brush.Color = 0x404040; break;
    case U_BLACK_BRUSH: brush.Color = 0; break;
    case U_NULL_BRUSH: brush.Kind = TBrushObject::bkNull; break;
    default: break;
  }
  return brush;
}

TFontObject StockFont() {
  TFontObject font;
  font.Height = 16;
  font.Face = "Arial";
  return font;
}

// ---- the device context ----------------------------------------------------

struct TSubpath {
  std::vector<TPointD> Points;  // device coordinates
  bool Closed = false;
};

struct TDc {
  TPageSetup Page;
  TXform World;
  TPenObject Pen = StockPen(U_BLACK_PEN);
  TBrushObject Brush = StockBrush(U_WHITE_BRUSH);
  TFontObject Font = StockFont();
  uint32_t TextColor = 0, BkColor = 0xFFFFFF;
  int BkMode = U_OPAQUE, TextAlign = 0, FillMode = U_ALTERNATE, Rop2 = U_R2_COPYPEN;
  int ArcDirection = U_AD_COUNTERCLOCKWISE;
  int StretchMode = U_BLACKONWHITE;
  double MiterLimit = 10;
  TPointD Position;  // logical
  TPoint BrushOrigin;
  std::shared_ptr<const TCoverage> Clip;
};

// ---- decoding bitmaps ----------------------------------------------------

// A packed DIB (header, palette, then bits at their own offset) decoded by
// the project's bitmap decoder, which checks every size.
std::optional<TDecodedImage> DecodeDib(const TRecord& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits,
                                       uint32_t cbBits) {
  if (cbBmi < 12 || !r.Holds(offBmi, cbBmi) || !r.Holds(offBits, cbBits)) return std::nullopt;
  std::vector<uint8_t> file(14 + size_t(cbBmi) + cbBits);
  const uint32_t size = uint32_t(file.size()), bitsAt = 14 + cbBmi;
  file[0] = 'B';
  file[1] = 'M';
  std::memcpy(&file[2], &size, 4);
  std::memcpy(&file[10], &bitsAt, 4);
  std::memcpy(&file[14], r.Data + offBmi, cbBmi);
  std::memcpy(&file[14 + cbBmi], r.Data + offBits, cbBits);
  try {
    return DecodeBmp(file, "bitmap");
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// The fourth byte of a plain 32-bit DIB's pixels, top row first: the
// alpha channel AlphaBlend reads (the decoder, like every other bitmap
// operation, treats it as unused). Empty when the bitmap is not one.
std::vector<uint8_t> RawAlpha(const TRecord& r, uint32_t offBmi, uint32_t offBits, uint32_t cbBits, int width,
                              int height) {
  const auto bpp = r.Get<uint16_t>(offBmi + 14);
  const auto compression = r.Get<uint32_t>(offBmi + 16);
  const auto rawHeight = r.Get<int32_t>(offBmi + 8);
  if (!bpp || !compression || !rawHeight || *bpp != 32 || (*compression != 0 && *compression != 3)) return {};
  const size_t rowBytes = size_t(width) * 4;
  if (size_t(cbBits) < rowBytes * size_t(height) || !r.Holds(offBits, rowBytes * size_t(height))) return {};
  std::vector<uint8_t> alpha(size_t(width) * size_t(height));
  for (int row = 0; row < height; ++row) {
    const int y = *rawHeight > 0 ? height - 1 - row : row;
    for (int x = 0; x < width; ++x) alpha[size_t(y) * size_t(width) + size_t(x)] = r.Data[offBits + row * rowBytes + x * 4 + 3];
  }
  return alpha;
}

bool BottomUp(const TRecord& r, uint32_t offBmi) {
  const auto height = r.Get<int32_t>(offBmi + 8);
  return height && *height > 0;
}

// The 8 x 8 lines of the six hatch styles (bit 7 is the leftmost pixel).
const uint8_t kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal
    {0x08, 0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

// The source pixels of [u0, u1) x [v0, v1) combined as a shrinking
// StretchBlt does: ANDed (BLACKONWHITE, which keeps black lines), ORed
// (WHITEONBLACK) or averaged (HALFTONE). Large areas are sampled.
uint32_t StretchSample(const TDecodedImage& image, double u0, double u1, double v0, double v1, int mode) {
  const int c0 = ClampedInt(std::floor(u0), 0, image.Width - 1);
  const int c1 = ClampedInt(std::ceil(u1), c0 + 1, image.Width);
  const int r0 = ClampedInt(std::floor(v0), 0, image.Height - 1);
  const int r1 = ClampedInt(std::ceil(v1), r0 + 1, image.Height);
  const int stepC = std::max(1, (c1 - c0) / 16), stepR = std::max(1, (r1 - r0) / 16);
  uint32_t all = 0xFFFFFF, any = 0;
  uint64_t sum[3] = {0, 0, 0}, n = 0;
  for (int r = r0; r < r1; r += stepR)
    for (int c = c0; c < c1; c += stepC) {
      const uint32_t p = image.Pixels[size_t(r) * size_t(image.Width) + size_t(c)] & 0xFFFFFF;
      all &= p;
      any |= p;
      sum[0] += p >> 16, sum[1] += (p >> 8) & 0xFF, sum[2] += p & 0xFF;
      ++n;
    }
  if (mode == U_BLACKONWHITE) return all;
  if (mode == U_WHITEONBLACK) return any;
  return uint32_t(((sum[0] + n / 2) / n) << 16 | ((sum[1] + n / 2) / n) << 8 | ((sum[2] + n / 2) / n));
}

// The image at a point between pixel centres, interpolated linearly (edges
// repeated).
uint32_t Interpolate(const TDecodedImage& image, double u, double v) {
  const int c = ClampedInt(std::floor(u), -1, image.Width), r = ClampedInt(std::floor(v), -1, image.Height);
  const double fu = u - c, fv = v - r;
  auto at = [&](int cc, int rr) {
    cc = std::clamp(cc, 0, image.Width - 1), rr = std::clamp(rr, 0, image.Height - 1);
    return image.Pixels[size_t(rr) * size_t(image.Width) + size_t(cc)];
  };
  const uint32_t p00 = at(c, r), p10 = at(c + 1, r), p01 = at(c, r + 1), p11 = at(c + 1, r + 1);
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) {
    auto ch = [&](uint32_t p) { return double((p >> shift) & 0xFF); };
    const double top = ch(p00) + (ch(p10) - ch(p00)) * fu, bottom = ch(p01) + (ch(p11) - ch(p01)) * fu;
    out |= uint32_t(std::clamp(std::lround(top + (bottom - top) * fv), 0L, 255L)) << shift;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) out.push_back(char(c));
  else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (c >> 18)));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

// ---- the player ------------------------------------------------------------

class TPlayer {
public:
  TPlayer(TRaster& raster, const TXform& deviceFromReference, double pxPerMmX, double pxPerMmY, uint32_t handles)
      : FRaster(raster), FDevice(deviceFromReference), FPxPerMmX(pxPerMmX), FPxPerMmY(pxPerMmY),
        FObjects(std::min<uint32_t>(handles, 65536)) {}

  void Record(const TRecord& r);

private:
  // ---- transforms ----
  TXform Full() const { return FDc.World.Then(PageTransform(FDc.Page, FPxPerMmX, FPxPerMmY)).Then(FDevice); }
  TPointD ToDevice(double x, double y) const { return Full().Apply({x, y}); }
  // Sets the current position (kept in logical units) to a device point;
  // left as it is where the transform cannot be undone.
  void MoveToDevice(TPointD device) {
    const TXform f = Full();
    const double det = f.Determinant();
    if (!(std::fabs(det) > 1e-300)) return;
    const double x = device.X - f.Dx, y = device.Y - f.Dy;
    FDc.Position = {(x * f.M22 - y * f.M21) / det, (y * f.M11 - x * f.M12) / det};
  }
  // The four corners of a logical rectangle on the device.
  std::vector<TPointD> Corners(const U_RECTL& r) const {
    const TXform f = Full();
    return {f.Apply({double(r.left), double(r.top)}), f.Apply({double(r.right), double(r.top)}),
            f.Apply({double(r.right), double(r.bottom)}), f.Apply({double(r.left), double(r.bottom)})};
  }
  // Device pixels per logical unit along each axis, and overall.
  double ScaleX() const { const TXform f = Full(); return std::hypot(f.M11, f.M12); }
  double ScaleY() const { const TXform f = Full(); return std::hypot(f.M21, f.M22); }
  double Scale() const { return std::sqrt(std::fabs(Full().Determinant())); }
  // Whether the logical y axis points up on the device (text and arcs turn
  // the other way then).
  bool Flipped() const { return Full().Determinant() < 0; }

  // ---- painting ----
  TPaint BrushPaint(const TBrushObject& brush) const;
  TRect CoverBox(const std::vector<TPointD>& points, double margin) const;
  void FillDevice(const std::vector<std::vector<TPointD>>& polygons, const TBrushObject& brush, TFillRule rule,
                  int rop2);
  // The fill rule the polygon fill mode names.
  TFillRule FillRule() const { return FDc.FillMode == U_WINDING ? frWinding : frAlternate; }
  // The pixels of `box` a polygon covers (alternate rule).
  static TCoverage PolygonCoverage(const std::vector<TPointD>& polygon, const TRect& box);
  // The path's subpaths as polygons.
  std::vector<std::vector<TPointD>> PathPolygons() const;
  void StrokeDevice(const std::vector<TPointD>& points, bool closed);
  // A figure: filled with the brush (when closed), outlined with the pen;
  // inside a path bracket it becomes part of the path instead.
  void Figure(std::vector<TPointD> points, bool closed, bool fill = true);
  void PolyFigures(std::vector<std::vector<TPointD>> polygons, bool closed);

  // ---- records ----
  // `count` points from index `first` of the array at `pointsAt` (16- or
  // 32-bit pairs), on the device; false when the record does not hold them.
  bool Points(const TRecord& r, size_t pointsAt, size_t first, uint32_t count, bool shortPoints,
              std::vector<TPointD>& out) const;
  void Poly(const TRecord& r, bool shortPoints);
  void PolyPoly(const TRecord& r, bool shortPoints);
  void Box(const TRecord& r);
  void ArcRecord(const TRecord& r);
  std::vector<TPointD> Bezier(TPointD p0, std::span<const TPointD> controls) const;
  void CreatePen(const TRecord& r);
  void ExtCreatePen(const TRecord& r);
  void CreateBrush(const TRecord& r);
  void PatternBrush(const TRecord& r, bool monochrome);
  void CreateFont(const TRecord& r);
  void Select(uint32_t index);
  void Text(const TRecord& r, bool wide);
  void Blit(const TRecord& r);
  void Region(const TRecord& r);
  void ClipRegion(const TRecord& r);
  void ClipRect(const TRecord& r, bool exclude);
  void CombineClip(const TCoverage& with, int mode);
  void PathEnd(bool fill, bool stroke);
  void ClipPath(int mode);

  TObject* Object(uint32_t index) { return index < FObjects.size() ? &FObjects[index] : nullptr; }

  TRaster& FRaster;
  TXform FDevice;
  double FPxPerMmX, FPxPerMmY;
  std::vector<TObject> FObjects;
  TDc FDc;
  std::vector<TDc> FSaved;
  bool FInPath = false;
  std::vector<TSubpath> FPath;
};

TPaint TPlayer::BrushPaint(const TBrushObject& brush) const {
  TPaint paint;
  paint.Color = brush.Color;
  paint.TileOrigin = FDc.BrushOrigin;
  if (brush.Kind == TBrushObject::bkHatched) {
    auto tile = std::make_shared<std::vector<uint32_t>>(64);
    const int style = std::clamp(brush.Hatch, 0, 5);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool line = (kHatches[style][y] >> (7 - x)) & 1;
        // The gaps show the background colour only with an opaque background.
        (*tile)[size_t(y * 8 + x)] = line ? 0xFF000000u | brush.Color
                                          : (FDc.BkMode == U_OPAQUE ? 0xFF000000u | FDc.BkColor : 0u);
      }
    paint.Tile = std::move(tile);
    paint.TileWidth = paint.TileHeight = 8;
  } else if (brush.Kind == TBrushObject::bkPattern && brush.Pattern) {
    if (brush.Monochrome) {
      auto tile = std::make_shared<std::vector<uint32_t>>(*brush.Pattern);
      for (uint32_t& p : *tile) p = 0xFF000000u | (p ? FDc.BkColor : FDc.TextColor);
      paint.Tile = std::move(tile);
    } else {
      paint.Tile = brush.Pattern;
    }
    paint.TileWidth = brush.PatternWidth;
    paint.TileHeight = brush.PatternHeight;
  }
  return paint;
}

TRect TPlayer::CoverBox(const std::vector<TPointD>& points, double margin) const {
  double l = 1e300, t = 1e300, r = -1e300, b = -1e300;
  for (const TPointD& p : points) {
    l = std::min(l, p.X), t = std::min(t, p.Y), r = std::max(r, p.X), b = std::max(b, p.Y);
  }
  TRect box = FRaster.Bounds();
  if (FDc.Clip) {
    const TRect& c = FDc.Clip->Box;
    box = {std::max(box.Left, c.Left), std::max(box.Top, c.Top), std::min(box.Right, c.Right),
           std::min(box.Bottom, c.Bottom)};
  }
  if (points.empty() || !(l <= r)) return {};
  auto clampInt = [](double v) { return ClampedInt(v, -100000000, 100000000); };
  return {std::max(box.Left, clampInt(std::floor(l - margin)) - 1), std::max(box.Top, clampInt(std::floor(t - margin)) - 1),
          std::min(box.Right, clampInt(std::ceil(r + margin)) + 2), std::min(box.Bottom, clampInt(std::ceil(b + margin)) + 2)};
}

void TPlayer::FillDevice(const std::vector<std::vector<TPointD>>& polygons, const TBrushObject& brush, TFillRule rule,
                         int rop2) {
  if (brush.Kind == TBrushObject::bkNull) return;
  std::vector<TPointD> all;
  for (const auto& p : polygons) all.insert(all.end(), p.begin(), p.end());
  TCoverage coverage = NewCoverage(CoverBox(all, 1));
  FillPolygons(coverage, polygons, rule);
  FRaster.Paint(coverage, BrushPaint(brush), rop2);
}

TCoverage TPlayer::PolygonCoverage(const std::vector<TPointD>& polygon, const TRect& box) {
  TCoverage coverage = NewCoverage(box);
  const std::vector<TPointD> polygons[1] = {polygon};
  FillPolygons(coverage, polygons, frAlternate);
  return coverage;
}

std::vector<std::vector<TPointD>> TPlayer::PathPolygons() const {
  std::vector<std::vector<TPointD>> polygons;
  for (const TSubpath& s : FPath) polygons.push_back(s.Points);
  return polygons;
}

void TPlayer::StrokeDevice(const std::vector<TPointD>& points, bool closed) {
  const TPenObject& pen = FDc.Pen;
  if (pen.Null || points.empty() || pen.Style == U_PS_NULL) return;
  // A pen's width is in logical units (0 is one pixel, whatever the
  // scale); one that comes out a pixel wide is the cosmetic line with its
  // dash pattern, anything wider is drawn wide, solid.
  const double width = pen.Cosmetic || pen.Width == 0 ? 1 : std::floor(pen.Width * Scale() + 0.5);
  TPaint paint;
  paint.Color = pen.Color;
  if (width <= 1) {
    TDashes dashes;
    switch (pen.Style) {
      case U_PS_DASH: dashes = {18, 6}; break;
      case U_PS_DOT: dashes = {3, 3}; break;
      case U_PS_DASHDOT: dashes = {9, 6, 3, 6}; break;
      case U_PS_DASHDOTDOT: dashes = {9, 3, 3, 3, 3, 3}; break;
      case U_PS_ALTERNATE: dashes = {1, 1}; break;
      case U_PS_USERSTYLE: dashes = pen.UserDashes; break;
      default: break;
    }
    TCoverage coverage = NewCoverage(CoverBox(points, 1));
    std::vector<TPoint> p;
    p.reserve(points.size() + 1);
    for (const TPointD& q : points) p.push_back({PixelOf(q.X), PixelOf(q.Y)});
    if (closed && p.size() > 1) p.push_back(p.front());
    int dashPos = 0;
    for (size_t i = 0; i + 1 < p.size(); ++i) CosmeticLine(coverage, p[i], p[i + 1], dashes, dashPos);
    if (p.size() == 1 && !coverage.Empty() && p[0].X >= coverage.Box.Left && p[0].X < coverage.Box.Right &&
        p[0].Y >= coverage.Box.Top && p[0].Y < coverage.Box.Bottom)
      coverage.At(p[0].X, p[0].Y) = 1;
    FRaster.Paint(coverage, paint, FDc.Rop2);
    return;
  }
  const double w = width;
  TCoverage coverage = NewCoverage(CoverBox(points, w));
  WideLine(coverage, points, closed, w, pen.Cap, pen.Join, FDc.MiterLimit);
  FRaster.Paint(coverage, paint, FDc.Rop2);
}

void TPlayer::Figure(std::vector<TPointD> points, bool closed, bool fill) {
  if (FInPath) {
    FPath.push_back({std::move(points), closed});
    return;
  }
  if (closed && fill) {
    FillDevice({points}, FDc.Brush, FillRule(), FDc.Rop2);
  }
  StrokeDevice(points, closed);
}

void TPlayer::PolyFigures(std::vector<std::vector<TPointD>> polygons, bool closed) {
  if (FInPath) {
    for (auto& p : polygons) FPath.push_back({std::move(p), closed});
    return;
  }
  if (closed) FillDevice(polygons, FDc.Brush, FillRule(), FDc.Rop2);
  for (const auto& p : polygons) StrokeDevice(p, closed);
}

bool TPlayer::Points(const TRecord& r, size_t pointsAt, size_t first, uint32_t count, bool shortPoints,
                     std::vector<TPointD>& out) const {
  const size_t size = shortPoints ? 4 : 8;
  if (!r.Holds(pointsAt, (first + count) * size)) return false;
  const TXform f = Full();
  out.reserve(out.size() + count);
  for (size_t i = first; i < first + count; ++i) {
    const uint8_t* at = r.Data + pointsAt + i * size;
    if (shortPoints) {
      U_POINT16 p;
      std::memcpy(&p, at, sizeof p);
      out.push_back(f.Apply({double(p.x), double(p.y)}));
    } else {
      U_POINTL p;
      std::memcpy(&p, at, sizeof p);
      out.push_back(f.Apply({double(p.x), double(p.y)}));
    }
  }
  return true;
}

std::vector<TPointD> TPlayer::Bezier(TPointD p0, std::span<const TPointD> controls) const {
  std::vector<TPointD> out{p0};
  for (size_t i = 0; i + 2 < controls.size(); i += 3) {
    const TPointD a = out.back(), b = controls[i], c = controls[i + 1], d = controls[i + 2];
    const double length = std::hypot(b.X - a.X, b.Y - a.Y) + std::hypot(c.X - b.X, c.Y - b.Y) +
                          std::hypot(d.X - c.X, d.Y - c.Y);
    const int steps = std::clamp(int(length / 3), 2, 200);
    for (int s = 1; s <= steps; ++s) {
      const double t = double(s) / steps, u = 1 - t;
      out.push_back({u * u * u * a.X + 3 * u * u * t * b.X + 3 * u * t * t * c.X + t * t * t * d.X,
                     u * u * u * a.Y + 3 * u * u * t * b.Y + 3 * u * t * t * c.Y + t * t * t * d.Y});
    }
  }
  return out;
}

void TPlayer::Poly(const TRecord& r, bool shortPoints) {
  // rclBounds (16 bytes) then the count, then the points.
  std::vector<TPointD> points;
  const auto count = r.Get<uint32_t>(24);
  if (!count || !Points(r, 28, 0, *count, shortPoints, points) || points.empty()) return;
  const TPointD current = ToDevice(FDc.Position.X, FDc.Position.Y);
  auto moveTo = [&](const TPointD& device) { MoveToDevice(device); };
  switch (r.Type) {
    case U_EMR_POLYGON:
    case U_EMR_POLYGON16: Figure(std::move(points), true); break;
    case U_EMR_POLYLINE:
    case U_EMR_POLYLINE16: Figure(std::move(points), false); break;
    case U_EMR_POLYBEZIER:
    case U_EMR_POLYBEZIER16: {
      const TPointD first = points.front();
      Figure(Bezier(first, std::span(points).subspan(1)), false);
      break;
    }
    case U_EMR_POLYLINETO:
    case U_EMR_POLYLINETO16: {
      moveTo(points.back());
      points.insert(points.begin(), current);
      if (FInPath && !FPath.empty() && !FPath.back().Closed) {
        FPath.back().Points.insert(FPath.back().Points.end(), points.begin() + 1, points.end());
      } else {
        Figure(std::move(points), false);
      }
      break;
    }
    case U_EMR_POLYBEZIERTO:
    case U_EMR_POLYBEZIERTO16: {
      moveTo(points[points.size() - 1 - (points.size() % 3)]);
      std::vector<TPointD> curve = Bezier(current, points);
      if (FInPath && !FPath.empty() && !FPath.back().Closed) {
        FPath.back().Points.insert(FPath.back().Points.end(), curve.begin() + 1, curve.end());
      } else {
        Figure(std::move(curve), false);
      }
      break;
    }
    default: break;
  }
}

void TPlayer::PolyPoly(const TRecord& r, bool shortPoints) {
  const auto polys = r.Get<uint32_t>(24);
  const auto total = r.Get<uint32_t>(28);
  if (!polys || !total) return;
  const size_t countsAt = 32, pointsAt = countsAt + size_t(*polys) * 4;
  if (!r.Holds(countsAt, size_t(*polys) * 4)) return;
  std::vector<std::vector<TPointD>> polygons;
  size_t next = 0;
  for (uint32_t i = 0; i < *polys; ++i) {
    uint32_t count;
    std::memcpy(&count, r.Data + countsAt + i * 4, 4);
    if (count > *total - next) return;
    std::vector<TPointD> polygon;
    if (!Points(r, pointsAt, next, count, shortPoints, polygon)) return;
    next += count;
    polygons.push_back(std::move(polygon));
  }
  const bool closed = r.Type == U_EMR_POLYPOLYGON || r.Type == U_EMR_POLYPOLYGON16;
  PolyFigures(std::move(polygons), closed);
}

// Rectangle, ellipse and round rectangle: a box in logical units whose
// right and bottom edges lie outside the figure.
void TPlayer::Box(const TRecord& r) {
  const auto box = r.Get<U_RECTL>(8);
  if (!box) return;
  const TXform f = Full();
  const bool axisAligned = std::fabs(f.M12) < 1e-12 && std::fabs(f.M21) < 1e-12;
  TPointD a = f.Apply({double(box->left), double(box->top)}), b = f.Apply({double(box->right), double(box->bottom)});
  double l = std::floor(std::min(a.X, b.X) + 0.5), t = std::floor(std::min(a.Y, b.Y) + 0.5);
  double rr = std::floor(std::max(a.X, b.X) + 0.5), bb = std::floor(std::max(a.Y, b.Y) + 0.5);
  const bool nullPen = FDc.Pen.Null || FDc.Pen.Style == U_PS_NULL;
  if (FDc.Pen.InsideFrame && !nullPen) {
    const double inset = std::floor(FDc.Pen.Width * Scale() / 2);
    l += inset, t += inset, rr -= inset, bb -= inset;
  }
  // The outline runs through the last pixel inside the box.
  const double r1 = rr - 1, b1 = bb - 1;
  if (r1 < l || b1 < t) return;
  std::vector<TPointD> outline;
  if (r.Type == U_EMR_RECTANGLE) {
    if (!axisAligned) {
      outline = {f.Apply({double(box->left), double(box->top)}), f.Apply({double(box->right), double(box->top)}),
                 f.Apply({double(box->right), double(box->bottom)}), f.Apply({double(box->left), double(box->bottom)})};
      Figure(std::move(outline), true);
      return;
    }
    outline = {{l, t}, {r1, t}, {r1, b1}, {l, b1}};
    if (FInPath) {
      Figure(std::move(outline), true);
      return;
    }
    // The brush covers the box less its right and bottom edge lines (which
    // the pen covers, or with no pen nothing does).
    FillDevice({{{l, t}, {r1 + (nullPen ? 0 : 1), t}, {r1 + (nullPen ? 0 : 1), b1 + (nullPen ? 0 : 1)},
                 {l, b1 + (nullPen ? 0 : 1)}}},
               FDc.Brush, frAlternate, FDc.Rop2);
    StrokeDevice(outline, true);
    return;
  }
  const TPointD c{(l + r1) / 2, (t + b1) / 2};
  const double rx = (r1 - l) / 2, ry = (b1 - t) / 2;
  if (r.Type == U_EMR_ELLIPSE) {
    outline = ArcPoints(c, std::max(rx, 0.5), std::max(ry, 0.5), {c.X + 1, c.Y}, {c.X + 1, c.Y}, false);
    if (!outline.empty()) outline.pop_back();
    Figure(std::move(outline), true);
    return;
  }
  // Round rectangle: quarter ellipses of the corner size at the corners.
  const auto corner = r.Get<U_SIZEL>(24);
  if (!corner) return;
  const double cw = std::min(std::fabs(corner->cx * ScaleX()) / 2, rx), ch = std::min(std::fabs(corner->cy * ScaleY()) / 2, ry);
  auto quarter = [&](double cx, double cy, double from) {
    const int steps = ClampedInt(std::ceil((cw + ch) / 2), 2, 200);
    for (int i = 0; i <= steps; ++i) {
      const double a = from + std::numbers::pi / 2 * i / steps;
      outline.push_back({cx + cw * std::cos(a), cy - ch * std::sin(a)});
    }
  };
  quarter(r1 - cw, t + ch, 0);
  quarter(l + cw, t + ch, std::numbers::pi / 2);
  quarter(l + cw, b1 - ch, std::numbers::pi);
  quarter(r1 - cw, b1 - ch, 3 * std::numbers::pi / 2);
  Figure(std::move(outline), true);
}

void TPlayer::ArcRecord(const TRecord& r) {
  const auto box = r.Get<U_RECTL>(8);
  const auto start = r.Get<U_POINTL>(24);
  const auto end = r.Get<U_POINTL>(32);
  if (!box || !start || !end) return;
  const TXform f = Full();
  const TPointD a = f.Apply({double(box->left), double(box->top)}), b = f.Apply({double(box->right), double(box->bottom)});
  const double l = std::min(a.X, b.X), t = std::min(a.Y, b.Y), r1 = std::max(a.X, b.X) - 1, b1 = std::max(a.Y, b.Y) - 1;
  const TPointD c{(l + r1) / 2, (t + b1) / 2};
  const double rx = std::max((r1 - l) / 2, 0.5), ry = std::max((b1 - t) / 2, 0.5);
  // The arc direction is the device's: counter-clockwise as the picture is
  // seen, whichever way the logical y axis points.
  const bool clockwise = FDc.ArcDirection == U_AD_CLOCKWISE;
  std::vector<TPointD> arc = ArcPoints(c, rx, ry, f.Apply({double(start->x), double(start->y)}),
                                       f.Apply({double(end->x), double(end->y)}), clockwise);
  if (arc.empty()) return;
  switch (r.Type) {
    case U_EMR_ARC: Figure(std::move(arc), false); break;
    case U_EMR_ARCTO: {
      const TPointD from = ToDevice(FDc.Position.X, FDc.Position.Y);
      const TPointD last = arc.back();
      arc.insert(arc.begin(), from);
      if (FInPath && !FPath.empty() && !FPath.back().Closed) {
        FPath.back().Points.insert(FPath.back().Points.end(), arc.begin() + 1, arc.end());
      } else {
        Figure(std::move(arc), false);
      }
      MoveToDevice(last);
      break;
    }
    case U_EMR_CHORD: Figure(std::move(arc), true); break;
    case U_EMR_PIE:
      arc.push_back(c);
      Figure(std::move(arc), true);
      break;
    default: break;
  }
}

void TPlayer::CreatePen(const TRecord& r) {
  const auto index = r.Get<uint32_t>(8);
  const auto pen = r.Get<U_LOGPEN>(12);
  TObject* object = index ? Object(*index) : nullptr;
  if (!object || !pen) return;
  object->Kind = TObject::okPen;
  TPenObject& p = object->Pen;
  p = TPenObject{};
  p.Style = int(pen->lopnStyle & U_PS_STYLE_MASK);
  p.Null = p.Style == U_PS_NULL;
  p.InsideFrame = p.Style == U_PS_INSIDEFRAME;
  // As wide as it says in logical units, scaled with the picture; one
  // pixel when that is 0, as GDI's are.
  p.Width = std::abs(pen->lopnWidth.x);
  p.Color = Rgb(pen->lopnColor);
}

void TPlayer::ExtCreatePen(const TRecord& r) {
  const auto index = r.Get<uint32_t>(8);
  const auto elp = r.Get<U_EXTLOGPEN>(offsetof(U_EMREXTCREATEPEN, elp));
  TObject* object = index ? Object(*index) : nullptr;
  if (!object || !elp) return;
  object->Kind = TObject::okPen;
  TPenObject& p = object->Pen;
  p = TPenObject{};
  const uint32_t style = elp->elpPenStyle;
  p.Style = int(style & U_PS_STYLE_MASK);
  p.Null = p.Style == U_PS_NULL || elp->elpBrushStyle == U_BS_NULL;
  p.InsideFrame = p.Style == U_PS_INSIDEFRAME;
  p.Geometric = (style & U_PS_TYPE_MASK) == U_PS_GEOMETRIC;
  p.Cosmetic = !p.Geometric;
  p.Width = p.Geometric ? double(elp->elpWidth) : 1;
  p.Color = Rgb(elp->elpColor);
  switch (style & U_PS_ENDCAP_MASK) {
    case U_PS_ENDCAP_SQUARE: p.Cap = cpSquare; break;
    case U_PS_ENDCAP_FLAT: p.Cap = cpFlat; break;
    default: p.Cap = cpRound; break;
  }
  switch (style & U_PS_JOIN_MASK) {
    case U_PS_JOIN_BEVEL: p.Join = jnBevel; break;
    case U_PS_JOIN_MITER: p.Join = jnMiter; break;
    default: p.Join = jnRound; break;
  }
  if (p.Style == U_PS_USERSTYLE) {
    const size_t entriesAt = offsetof(U_EMREXTCREATEPEN, elp) + offsetof(U_EXTLOGPEN, elpStyleEntry);
    const uint32_t n = std::min<uint32_t>(elp->elpNumEntries, 16);
    if (r.Holds(entriesAt, n * 4u)) {
      for (uint32_t i = 0; i < n; ++i) {
        uint32_t entry;
        std::memcpy(&entry, r.Data + entriesAt + i * 4, 4);
        p.UserDashes.push_back(int(std::clamp<uint32_t>(entry, 1, 1000)));
      }
    }
  }
}

void TPlayer::CreateBrush(const TRecord& r) {
  const auto index = r.Get<uint32_t>(8);
  const auto brush = r.Get<U_LOGBRUSH>(12);
  TObject* object = index ? Object(*index) : nullptr;
  if (!object || !brush) return;
  object->Kind = TObject::okBrush;
  TBrushObject& b = object->Brush;
  b = TBrushObject{};
  b.Color = Rgb(brush->lbColor);
  switch (brush->lbStyle) {
    case U_BS_NULL: b.Kind = TBrushObject::bkNull; break;
    case U_BS_HATCHED:
      b.Kind = TBrushObject::bkHatched;
      b.Hatch = int(brush->lbHatch);
      break;
    default: b.Kind = TBrushObject::bkSolid; break;
  }
}

void TPlayer::PatternBrush(const TRecord& r, bool monochrome) {
  const auto fields = r.Get<U_EMRCREATEDIBPATTERNBRUSHPT>();
  TObject* object = fields ? Object(fields->ihBrush) : nullptr;
  if (!object) return;
  object->Kind = TObject::okBrush;
  TBrushObject& b = object->Brush;
  b = TBrushObject{};
  const std::optional<TDecodedImage> image = DecodeDib(r, fields->offBmi, fields->cbBmi, fields->offBits, fields->cbBits);
  if (!image || image->Width <= 0 || image->Height <= 0 || image->Width > 4096 || image->Height > 4096) {
    b.Color = 0x808080;  // a pattern that cannot be read paints grey, as a solid brush
    return;
  }
  b.Kind = TBrushObject::bkPattern;
  b.PatternWidth = image->Width;
  b.PatternHeight = image->Height;
  // A one-bit pattern takes the text and background colours when used (the
  // monochrome brush always; a DIB pattern brush when its palette is
  // black and white is drawn with its own colours).
  b.Monochrome = monochrome;
  auto pixels = std::make_shared<std::vector<uint32_t>>(image->Pixels);
  if (monochrome) {
    for (uint32_t& p : *pixels) p = (p & 0xFFFFFF) ? 1 : 0;
  } else {
    for (uint32_t& p : *pixels) p |= 0xFF000000u;
  }
  b.Pattern = std::move(pixels);
}

void TPlayer::CreateFont(const TRecord& r) {
  const auto index = r.Get<uint32_t>(8);
  const auto font = r.Get<U_LOGFONT>(12);
  TObject* object = index ? Object(*index) : nullptr;
  if (!object || !font) return;
  object->Kind = TObject::okFont;
  TFontObject& f = object->Font;
  f = TFontObject{};
  f.Height = font->lfHeight;
  f.Width = font->lfWidth;
  f.Escapement = font->lfEscapement;
  f.Weight = font->lfWeight;
  f.Italic = font->lfItalic != 0;
  f.Underline = font->lfUnderline != 0;
  f.StrikeOut = font->lfStrikeOut != 0;
  f.Charset = font->lfCharSet;
  for (int i = 0; i < U_LF_FACESIZE && font->lfFaceName[i] != 0; ++i) AppendUtf8(f.Face, char32_t(font->lfFaceName[i]));
}

void TPlayer::Select(uint32_t index) {
  if (index & U_STOCK_OBJECT) {
    // Stock objects (the numbers carry the stock flag); DC_BRUSH and DC_PEN
    // (0x80000012, 0x80000013) start as white and black.
    if (index <= U_NULL_BRUSH || index == 0x80000012u) FDc.Brush = StockBrush(index == 0x80000012u ? U_WHITE_BRUSH : index);
    else if (index <= U_NULL_PEN || index == 0x80000013u) FDc.Pen = StockPen(index == 0x80000013u ? U_BLACK_PEN : index);
    else if (index >= U_OEM_FIXED_FONT && index <= U_DEFAULT_GUI_FONT && index != U_DEFAULT_PALETTE) FDc.Font = StockFont();
    return;
  }
  const TObject* object = Object(index);
  if (!object) return;
  switch (object->Kind) {
    case TObject::okPen: FDc.Pen = object->Pen; break;
    case TObject::okBrush: FDc.Brush = object->Brush; break;
    case TObject::okFont: FDc.Font = object->Font; break;
    default: break;
  }
}

// ---- text ----

// Single-byte code pages of the charsets the A records name: the upper half
// of Windows-1252 as Unicode (the others fall back to it too).
char16_t Cp1252(uint8_t c) {
  static const char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                     0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  return c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : char16_t(c);
}

// The code page of a font's charset, by the name iconv knows it under;
// null for the charsets read as Windows-1252 (ANSI, DEFAULT) and Symbol.
const char* CodePageOf(int charset) {
  switch (charset) {
    case 77: return "MACINTOSH";
    case 128: return "CP932";  // Shift-JIS
    case 129: return "CP949";  // Hangul
    case 130: return "JOHAB";
    case 134: return "GBK";    // GB2312
    case 136: return "BIG5";
    case 161: return "CP1253";
    case 162: return "CP1254";
    case 163: return "CP1258";
    case 177: return "CP1255";
    case 178: return "CP1256";
    case 186: return "CP1257";
    case 204: return "CP1251";
    case 222: return "CP874";
    case 238: return "CP1250";
    case 255: return "CP437";  // OEM
    default: return nullptr;
  }
}

// The characters of an ANSI string in the charset's code page, each with the
// number of bytes it took (a double-byte character has two spacing entries).
void DecodeAnsi(const uint8_t* bytes, size_t count, int charset, std::u32string& chars, std::vector<int>& widths) {
  const char* codePage = CodePageOf(charset);
  iconv_t cd = codePage ? iconv_open("UTF-32LE", codePage) : iconv_t(-1);
  size_t i = 0;
  while (i < count) {
    int used = 0;
    char32_t c = 0;
    if (cd != iconv_t(-1)) {
      for (int n = 1; n <= 4 && i + size_t(n) <= count && used == 0; ++n) {
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes + i));
        size_t inLeft = size_t(n), outLeft = 4;
        char32_t out = 0;
        char* outPtr = reinterpret_cast<char*>(&out);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1) && outLeft == 0) {
          used = n;
          c = out;
        } else if (errno != EINVAL) {
          break;  // not the start of a character: taken as one byte below
        }
      }
    }
    if (used == 0) {
      used = 1;
      c = Cp1252(bytes[i]);
    }
    chars.push_back(c);
    widths.push_back(used);
    i += size_t(used);
  }
  if (cd != iconv_t(-1)) iconv_close(cd);
}


// Characters of the Symbol font's code points that Unicode fonts have: the
// Greek letters and the common mathematical signs, so that equations read.
char32_t SymbolToUnicode(char32_t c) {
  if (c >= 0xF000 && c <= 0xF0FF) c -= 0xF000;
  static const char32_t kGreekUpper[26] = {0x391, 0x392, 0x3A7, 0x394, 0x395, 0x3A6, 0x393, 0x397, 0x399,
                                           0x3D1, 0x39A, 0x39B, 0x39C, 0x39D, 0x39F, 0x3A0, 0x398, 0x3A1,
                                           0x3A3, 0x3A4, 0x3A5, 0x3C2, 0x3A9, 0x39E, 0x3A8, 0x396};
  static const char32_t kGreekLower[26] = {0x3B1, 0x3B2, 0x3C7, 0x3B4, 0x3B5, 0x3C6, 0x3B3, 0x3B7, 0x3B9,
                                           0x3D5, 0x3BA, 0x3BB, 0x3BC, 0x3BD, 0x3BF, 0x3C0, 0x3B8, 0x3C1,
                                           0x3C3, 0x3C4, 0x3C5, 0x3D6, 0x3C9, 0x3BE, 0x3C8, 0x3B6};
  if (c >= 'A' && c <= 'Z') return kGreekUpper[c - 'A'];
  if (c >= 'a' && c <= 'z') return kGreekLower[c - 'a'];
  switch (c) {
    case 0x22: return 0x2200;  // for all
    case 0x24: return 0x2203;  // there exists
    case 0x27: return 0x220B;
    case 0x2A: return 0x2217;
    case 0x2D: return 0x2212;  // minus
    case 0x40: return 0x2245;
    case 0x5E: return 0x22A5;
    case 0xA3: return 0x2264;  // less or equal
    case 0xA5: return 0x221E;  // infinity
    case 0xB1: return 0x00B1;
    case 0xB3: return 0x2265;  // greater or equal
    case 0xB4: return 0x00D7;  // times
    case 0xB6: return 0x2202;  // partial
    case 0xB7: return 0x2022;
    case 0xB8: return 0x00F7;  // divide
    case 0xB9: return 0x2260;  // not equal
    case 0xBA: return 0x2261;
    case 0xBB: return 0x2248;  // almost equal
    case 0xC5: return 0x2295;
    case 0xD0: return 0x2220;
    case 0xD1: return 0x2207;  // nabla
    case 0xD6: return 0x221A;  // square root
    case 0xD7: return 0x22C5;
    case 0xE5: return 0x2211;  // sum
    case 0xF2: return 0x222B;  // integral
    case 0xAE: return 0x2192;  // arrows
    case 0xAC: return 0x2190;
    case 0xAD: return 0x2191;
    case 0xAF: return 0x2193;
    case 0xDE: return 0x21D2;
    case 0xDB: return 0x21D4;
    default: return c;
  }
}

void TPlayer::Text(const TRecord& r, bool wide) {
  const auto fields = r.Get<U_EMREXTTEXTOUTW>();
  if (!fields) return;
  const U_EMRTEXT& t = fields->emrtext;
  const uint32_t count = std::min<uint32_t>(t.nChars, 8192);
  if (count == 0 && !(t.fOptions & U_ETO_OPAQUE)) return;
  // The rectangle follows the text fields unless the record says there is
  // none; then the spacing array's offset.
  size_t at = offsetof(U_EMREXTTEXTOUTW, emrtext) + sizeof(U_EMRTEXT);
  std::optional<U_RECTL> rect;
  if (!(t.fOptions & U_ETO_NO_RECT)) {
    rect = r.Get<U_RECTL>(at);
    at += sizeof(U_RECTL);
  }
  const auto offDx = r.Get<uint32_t>(at);
  const TXform f = Full();
  const bool symbol = FDc.Font.Charset == U_SYMBOL_CHARSET;

  // Opaque background and clipping rectangle.
  std::shared_ptr<const TCoverage> savedClip = FDc.Clip;
  if (rect && (t.fOptions & (U_ETO_OPAQUE | U_ETO_CLIPPED))) {
    const std::vector<TPointD> corners = Corners(*rect);
    if (t.fOptions & U_ETO_OPAQUE) {
      TBrushObject background;
      background.Color = FDc.BkColor;
      FillDevice({corners}, background, frAlternate, U_R2_COPYPEN);
    }
    // Intersected with the clip: only the current clip's part matters.
    if (t.fOptions & U_ETO_CLIPPED) CombineClip(PolygonCoverage(corners, CoverBox(corners, 0)), U_RGN_AND);
  }
  if (count == 0 || (t.fOptions & U_ETO_GLYPH_INDEX)) {
    FDc.Clip = savedClip;
    FRaster.SetClip(FDc.Clip);
    return;
  }

  // The characters, as Unicode, with the spacing entries each takes.
  std::u32string chars;
  std::vector<int> widths;
  if (wide) {
    if (!r.Holds(t.offString, size_t(count) * 2)) return;
    for (uint32_t i = 0; i < count; ++i) {
      uint16_t u;
      std::memcpy(&u, r.Data + t.offString + i * 2, 2);
      chars.push_back(u);
      widths.push_back(1);
    }
  } else {
    if (!r.Holds(t.offString, count)) return;
    if (symbol) {
      for (uint32_t i = 0; i < count; ++i) chars.push_back(r.Data[t.offString + i]), widths.push_back(1);
    } else {
      DecodeAnsi(r.Data + t.offString, count, FDc.Font.Charset, chars, widths);
    }
  }
  if (symbol)
    for (char32_t& c : chars) c = SymbolToUnicode(c);
  // Advances in logical units, one per spacing entry (two values each with
  // ETO_PDY), summed over the entries of each character.
  const bool pdy = (t.fOptions & U_ETO_PDY) != 0;
  std::vector<TPointD> advances;
  if (offDx && *offDx != 0 && r.Holds(*offDx, size_t(count) * (pdy ? 8 : 4))) {
    uint32_t entry = 0;
    for (int width : widths) {
      TPointD advance;
      for (int k = 0; k < width && entry < count; ++k, ++entry) {
        int32_t dx = 0, dy = 0;
        std::memcpy(&dx, r.Data + *offDx + entry * (pdy ? 8 : 4), 4);
        if (pdy) std::memcpy(&dy, r.Data + *offDx + entry * 8 + 4, 4);
        advance.X += dx;
        advance.Y -= dy;
      }
      advances.push_back(advance);
    }
  }

  // The font at device size, turned as its escapement says (on the device,
  // where a flipped y axis turns angles the other way).
  TFont font;
  font.SetName(FDc.Font.Face.empty() ? "Arial" : FDc.Font.Face);
  const double heightPx = FDc.Font.Height == 0 ? 16 : FDc.Font.Height * ScaleY();
  const int height = ClampedInt(std::floor(std::fabs(heightPx) + 0.5), 1, 2000);
  font.SetHeight(FDc.Font.Height > 0 ? height : -height);
  TFontStyles style;
  if (FDc.Font.Weight >= 600) style.Include(fsBold);
  if (FDc.Font.Italic) style.Include(fsItalic);
  if (FDc.Font.Underline) style.Include(fsUnderline);
  if (FDc.Font.StrikeOut) style.Include(fsStrikeOut);
  font.SetStyle(style);
  // The escapement is in logical space; on the device a flipped y axis
  // turns it the other way, and the world transform turns it further.
  const TPointD axis = {f.M11, f.M12};
  const double worldAngle = std::atan2(-axis.Y, axis.X) * 1800 / std::numbers::pi;
  const int escapement = FDc.Font.Escapement * (Flipped() ? -1 : 1);
  const int orientation = ClampedInt(std::round(escapement + (Flipped() ? -worldAngle : worldAngle)), -3600000, 3600000) % 3600;
  const double angle = orientation * std::numbers::pi / 1800;
  const TPointD along{std::cos(angle), -std::sin(angle)}, down{std::sin(angle), std::cos(angle)};

  std::string whole;
  for (char32_t c : chars) AppendUtf8(whole, c);
  const std::shared_ptr<const TTextBlock> block = SharedTextBlock(font, whole);
  // The reference point and the alignment: horizontally the start, centre
  // or end of the text, vertically its top, baseline or bottom.
  TPointD origin = (FDc.TextAlign & U_TA_UPDATECP) ? ToDevice(FDc.Position.X, FDc.Position.Y)
                                                  : f.Apply({double(t.ptlReference.x), double(t.ptlReference.y)});
  double width = block->Extent().X;
  if (!advances.empty()) {
    width = 0;
    for (const TPointD& a : advances) width += a.X * ScaleX();
  }
  double shiftX = 0, shiftY = 0;
  switch (FDc.TextAlign & (U_TA_CENTER | U_TA_RIGHT)) {
    case U_TA_CENTER: shiftX = -width / 2; break;
    case U_TA_RIGHT: shiftX = -width; break;
    default: break;
  }
  switch (FDc.TextAlign & (U_TA_BASELINE | U_TA_BOTTOM)) {
    case U_TA_BASELINE: shiftY = -block->Baseline(); break;
    case U_TA_BOTTOM: shiftY = -block->Extent().Y; break;
    default: break;
  }
  const TPointD start{origin.X + along.X * shiftX + down.X * shiftY, origin.Y + along.Y * shiftX + down.Y * shiftY};
  if (FDc.TextAlign & U_TA_UPDATECP) {
    const TPointD end{origin.X + along.X * (shiftX + width), origin.Y + along.Y * (shiftX + width)};
    if ((FDc.TextAlign & (U_TA_CENTER | U_TA_RIGHT)) == 0) MoveToDevice(end);
  }

  // Glyph runs: the whole text where it advances by itself, else one
  // character at a time at the positions the spacing array gives.
  struct TRun {
    std::shared_ptr<const TTextBlock> Block;
    TPointD At;
  };
  std::vector<TRun> runs;
  if (advances.empty()) {
    runs.push_back({block, start});
  } else {
    double pen = 0, rise = 0;
    for (size_t i = 0; i < chars.size(); ++i) {
      std::string one;
      AppendUtf8(one, chars[i]);
      if (chars[i] != U' ') {
        runs.push_back({SharedTextBlock(font, one),
                        {start.X + along.X * pen + down.X * rise, start.Y + along.Y * pen + down.Y * rise}});
      }
      pen += advances[i].X * ScaleX();
      rise += advances[i].Y * ScaleY();
    }
  }
  font.SetOrientation(orientation);
  TPaint paint;
  paint.Color = FDc.TextColor;
  for (const TRun& run : runs) {
    const int x = PixelOf(run.At.X), y = PixelOf(run.At.Y);
    const TPoint extent = run.Block->Extent();
    const int reach = extent.X + extent.Y + 2;
    TRect box{x - reach, y - reach, x + reach, y + reach};
    const TRect bounds = FRaster.Bounds();
    box = {std::max(box.Left, bounds.Left), std::max(box.Top, bounds.Top), std::min(box.Right, bounds.Right),
           std::min(box.Bottom, bounds.Bottom)};
    if (box.Right <= box.Left || box.Bottom <= box.Top) continue;
    // Opaque text without ETO_OPAQUE fills its cell with the background.
    // A text mask of `box` as a coverage: the pixels at least half covered.
    auto cover = [&](bool cell) {
      const TSurfacePtr mask = run.Block->Rasterise(box, x, y, orientation, cell);
      TCoverage coverage = NewCoverage(box);
      for (int yy = box.Top; yy < box.Bottom; ++yy)
        for (int xx = box.Left; xx < box.Right; ++xx) coverage.At(xx, yy) = mask->Row(yy - box.Top)[xx - box.Left] >= 128;
      return coverage;
    };
    if (FDc.BkMode == U_OPAQUE && !(t.fOptions & U_ETO_OPAQUE) && advances.empty()) {
      TPaint background;
      background.Color = FDc.BkColor;
      FRaster.Paint(cover(true), background, U_R2_COPYPEN);
    }
    FRaster.Paint(cover(false), paint, U_R2_COPYPEN);
  }
  FDc.Clip = savedClip;
  FRaster.SetClip(FDc.Clip);
}

// ---- bitmaps ----

void TPlayer::Blit(const TRecord& r) {
  int32_t xDest = 0, yDest = 0, cxDest = 0, cyDest = 0, xSrc = 0, ySrc = 0, cxSrc = 0, cySrc = 0;
  uint32_t rop = U_SRCCOPY, offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
  bool dibRecord = false;  // source rows counted from the bottom for bottom-up DIBs
  std::optional<U_BLEND> blend;
  switch (r.Type) {
    case U_EMR_BITBLT: {
      const auto b = r.Get<U_EMRBITBLT>();
      if (!b) return;
      xDest = b->Dest.x, yDest = b->Dest.y, cxDest = b->cDest.x, cyDest = b->cDest.y;
      xSrc = b->Src.x, ySrc = b->Src.y, cxSrc = cxDest, cySrc = cyDest;
      rop = b->dwRop, offBmi = b->offBmiSrc, cbBmi = b->cbBmiSrc, offBits = b->offBitsSrc, cbBits = b->cbBitsSrc;
      break;
    }
    case U_EMR_STRETCHBLT: {
      const auto b = r.Get<U_EMRSTRETCHBLT>();
      if (!b) return;
      xDest = b->Dest.x, yDest = b->Dest.y, cxDest = b->cDest.x, cyDest = b->cDest.y;
      xSrc = b->Src.x, ySrc = b->Src.y, cxSrc = b->cSrc.x, cySrc = b->cSrc.y;
      rop = b->dwRop, offBmi = b->offBmiSrc, cbBmi = b->cbBmiSrc, offBits = b->offBitsSrc, cbBits = b->cbBitsSrc;
      break;
    }
    case U_EMR_ALPHABLEND: {
      const auto b = r.Get<U_EMRALPHABLEND>();
      if (!b) return;
      xDest = b->Dest.x, yDest = b->Dest.y, cxDest = b->cDest.x, cyDest = b->cDest.y;
      xSrc = b->Src.x, ySrc = b->Src.y, cxSrc = b->cSrc.x, cySrc = b->cSrc.y;
      offBmi = b->offBmiSrc, cbBmi = b->cbBmiSrc, offBits = b->offBitsSrc, cbBits = b->cbBitsSrc;
      blend = b->Blend;
      break;
    }
    case U_EMR_STRETCHDIBITS: {
      const auto b = r.Get<U_EMRSTRETCHDIBITS>();
      if (!b) return;
      xDest = b->Dest.x, yDest = b->Dest.y, cxDest = b->cDest.x, cyDest = b->cDest.y;
      xSrc = b->Src.x, ySrc = b->Src.y, cxSrc = b->cSrc.x, cySrc = b->cSrc.y;
      rop = b->dwRop, offBmi = b->offBmiSrc, cbBmi = b->cbBmiSrc, offBits = b->offBitsSrc, cbBits = b->cbBitsSrc;
      dibRecord = true;
      break;
    }
    case U_EMR_SETDIBITSTODEVICE: {
      const auto b = r.Get<U_EMRSETDIBITSTODEVICE>();
      if (!b) return;
      xDest = b->Dest.x, yDest = b->Dest.y, cxDest = b->cSrc.x, cyDest = b->cSrc.y;
      xSrc = b->Src.x, ySrc = b->Src.y, cxSrc = b->cSrc.x, cySrc = b->cSrc.y;
      offBmi = b->offBmiSrc, cbBmi = b->cbBmiSrc, offBits = b->offBitsSrc, cbBits = b->cbBitsSrc;
      dibRecord = true;
      break;
    }
    default: return;
  }
  const TXform f = Full();
  const TPointD a = f.Apply({double(xDest), double(yDest)});
  const TPointD b = f.Apply({double(xDest) + cxDest, double(yDest) + cyDest});
  // Destination pixels: from the rounded corner to the rounded far corner,
  // mirrored when the extents are negative.
  const int x0 = PixelOf(std::min(a.X, b.X)), x1 = PixelOf(std::max(a.X, b.X));
  const int y0 = PixelOf(std::min(a.Y, b.Y)), y1 = PixelOf(std::max(a.Y, b.Y));
  if (x1 <= x0 || y1 <= y0) return;
  const bool mirrorX = (b.X < a.X) != (cxSrc < 0), mirrorY = (b.Y < a.Y) != (cySrc < 0);
  const TRect target{std::max(x0, 0), std::max(y0, 0), std::min(x1, FRaster.Width()), std::min(y1, FRaster.Height())};
  if (target.Right <= target.Left || target.Bottom <= target.Top) return;
  const uint32_t pattern = FDc.Brush.Color;
  if (cbBmi == 0) {
    // No source: a pattern operation (PATCOPY, BLACKNESS, ...) on the brush.
    for (int y = target.Top; y < target.Bottom; ++y)
      for (int x = target.Left; x < target.Right; ++x)
        if (!FRaster.Clipped(x, y)) FRaster.Put(x, y, ApplyRop3(TCopyMode(rop), pattern, 0, FRaster.Dest(x, y)));
    return;
  }
  const std::optional<TDecodedImage> image = DecodeDib(r, offBmi, cbBmi, offBits, cbBits);
  if (!image || image->Width <= 0 || image->Height <= 0) return;
  const int w = image->Width, h = image->Height;
  // AC_SRC_ALPHA: the bitmap's own (premultiplied) alpha, times the
  // constant alpha; without it, the constant alone.
  const std::vector<uint8_t> alpha =
      blend && blend->Op == U_AC_SRC_ALPHA ? RawAlpha(r, offBmi, offBits, cbBits, w, h) : std::vector<uint8_t>{};
  // The source rectangle, in 64 bits: the file's numbers may be anything.
  int64_t sx64 = xSrc, sy64 = ySrc, sw64 = std::abs(int64_t(cxSrc)), sh64 = std::abs(int64_t(cySrc));
  if (cxSrc < 0) sx64 += cxSrc;
  if (cySrc < 0) sy64 += cySrc;
  // A bottom-up DIB's source rectangle counts its rows from the bottom.
  if (dibRecord && BottomUp(r, offBmi)) sy64 = h - (sy64 + sh64);
  // Nothing of a source rectangle that misses the bitmap is drawn.
  if (sw64 <= 0 || sh64 <= 0 || sx64 >= w || sy64 >= h || sx64 + sw64 <= 0 || sy64 + sh64 <= 0 ||
      sw64 > 1000000000 || sh64 > 1000000000)
    return;
  const int sx = int(sx64), sy = int(sy64), sw = int(sw64), sh = int(sh64);
  const double stepX = double(sw) / (x1 - x0), stepY = double(sh) / (y1 - y0);
  // Shrinking combines the source pixels a destination pixel covers as the
  // stretch mode says; alpha blends keep one source pixel each.
  const int mode = blend ? U_COLORONCOLOR : FDc.StretchMode;
  for (int y = target.Top; y < target.Bottom; ++y) {
    double v0 = (y - y0) * stepY, v1 = v0 + stepY;
    if (mirrorY) std::tie(v0, v1) = std::pair(sh - v1, sh - v0);
    int v = ClampedInt(std::floor((y - y0 + 0.5) * stepY), 0, sh - 1);
    if (mirrorY) v = sh - 1 - v;
    const int row = sy + v;
    if (row < 0 || row >= h) continue;
    for (int x = target.Left; x < target.Right; ++x) {
      if (FRaster.Clipped(x, y)) continue;
      int u = ClampedInt(std::floor((x - x0 + 0.5) * stepX), 0, sw - 1);
      if (mirrorX) u = sw - 1 - u;
      const int column = sx + u;
      if (column < 0 || column >= w) continue;
      uint32_t pixel = image->Pixels[size_t(row) * size_t(w) + size_t(column)];
      if ((stepX > 1 || stepY > 1) && mode != U_COLORONCOLOR && mode != U_STRETCH_DELETESCANS) {
        double u0 = (x - x0) * stepX, u1 = u0 + stepX;
        if (mirrorX) std::tie(u0, u1) = std::pair(sw - u1, sw - u0);
        pixel = StretchSample(*image, sx + u0, sx + u1, sy + v0, sy + v1, mode);
      } else if (mode == U_HALFTONE && (stepX < 1 || stepY < 1)) {
        // Enlarged in halftone mode: interpolated between the four nearest
        // source pixels.
        double u = (x - x0 + 0.5) * stepX;
        if (mirrorX) u = sw - u;
        pixel = Interpolate(*image, sx + u - 0.5, sy + (v0 + v1) / 2 - 0.5);
      }
      if (blend) {
        if (!alpha.empty()) {
          const uint32_t a = alpha[size_t(row) * size_t(w) + size_t(column)];
          FRaster.Blend(x, y, (a << 24) | (pixel & 0xFFFFFF), blend->Global, true);
        } else {
          FRaster.Blend(x, y, 0xFF000000u | pixel, blend->Global, false);
        }
        continue;
      }
      FRaster.Put(x, y, rop == U_SRCCOPY ? pixel & 0xFFFFFF
                                         : ApplyRop3(TCopyMode(rop), pattern, pixel & 0xFFFFFF, FRaster.Dest(x, y)));
    }
  }
}

// ---- regions and clipping ----

// A region's rectangles (RGNDATA: a 32-byte header, then rectangles).
std::vector<U_RECTL> RegionRects(const TRecord& r, size_t at, uint32_t bytes) {
  std::vector<U_RECTL> rects;
  const auto header = r.Get<U_RGNDATAHEADER>(at);
  if (!header || bytes < sizeof(U_RGNDATAHEADER) || !r.Holds(at, bytes)) return rects;
  const uint32_t n = std::min<uint32_t>(header->nCount, (bytes - sizeof(U_RGNDATAHEADER)) / sizeof(U_RECTL));
  for (uint32_t i = 0; i < n; ++i) {
    U_RECTL rect;
    std::memcpy(&rect, r.Data + at + sizeof(U_RGNDATAHEADER) + i * sizeof(U_RECTL), sizeof rect);
    rects.push_back(rect);
  }
  return rects;
}

void TPlayer::CombineClip(const TCoverage& with, int mode) {
  // Only the box the result can cover is visited: the current region's (or
  // the image's), the new one's, or both, as the mode needs.
  const TRect image = FRaster.Bounds();
  const TRect a = FDc.Clip ? FDc.Clip->Box : image;
  const TRect b = with.Box;
  auto meet = [](const TRect& p, const TRect& q) {
    return TRect{std::max(p.Left, q.Left), std::max(p.Top, q.Top), std::min(p.Right, q.Right), std::min(p.Bottom, q.Bottom)};
  };
  auto join = [](const TRect& p, const TRect& q) {
    return TRect{std::min(p.Left, q.Left), std::min(p.Top, q.Top), std::max(p.Right, q.Right), std::max(p.Bottom, q.Bottom)};
  };
  TRect box;
  switch (mode) {
    case U_RGN_AND: box = meet(a, b); break;
    case U_RGN_DIFF: box = a; break;
    case U_RGN_COPY: box = b; break;
    default: box = join(a, b); break;
  }
  box = meet(box, image);
  TCoverage result = NewCoverage(box);
  for (int y = box.Top; y < box.Bottom; ++y)
    for (int x = box.Left; x < box.Right; ++x) {
      const bool inA = !FRaster.Clipped(x, y);
      const bool inB = x >= b.Left && x < b.Right && y >= b.Top && y < b.Bottom && with.At(x, y) != 0;
      bool in = inA;
      switch (mode) {
        case U_RGN_AND: in = inA && inB; break;
        case U_RGN_OR: in = inA || inB; break;
        case U_RGN_XOR: in = inA != inB; break;
        case U_RGN_DIFF: in = inA && !inB; break;
        case U_RGN_COPY: in = inB; break;
        default: break;
      }
      result.At(x, y) = in;
    }
  // An empty result is a region that excludes everything: a coverage with
  // an empty box does just that.
  FDc.Clip = std::make_shared<const TCoverage>(std::move(result));
  FRaster.SetClip(FDc.Clip);
}

void TPlayer::ClipRect(const TRecord& r, bool exclude) {
  const auto rect = r.Get<U_RECTL>(8);
  if (!rect) return;
  const std::vector<TPointD> corners = Corners(*rect);
  // Intersecting or excluding changes nothing outside the current clip.
  CombineClip(PolygonCoverage(corners, CoverBox(corners, 0)), exclude ? U_RGN_DIFF : U_RGN_AND);
}

void TPlayer::ClipRegion(const TRecord& r) {
  const auto bytes = r.Get<uint32_t>(8);
  const auto mode = r.Get<uint32_t>(12);
  if (!bytes || !mode) return;
  if (*mode == U_RGN_COPY && *bytes == 0) {
    FDc.Clip.reset();  // the default clip: everything
    FRaster.SetClip(nullptr);
    return;
  }
  TCoverage region = NewCoverage(FRaster.Bounds());
  // The region is in reference-device pixels.
  for (const U_RECTL& rect : RegionRects(r, 16, *bytes)) {
    const TPointD a = FDevice.Apply({double(rect.left), double(rect.top)});
    const TPointD b = FDevice.Apply({double(rect.right), double(rect.bottom)});
    const std::vector<TPointD> polys[1] = {{a, {b.X, a.Y}, b, {a.X, b.Y}}};
    FillPolygons(region, polys, frAlternate);
  }
  CombineClip(region, int(*mode));
}

void TPlayer::Region(const TRecord& r) {
  // FILLRGN: bounds, size, brush, region; PAINTRGN and INVERTRGN: bounds,
  // size, region (the selected brush; inversion). FRAMERGN is filled with
  // its brush too (its frame width is a pixel or two).
  const auto bytes = r.Get<uint32_t>(24);
  if (!bytes) return;
  size_t at = 28;
  TBrushObject brush = FDc.Brush;
  int rop2 = FDc.Rop2;
  if (r.Type == U_EMR_FILLRGN || r.Type == U_EMR_FRAMERGN) {
    const auto index = r.Get<uint32_t>(28);
    if (!index) return;
    if (*index & U_STOCK_OBJECT) brush = StockBrush(*index);
    else if (const TObject* o = Object(*index); o && o->Kind == TObject::okBrush) brush = o->Brush;
    at = r.Type == U_EMR_FILLRGN ? 32 : 40;
  }
  if (r.Type == U_EMR_INVERTRGN) rop2 = U_R2_NOT;
  std::vector<std::vector<TPointD>> polygons;
  // Region rectangles are in logical units here.
  for (const U_RECTL& rect : RegionRects(r, at, *bytes)) polygons.push_back(Corners(rect));
  FillDevice(polygons, brush, frWinding, rop2);
}

// ---- paths ----

void TPlayer::PathEnd(bool fill, bool stroke) {
  if (fill) FillDevice(PathPolygons(), FDc.Brush, FillRule(), FDc.Rop2);
  if (stroke)
    for (const TSubpath& s : FPath) StrokeDevice(s.Points, s.Closed || fill);
  FPath.clear();
  FInPath = false;
}

void TPlayer::ClipPath(int mode) {
  TCoverage region = NewCoverage(FRaster.Bounds());
  FillPolygons(region, PathPolygons(), FillRule());
  CombineClip(region, mode);
  FPath.clear();
  FInPath = false;
}

// ---- the records ----

void TPlayer::Record(const TRecord& r) {
  switch (r.Type) {
    // Mapping.
    case U_EMR_SETMAPMODE:
      if (const auto v = r.Get<uint32_t>(8)) FDc.Page.MapMode = int(*v);
      break;
    case U_EMR_SETWINDOWEXTEX:
      if (const auto v = r.Get<U_SIZEL>(8)) FDc.Page.WindowExt = {double(v->cx), double(v->cy)};
      break;
    case U_EMR_SETWINDOWORGEX:
      if (const auto v = r.Get<U_POINTL>(8)) FDc.Page.WindowOrg = {double(v->x), double(v->y)};
      break;
    case U_EMR_SETVIEWPORTEXTEX:
      if (const auto v = r.Get<U_SIZEL>(8)) FDc.Page.ViewportExt = {double(v->cx), double(v->cy)};
      break;
    case U_EMR_SETVIEWPORTORGEX:
      if (const auto v = r.Get<U_POINTL>(8)) FDc.Page.ViewportOrg = {double(v->x), double(v->y)};
      break;
    case U_EMR_SCALEVIEWPORTEXTEX:
    case U_EMR_SCALEWINDOWEXTEX: {
      const auto xNum = r.Get<int32_t>(8), xDen = r.Get<int32_t>(12), yNum = r.Get<int32_t>(16), yDen = r.Get<int32_t>(20);
      if (!xNum || !xDen || !yNum || !yDen || *xDen == 0 || *yDen == 0) break;
      TPointD& ext = r.Type == U_EMR_SCALEVIEWPORTEXTEX ? FDc.Page.ViewportExt : FDc.Page.WindowExt;
      ext = {ext.X * *xNum / *xDen, ext.Y * *yNum / *yDen};
      break;
    }
    case U_EMR_SETWORLDTRANSFORM:
      if (const auto x = r.Get<U_XFORM>(8)) FDc.World = {x->eM11, x->eM12, x->eM21, x->eM22, x->eDx, x->eDy};
      break;
    case U_EMR_MODIFYWORLDTRANSFORM: {
      const auto x = r.Get<U_XFORM>(8);
      const auto mode = r.Get<uint32_t>(32);
      if (!x || !mode) break;
      const TXform m{x->eM11, x->eM12, x->eM21, x->eM22, x->eDx, x->eDy};
      switch (*mode) {
        case U_MWT_IDENTITY: FDc.World = TXform{}; break;
        case U_MWT_LEFTMULTIPLY: FDc.World = m.Then(FDc.World); break;
        case U_MWT_RIGHTMULTIPLY: FDc.World = FDc.World.Then(m); break;
        case 4: FDc.World = m; break;  // MWT_SET
        default: break;
      }
      break;
    }
    case U_EMR_SAVEDC: FSaved.push_back(FDc); break;
    case U_EMR_RESTOREDC: {
      const auto v = r.Get<int32_t>(8);
      if (!v) break;
      // Negative: that many states back; positive: the state of that number.
      const int64_t target = *v < 0 ? int64_t(FSaved.size()) + *v : int64_t(*v) - 1;
      if (target < 0 || target >= int64_t(FSaved.size())) break;
      FDc = FSaved[size_t(target)];
      FSaved.resize(size_t(target));
      FRaster.SetClip(FDc.Clip);
      break;
    }
    // Modes and colours.
    case U_EMR_SETBKMODE:
      if (const auto v = r.Get<uint32_t>(8)) FDc.BkMode = int(*v);
      break;
    case U_EMR_SETPOLYFILLMODE:
      if (const auto v = r.Get<uint32_t>(8)) FDc.FillMode = int(*v);
      break;
    case U_EMR_SETROP2:
      if (const auto v = r.Get<uint32_t>(8)) FDc.Rop2 = int(std::clamp<uint32_t>(*v, 1, 16));
      break;
    case U_EMR_SETTEXTALIGN:
      if (const auto v = r.Get<uint32_t>(8)) FDc.TextAlign = int(*v);
      break;
    case U_EMR_SETARCDIRECTION:
      if (const auto v = r.Get<uint32_t>(8)) FDc.ArcDirection = int(*v);
      break;
    case U_EMR_SETSTRETCHBLTMODE:
      if (const auto v = r.Get<uint32_t>(8)) FDc.StretchMode = int(*v);
      break;
    case U_EMR_SETTEXTCOLOR:
      if (const auto v = r.Get<U_COLORREF>(8)) FDc.TextColor = Rgb(*v);
      break;
    case U_EMR_SETBKCOLOR:
      if (const auto v = r.Get<U_COLORREF>(8)) FDc.BkColor = Rgb(*v);
      break;
    case U_EMR_SETMITERLIMIT:
      if (const auto v = r.Get<uint32_t>(8)) FDc.MiterLimit = std::max<uint32_t>(*v, 1);
      break;
    case U_EMR_SETBRUSHORGEX:
      if (const auto v = r.Get<U_POINTL>(8)) FDc.BrushOrigin = {v->x, v->y};
      break;
    case U_EMR_MOVETOEX:
      if (const auto v = r.Get<U_POINTL>(8)) {
        FDc.Position = {double(v->x), double(v->y)};
        if (FInPath) FPath.push_back({{ToDevice(v->x, v->y)}, false});
      }
      break;
    // Objects.
    case U_EMR_CREATEPEN: CreatePen(r); break;
    case U_EMR_EXTCREATEPEN: ExtCreatePen(r); break;
    case U_EMR_CREATEBRUSHINDIRECT: CreateBrush(r); break;
    case U_EMR_CREATEDIBPATTERNBRUSHPT: PatternBrush(r, false); break;
    case U_EMR_CREATEMONOBRUSH: PatternBrush(r, true); break;
    case U_EMR_EXTCREATEFONTINDIRECTW: CreateFont(r); break;
    case U_EMR_SELECTOBJECT:
      if (const auto v = r.Get<uint32_t>(8)) Select(*v);
      break;
    case U_EMR_DELETEOBJECT:
      if (const auto v = r.Get<uint32_t>(8))
        if (TObject* o = Object(*v)) *o = TObject{};
      break;
    // Figures.
    case U_EMR_LINETO:
      if (const auto v = r.Get<U_POINTL>(8)) {
        const TPointD from = ToDevice(FDc.Position.X, FDc.Position.Y), to = ToDevice(v->x, v->y);
        FDc.Position = {double(v->x), double(v->y)};
        if (FInPath) {
          if (FPath.empty() || FPath.back().Closed) FPath.push_back({{from}, false});
          FPath.back().Points.push_back(to);
        } else {
          StrokeDevice({from, to}, false);
        }
      }
      break;
    case U_EMR_POLYGON: case U_EMR_POLYLINE: case U_EMR_POLYBEZIER: case U_EMR_POLYLINETO: case U_EMR_POLYBEZIERTO:
      Poly(r, false);
      break;
    case U_EMR_POLYGON16: case U_EMR_POLYLINE16: case U_EMR_POLYBEZIER16: case U_EMR_POLYLINETO16:
    case U_EMR_POLYBEZIERTO16:
      Poly(r, true);
      break;
    case U_EMR_POLYPOLYLINE: case U_EMR_POLYPOLYGON: PolyPoly(r, false); break;
    case U_EMR_POLYPOLYLINE16: case U_EMR_POLYPOLYGON16: PolyPoly(r, true); break;
    case U_EMR_RECTANGLE: case U_EMR_ELLIPSE: case U_EMR_ROUNDRECT: Box(r); break;
    case U_EMR_ARC: case U_EMR_ARCTO: case U_EMR_CHORD: case U_EMR_PIE: ArcRecord(r); break;
    case U_EMR_SETPIXELV: {
      const auto p = r.Get<U_POINTL>(8);
      const auto c = r.Get<U_COLORREF>(16);
      if (!p || !c) break;
      const TPointD d = ToDevice(p->x, p->y);
      const int x = PixelOf(d.X), y = PixelOf(d.Y);
      if (x >= 0 && y >= 0 && x < FRaster.Width() && y < FRaster.Height() && !FRaster.Clipped(x, y)) FRaster.Put(x, y, Rgb(*c));
      break;
    }
    // Paths.
    case U_EMR_BEGINPATH:
      FPath.clear();
      FInPath = true;
      break;
    case U_EMR_ENDPATH: FInPath = false; break;
    case U_EMR_CLOSEFIGURE:
      if (!FPath.empty()) FPath.back().Closed = true;
      break;
    case U_EMR_ABORTPATH:
      FPath.clear();
      FInPath = false;
      break;
    case U_EMR_FILLPATH: PathEnd(true, false); break;
    case U_EMR_STROKEPATH: PathEnd(false, true); break;
    case U_EMR_STROKEANDFILLPATH: PathEnd(true, true); break;
    case U_EMR_SELECTCLIPPATH:
      if (const auto v = r.Get<uint32_t>(8)) ClipPath(int(*v));
      break;
    // Clipping.
    case U_EMR_INTERSECTCLIPRECT: ClipRect(r, false); break;
    case U_EMR_EXCLUDECLIPRECT: ClipRect(r, true); break;
    case U_EMR_EXTSELECTCLIPRGN: ClipRegion(r); break;
    // Regions, text, bitmaps.
    case U_EMR_FILLRGN: case U_EMR_PAINTRGN: case U_EMR_INVERTRGN: case U_EMR_FRAMERGN: Region(r); break;
    case U_EMR_EXTTEXTOUTW: Text(r, true); break;
    case U_EMR_EXTTEXTOUTA: Text(r, false); break;
    case U_EMR_BITBLT: case U_EMR_STRETCHBLT: case U_EMR_STRETCHDIBITS: case U_EMR_SETDIBITSTODEVICE:
    case U_EMR_ALPHABLEND:
      Blit(r);
      break;
    default: break;  // comments (EMF+ among them), palettes, colour management
  }
}

}  // namespace

bool PlaysRecord(uint32_t type) noexcept {
  switch (type) {
    case U_EMR_COMMENT: case U_EMR_SETICMMODE: case U_EMR_SELECTPALETTE:
    case U_EMR_CREATEPALETTE: case U_EMR_SETPALETTEENTRIES: case U_EMR_RESIZEPALETTE: case U_EMR_REALIZEPALETTE:
    case U_EMR_SETMAPPERFLAGS: case U_EMR_SETCOLORADJUSTMENT: case U_EMR_SMALLTEXTOUT: case U_EMR_GRADIENTFILL:
    case U_EMR_MASKBLT: case U_EMR_PLGBLT: case U_EMR_POLYDRAW: case U_EMR_POLYDRAW16: case U_EMR_EXTFLOODFILL:
    case U_EMR_ANGLEARC: case U_EMR_POLYTEXTOUTA: case U_EMR_POLYTEXTOUTW: case U_EMR_SETMETARGN:
    case U_EMR_OFFSETCLIPRGN: case U_EMR_FLATTENPATH: case U_EMR_WIDENPATH: case U_EMR_SETLAYOUT:
    case U_EMR_TRANSPARENTBLT:
      return false;
    default:
      return type >= U_EMR_HEADER && type <= U_EMR_ALPHABLEND;
  }
}

TEmfPlayback::TEmfPlayback(std::span<const uint8_t> records) : FRecords(records) {
  U_EMRHEADER header{};
  std::memcpy(&header, records.data(), std::min(sizeof header, records.size()));
  FHandles = header.nHandles;
  auto resolution = [](int32_t pixels, int32_t millimetres, double fallback) {
    const double perMm = millimetres > 0 ? double(pixels) / millimetres : 0;
    return perMm >= 0.1 && perMm <= 1000 ? perMm : fallback;
  };
  FPixelsPerMmX = resolution(header.szlDevice.cx, header.szlMillimeters.cx, 96 / 25.4);
  FPixelsPerMmY = resolution(header.szlDevice.cy, header.szlMillimeters.cy, 96 / 25.4);
}

void TEmfPlayback::Play(TRaster& raster, const TXform& deviceFromReference) const {
  TPlayer player(raster, deviceFromReference, FPixelsPerMmX, FPixelsPerMmY, FHandles);
  size_t offset = 0;
  while (offset + 8 <= FRecords.size()) {
    uint32_t type, size;
    std::memcpy(&type, FRecords.data() + offset, 4);
    std::memcpy(&size, FRecords.data() + offset + 4, 4);
    if (size < 8 || size > FRecords.size() - offset) break;
    player.Record({FRecords.data() + offset, type, size});
    if (type == U_EMR_EOF) break;
    offset += size;
  }
}

}  // namespace emf
