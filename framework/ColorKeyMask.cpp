#include "ColorKeyMask.h"

#include <algorithm>

bool TColorKeyMask::Update(const uint32_t* pixels, int width, int height, int stride, const TRect& area,
                           uint32_t keyXrgb) {
  if (width != FWidth || height != FHeight || keyXrgb != FKey) {
    FWidth = width;
    FHeight = height;
    FKey = keyXrgb;
    FCut.assign(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)), kUnknown);
  }
  const int left = std::max(area.Left, 0), top = std::max(area.Top, 0);
  const int right = std::min(area.Right, width), bottom = std::min(area.Bottom, height);
  bool changed = false;
  for (int y = top; y < bottom; ++y) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
    uint8_t* cut = FCut.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    // The common case (nothing changed) is one branch-free pass that only
    // reads, which the compiler vectorises; a row that changed is recorded.
    uint8_t differs = 0;
    for (int x = left; x < right; ++x) differs |= static_cast<uint8_t>(((row[x] & 0xFFFFFFu) == keyXrgb) != cut[x]);
    if (differs == 0) continue;
    changed = true;
    for (int x = left; x < right; ++x) cut[x] = (row[x] & 0xFFFFFFu) == keyXrgb ? 1 : 0;
  }
  return changed;
}

void TColorKeyMask::Reset() noexcept { std::fill(FCut.begin(), FCut.end(), kUnknown); }
