// What every platform reads the same way in a metafile: kind, size and
// record structure. The players themselves are in backend/emf (Linux) and
// backend/gdi (Windows).
#include "MetafilePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "GraphicsBase.h"
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

namespace {
// Reads of a record's fields that never leave the record: a field outside
// it reads as 0 and marks the record bad.
class TFields {
public:
  explicit TFields(std::span<const uint8_t> record) : FRecord(record) {}
  uint32_t U32(uint64_t at) { return Has(at, 4) ? Le32(FRecord, size_t(at)) : 0; }
  uint16_t U16(uint64_t at) { return Has(at, 2) ? Le16(FRecord, size_t(at)) : 0; }
  int32_t I32(uint64_t at) { return int32_t(U32(at)); }
  int16_t I16(uint64_t at) { return int16_t(U16(at)); }
  // Whether `length` bytes from `at` are inside the record (marks it bad
  // otherwise). Both are at most 2^33 here, so the sum cannot overflow.
  bool Has(uint64_t at, uint64_t length) {
    if (at + length > FRecord.size()) FBad = true;
    return !FBad;
  }
  void Fail() { FBad = true; }
  bool Bad() const noexcept { return FBad; }
  size_t Size() const noexcept { return FRecord.size(); }
  std::span<const uint8_t> From(size_t at, size_t length) const { return FRecord.subspan(at, length); }

private:
  std::span<const uint8_t> FRecord;
  bool FBad = false;
};

constexpr uint32_t kDibPalColors = 1;
constexpr uint32_t kBiRgb = 0, kBiBitfields = 3;

// A device-independent bitmap as GDI reads it: `info` holds its header and
// colour table (and, for a packed bitmap, everything after), `bits` is how
// many bytes of pixels there are. Uncompressed pixels must all be there and
// the picture no larger than a decoded one may be (kMaxPicturePixels);
// compressed ones are left to the decoder, and so are the rows of a bitmap
// drawn in bands (`banded`: the record says how many rows it carries).
// Returns the bytes the header and colour table take, or 0 for a bitmap GDI
// would read past.
uint64_t DibInfoBytes(std::span<const uint8_t> info, uint64_t bits, uint32_t usage, bool packed, bool banded = false) {
  TFields f(info);
  const uint32_t headerSize = f.U32(0);
  const bool core = headerSize == 12;
  if (f.Bad() || (!core && headerSize < 40)) return 0;
  const int64_t width = core ? f.U16(4) : f.I32(4);
  const int64_t height = core ? f.U16(6) : f.I32(8);
  const uint16_t bitCount = core ? f.U16(10) : f.U16(14);
  const uint32_t compression = core ? kBiRgb : f.U32(16);
  const uint32_t used = core ? 0 : f.U32(32);
  if (f.Bad() || width <= 0 || height == 0) return 0;
  const uint64_t pixels = uint64_t(width) * uint64_t(height < 0 ? -height : height);
  if (pixels > kMaxPicturePixels) return 0;
  uint64_t colours = bitCount <= 8 ? (used ? used : uint64_t(1) << bitCount) : used;
  if (bitCount != 0 && bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32)
    return 0;
  if (colours > 256 && bitCount <= 8) colours = 256;  // GDI reads no more than the depth names
  const uint64_t entry = usage == kDibPalColors ? 2 : core ? 3 : 4;
  const uint64_t masks = compression == kBiBitfields && headerSize == 40 ? 12 : 0;
  const uint64_t infoBytes = headerSize + masks + colours * entry;
  if (!f.Has(0, infoBytes)) return 0;
  if (banded) return infoBytes;
  if (compression == kBiRgb || compression == kBiBitfields) {
    const uint64_t stride = (uint64_t(width) * bitCount + 31) / 32 * 4;
    const uint64_t available = packed ? info.size() - infoBytes : bits;
    if (bitCount == 0 || stride * (pixels / uint64_t(width)) > available) return 0;
  } else if ((packed ? info.size() - infoBytes : bits) == 0) {
    return 0;
  }
  return infoBytes;
}

// An EMF bitmap given by offset and size fields (header and pixels).
void EmfBitmap(TFields& f, std::span<const uint8_t> record, size_t fieldsAt, uint32_t usage, bool banded = false) {
  const uint32_t offInfo = f.U32(fieldsAt), cbInfo = f.U32(fieldsAt + 4);
  const uint32_t offBits = f.U32(fieldsAt + 8), cbBits = f.U32(fieldsAt + 12);
  if (f.Bad() || (cbInfo == 0 && cbBits == 0)) return;  // no bitmap (a pattern blit)
  if (!f.Has(offInfo, cbInfo) || !f.Has(offBits, cbBits)) return;
  if (DibInfoBytes(record.subspan(offInfo, cbInfo), cbBits, usage, false, banded) == 0) f.Fail();
}

// An EMRTEXT at `at`: its string (two bytes a character for the wide
// records) and its advances (two per character with ETO_PDY) in the record.
void EmfText(TFields& f, size_t at, bool wide) {
  const uint64_t chars = f.U32(at + 8), offString = f.U32(at + 12), options = f.U32(at + 16), offDx = f.U32(at + 36);
  if (f.Bad() || chars == 0) return;
  f.Has(offString, chars * (wide ? 2 : 1));
  if (offDx) f.Has(offDx, chars * 4 * ((options & 0x2000) ? 2 : 1));
}

// Points (`pointBytes` each, `extra` bytes more per point) counted at
// `countAt` and following at `pointsAt`.
void EmfPoints(TFields& f, size_t countAt, size_t pointsAt, uint64_t pointBytes) {
  f.Has(pointsAt, uint64_t(f.U32(countAt)) * pointBytes);
}

// Polygons: their number at 24, the total of points at 28, the counts at 32,
// then the points.
void EmfPolyPoints(TFields& f, uint64_t pointBytes) {
  const uint64_t polys = f.U32(24), points = f.U32(28);
  if (f.Bad() || !f.Has(32, polys * 4 + points * pointBytes)) return;
  uint64_t total = 0;
  for (uint64_t i = 0; i < polys; ++i) total += f.U32(32 + 4 * i);
  if (total > points) f.Fail();
}

// Region data (RGNDATA: a 32-byte header whose count of rectangles follows
// it) of `bytes` at `at`.
void EmfRegion(TFields& f, size_t bytesAt, size_t at) {
  const uint64_t bytes = f.U32(bytesAt);
  if (f.Bad() || !f.Has(at, bytes)) return;
  if (bytes < 32 || 32 + uint64_t(f.U32(at + 8)) * 16 > bytes) f.Fail();
}

// Where a record names a slot of the metafile's object table (EMF record
// type, byte offset of the slot, whether a stock object may be named).
struct TObjectSlot {
  uint32_t Type;
  uint8_t At;
  bool StockAllowed;
};
constexpr TObjectSlot kEmfObjectSlots[] = {
    {37, 8, true},    // SELECTOBJECT
    {38, 8, false},   // CREATEPEN
    {39, 8, false},   // CREATEBRUSHINDIRECT
    {40, 8, false},   // DELETEOBJECT
    {48, 8, true},    // SELECTPALETTE
    {49, 8, false},   // CREATEPALETTE
    {50, 8, false},   // SETPALETTEENTRIES
    {51, 8, false},   // RESIZEPALETTE
    {71, 28, false},  // FILLRGN: the brush
    {72, 28, false},  // FRAMERGN: the brush
    {82, 8, false},   // EXTCREATEFONTINDIRECTW
    {93, 8, false},   // CREATEMONOBRUSH
    {94, 8, false},   // CREATEDIBPATTERNBRUSHPT
    {95, 8, false},   // EXTCREATEPEN
    {99, 8, false},   // CREATECOLORSPACE
    {100, 8, true},   // SETCOLORSPACE
    {101, 8, false},  // DELETECOLORSPACE
    {111, 8, false},  // COLORCORRECTPALETTE
    {122, 8, false},  // CREATECOLORSPACEW
};
// Stock objects: the top bit and a GetStockObject index (up to DC_PEN).
constexpr uint32_t kStockObject = 0x80000000u, kLastStockObject = 19;

void ClampPenWidth(std::span<uint8_t> record, size_t at) {
  if (at + 4 > record.size()) return;
  if (int32_t(Le32(record, at)) <= kMaxPenWidth && int32_t(Le32(record, at)) >= -kMaxPenWidth) return;
  const auto width = uint32_t(kMaxPenWidth);
  for (int i = 0; i < 4; ++i) record[at + size_t(i)] = uint8_t(width >> (8 * i));
}
}  // namespace

