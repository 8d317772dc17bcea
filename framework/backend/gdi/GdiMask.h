// Coverage masks drawn by GDI, shared by the Windows text and wide-pen
// rasterisers: a top-down 1-bit DIB section (colour table black, white)
// selected into this thread's memory DC. Callers draw on it in white on
// black, without anti-aliasing, then read it back as an sfA8 surface (lit
// pixels 255) or as the bounds of what they lit.
//
// One bitmap per thread is kept for masks of up to kKeptMaskPixels, so that
// measuring and drawing small texts does not create a section each time;
// larger masks get their own, freed with the mask.
//
// Thread rules: GdiThreadDc and every TGdiMask belong to the calling thread
// (the DC is thread_local; a mask must not outlive its thread's use of it).
// Nested masks on one thread are not allowed (they would share the DC).
// Errors: EOutOfResources("Ressources insuffisantes") when GDI gives no DC,
// "Ressources insuffisantes (WxH)" when it gives no bitmap of that size or
// the size is not positive.
#pragma once

#include <cstdint>

// The framework's headers come first: <windows.h> defines macros (RGB)
// that would otherwise rewrite their declarations.
#include "Surface.h"
#include "Types.h"
#include "os/WinApi.h"

// This thread's memory DC: text aligned top-left without updating the
// current position, transparent background, white text.
HDC GdiThreadDc();

class TGdiMask {
public:
  // An all-black mask of width x height selected into GdiThreadDc().
  TGdiMask(int width, int height);
  ~TGdiMask();
  TGdiMask(const TGdiMask&) = delete;
  TGdiMask& operator=(const TGdiMask&) = delete;

  HDC Dc() const noexcept { return FDc; }
  // Lit pixels as 255 in a new sfA8 surface of the mask's size.
  TSurfacePtr ToSurface() const;
  // The smallest rectangle holding every lit pixel (empty when none).
  TRect LitBounds() const;

  static constexpr int64_t kKeptMaskPixels = 1024 * 1024;

private:
  const uint8_t* Row(int y) const noexcept { return FBits + std::ptrdiff_t(y) * FStride; }
  HDC FDc;
  HBITMAP FOwned = nullptr;  // a bitmap of its own (too large to keep)
  HGDIOBJ FPrevious = nullptr;
  const uint8_t* FBits = nullptr;
  int FStride = 0;
  int FWidth, FHeight;
};
