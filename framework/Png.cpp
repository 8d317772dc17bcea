#include "Png.h"

#include <png.h>

#include <cstring>

#include "Bitmap.h"

namespace {
const char* const kInvalidPng = "Image PNG incorrecte";
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
}  // namespace

std::vector<uint32_t> DecodePng(std::span<const uint8_t> bytes, const std::string& errorText, int& width, int& height) {
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) throw EInvalidGraphic(errorText);
  // The simplified API keeps libpng's longjmp error handling inside libpng.
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) throw EInvalidGraphic(errorText);
  if (image.width == 0 || image.height == 0 || uint64_t(image.width) * image.height > kMaxPicturePixels) {
    png_image_free(&image);
    throw EInvalidGraphic(errorText);
  }
  image.format = PNG_FORMAT_BGRA;  // little-endian words 0xAARRGGBB
  std::vector<uint32_t> pixels(size_t(image.width) * image.height);
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) throw EInvalidGraphic(errorText);
  width = int(image.width);
  height = int(image.height);
  return pixels;
}

const TClassInfo& TPngImage::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPngImage>("TPNGObject", &TAlphaGraphic::StaticClass()).Build();
  return info;
}

void TPngImage::LoadFromBytes(std::span<const uint8_t> bytes) {
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels = DecodePng(bytes, kInvalidPng, width, height);
  SetPixels(width, height, pixels);
  Changed();
}

namespace {
// Encodes top-down pixels in libpng's memory format `format` (rows of
// `rowStride` bytes).
std::vector<uint8_t> EncodePng(const void* pixels, int width, int height, png_uint_32 format, png_int_32 rowStride) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = format;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels, rowStride, nullptr))
    throw EInvalidGraphic(kInvalidPng);
  std::vector<uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels, rowStride, nullptr))
    throw EInvalidGraphic(kInvalidPng);
  out.resize(size);
  return out;
}
}  // namespace

std::vector<uint8_t> TPngImage::SaveToBytes() const {
  if (Empty()) return {};
  std::vector<uint32_t> pixels(size_t(Width()) * size_t(Height()));
  for (int y = 0; y < Height(); ++y)
    for (int x = 0; x < Width(); ++x) pixels[size_t(y) * size_t(Width()) + size_t(x)] = StraightPixel(x, y);
  return EncodePng(pixels.data(), Width(), Height(), PNG_FORMAT_BGRA, 0);
}

std::vector<uint8_t> EncodeOpaquePng(const TPixelView& view) {
  if (view.Empty()) throw EInvalidGraphic(kInvalidPng);
  // Device pixels are B, G, R, x in memory: libpng's BGRA layout, with the
  // fourth byte dropped as the "alpha" of an RGB file is stripped.
  std::vector<uint8_t> rgb(size_t(view.Width) * size_t(view.Height) * 3);
  uint8_t* out = rgb.data();
  for (int y = 0; y < view.Height; ++y) {
    const uint32_t* row = view.Row(y);
    for (int x = 0; x < view.Width; ++x) {
      const uint32_t p = row[x];
      *out++ = uint8_t(p >> 16);
      *out++ = uint8_t(p >> 8);
      *out++ = uint8_t(p);
    }
  }
  return EncodePng(rgb.data(), view.Width, view.Height, PNG_FORMAT_RGB, 0);
}

void TPngImage::Assign(const TPersistent& source) {
  if (&source == this) return;
  if (const auto* alpha = dynamic_cast<const TAlphaGraphic*>(&source)) {
    CopyFrom(*alpha);
    FTransparent = alpha->Transparent();
    Changed();
    return;
  }
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
    const TPixelView v = bitmap->View();
    std::vector<uint32_t> pixels(size_t(bitmap->Width()) * size_t(bitmap->Height()));
    for (int y = 0; y < bitmap->Height(); ++y)
      for (int x = 0; x < bitmap->Width(); ++x) pixels[size_t(y) * size_t(bitmap->Width()) + size_t(x)] = v.Row(y)[x] | 0xFF000000u;
    SetPixels(bitmap->Width(), bitmap->Height(), pixels);
    Changed();
    return;
  }
  TAlphaGraphic::Assign(source);
}
