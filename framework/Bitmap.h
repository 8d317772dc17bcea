// TBitmap: a 32-bit image (an sfRgb24 TSurface) with a monochrome
// flag, pixel access, its own canvas, Windows BMP loading and saving, and the
// inline "Data" form that skins use (32-bit little-endian byte count n, then
// n bytes of a .bmp file; n = 0 is an empty bitmap).
//
// A new or enlarged area of a bitmap is white. A monochrome bitmap holds only
// black and white pixels: turning the flag on maps white to white and every
// other colour to black. Loading a 1-bit file sets the flag and keeps the
// file's two palette colours.
//
// Thread rules: user-interface thread (or one thread at a time).
// Errors: LoadFromBytes/SetData raise EInvalidGraphic("Image bitmap
// incorrecte") for a file that does not start with "BM" or is truncated or
// inconsistent (the bitmap is then left unchanged); LoadFromFile raises
// EFOpenError("Impossible d'ouvrir le fichier "%s". %s").
#pragma once

#include <memory>

#include "GraphicsBase.h"
#include "Surface.h"

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType { bmDIB, bmDDB };
enum TTransparentMode { tmAuto, tmFixed };

class TBitmap : public TGraphic {
  VELQ_CLASS(TBitmap)
public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;

  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  bool Empty() const override { return FWidth == 0 || FHeight == 0; }
  void SetWidth(int value) { SetSize(value, FHeight); }
  void SetHeight(int value) { SetSize(FWidth, value); }
  // Keeps the pixels that remain inside; negative sizes count as 0.
  void SetSize(int width, int height);

  bool Monochrome() const noexcept { return FMonochrome; }
  void SetMonochrome(bool value);
  // Remembered for saving (pf1bit and pf4bit files); pf1bit also sets
  // Monochrome. Pixels stay 32-bit.
  TPixelFormat PixelFormat() const noexcept { return FPixelFormat; }
  void SetPixelFormat(TPixelFormat value);
  TBitmapHandleType HandleType() const noexcept { return FHandleType; }
  void SetHandleType(TBitmapHandleType value) noexcept { FHandleType = value; }

  // -1 outside the bitmap; writes outside are ignored.
  TColor Pixels(int x, int y) const;
  void SetPixels(int x, int y, TColor color);

  TCanvas& Canvas();

  // The colour that Draw leaves out when Transparent: with tmAuto the
  // bottom-left pixel, with tmFixed the colour set here.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor value);
  TTransparentMode TransparentMode() const noexcept { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode value);

  // Turns the bitmap into a monochrome mask: pixels of `color` become white,
  // all others black.
  void Mask(TColor color);

  void Assign(const TPersistent& source) override;
  void Draw(TCanvas& canvas, const TRect& dest) const override;

  void LoadFromBytes(std::span<const uint8_t> bytes) override;
  // A .bmp file: 1 bit for monochrome or pf1bit bitmaps, 4 bits for pf4bit,
  // else 24 bits.
  std::vector<uint8_t> SaveToBytes() const override;
  std::vector<uint8_t> SaveToBytes(int bitsPerPixel) const;
  void ReadData(std::span<const uint8_t> data) override { SetData(data); }
  std::vector<uint8_t> WriteData() const override { return Data(); }
  // The inline form: byte count, then the .bmp file.
  std::vector<uint8_t> Data() const;
  void SetData(std::span<const uint8_t> data);

  // The pixels (flushed, ready for direct access); empty for an empty bitmap.
  TPixelView View() const;
  // The image surface (null when empty). After writing pixels directly,
  // call Modified().
  const TSurfacePtr& Surface() const noexcept { return FSurface; }
  // Marks the pixels as changed and fires OnChange.
  void Modified();

private:
  void Replace(TSurfacePtr surface, int width, int height);
  void ApplyMonochrome();
  TSurfacePtr FSurface;
  int FWidth = 0;
  int FHeight = 0;
  bool FMonochrome = false;
  TPixelFormat FPixelFormat = pfDevice;
  TBitmapHandleType FHandleType = bmDIB;
  TColor FTransparentColor = clDefault;
  TTransparentMode FTransparentMode = tmAuto;
  std::unique_ptr<TCanvas> FCanvas;
};
