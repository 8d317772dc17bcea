// Icon files: a directory of entries, each a device-independent bitmap with
// an AND mask, or a PNG image.
#include <cstring>

#include "BitmapCodec.h"
#include "Picture.h"

namespace {
const char* const kInvalidIcon = "Image icône incorrecte";

uint16_t U16(std::span<const uint8_t> b, size_t pos) { return uint16_t(b[pos] | (b[pos + 1] << 8)); }
uint32_t U32(std::span<const uint8_t> b, size_t pos) {
  return uint32_t(b[pos]) | (uint32_t(b[pos + 1]) << 8) | (uint32_t(b[pos + 2]) << 16) | (uint32_t(b[pos + 3]) << 24);
}
bool IsPng(std::span<const uint8_t> b) { return b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G'; }
}  // namespace

const TClassInfo& TIcon::StaticClass() {
  static const TClassInfo info = TClassBuilder<TIcon>("TIcon", &TAlphaGraphic::StaticClass()).Build();
  return info;
}

void TIcon::LoadFromBytes(std::span<const uint8_t> bytes) {
  auto fail = [] { throw EInvalidGraphic(kInvalidIcon); };
  if (bytes.size() < 6 || U16(bytes, 0) != 0 || (U16(bytes, 2) != 1 && U16(bytes, 2) != 2)) fail();
  const size_t count = U16(bytes, 4);
  if (count == 0 || bytes.size() < 6 + 16 * count) fail();

  // The best entry: the largest, then the one with most bits per pixel.
  std::span<const uint8_t> best;
  uint64_t bestScore = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t e = 6 + 16 * i;
    const uint32_t size = U32(bytes, e + 8), offset = U32(bytes, e + 12);
    if (offset > bytes.size() || size > bytes.size() - offset || size == 0) fail();
    const std::span<const uint8_t> image = bytes.subspan(offset, size);
    const uint64_t width = bytes[e] ? bytes[e] : 256, height = bytes[e + 1] ? bytes[e + 1] : 256;
    uint64_t bpp = U16(bytes, e + 6);
    if (IsPng(image)) bpp = 32;
    else if (image.size() >= 16) bpp = U16(image, 14);  // the header knows better than the directory
    const uint64_t score = (width * height) << 8 | std::min<uint64_t>(bpp, 255);
    if (score > bestScore) {
      bestScore = score;
      best = image;
    }
  }

  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  if (IsPng(best)) {
    pixels = DecodePng(best, kInvalidIcon, width, height);
  } else {
    TDecodedImage dib = DecodeIconDib(best, kInvalidIcon);
    width = dib.Width;
    height = dib.Height;
    // Entries with a real alpha channel use it; the others (and 32-bit
    // entries whose alpha is all zero) take transparency from the mask.
    bool alphaUsed = false;
    if (dib.BitsPerPixel == 32)
      for (uint32_t p : dib.Pixels) alphaUsed = alphaUsed || (p >> 24) != 0;
    pixels = std::move(dib.Pixels);
    for (size_t i = 0; i < pixels.size(); ++i) {
      if (alphaUsed) continue;
      pixels[i] = (pixels[i] & 0xFFFFFFu) | (dib.Mask[i] ? 0u : 0xFF000000u);
    }
  }
  SetPixels(width, height, pixels);
  FBytes.assign(bytes.begin(), bytes.end());
  FTransparent = true;
  Changed();
}

void TIcon::Assign(const TPersistent& source) {
  if (&source == this) return;
  if (const auto* icon = dynamic_cast<const TIcon*>(&source)) {
    CopyFrom(*icon);
    FBytes = icon->FBytes;
    FTransparent = icon->Transparent();
    Changed();
    return;
  }
  TAlphaGraphic::Assign(source);
}
