// Fuzzes the picture decoders as skins reach them: the inline picture data
// of a skin (a class name, then that graphic's data) loaded through
// TPicture, for bitmaps (every depth, RLE, bit fields), icons and cursors
// (bitmap and PNG entries) and PNG images. The first input byte picks the
// class; the rest is the graphic's data. A loaded picture is then drawn,
// stretched and shrunk, onto a small bitmap and saved again, so decoded
// sizes and pixels are used, not only parsed. A load error (an Exception)
// is an accepted outcome; crashes, leaks and sanitizer reports are not.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "FuzzPictureData.h"
#include "Picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static constexpr std::string_view kClasses[] = {"TBitmap", "TIcon", "TPNGObject"};
  TPicture picture;
  try {
    picture.SetData(FuzzPictureData(kClasses[data[0] % std::size(kClasses)], data + 1, size - 1));
  } catch (const Exception&) {
    return 0;
  }
  const TGraphic* graphic = picture.Graphic();
  if (!graphic || graphic->Empty()) return 0;
  try {
    TBitmap target;
    target.SetSize(24, 16);
    graphic->Draw(target.Canvas(), TRect{0, 0, 24, 16});
    graphic->Draw(target.Canvas(), TRect{3, 2, 5, 3});
    (void)picture.Data();
  } catch (const Exception&) {
  }
  return 0;
}
