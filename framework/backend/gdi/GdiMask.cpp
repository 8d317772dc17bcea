#include "GdiMask.h"

#include <algorithm>
#include <cstring>

#include "GraphicsBase.h"
#include "SysUtils.h"

namespace {
[[noreturn]] void OutOfResources(int width, int height) {
  throw EOutOfResources(Format("Ressources insuffisantes (%dx%d)", width, height));
}

struct TMonoSection {
  HBITMAP Bitmap = nullptr;
  uint8_t* Bits = nullptr;
  int Width = 0;
  int Height = 0;
  int Stride = 0;
};

// A top-down 1-bit DIB section whose colour table is black, white: GDI
// maps white text and pens to bit 1 and leaves the rest 0, whatever the
// screen's depth.
TMonoSection CreateMonoSection(int width, int height) {
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[2];
  } info{};
  info.Header.biSize = sizeof(BITMAPINFOHEADER);
  info.Header.biWidth = width;
  info.Header.biHeight = -height;
  info.Header.biPlanes = 1;
  info.Header.biBitCount = 1;
  info.Header.biCompression = BI_RGB;
  info.Colors[1] = RGBQUAD{255, 255, 255, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits,
                                    nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    OutOfResources(width, height);
  }
  // DIB rows are padded to whole 32-bit words.
  return {bitmap, static_cast<uint8_t*>(bits), width, height, (width + 31) / 32 * 4};
}

struct TThreadGdi {
  HDC Dc = nullptr;
  TMonoSection Kept;
  TThreadGdi() {
    Dc = CreateCompatibleDC(nullptr);
    if (!Dc) return;
    SetTextAlign(Dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, RGB(255, 255, 255));
  }
  ~TThreadGdi() {
    if (Dc) DeleteDC(Dc);
    if (Kept.Bitmap) DeleteObject(Kept.Bitmap);
  }
  TThreadGdi(const TThreadGdi&) = delete;
  TThreadGdi& operator=(const TThreadGdi&) = delete;
};

TThreadGdi& ThreadGdi() {
  thread_local TThreadGdi state;
  return state;
}
}  // namespace

HDC GdiThreadDc() {
  HDC dc = ThreadGdi().Dc;
  if (!dc) throw EOutOfResources("Ressources insuffisantes");
  return dc;
}

TGdiMask::TGdiMask(int width, int height) : FDc(nullptr), FWidth(width), FHeight(height) {
  if (width <= 0 || height <= 0) OutOfResources(width, height);
  TThreadGdi& gdi = ThreadGdi();
  if (!gdi.Dc) throw EOutOfResources("Ressources insuffisantes");
  // Earlier drawing may still be queued: the bits are rewritten below.
  GdiFlush();
  HBITMAP bitmap;
  if (int64_t(width) * height <= kKeptMaskPixels) {
    if (gdi.Kept.Width < width || gdi.Kept.Height < height) {
      // The kept section grows to hold both shapes while that stays small.
      const int w = std::max(width, gdi.Kept.Width), h = std::max(height, gdi.Kept.Height);
      const TMonoSection grown = int64_t(w) * h <= kKeptMaskPixels ? CreateMonoSection(w, h)
                                                                     : CreateMonoSection(width, height);
      if (gdi.Kept.Bitmap) DeleteObject(gdi.Kept.Bitmap);
      gdi.Kept = grown;
    }
    bitmap = gdi.Kept.Bitmap;
    FBits = gdi.Kept.Bits;
    FStride = gdi.Kept.Stride;
  } else {
    const TMonoSection own = CreateMonoSection(width, height);
    bitmap = FOwned = own.Bitmap;
    FBits = own.Bits;
    FStride = own.Stride;
  }
  for (int y = 0; y < height; ++y) std::memset(const_cast<uint8_t*>(Row(y)), 0, size_t(width + 7) / 8);
  FDc = gdi.Dc;
  FPrevious = SelectObject(FDc, bitmap);
}

TGdiMask::~TGdiMask() {
  SelectObject(FDc, FPrevious);
  if (FOwned) DeleteObject(FOwned);
}

TSurfacePtr TGdiMask::ToSurface() const {
  GdiFlush();
  TSurfacePtr mask = NewSurface(FWidth, FHeight, TSurface::sfA8);
  for (int y = 0; y < FHeight; ++y) {
    const uint8_t* bits = Row(y);
    uint8_t* out = mask->Row(y);
    for (int x = 0; x < FWidth; ++x)
      if (bits[x >> 3] & (0x80 >> (x & 7))) out[x] = 255;
  }
  return mask;
}

TRect TGdiMask::LitBounds() const {
  GdiFlush();
  int left = FWidth, top = FHeight, right = 0, bottom = 0;
  const int bytes = (FWidth + 7) / 8;
  for (int y = 0; y < FHeight; ++y) {
    const uint8_t* bits = Row(y);
    for (int b = 0; b < bytes; ++b) {
      if (!bits[b]) continue;  // most of a text's box is empty
      for (int x = b * 8; x < std::min(FWidth, b * 8 + 8); ++x) {
        if (!(bits[b] & (0x80 >> (x & 7)))) continue;
        left = std::min(left, x);
        right = std::max(right, x + 1);
        top = std::min(top, y);
        bottom = y + 1;
      }
    }
  }
  return right > left ? TRect{left, top, right, bottom} : TRect{};
}
