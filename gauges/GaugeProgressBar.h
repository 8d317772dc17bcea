// TGaugeProgressBar: a progress bar that shows Position within
// MinValue..MaxValue as a run of block segments or as one smooth block.
//
// The blocks are cut out of a fill pattern that covers the whole inside of
// the bevel - the plain highlight colour, a gradient from StartColor (the
// empty end) to EndColor (the full end), or a tiled picture - so the visible
// part of a gradient stays put as the bar grows. The pattern is rendered
// into FillBitmap only when one of its inputs changes (colours, fill type,
// orientation, picture, the system colours) or the inside of the bevel
// changes size; a frame only copies blocks of it into the off-screen image.
//
// Geometry (the inside of the bevel is R; s = (thickness div 3) x 2, the
// thickness being R's height for a horizontal bar and its width for a
// vertical one; Fill = BarFillCount(Position, MinValue, MaxValue, length)):
// - horizontal segments are s - 2 wide with 2-pixel gaps, the first at
//   R.Left + 1, one pixel free at the top and bottom; a segment is drawn
//   whole once the fill end passes its left edge, and the last one is cut at
//   R.Right - 1. Smooth: one block from R.Left + 1 to R.Left + Fill.
// - vertical segments are s - 2 high, stacked upward from R.Bottom - 1 with
//   2-pixel gaps, one pixel free at the left and right; the topmost is cut
//   at R.Top + 1. Smooth: one block from R.Bottom - Fill to R.Bottom. The
//   pattern row copied to a block is the one just above it (the source
//   starts one row higher than the block does).
// ProgressBarBlocks / TProgressBlockWalk give exactly these blocks, so tests
// and tools can check the geometry without painting.
//
// Thread rules: user-interface thread only (the geometry functions are pure
// and may run anywhere).
// Errors: overflow in the geometry raises EIntOverflow / ERangeError
// (GaugeSysUtils); out-of-range MinValue/MaxValue writes are ignored and
// Position is clamped, silently.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "GaugeBar.h"

// The kinds of fill pattern (the stored value is the ordinal).
enum class TGaugeProgressBarFill : uint8_t { pfPlain, pfGradient, pfBitmap };
const TEnumInfo& GaugeProgressBarFillNames();

// ---- geometry ----------------------------------------------------------------------------

// The size of one segment slot (segment plus gap) for a bar of the given
// thickness: (thickness div 3) x 2.
int32_t ProgressSegmentSize(int32_t thickness);

// One block of the bar: where it lands on the off-screen image, and the part
// of the fill pattern (whose origin is the top-left of the area) copied
// onto it. A vertical block is 2 pixels narrower than its source, so the
// copy squeezes the pattern's width.
struct TProgressBlock {
  TRect Dest;
  TRect Source;
  bool operator==(const TProgressBlock&) const = default;
};

// Walks the blocks of a bar whose inside is `area` and whose fill length is
// `fill`, from the start of the bar towards its end, without allocating (a
// frame walks it once). Blocks with no pixels (an area too thin for a
// segment) are skipped; an area so thin that the walk would not advance
// ends it.
class TProgressBlockWalk {
public:
  TProgressBlockWalk(const TRect& area, int32_t fill, bool smooth, TGaugeOrientation orientation);
  // The next block; false once the fill end has been passed.
  bool Next(TProgressBlock& block);

private:
  TRect FArea;
  TRect FBlock;
  int32_t FEnd;
  bool FHorizontal;
  bool FDone = false;
};

// Every block of the walk, in order (for tests and tools).
std::vector<TProgressBlock> ProgressBarBlocks(const TRect& area, int32_t fill, bool smooth,
                                              TGaugeOrientation orientation);

// ---- TGaugeProgressBar -------------------------------------------------------------------

class TGaugeProgressBar : public TGaugeCustomBar {
  VELQ_CLASS(TGaugeProgressBar)
public:
  // A new bar is 200 x 16, horizontal, full (Position 100 of 0..100), black,
  // opaque, with a gradient from navy to aqua inside a 1-pixel lowered bevel.
  explicit TGaugeProgressBar(TComponent* owner);
  ~TGaugeProgressBar() override;

  // The frame around the bar; assigning copies into the bar's own bevel.
  // A change repaints.
  TGaugeBevel* Bevel() const noexcept { return FBevel.get(); }
  void SetBevel(const TGaugeBevel* value) { FBevel->Assign(*value); }

  TColor StartColor() const noexcept { return FStartColor; }
  void SetStartColor(TColor value);
  TColor EndColor() const noexcept { return FEndColor; }
  void SetEndColor(TColor value);
  TGaugeProgressBarFill FillType() const noexcept { return FFillType; }
  void SetFillType(TGaugeProgressBarFill value);
  bool Smooth() const noexcept { return FSmooth; }
  void SetSmooth(bool value);

  // The picture tiled as the fill when FillType is pfBitmap (an empty one
  // falls back to the plain highlight colour); assigning copies into the
  // bar's own picture.
  TBitmap* Bitmap() const noexcept { return FBitmap.get(); }
  void SetBitmap(const TBitmap* value) { FBitmap->Assign(*value); }

  // The system colours changed: clHighlight may be another colour now, so
  // the fill pattern is rendered again at the next paint.
  void SysColorChange();

  // The inside of the bevel at the last paint.
  const TRect& BarArea() const noexcept { return FBarArea; }
  // The cached fill pattern, the flag that forces its next rendering, and
  // how many times it has been rendered (for tests and benchmarks).
  const TBitmap& FillBitmap() const noexcept { return *FFillBitmap; }
  bool FillDirty() const noexcept { return FFillDirty; }
  int64_t FillRenderCount() const noexcept { return FFillRenderCount; }

protected:
  void Paint() override;
  // Renders the fill pattern for an area the size of r, unless the cached
  // one already has that size and no input changed since.
  void UpdateFillBitmap(const TRect& r);
  void OrientationChanged() override { FFillDirty = true; }

private:
  void SetFillInput(TColor& field, TColor value);
  // The picture changed: the pattern depends on it only under pfBitmap.
  void BitmapChanged();

  std::unique_ptr<TGaugeBevel> FBevel;
  TGaugeProgressBarFill FFillType = TGaugeProgressBarFill::pfGradient;
  TColor FStartColor = clNavy;
  TColor FEndColor = clAqua;
  bool FSmooth = false;
  std::unique_ptr<TBitmap> FBitmap;
  TRect FBarArea;
  std::unique_ptr<TBitmap> FFillBitmap;
  bool FFillDirty = false;
  int64_t FFillRenderCount = 0;
};
