// Pixel copies of TCanvas: stretch copies under a raster operation, copies
// with a transparent colour, alpha blending and the brush copy.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Bitmap.h"
#include "Canvas.h"

namespace {
// Nearest-pixel mapping of `count` destination pixels onto `srcCount` source
// pixels starting at srcStart; mirrored when the two directions differ.
int SourceIndex(int i, int count, int srcStart, int srcCount, bool mirror) {
  const int k = int((int64_t(2 * i + 1) * srcCount) / (int64_t(2) * count));
  return mirror ? srcStart + srcCount - 1 - k : srcStart + k;
}

// One row of a same-size copy. The rows never overlap (a copy within one
// image works from a snapshot), which lets the compiler vectorise the loop;
// kept out of line, where it does so for every operation.
template <class Op>
__attribute__((noinline)) void CopyRow(uint32_t* __restrict dest, const uint32_t* __restrict src, int count, Op op) {
  for (int i = 0; i < count; ++i) op(dest[i], src[i]);
}
}  // namespace

template <class Op>
void TCanvas::Blit(const TRect& dest, const TPixelView& srcIn, const TRect& srcRectIn, Op op) {
  const TTarget t = Target();
  if (t.View.Empty() || srcIn.Empty()) return;
  // Negative extents mirror, as in a stretch copy with flipped coordinates.
  TRect d = dest, s = srcRectIn;
  bool mirrorX = false, mirrorY = false;
  if (d.Right < d.Left) { std::swap(d.Left, d.Right); mirrorX = !mirrorX; }
  if (d.Bottom < d.Top) { std::swap(d.Top, d.Bottom); mirrorY = !mirrorY; }
  if (s.Right < s.Left) { std::swap(s.Left, s.Right); mirrorX = !mirrorX; }
  if (s.Bottom < s.Top) { std::swap(s.Top, s.Bottom); mirrorY = !mirrorY; }
  if (IsRectEmpty(d) || IsRectEmpty(s)) return;
  const TRect dev = OffsetRect(d, t.Origin.X, t.Origin.Y);
  const TRect area = IntersectRect(dev, t.Clip);
  if (IsRectEmpty(area)) return;

  // Copying within one image reads from a snapshot, so overlapping areas
  // come out as if read before written.
  TPixelView src = srcIn;
  std::vector<uint32_t> snapshot;
  if (src.Data == t.View.Data) {
    snapshot.resize(size_t(src.Width) * size_t(src.Height));
    for (int y = 0; y < src.Height; ++y) std::memcpy(&snapshot[size_t(y) * size_t(src.Width)], src.Row(y), size_t(src.Width) * 4);
    src = {snapshot.data(), src.Width, src.Height, src.Width, src.HasAlpha};
  }

  // A copy at the same size, unmirrored (a widget drawing its cached
  // background, every frame): source pixels follow each other, so each row
  // is one tight loop the compiler vectorises, and nothing is allocated.
  if (!mirrorX && !mirrorY && d.Width() == s.Width() && d.Height() == s.Height() && !t.Monochrome) {
    const int dx = s.Left - dev.Left, dy = s.Top - dev.Top;  // source = device + offset
    const int left = std::max(area.Left, -dx), right = std::min(area.Right, src.Width - dx);
    const int top = std::max(area.Top, -dy), bottom = std::min(area.Bottom, src.Height - dy);
    for (int y = top; y < bottom; ++y) CopyRow(t.View.Row(y) + left, src.Row(y + dy) + left + dx, right - left, op);
    Changed(t);
    return;
  }

  std::vector<int> columns(size_t(area.Width()));
  for (int x = area.Left; x < area.Right; ++x)
    columns[size_t(x - area.Left)] = SourceIndex(x - dev.Left, dev.Width(), s.Left, s.Width(), mirrorX);
  for (int y = area.Top; y < area.Bottom; ++y) {
    const int sy = SourceIndex(y - dev.Top, dev.Height(), s.Top, s.Height(), mirrorY);
    if (sy < 0 || sy >= src.Height) continue;
    const uint32_t* srcRow = src.Row(sy);
    uint32_t* destRow = t.View.Row(y);
    for (int x = area.Left; x < area.Right; ++x) {
      const int sx = columns[size_t(x - area.Left)];
      if (sx < 0 || sx >= src.Width) continue;
      uint32_t pixel = srcRow[sx];
      if (t.Monochrome) pixel = ToMonochrome(pixel);
      op(destRow[x], pixel);
    }
  }
  Changed(t);
}