void CheckEmfRecord(std::span<uint8_t> record, uint32_t handles) {
  TFields f(record);
  const uint32_t type = f.U32(0);
  for (const TObjectSlot& slot : kEmfObjectSlots) {
    if (slot.Type != type) continue;
    const uint32_t index = f.U32(slot.At);
    const bool stock = slot.StockAllowed && (index & kStockObject) && (index & ~kStockObject) <= kLastStockObject;
    // Slot 0 is the metafile itself.
    if (!stock && (index == 0 || index >= handles)) f.Fail();
  }
  switch (type) {
    case 2: case 3: case 4: case 5: case 6: EmfPoints(f, 24, 28, 8); break;         // POLYBEZIER .. POLYLINETO
    case 85: case 86: case 87: case 88: case 89: EmfPoints(f, 24, 28, 4); break;    // the same, 16-bit points
    case 56: EmfPoints(f, 24, 28, 9); break;                                         // POLYDRAW: points, then types
    case 92: EmfPoints(f, 24, 28, 5); break;                                         // POLYDRAW16
    case 7: case 8: EmfPolyPoints(f, 8); break;                                      // POLYPOLYLINE, POLYPOLYGON
    case 90: case 91: EmfPolyPoints(f, 4); break;                                    // the same, 16-bit points
    case 83: case 84: EmfText(f, 36, type == 84); break;                             // EXTTEXTOUTA, EXTTEXTOUTW
    case 96: case 97: {                                                              // POLYTEXTOUTA, POLYTEXTOUTW
      const uint64_t strings = f.U32(36);
      if (f.Has(40, strings * 40))
        for (uint64_t i = 0; i < strings && !f.Bad(); ++i) EmfText(f, size_t(40 + 40 * i), type == 97);
      break;
    }
    case 71: EmfRegion(f, 24, 32); break;                                            // FILLRGN
    case 72: EmfRegion(f, 24, 40); break;                                            // FRAMERGN
    case 73: case 74: EmfRegion(f, 24, 28); break;                                   // INVERTRGN, PAINTRGN
    case 75: EmfRegion(f, 8, 16); break;                                             // EXTSELECTCLIPRGN
    case 76: case 77: case 114: case 116: EmfBitmap(f, record, 84, f.U32(80)); break;  // BITBLT, STRETCHBLT, ALPHABLEND, TRANSPARENTBLT
    case 78:                                                                         // MASKBLT: the source, then the mask
      EmfBitmap(f, record, 84, f.U32(80));
      EmfBitmap(f, record, 112, f.U32(108));
      break;
    case 79:                                                                         // PLGBLT
      EmfBitmap(f, record, 96, f.U32(92));
      EmfBitmap(f, record, 124, f.U32(120));
      break;
    case 80: EmfBitmap(f, record, 48, f.U32(64), true); break;                       // SETDIBITSTODEVICE (in bands)
    case 81: EmfBitmap(f, record, 48, f.U32(64)); break;                             // STRETCHDIBITS
    case 93: case 94: EmfBitmap(f, record, 16, f.U32(12)); break;                    // CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT
    case 38:                                                                         // CREATEPEN: lopnWidth.x
      f.Has(0, 28);
      ClampPenWidth(record, 16);
      break;
    case 39: f.Has(0, 24); break;                                                    // CREATEBRUSHINDIRECT
    case 82: f.Has(0, 12 + 92); break;                                               // EXTCREATEFONTINDIRECTW: a LOGFONTW
    case 49: f.Has(16, uint64_t(f.U16(14)) * 4); break;                              // CREATEPALETTE: its entries
    case 95:                                                                         // EXTCREATEPEN
      EmfBitmap(f, record, 12, 0);
      f.Has(52, uint64_t(f.U32(48)) * 4);  // its style entries
      ClampPenWidth(record, 32);
      break;
    default: break;
  }
  if (f.Bad()) Invalid();
}

