// Shared ground of the drawing units: the device pixel format, views over
// pixel buffers, the TGraphic base class of bitmaps, icons, PNG images and
// metafiles, and file reading with the system's open-error message.
//
// Device pixels are 32-bit words 0xAARRGGBB in native byte order, the layout
// of TSurface (Surface.h): opaque, or with premultiplied alpha. TColor is 0x00BBGGRR; ColorToPixel/PixelToColor
// convert between the two.
//
// Thread rules: graphics belong to the user-interface thread; a graphic may
// be used on another thread when nothing else touches it.
// Errors: ReadFileBytes and LoadFromFile raise EFOpenError
// ("Impossible d'ouvrir le fichier "%s". %s"); decoders raise EInvalidGraphic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Classes.h"
#include "Colors.h"
#include "Types.h"

// The most pixels a decoded picture may have: a header that claims more is
// refused before anything is allocated (RLE bitmap data can be a few bytes
// for a huge picture). Fuzz builds set a lower limit so that such inputs
// stay cheap to run; the checks themselves are the same.
#ifndef VELQ_MAX_PICTURE_PIXELS
#define VELQ_MAX_PICTURE_PIXELS (uint64_t{1} << 26)
#endif
inline constexpr uint64_t kMaxPicturePixels = VELQ_MAX_PICTURE_PIXELS;

class TCanvas;
class TSurface;

// Raised when an image of the requested size cannot be allocated.
class EOutOfResources : public Exception { using Exception::Exception; };

// An opaque device pixel (alpha 0xFF) of an RGB colour; system colours are
// resolved first.
inline uint32_t ColorToPixel(TColor color) noexcept {
  const uint32_t c = uint32_t(ColorToRGB(color));
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
// The RGB colour of a device pixel (alpha ignored).
constexpr TColor PixelToColor(uint32_t pixel) noexcept {
  return TColor(((pixel & 0xFFu) << 16) | (pixel & 0xFF00u) | ((pixel >> 16) & 0xFFu));
}

// A pixel copied into a two-colour image: white stays white, every other
// colour becomes black (the background colour of a monochrome conversion
// is white).
constexpr uint32_t ToMonochrome(uint32_t pixel) noexcept {
  return (pixel & 0xFFFFFFu) == 0xFFFFFFu ? 0xFFFFFFFFu : 0xFF000000u;
}

// A window onto a pixel buffer owned by someone else. Stride is in pixels.
struct TPixelView {
  uint32_t* Data = nullptr;
  int Width = 0;
  int Height = 0;
  int Stride = 0;
  bool HasAlpha = false;  // premultiplied alpha in the top byte
  uint32_t* Row(int y) const noexcept { return Data + std::ptrdiff_t(y) * Stride; }
  bool Empty() const noexcept { return Data == nullptr || Width <= 0 || Height <= 0; }
  TRect Bounds() const noexcept { return {0, 0, Width, Height}; }
};

// The whole contents of a file; EFOpenError with the system's reason text.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
// Writes bytes to a file; EFCreateError ("Impossible de créer le fichier "%s". %s").
void WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes);

// The common interface of the picture kinds.
class TGraphic : public TPersistent {
  VELQ_CLASS(TGraphic)
public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const = 0;
  // A transparent graphic lets the canvas show through (its transparent
  // colour for bitmaps, the alpha channel for icons and PNG images).
  bool Transparent() const noexcept { return FTransparent; }
  virtual void SetTransparent(bool value);

  // Draws the graphic stretched onto `dest` (canvas coordinates).
  virtual void Draw(TCanvas& canvas, const TRect& dest) const = 0;

  // The file image of the graphic (a .bmp, .ico, .png, .emf/.wmf file).
  virtual void LoadFromBytes(std::span<const uint8_t> bytes) = 0;
  virtual std::vector<uint8_t> SaveToBytes() const = 0;
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;

  // The inline form that follows the class name in a picture's Data: the
  // file image; bitmaps put their byte count first.
  virtual void ReadData(std::span<const uint8_t> data) { LoadFromBytes(data); }
  virtual std::vector<uint8_t> WriteData() const { return SaveToBytes(); }

  TNotifyEvent OnChange;

protected:
  // Fires OnChange.
  virtual void Changed();
  bool FTransparent = false;
};

// Base of the kinds with an alpha channel (icons, PNG images): the pixels
// live in an sfArgb32 surface (premultiplied) and are alpha-blended onto
// the canvas when drawn, stretched by nearest pixel.
class TAlphaGraphic : public TGraphic {
  VELQ_CLASS(TAlphaGraphic)
public:
  ~TAlphaGraphic() override;
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  bool Empty() const override { return FWidth == 0 || FHeight == 0; }
  void Draw(TCanvas& canvas, const TRect& dest) const override;
  // Premultiplied pixels; empty when the graphic is.
  TPixelView View() const;
  // Straight-alpha pixel (0xAARRGGBB) at (x, y); 0 outside.
  uint32_t StraightPixel(int x, int y) const;

protected:
  // Takes top-down straight-alpha pixels 0xAARRGGBB (or clears with 0 x 0).
  void SetPixels(int width, int height, const std::vector<uint32_t>& straight);
  void CopyFrom(const TAlphaGraphic& other);

private:
  std::shared_ptr<TSurface> FSurface;
  int FWidth = 0;
  int FHeight = 0;
};
