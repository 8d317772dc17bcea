// The Linux metafile player: the records are played on the project's own
// raster with GDI's rules (EmfPlayback, EmfRaster), so that a metafile looks
// as Windows draws it: aliased figures, pens in logical units, GDI's arc
// direction, raster operations and clipping in device pixels. A Windows
// metafile (WMF) is first turned into an EMF record by record
// (WmfConverter). libUEMF checks every record it knows against its own size
// before anything reads it.
#include <uemf.h>
#include <uemf_safe.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "EmfPlayback.h"
#include "GraphicsBase.h"
#include "MetafilePlayer.h"
#include "SysUtils.h"
#include "WmfConverter.h"

namespace {
template <class T> T Load(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
}  // namespace

struct TMetafilePlayer::TPlatformPlayer {
  std::vector<uint8_t> Records;  // the EMF, up to its end record
  // The picture's frame in reference-device pixels: Render maps it onto the
  // target image.
  double Left = 0, Top = 0, SpanX = 1, SpanY = 1;
  std::unique_ptr<emf::TEmfPlayback> Playback;

  // Reads and checks an EMF; returns the picture's size in pixels.
  TPoint Load(std::span<const uint8_t> bytes);
};

namespace {
[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidMetafile); }

// A text record without a spacing array (its offset 0), as GDI writes and
// plays for text laid out by the font. libUEMF's check would count the array
// in anyway and refuse the record; here the string alone must lie inside it.
bool TextWithoutSpacing(const char* record, uint32_t size) {
  const bool wide = Load<uint32_t>(record) == U_EMR_EXTTEXTOUTW;
  const size_t textAt = offsetof(U_EMREXTTEXTOUTW, emrtext);
  if (size < textAt + sizeof(U_EMRTEXT) + 4) return false;
  U_EMRTEXT text;
  std::memcpy(&text, record + textAt, sizeof text);
  const size_t dxAt = textAt + sizeof(U_EMRTEXT) + ((text.fOptions & U_ETO_NO_RECT) ? 0 : sizeof(U_RECTL));
  if (dxAt + 4 > size || Load<uint32_t>(record + dxAt) != 0) return false;
  const uint64_t bytes = uint64_t(text.nChars) * (wide ? 2 : 1);
  if (text.offString > size || bytes > size - text.offString) Invalid();
  return true;
}
}  // namespace

TMetafilePlayer::TMetafilePlayer(std::span<const uint8_t> bytes) : FPlatform(std::make_unique<TPlatformPlayer>()) {
  TPoint size;
  switch (MetafileKindOf(bytes)) {
    case mkEnhanced: size = FPlatform->Load(bytes); break;
    // Converted record by record, then played like any enhanced metafile.
    case mkWindows: size = FPlatform->Load(WmfToEmf(bytes)); break;
    default: Invalid();
  }
  FKind = MetafileKindOf(bytes);
  FWidth = size.X;
  FHeight = size.Y;
}

TMetafilePlayer::~TMetafilePlayer() = default;

TPoint TMetafilePlayer::TPlatformPlayer::Load(std::span<const uint8_t> bytes) {
  // A 4-byte aligned copy for libUEMF's record structures.
  std::vector<uint32_t> aligned((bytes.size() + 3) / 4);
  std::memcpy(aligned.data(), bytes.data(), bytes.size());
  const char* const data = reinterpret_cast<const char*>(aligned.data());
  const size_t length = WalkEmfRecords(bytes, [&](uint32_t type, size_t off, uint32_t size) {
    // libUEMF checks the records the player reads; the player passes over
    // the others without reading them.
    if (!emf::PlaysRecord(type)) return;
    if ((type == U_EMR_EXTTEXTOUTA || type == U_EMR_EXTTEXTOUTW) && TextWithoutSpacing(data + off, size)) return;
    if (!U_emf_record_safe(data + off)) Invalid();
  });
  Records.assign(bytes.begin(), bytes.begin() + std::ptrdiff_t(length));
  Playback = std::make_unique<emf::TEmfPlayback>(Records);

  // The header as far as it goes; a short one leaves the rest zero.
  U_EMRHEADER h{};
  std::memcpy(&h, bytes.data(), std::min(EmfHeaderSize(bytes), sizeof h));
  const U_RECTL& frame = h.rclFrame;
  const U_RECTL& bounds = h.rclBounds;
  const TPoint size = EmfPictureSize({frame.left, frame.top, frame.right, frame.bottom},
                                     {bounds.left, bounds.top, bounds.right, bounds.bottom});
  const int64_t frameW = int64_t(frame.right) - frame.left, frameH = int64_t(frame.bottom) - frame.top;
  // The frame (0.01 mm) in reference-device pixels, as GDI's player maps it.
  const double pxX = Playback->PixelsPerMmX() / 100, pxY = Playback->PixelsPerMmY() / 100;
  if (frameW > 0 && frameH > 0) {
    Left = frame.left * pxX;
    Top = frame.top * pxY;
    SpanX = double(frameW) * pxX;
    SpanY = double(frameH) * pxY;
  } else {
    Left = bounds.left;
    Top = bounds.top;
    SpanX = std::max(1, size.X);
    SpanY = std::max(1, size.Y);
  }
  return size;
}

TSurfacePtr TMetafilePlayer::Render(int width, int height) const {
  emf::TRaster raster(width, height);
  const TPlatformPlayer& p = *FPlatform;
  if (p.Playback && p.SpanX > 0 && p.SpanY > 0) {
    const double sx = width / p.SpanX, sy = height / p.SpanY;
    p.Playback->Play(raster, emf::TXform{sx, 0, 0, sy, -p.Left * sx, -p.Top * sy});
  }
  return raster.Image();
}
