#include "Bitmap.h"

#include <algorithm>
#include <cstring>

#include "BitmapCodec.h"
#include "Canvas.h"

namespace {
const char* const kInvalidBitmap = "Image bitmap incorrecte";
constexpr uint32_t kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u;

// Null for an empty size.
TSurfacePtr NewBitmapSurface(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  return NewSurface(width, height, TSurface::sfRgb24);
}

TPixelView ViewOf(const TSurfacePtr& s) { return s ? s->View() : TPixelView{}; }
}  // namespace

const TClassInfo& TBitmap::StaticClass() {
  static const TClassInfo info = TClassBuilder<TBitmap>("TBitmap", &TGraphic::StaticClass())
                                     .Binary("Data", &TBitmap::Data, &TBitmap::SetData)
                                     .Build();
  return info;
}

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

TBitmap::~TBitmap() { FCanvas.reset(); }

TPixelView TBitmap::View() const { return ViewOf(FSurface); }

void TBitmap::Modified() { Changed(); }

void TBitmap::Replace(TSurfacePtr surface, int width, int height) {
  FSurface = std::move(surface);
  FWidth = FSurface ? width : 0;
  FHeight = FSurface ? height : 0;
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == FWidth && height == FHeight) return;
  TSurfacePtr surface = NewBitmapSurface(width, height);
  if (surface) {
    TPixelView to = ViewOf(surface);
    const TPixelView from = View();
    for (int y = 0; y < to.Height; ++y) {
      uint32_t* row = to.Row(y);
      int kept = 0;
      if (y < from.Height && !from.Empty()) {
        kept = std::min(from.Width, to.Width);
        std::memcpy(row, from.Row(y), size_t(kept) * 4);
      }
      std::fill(row + kept, row + to.Width, kWhite);
    }
  }
  Replace(std::move(surface), width, height);
  Changed();
}

void TBitmap::ApplyMonochrome() {
  const TPixelView v = View();
  for (int y = 0; y < v.Height; ++y) {
    uint32_t* row = v.Row(y);
    for (int x = 0; x < v.Width; ++x) row[x] = ToMonochrome(row[x]);
  }
}

void TBitmap::SetMonochrome(bool value) {
  if (value == FMonochrome) return;
  FMonochrome = value;
  if (value) ApplyMonochrome();
  else if (FPixelFormat == pf1bit) FPixelFormat = pfDevice;
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
  if (value == FPixelFormat) return;
  FPixelFormat = value;
  if (value == pf1bit) SetMonochrome(true);
  else if (FMonochrome) SetMonochrome(false);
  Changed();
}

TColor TBitmap::Pixels(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return -1;
  return PixelToColor(View().Row(y)[x]);
}

// Through the canvas, so that a monochrome bitmap maps the colour the same
// way as any other drawing.
void TBitmap::SetPixels(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  Canvas().SetPixels(x, y, color);
}

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TCanvas>(*this);
  return *FCanvas;
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentMode == tmFixed && FTransparentColor != clDefault) return FTransparentColor;
  if (Empty()) return clDefault;
  return Pixels(0, FHeight - 1);
}

void TBitmap::SetTransparentColor(TColor value) {
  if (value == FTransparentColor) return;
  FTransparentColor = value;
  FTransparentMode = value == clDefault ? tmAuto : tmFixed;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode value) {
  if (value == FTransparentMode) return;
  FTransparentMode = value;
  if (value == tmAuto) FTransparentColor = clDefault;
  Changed();
}

void TBitmap::Mask(TColor color) {
  const uint32_t key = ColorToPixel(color) & 0xFFFFFFu;
  const TPixelView v = View();
  for (int y = 0; y < v.Height; ++y) {
    uint32_t* row = v.Row(y);
    for (int x = 0; x < v.Width; ++x) row[x] = (row[x] & 0xFFFFFFu) == key ? kWhite : kBlack;
  }
  FMonochrome = true;
  Modified();
}

