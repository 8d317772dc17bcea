// The record of a colour-keyed window's cut pixels, which spares a present
// the shape request when no key pixel changed.
#include <gtest/gtest.h>

#include <vector>

#include "ColorKeyMask.h"

namespace {
constexpr uint32_t kKey = 0x00FF00FF;  // magenta
constexpr int kWidth = 8, kHeight = 4, kStride = 10;  // the stride pads each row

struct Image {
  std::vector<uint32_t> Pixels = std::vector<uint32_t>(kStride * kHeight, 0xFF102030u);
  uint32_t& At(int x, int y) { return Pixels[size_t(y * kStride + x)]; }
};
}  // namespace

TEST(ColorKeyMask, OnlyAChangeOfCutPixelsWithinTheAreaCounts) {
  TColorKeyMask mask;
  Image image;
  image.At(0, 0) = kKey | 0xFF000000u;  // the alpha byte does not matter
  const TRect all = Rect(0, 0, kWidth, kHeight);
  EXPECT_TRUE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, all, kKey)) << "nothing recorded yet";
  EXPECT_FALSE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, all, kKey));

  image.At(5, 2) = 0xFF405060u;  // a kept pixel changes colour: the shape stands
  EXPECT_FALSE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, all, kKey));

  image.At(5, 2) = kKey;  // becomes cut, outside the area given
  EXPECT_FALSE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, Rect(0, 0, 4, 4), kKey));
  EXPECT_TRUE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, Rect(4, 2, 8, 3), kKey));
  EXPECT_FALSE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, all, kKey));

  image.At(0, 0) = 0xFF000000u;  // a cut pixel shows again
  EXPECT_TRUE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, Rect(-5, -5, 1, 1), kKey))
      << "the area is clipped to the image";
}

TEST(ColorKeyMask, AResetANewKeyOrANewSizeStartTheRecordAfresh) {
  TColorKeyMask mask;
  Image image;
  const TRect all = Rect(0, 0, kWidth, kHeight);
  mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, all, kKey);
  mask.Reset();
  EXPECT_TRUE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, Rect(1, 1, 2, 2), kKey));
  EXPECT_TRUE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, Rect(2, 2, 3, 3), kKey)) << "not yet seen";
  EXPECT_TRUE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, all, 0x000000FFu));
  EXPECT_FALSE(mask.Update(image.Pixels.data(), kWidth, kHeight, kStride, all, 0x000000FFu));
  EXPECT_TRUE(mask.Update(image.Pixels.data(), kWidth - 1, kHeight, kStride, all, 0x000000FFu));
}
