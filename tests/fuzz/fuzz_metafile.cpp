// Fuzzes the metafile loader as skins reach it: the bytes become the inline
// data of a TMetafile picture (what TPicture.Data holds after the class
// name), so they go through the EMF record checks, the WMF conversion,
// libemf2svg's SVG and librsvg's parser. A loaded metafile is drawn at two
// sizes (the first rendering, a stretched one), so the rendering runs too.
// The picture-loading error (EInvalidGraphic) is the accepted outcome for
// bad input; any other exception, a crash or a sanitizer report is a
// finding.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "Graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr std::string_view kClass = "TMetafile";
  std::vector<uint8_t> pictureData;
  pictureData.push_back(static_cast<uint8_t>(kClass.size()));
  pictureData.insert(pictureData.end(), kClass.begin(), kClass.end());
  pictureData.insert(pictureData.end(), data, data + size);

  TPicture picture;
  try {
    picture.SetData(pictureData);
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  const TGraphic* graphic = picture.Graphic();
  if (!graphic || graphic->Empty()) return 0;
  TBitmap canvas(48, 32);
  canvas.Canvas().StretchDraw(Rect(0, 0, 48, 32), *graphic);
  canvas.Canvas().StretchDraw(Rect(4, 2, 20, 30), *graphic);
  return 0;
}