void TBitmap::Assign(const TPersistent& source) {
  if (&source == this) return;
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
    TSurfacePtr surface = NewBitmapSurface(bitmap->FWidth, bitmap->FHeight);
    if (surface) {
      const TPixelView from = bitmap->View(), to = ViewOf(surface);
      for (int y = 0; y < to.Height; ++y) std::memcpy(to.Row(y), from.Row(y), size_t(to.Width) * 4);
      }
    Replace(std::move(surface), bitmap->FWidth, bitmap->FHeight);
    FMonochrome = bitmap->FMonochrome;
    FPixelFormat = bitmap->FPixelFormat;
    FHandleType = bitmap->FHandleType;
    FTransparentColor = bitmap->FTransparentColor;
    FTransparentMode = bitmap->FTransparentMode;
    FTransparent = bitmap->FTransparent;
    Changed();
    return;
  }
  if (const auto* graphic = dynamic_cast<const TGraphic*>(&source)) {
    // Other kinds are rendered onto a white bitmap of their size.
    Replace(nullptr, 0, 0);
    FMonochrome = false;
    FPixelFormat = pfDevice;
    SetSize(graphic->Width(), graphic->Height());
    if (!Empty()) graphic->Draw(Canvas(), {0, 0, FWidth, FHeight});
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& dest) const {
  if (Empty()) return;
  if (FTransparent) canvas.CopyPixelsTransparent(dest, View(), {0, 0, FWidth, FHeight}, TransparentColor());
  else canvas.CopyPixels(dest, View(), {0, 0, FWidth, FHeight}, canvas.CopyMode());
}

void TBitmap::LoadFromBytes(std::span<const uint8_t> bytes) {
  const TDecodedImage image = DecodeBmp(bytes, kInvalidBitmap);
  TSurfacePtr surface = NewBitmapSurface(image.Width, image.Height);
  const TPixelView to = ViewOf(surface);
  for (int y = 0; y < to.Height; ++y)
    for (int x = 0; x < to.Width; ++x) to.Row(y)[x] = image.Pixels[size_t(y) * size_t(image.Width) + size_t(x)] | 0xFF000000u;
  Replace(std::move(surface), image.Width, image.Height);
  switch (image.BitsPerPixel) {
    case 1: FPixelFormat = pf1bit; break;
    case 4: FPixelFormat = pf4bit; break;
    case 8: FPixelFormat = pf8bit; break;
    case 16: FPixelFormat = pf16bit; break;
    case 24: FPixelFormat = pf24bit; break;
    default: FPixelFormat = pf32bit; break;
  }
  FMonochrome = image.BitsPerPixel == 1;
  Changed();
}

std::vector<uint8_t> TBitmap::SaveToBytes() const {
  if (FMonochrome || FPixelFormat == pf1bit) return SaveToBytes(1);
  if (FPixelFormat == pf4bit) return SaveToBytes(4);
  return SaveToBytes(24);
}

std::vector<uint8_t> TBitmap::SaveToBytes(int bitsPerPixel) const { return EncodeBmp(View(), bitsPerPixel); }

std::vector<uint8_t> TBitmap::Data() const {
  std::vector<uint8_t> out(4, 0);
  if (Empty()) return out;
  const std::vector<uint8_t> file = SaveToBytes();
  const uint32_t n = uint32_t(file.size());
  for (int i = 0; i < 4; ++i) out[size_t(i)] = uint8_t(n >> (8 * i));
  out.insert(out.end(), file.begin(), file.end());
  return out;
}

void TBitmap::SetData(std::span<const uint8_t> data) {
  if (data.size() < 4) throw EInvalidGraphic(kInvalidBitmap);
  const uint32_t n = uint32_t(data[0]) | (uint32_t(data[1]) << 8) | (uint32_t(data[2]) << 16) | (uint32_t(data[3]) << 24);
  if (n > data.size() - 4) throw EInvalidGraphic(kInvalidBitmap);
  if (n == 0) {
    Replace(nullptr, 0, 0);
    FMonochrome = false;
    FPixelFormat = pfDevice;
    Changed();
    return;
  }
  LoadFromBytes(data.subspan(4, n));
}
