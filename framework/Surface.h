// TSurface: a block of pixels in memory that the canvas, bitmaps, forms'
// back buffers and the window systems share. 32-bit surfaces hold device
// pixels 0xAARRGGBB in native byte order (B, G, R, A in memory: the layout
// of a top-down 32-bit device-independent bitmap, and of Cairo's image
// surfaces, so platform code can hand the memory over without a copy);
// 8-bit surfaces are coverage masks (0 none, 255 full), as text and wide
// pens are rasterised.
//
// Every row starts 16-byte aligned and the stride is a multiple of 4 bytes.
// A new surface is all zeros.
//
// Thread rules: a surface belongs to whoever holds it; nothing inside is
// synchronised.
// Errors: the constructor raises EOutOfResources("Ressources insuffisantes
// (WxH)") when the memory cannot be had or the size is not positive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "GraphicsBase.h"

class TSurface {
public:
  enum TFormat : uint8_t {
    sfRgb24,   // opaque device pixels (the top byte is not read)
    sfArgb32,  // premultiplied alpha in the top byte
    sfA8       // one coverage byte per pixel
  };

  TSurface(int width, int height, TFormat format);
  ~TSurface();
  TSurface(const TSurface&) = delete;
  TSurface& operator=(const TSurface&) = delete;

  int Width() const noexcept { return FWidth; }
  int Height() const noexcept { return FHeight; }
  TFormat Format() const noexcept { return FFormat; }
  // Bytes from one row to the next.
  int Stride() const noexcept { return FStride; }
  uint8_t* Bytes() const noexcept { return FBytes; }
  uint8_t* Row(int y) const noexcept { return FBytes + std::ptrdiff_t(y) * FStride; }
  // The pixels of a 32-bit surface (empty for a mask).
  TPixelView View() const noexcept;

private:
  int FWidth;
  int FHeight;
  int FStride;
  TFormat FFormat;
  uint8_t* FBytes = nullptr;
};

using TSurfacePtr = std::shared_ptr<TSurface>;

// Copies the pixels of `r` (clipped to both surfaces) from one surface to
// the same place in another of the same format.
void CopySurfaceRect(const TSurface& from, TSurface& to, const TRect& r) noexcept;

// A new shared surface (see the constructor for errors).
inline TSurfacePtr NewSurface(int width, int height, TSurface::TFormat format) {
  return std::make_shared<TSurface>(width, height, format);
}
