// Metafiles are kept as bytes; only their header is read, for the size.
#include "Picture.h"

namespace {
uint16_t U16(std::span<const uint8_t> b, size_t pos) { return uint16_t(b[pos] | (b[pos + 1] << 8)); }
uint32_t U32(std::span<const uint8_t> b, size_t pos) {
  return uint32_t(b[pos]) | (uint32_t(b[pos + 1]) << 8) | (uint32_t(b[pos + 2]) << 16) | (uint32_t(b[pos + 3]) << 24);
}
int32_t I32(std::span<const uint8_t> b, size_t pos) { return int32_t(U32(b, pos)); }
int16_t I16(std::span<const uint8_t> b, size_t pos) { return int16_t(U16(b, pos)); }
}  // namespace

const TClassInfo& TMetafile::StaticClass() {
  static const TClassInfo info = TClassBuilder<TMetafile>("TMetafile", &TGraphic::StaticClass()).Build();
  return info;
}

void TMetafile::LoadFromBytes(std::span<const uint8_t> bytes) {
  FBytes.assign(bytes.begin(), bytes.end());
  FWidth = FHeight = 0;
  if (bytes.empty()) {
    FKind = mkNone;
  } else if (bytes.size() >= 44 && U32(bytes, 0) == 1 && U32(bytes, 40) == 0x464D4520) {
    // Enhanced: the header record's bounds are inclusive device pixels.
    FKind = mkEnhanced;
    const int64_t w = int64_t(I32(bytes, 16)) - I32(bytes, 8) + 1, h = int64_t(I32(bytes, 20)) - I32(bytes, 12) + 1;
    FWidth = w > 0 && w < INT32_MAX ? int(w) : 0;
    FHeight = h > 0 && h < INT32_MAX ? int(h) : 0;
  } else if (bytes.size() >= 22 && U32(bytes, 0) == 0x9AC6CDD7) {
    // Placeable Windows metafile: a bounding box in units of 1/inch.
    FKind = mkWindows;
    const int inch = U16(bytes, 14);
    if (inch > 0) {
      FWidth = std::abs(I16(bytes, 10) - I16(bytes, 6)) * 96 / inch;
      FHeight = std::abs(I16(bytes, 12) - I16(bytes, 8)) * 96 / inch;
    }
  } else if (bytes.size() >= 18 && (U16(bytes, 0) == 1 || U16(bytes, 0) == 2) && U16(bytes, 2) == 9) {
    FKind = mkWindows;  // a plain Windows metafile carries no size
  } else {
    FKind = mkUnknown;
  }
  Changed();
}

void TMetafile::Draw(TCanvas&, const TRect&) const {
  // Metafile playback is not implemented: nothing is drawn.
}

void TMetafile::Assign(const TPersistent& source) {
  if (&source == this) return;
  if (const auto* metafile = dynamic_cast<const TMetafile*>(&source)) {
    FBytes = metafile->FBytes;
    FKind = metafile->FKind;
    FWidth = metafile->FWidth;
    FHeight = metafile->FHeight;
    Changed();
    return;
  }
  TGraphic::Assign(source);
}
