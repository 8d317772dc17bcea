// What every platform reads the same way in a metafile: kind, size and
// record structure. The players themselves are in backend/svg (Linux) and
// backend/gdi (Windows).
#include "MetafilePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "SysUtils.h"

const char* const kInvalidMetafile = "Métafichier incorrect";

namespace {
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kPlaceableSize = 22, kWmfHeaderSize = 18, kWmfRecordHead = 6;

uint16_t Le16(std::span<const uint8_t> b, size_t pos) { return uint16_t(b[pos] | (b[pos + 1] << 8)); }
uint32_t Le32(std::span<const uint8_t> b, size_t pos) {
  return uint32_t(b[pos]) | (uint32_t(b[pos + 1]) << 8) | (uint32_t(b[pos + 2]) << 16) | (uint32_t(b[pos + 3]) << 24);
}

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidMetafile); }

int ClampToInt(double v) noexcept {
  if (!(v > 0)) return 0;  // also NaN
  return v >= double(INT32_MAX) ? INT32_MAX : int(std::lround(v));
}
}  // namespace

int HundredthsMmToPixels(int64_t hundredthsMm) noexcept { return ClampToInt(double(hundredthsMm) * 96.0 / 2540.0); }

int MetafileUnitsToPixels(int64_t units, int unitsPerInch) noexcept {
  if (unitsPerInch <= 0) return 0;
  return ClampToInt(double(units) * 96.0 / unitsPerInch);
}

TMetafileKind MetafileKindOf(std::span<const uint8_t> bytes) noexcept {
  if (bytes.size() >= 44 && Le32(bytes, 0) == kEmrHeader && Le32(bytes, 40) == kEmfSignature) return mkEnhanced;
  if (bytes.size() >= 4 && Le32(bytes, 0) == kPlaceableKey) return mkWindows;
  if (bytes.size() >= 18 && (Le16(bytes, 0) == 1 || Le16(bytes, 0) == 2) && Le16(bytes, 2) == 9) return mkWindows;
  return mkNone;
}

size_t WalkEmfRecords(std::span<const uint8_t> bytes,
                      const std::function<void(uint32_t type, size_t offset, uint32_t size)>& visit) {
  bool ended = false;
  size_t length = 0;  // up to the end record
  for (size_t off = 0; off < bytes.size() && !ended;) {
    if (bytes.size() - off < 8) Invalid();
    const uint32_t type = Le32(bytes, off), size = Le32(bytes, off + 4);
    if (size < 8 || size % 4 != 0 || size > bytes.size() - off) Invalid();
    if ((off == 0) != (type == kEmrHeader)) Invalid();
    if (visit) visit(type, off, size);
    ended = type == kEmrEof;
    off += size;
    length = off;
  }
  if (!ended) Invalid();  // truncated: the end record never came
  return length;
}

size_t EmfHeaderSize(std::span<const uint8_t> bytes) {
  // The header's optional tail (pixel format, micrometres) may be absent.
  const size_t headerSize = bytes.size() >= 8 ? Le32(bytes, 4) : 0;
  if (headerSize < 88) Invalid();
  return headerSize;
}

TPoint EmfPictureSize(const TRect& frame, const TRect& bounds) noexcept {
  const int64_t frameW = int64_t(frame.Right) - frame.Left, frameH = int64_t(frame.Bottom) - frame.Top;
  if (frameW > 0 && frameH > 0) return {HundredthsMmToPixels(frameW), HundredthsMmToPixels(frameH)};
  return {ClampToInt(double(int64_t(bounds.Right) - bounds.Left + 1)),
          ClampToInt(double(int64_t(bounds.Bottom) - bounds.Top + 1))};
}

TPlaceableWmf ReadPlaceableWmf(std::span<const uint8_t> bytes) {
  if (bytes.size() < kPlaceableSize + kWmfHeaderSize) Invalid();
  if (Le32(bytes, 0) != kPlaceableKey) Invalid();
  uint16_t checksum = 0;
  for (size_t i = 0; i < 10; ++i) checksum ^= Le16(bytes, 2 * i);
  if (checksum != Le16(bytes, 20)) Invalid();

  TPlaceableWmf wmf;
  wmf.Box = {int16_t(Le16(bytes, 6)), int16_t(Le16(bytes, 8)), int16_t(Le16(bytes, 10)), int16_t(Le16(bytes, 12))};
  wmf.UnitsPerInch = Le16(bytes, 14);
  // The WMF header gives its own size in words.
  wmf.Records = kPlaceableSize + 2 * size_t(Le16(bytes, kPlaceableSize + 2));
  wmf.Objects = Le16(bytes, kPlaceableSize + 10);
  if (wmf.Records > bytes.size() || wmf.UnitsPerInch == 0) Invalid();
  const int boxW = std::abs(wmf.Box.Right - wmf.Box.Left), boxH = std::abs(wmf.Box.Bottom - wmf.Box.Top);
  if (boxW == 0 || boxH == 0) Invalid();

  // The frame in 0.01 mm, and the size a player shows: that of an EMF whose
  // frame is this one (and whose bounds are the box at 96 dots per inch).
  wmf.Frame = {int32_t(int64_t(boxW) * 2540 / wmf.UnitsPerInch), int32_t(int64_t(boxH) * 2540 / wmf.UnitsPerInch)};
  const int pxW = std::max(1, MetafileUnitsToPixels(boxW, wmf.UnitsPerInch));
  const int pxH = std::max(1, MetafileUnitsToPixels(boxH, wmf.UnitsPerInch));
  wmf.Size = EmfPictureSize({0, 0, wmf.Frame.X, wmf.Frame.Y}, {0, 0, pxW - 1, pxH - 1});

  for (size_t at = wmf.Records; at < bytes.size();) {
    if (bytes.size() - at < kWmfRecordHead) Invalid();
    const size_t words = Le32(bytes, at), size = 2 * words;
    if (size < kWmfRecordHead || size > bytes.size() - at) Invalid();
    wmf.LargestRecord = std::max(wmf.LargestRecord, uint32_t(words));
    at += size;
    // The end record's function is 0 (its low byte names the record).
    if (bytes[at - size + 4] == 0) {
      wmf.End = at;
      return wmf;
    }
  }
  Invalid();  // truncated: the end record never came
}