TWmfRecordUse WmfRecordUse(std::span<const uint8_t> record, uint16_t objects) {
  TFields f(record);
  // The low byte names the record (the high one counts its parameters).
  const uint8_t function = uint8_t(f.U16(4));
  const size_t size = f.Size();
  bool creates = false;  // the record takes a slot of the object table
  const auto slot = [&](size_t at) {
    if (f.U16(at) >= objects) f.Fail();
  };
  // A DIB from `at` to the end of the record: header, colour table, pixels.
  const auto dib = [&](size_t at, uint32_t usage, bool banded) {
    if (at >= size || DibInfoBytes(f.From(at, size - at), 0, usage, true, banded) == 0) f.Fail();
  };
  switch (function) {
    case 0x2D: case 0xF0: case 0x34: case 0x2C: slot(6); break;  // SELECTOBJECT, DELETEOBJECT, SELECTPALETTE, SELECTCLIPREGION
    case 0x2A: case 0x2B: slot(6); break;                        // INVERTREGION, PAINTREGION
    case 0x28: case 0x29: slot(6), slot(8); break;               // FILLREGION, FRAMEREGION: region, brush
    case 0x24: case 0x25: f.Has(8, uint64_t(f.U16(6)) * 4); break;  // POLYGON, POLYLINE
    case 0x38: {                                                 // POLYPOLYGON
      const uint64_t polys = f.U16(6);
      uint64_t points = 0;
      if (f.Has(8, polys * 2))
        for (uint64_t i = 0; i < polys; ++i) points += f.U16(8 + 2 * i);
      f.Has(8 + polys * 2, points * 4);
      break;
    }
    case 0x21: {  // TEXTOUT: length, string (padded to a word), y, x
      const int16_t length = f.I16(6);
      if (length <= 0 || !f.Has(8, (uint64_t(length) + 1) / 2 * 2 + 4)) f.Fail();
      break;
    }
    case 0x32: {  // EXTTEXTOUT: y, x, length, options, [rectangle], string, [advances]
      const int16_t length = f.I16(10);
      const uint16_t options = f.U16(12);
      const size_t stringAt = 14 + ((options & 0x0006) ? 8 : 0);  // ETO_OPAQUE, ETO_CLIPPED
      if (length < 0 || !f.Has(stringAt, (uint64_t(length) + 1) / 2 * 2)) f.Fail();
      break;
    }
    case 0x26: f.Has(10, f.U16(8)); break;  // ESCAPE: function, byte count, data
    // Bitmaps carried in the record, when it carries one (the short forms
    // of the blits have none).
    case 0x43: dib(28, f.U16(10), false); break;                  // STRETCHDIB
    case 0x41: if (size > 26) dib(26, 0, false); break;           // DIBSTRETCHBLT
    case 0x40: if (size > 22) dib(22, 0, false); break;           // DIBBITBLT
    case 0x33: dib(24, f.U16(6), true); break;                    // SETDIBTODEV (in bands)
    case 0x22: case 0x23: f.Fail(); break;  // BITBLT, STRETCHBLT of device-dependent bitmaps: not drawn on Linux either
    case 0x36: case 0x37: f.Fail(); break;  // ANIMATEPALETTE, SETPALENTRIES: palettes are not drawn on Linux either
    // Object creation, with the fixed part each needs.
    case 0xFA:  // CREATEPENINDIRECT
      creates = true;
      f.Has(0, 16);
      break;
    case 0xFC:  // CREATEBRUSHINDIRECT
      creates = true;
      f.Has(0, 14);
      break;
    case 0xFB:  // CREATEFONTINDIRECT: the font, then a face name
      creates = true;
      f.Has(0, 6 + 18 + 2);
      break;
    case 0x42:  // DIBCREATEPATTERNBRUSH
      creates = true;
      dib(10, f.U16(8), false);
      break;
    // Objects the Linux converter only gives a slot (palettes, regions,
    // device-dependent pattern brushes, bitmaps): a placeholder here too,
    // as GDI would read their inner counts unchecked.
    case 0xF7: case 0xF8: case 0xF9: case 0xFD: case 0xFE: case 0xFF:
      creates = true;
      f.Fail();
      break;
    default: break;
  }
  if (!f.Bad()) return wuPlay;
  return creates ? wuPlaceholder : wuSkip;
}