void TCanvas::CopyPixels(const TRect& dest, const TPixelView& src, const TRect& srcRect, TCopyMode rop) {
  switch (rop) {
    case cmSrcCopy:
      return Blit(dest, src, srcRect, [](uint32_t& d, uint32_t s) { d = s | 0xFF000000u; });
    case cmSrcAnd:
      return Blit(dest, src, srcRect, [](uint32_t& d, uint32_t s) { d = (d & s) | 0xFF000000u; });
    case cmSrcInvert:
      return Blit(dest, src, srcRect, [](uint32_t& d, uint32_t s) { d = (d ^ s) | 0xFF000000u; });
    case cmSrcPaint:
      return Blit(dest, src, srcRect, [](uint32_t& d, uint32_t s) { d = d | s | 0xFF000000u; });
    default: {
      const uint32_t pattern = DrawColor(FBrush.Color(), Target());
      return Blit(dest, src, srcRect,
                  [rop, pattern](uint32_t& d, uint32_t s) { d = ApplyRop3(rop, pattern, s, d) | 0xFF000000u; });
    }
  }
}

void TCanvas::CopyPixelsTransparent(const TRect& dest, const TPixelView& src, const TRect& srcRect,
                                    TColor transparentColor) {
  const uint32_t key = ColorToPixel(transparentColor) & 0xFFFFFFu;
  // A select rather than a conditional store, so that rows vectorise.
  Blit(dest, src, srcRect, [key](uint32_t& d, uint32_t s) { d = (s & 0xFFFFFFu) != key ? s | 0xFF000000u : d; });
}

void TCanvas::BlendPixels(const TRect& dest, const TPixelView& src, const TRect& srcRect) {
  Blit(dest, src, srcRect, [](uint32_t& d, uint32_t s) {
    const uint32_t a = s >> 24;
    if (a == 0xFF) {
      d = s;
    } else if (a != 0) {
      // Premultiplied source over an opaque destination.
      uint32_t out = 0xFF000000u;
      for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
        out |= std::min<uint32_t>(255, sc + (dc * (255 - a) + 127) / 255) << shift;
      }
      d = out;
    }
  });
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
  const TPoint o = source.Origin();
  CopyPixels(dest, source.View(), OffsetRect(sourceRect, o.X, o.Y), FCopyMode);
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
  if (graphic.Empty()) return;
  graphic.Draw(*this, Bounds(x, y, graphic.Width(), graphic.Height()));
}

void TCanvas::StretchDraw(const TRect& dest, const TGraphic& graphic) {
  if (graphic.Empty()) return;
  graphic.Draw(*this, dest);
}

void TCanvas::BrushCopy(const TRect& dest, TBitmap& bitmap, const TRect& source, TColor transparentColor) {
  if (bitmap.Empty()) return;
  if (FBrush.Style() == bsClear) return CopyPixelsTransparent(dest, bitmap.View(), source, transparentColor);
  const uint32_t key = ColorToPixel(transparentColor) & 0xFFFFFFu;
  const uint32_t fill = DrawColor(FBrush.Color(), Target());
  Blit(dest, bitmap.View(), source, [key, fill](uint32_t& d, uint32_t s) {
    d = (s & 0xFFFFFFu) == key ? fill : s | 0xFF000000u;
  });
}
