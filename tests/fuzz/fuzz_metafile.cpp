// Fuzzes the metafile loader as skins reach it: the bytes become the inline
// data of a TMetafile picture (what TPicture.Data holds after the class
// name), so they go through the EMF record checks, the WMF conversion and
// the player's record playback. A loaded metafile is drawn at two
// sizes (the first rendering, a stretched one), so the rendering runs too.
// The picture-loading error (EInvalidGraphic) is the accepted outcome for
// bad input; any other exception, a crash or a sanitizer report is a
// finding.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "FuzzPictureData.h"
#include "Graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPicture picture;
  try {
    picture.SetData(FuzzPictureData("TMetafile", data, size));
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
