#include "Surface.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "SysUtils.h"

namespace {
constexpr size_t kAlignment = 16;

[[noreturn]] void OutOfResources(int width, int height) {
  throw EOutOfResources(Format("Ressources insuffisantes (%dx%d)", width, height));
}
}  // namespace

TSurface::TSurface(int width, int height, TFormat format) : FWidth(width), FHeight(height), FFormat(format) {
  if (width <= 0 || height <= 0) OutOfResources(width, height);
  const size_t pixelBytes = format == sfA8 ? 1 : 4;
  // Rows start aligned so that the vectorised pixel loops see whole lanes.
  const size_t rowBytes = (size_t(width) * pixelBytes + kAlignment - 1) / kAlignment * kAlignment;
  if (rowBytes > size_t(INT32_MAX) || size_t(height) > SIZE_MAX / rowBytes) OutOfResources(width, height);
  FStride = int(rowBytes);
  const size_t total = rowBytes * size_t(height);
  FBytes = static_cast<uint8_t*>(::operator new(total, std::align_val_t(kAlignment), std::nothrow));
  if (!FBytes) OutOfResources(width, height);
  std::memset(FBytes, 0, total);
}

TSurface::~TSurface() { ::operator delete(FBytes, std::align_val_t(kAlignment)); }

void CopySurfaceRect(const TSurface& from, TSurface& to, const TRect& r) noexcept {
  if (from.Format() != to.Format()) return;
  const TRect area = IntersectRect(IntersectRect(r, {0, 0, from.Width(), from.Height()}), {0, 0, to.Width(), to.Height()});
  if (IsRectEmpty(area)) return;
  const size_t pixelBytes = from.Format() == TSurface::sfA8 ? 1 : 4;
  for (int y = area.Top; y < area.Bottom; ++y)
    std::memcpy(to.Row(y) + area.Left * pixelBytes, from.Row(y) + area.Left * pixelBytes, size_t(area.Width()) * pixelBytes);
}

TPixelView TSurface::View() const noexcept {
  if (FFormat == sfA8) return {};
  return {reinterpret_cast<uint32_t*>(FBytes), FWidth, FHeight, FStride / 4, FFormat == sfArgb32};
}
