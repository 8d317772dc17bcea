#include "GraphicsBase.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "Canvas.h"
#include "Surface.h"
#include "SystemOs.h"

const TClassInfo& TGraphic::StaticClass() {
  static const TClassInfo info = TClassBuilder<TGraphic>("TGraphic", &TPersistent::StaticClass()).Build();
  return info;
}

void TGraphic::SetTransparent(bool value) {
  if (value == FTransparent) return;
  FTransparent = value;
  Changed();
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& path) { LoadFromBytes(ReadFileBytes(path)); }

void TGraphic::SaveToFile(const std::string& path) const { WriteFileBytes(path, SaveToBytes()); }

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
}  // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  auto openError = [&] {
    return EFOpenError(Format("Impossible d'ouvrir le fichier \"%s\". %s", path.c_str(), SysErrorMessage(LastFileError()).c_str()));
  };
  std::unique_ptr<std::FILE, FileCloser> file(OpenFileUtf8(path, "rb"));
  if (!file) throw openError();
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  // A directory opens on Linux but cannot be read: report it like a failed open.
  if (std::ferror(file.get())) throw openError();
  return bytes;
}

void WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes) {
  std::unique_ptr<std::FILE, FileCloser> file(OpenFileUtf8(path, "wb"));
  // fwrite must not see the null data pointer of an empty span.
  if (!file || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()))
    throw EFCreateError(Format("Impossible de créer le fichier \"%s\". %s", path.c_str(), SysErrorMessage(LastFileError()).c_str()));
}

const TClassInfo& TAlphaGraphic::StaticClass() {
  static const TClassInfo info = TClassBuilder<TAlphaGraphic>("TAlphaGraphic", &TGraphic::StaticClass()).Build();
  return info;
}

TAlphaGraphic::~TAlphaGraphic() = default;

TPixelView TAlphaGraphic::View() const {
  return FSurface ? FSurface->View() : TPixelView{};
}

uint32_t TAlphaGraphic::StraightPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0;
  const uint32_t p = View().Row(y)[x];
  const uint32_t a = p >> 24;
  if (a == 0) return 0;
  uint32_t out = a << 24;
  for (int shift = 0; shift < 24; shift += 8)
    out |= std::min<uint32_t>(255, (((p >> shift) & 0xFF) * 255 + a / 2) / a) << shift;
  return out;
}

void TAlphaGraphic::SetPixels(int width, int height, const std::vector<uint32_t>& straight) {
  FSurface.reset();
  FWidth = FHeight = 0;
  if (width <= 0 || height <= 0) return;
  FSurface = NewSurface(width, height, TSurface::sfArgb32);
  FWidth = width;
  FHeight = height;
  const TPixelView v = View();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t p = straight[size_t(y) * size_t(width) + size_t(x)];
      const uint32_t a = p >> 24;
      uint32_t out = a << 24;
      for (int shift = 0; shift < 24; shift += 8) out |= ((((p >> shift) & 0xFF) * a + 127) / 255) << shift;
      v.Row(y)[x] = out;
    }
}

void TAlphaGraphic::CopyFrom(const TAlphaGraphic& other) {
  std::vector<uint32_t> pixels(size_t(other.FWidth) * size_t(other.FHeight));
  for (int y = 0; y < other.FHeight; ++y)
    for (int x = 0; x < other.FWidth; ++x) pixels[size_t(y) * size_t(other.FWidth) + size_t(x)] = other.StraightPixel(x, y);
  SetPixels(other.FWidth, other.FHeight, pixels);
}

void TAlphaGraphic::Draw(TCanvas& canvas, const TRect& dest) const {
  if (Empty()) return;
  canvas.BlendPixels(dest, View(), {0, 0, FWidth, FHeight});
}
