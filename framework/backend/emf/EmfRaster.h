// The metafile player's device: GDI's aliased rasterisation on an ARGB32
// image, in device pixels.
//
// Every figure first becomes a coverage mask (TCoverage: which pixels of
// its box it covers), then the mask is painted once through the clip region
// with the pen's or brush's colour and the binary raster operation. Painting
// each pixel once is what makes XOR pens and overlapping wide-pen segments
// come out as GDI's do.
//
// Rules (those of GDI in its compatible graphics mode):
// - a point names a pixel; polygons cover the pixels whose point lies
//   inside, the left and top edges included and the right and bottom
//   edges excluded, with the alternate or winding fill rule;
// - cosmetic lines (one pixel) leave out their last point and carry the
//   pen's dash pattern; wide lines are the union of segment rectangles with
//   round, square or flat caps and round, bevel or miter joins;
// - nothing is ever blended: every painted pixel is one colour (alpha
//   blending bitmaps aside).
//
// Thread rules: one raster per thread. Errors: EOutOfResources when an image
// or mask cannot be allocated; nothing else throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Surface.h"
#include "Types.h"

namespace emf {

struct TPointD {
  double X = 0, Y = 0;
};

// The pixels of `Box` (device coordinates) a figure covers: one byte per
// pixel, row by row, non-zero when covered.
struct TCoverage {
  TRect Box;
  std::vector<uint8_t> Bits;
  bool Empty() const noexcept { return Box.Right <= Box.Left || Box.Bottom <= Box.Top; }
  uint8_t& At(int x, int y) { return Bits[size_t(y - Box.Top) * size_t(Box.Width()) + size_t(x - Box.Left)]; }
  uint8_t At(int x, int y) const { return Bits[size_t(y - Box.Top) * size_t(Box.Width()) + size_t(x - Box.Left)]; }
};

// `v` as an int within [lo, hi]; NaN gives lo. Every device coordinate and
// count computed from a file's numbers passes here: a wild transform must
// not turn into an out-of-range conversion.
int ClampedInt(double v, int lo, int hi) noexcept;
// A device coordinate rounded to its pixel, kept within 1e8 pixels of the
// origin (far beyond any image).
int PixelOf(double v) noexcept;

// A coverage of `box` with nothing covered (an empty box gives an empty one).
TCoverage NewCoverage(const TRect& box);

enum TFillRule { frAlternate, frWinding };

// Polygons (each closed implicitly) filled into `into` (its box limits them).
// Vertices are rounded to whole pixels first, as GDI does.
void FillPolygons(TCoverage& into, std::span<const std::vector<TPointD>> polygons, TFillRule rule);

// The dash pattern of a cosmetic pen: run lengths in pixels, on first; empty
// for a solid line.
using TDashes = std::vector<int>;

// A one-pixel line from a to b, without b, continuing the dash pattern from
// `dashPos` (pixels into the pattern, updated).
void CosmeticLine(TCoverage& into, TPoint a, TPoint b, const TDashes& dashes, int& dashPos);

enum TCap { cpRound, cpSquare, cpFlat };
enum TJoin { jnRound, jnBevel, jnMiter };

// A polyline `width` pixels wide (closed: the last point joins the first).
void WideLine(TCoverage& into, std::span<const TPointD> points, bool closed, double width, TCap cap, TJoin join,
              double miterLimit);

// The binary raster operation of a pen or brush (R2_BLACK 1 ... R2_WHITE 16).
uint32_t ApplyRop2(int rop2, uint32_t pen, uint32_t dest) noexcept;

// What paints a covered pixel: a colour, or a tile repeated from the device
// origin (hatches and pattern brushes) whose pixels either carry a colour
// or are left alone (a hatch's gaps with a transparent background).
struct TPaint {
  uint32_t Color = 0;  // 0x00RRGGBB
  // Tile pixels 0xAARRGGBB; alpha 0 leaves the destination as it is.
  std::shared_ptr<const std::vector<uint32_t>> Tile;
  int TileWidth = 0, TileHeight = 0;
  TPoint TileOrigin;
};

class TRaster {
public:
  // A transparent width x height image.
  TRaster(int width, int height);

  int Width() const noexcept { return FImage->Width(); }
  int Height() const noexcept { return FImage->Height(); }
  const TSurfacePtr& Image() const noexcept { return FImage; }
  TRect Bounds() const noexcept { return {0, 0, Width(), Height()}; }

  // The clip region (null: the whole image). Coverage boxes outside the
  // image are fine: nothing is painted there.
  void SetClip(std::shared_ptr<const TCoverage> clip) { FClip = std::move(clip); }
  const std::shared_ptr<const TCoverage>& Clip() const noexcept { return FClip; }
  bool Clipped(int x, int y) const noexcept;

  // Paints the covered pixels.
  void Paint(const TCoverage& coverage, const TPaint& paint, int rop2);

  // The destination as a raster operation sees it: a pixel nothing has
  // painted yet counts as white, the paper the picture is drawn on.
  uint32_t Dest(int x, int y) const noexcept;
  void Put(int x, int y, uint32_t rgb) noexcept;
  // Blends a pixel over the destination as AlphaBlend does: its alpha times
  // the constant alpha; `premultiplied` colours already carry their alpha.
  void Blend(int x, int y, uint32_t argb, int constantAlpha, bool premultiplied) noexcept;

private:
  TSurfacePtr FImage;
  std::shared_ptr<const TCoverage> FClip;
};

}  // namespace emf
