// The Windows metafile player: the system's own. An EMF is handed to GDI
// as it is (a checked copy); a placeable WMF loses its placeable header and
// becomes an EMF through SetWinMetaFileBits, with the box as the window
// shown on the picture (as the Linux converter does) and its size in
// 0.01 mm as the picture's frame. Both are then drawn by PlayEnhMetaFile.
//
// Before GDI sees any byte, the structure is checked as on Linux
// (MetafilePlayer.h: the EMF record chain and header size; the placeable
// header, checksum and WMF record chain), and GDI gets a copy that ends at
// the end record and whose header says so, so that no size it reads points
// past the bytes it was given. Inside records, the fields GDI indexes or
// counts with are checked too (CheckEmfRecord, WmfRecordUse): a bad EMF
// record refuses the file, a bad WMF record is left out or replaced by a
// placeholder object, as the Linux player treats them. What else a record
// holds is GDI's to read.
//
// Transparency: GDI draws onto opaque pixels and says nothing of which ones
// it touched. Render plays the picture twice, over black and over white:
// a pixel that comes out the same both times was drawn (opaque, that
// colour), one that differs was not (transparent). The limit of the trick:
// a pixel drawn with a raster operation that depends on what is beneath
// (an XOR pen, a blend, SRCINVERT and the like) differs between the two
// runs and is taken as undrawn.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "GraphicsBase.h"
#include "MetafilePlayer.h"
#include "SysUtils.h"
#include "os/WinApi.h"

struct TMetafilePlayer::TPlatformPlayer {
  HENHMETAFILE Emf = nullptr;
  TPlatformPlayer() = default;
  ~TPlatformPlayer() {
    if (Emf) DeleteEnhMetaFile(Emf);
  }
  TPlatformPlayer(const TPlatformPlayer&) = delete;
  TPlatformPlayer& operator=(const TPlatformPlayer&) = delete;
};

namespace {
[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidMetafile); }

uint32_t Le32(std::span<const uint8_t> b, size_t pos) {
  return uint32_t(b[pos]) | (uint32_t(b[pos + 1]) << 8) | (uint32_t(b[pos + 2]) << 16) | (uint32_t(b[pos + 3]) << 24);
}
void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = uint8_t(v);
  out[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}
// A WMF record of 16-bit parameters (given in file order).
void AddWmfRecord(std::vector<uint8_t>& out, uint16_t function, std::initializer_list<int16_t> parameters) {
  const size_t at = out.size();
  out.resize(at + 6 + 2 * parameters.size());
  Put32(out, at, uint32_t(3 + parameters.size()));
  Put16(out, at + 4, function);
  size_t p = at + 6;
  for (int16_t v : parameters) {
    Put16(out, p, uint16_t(v));
    p += 2;
  }
}

HENHMETAFILE LoadEnhanced(std::span<const uint8_t> bytes) {
  // GDI gets a copy: checked record by record (object slots, counts and
  // offsets inside records, pen widths clamped), ending at the end record.
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  // The object table's size, from the header (whose record is the first
  // one the walk checks, before any use of this).
  const uint32_t handles = bytes.size() >= 58 ? uint32_t(bytes[56] | (bytes[57] << 8)) : 0;
  uint32_t records = 0;
  const size_t length = WalkEmfRecords(bytes, [&](uint32_t, size_t off, uint32_t size) {
    ++records;
    CheckEmfRecord(std::span<uint8_t>(copy).subspan(off, size), handles);
  });
  const size_t headerSize = EmfHeaderSize(bytes);
  if (length > UINT_MAX) Invalid();
  copy.resize(length);
  // The copy's header tells the truth about the copy: its length and record
  // count, and no description or pixel format (neither is drawn; both are
  // offsets GDI would follow).
  Put32(copy, 48, uint32_t(length));  // nBytes
  Put32(copy, 52, records);           // nRecords
  for (size_t field : {60, 64, 88, 92})  // nDescription, offDescription, cbPixelFormat, offPixelFormat
    if (field + 4 <= headerSize) Put32(copy, field, 0);
  HENHMETAFILE emf = SetEnhMetaFileBits(UINT(length), copy.data());
  if (!emf) Invalid();
  return emf;
}

HENHMETAFILE LoadWindows(std::span<const uint8_t> bytes, const TPlaceableWmf& wmf) {
  // A fresh WMF header (in memory, version 3) for the records up to the end
  // record, after three of our own: anisotropic mapping and the box as the
  // window, which the file's own records may change as they would on any
  // player.
  std::vector<uint8_t> out(18);
  AddWmfRecord(out, 0x0103, {MM_ANISOTROPIC});  // SETMAPMODE
  const auto left = int16_t(std::min(wmf.Box.Left, wmf.Box.Right)), top = int16_t(std::min(wmf.Box.Top, wmf.Box.Bottom));
  // Extents beyond 32767 (a box from -32768 to 32767) wrap as the 16-bit
  // records of the file itself would.
  const auto boxW = int16_t(std::abs(wmf.Box.Right - wmf.Box.Left)), boxH = int16_t(std::abs(wmf.Box.Bottom - wmf.Box.Top));
  AddWmfRecord(out, 0x020B, {top, left});   // SETWINDOWORG: y, x
  AddWmfRecord(out, 0x020C, {boxH, boxW});  // SETWINDOWEXT: y, x

  // The object table holds every object the file creates, however few its
  // header announces, so that no creation fails and leaves a slot empty.
  uint32_t creations = 0;
  for (size_t at = wmf.Records; at < wmf.End; at += 2 * size_t(Le32(bytes, at))) {
    const uint8_t function = bytes[at + 4];
    creations += function >= 0xF7 || function == 0x42;
  }
  const auto objects = uint16_t(std::min<uint32_t>(0xFFFF, std::max<uint32_t>(wmf.Objects, creations)));
  uint32_t largest = 5;  // words, our own records included
  for (size_t at = wmf.Records; at < wmf.End;) {
    const auto record = bytes.subspan(at, 2 * size_t(Le32(bytes, at)));
    at += record.size();
    const size_t before = out.size();
    switch (WmfRecordUse(record, objects)) {
      case wuPlay: out.insert(out.end(), record.begin(), record.end()); break;
      case wuSkip: break;
      case wuPlaceholder: AddWmfRecord(out, 0x02FC, {BS_NULL, 0, 0, 0}); break;  // CREATEBRUSHINDIRECT: style, colour, hatch
    }
    largest = std::max(largest, uint32_t((out.size() - before) / 2));
  }
  if (out.size() > UINT_MAX) Invalid();
  Put16(out, 0, 1);       // mtType: in memory
  Put16(out, 2, 9);       // mtHeaderSize in words
  Put16(out, 4, 0x0300);  // mtVersion
  Put32(out, 6, uint32_t(out.size() / 2));  // mtSize in words
  Put16(out, 10, objects);
  Put32(out, 12, largest);
  Put16(out, 16, 0);  // mtNoParameters
  METAFILEPICT picture{MM_ANISOTROPIC, LONG(wmf.Frame.X), LONG(wmf.Frame.Y), nullptr};
  HENHMETAFILE emf = SetWinMetaFileBits(UINT(out.size()), out.data(), nullptr, &picture);
  if (!emf) Invalid();
  return emf;
}

// A memory DC on a 32-bit top-down DIB section, freed at the end of scope.
class TDibTarget {
public:
  TDibTarget(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    FDc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    if (FDc) FBitmap = CreateDIBSection(FDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!FBitmap || !bits) {
      Free();
      throw EOutOfResources(Format("Ressources insuffisantes (%dx%d)", width, height));
    }
    FPixels = static_cast<uint32_t*>(bits);
    FPrevious = SelectObject(FDc, FBitmap);
  }
  ~TDibTarget() { Free(); }
  TDibTarget(const TDibTarget&) = delete;
  TDibTarget& operator=(const TDibTarget&) = delete;
  HDC Dc() const noexcept { return FDc; }
  // 32-bit rows need no padding: the stride is the width.
  uint32_t* Pixels() const noexcept { return FPixels; }

private:
  void Free() noexcept {
    if (FPrevious) SelectObject(FDc, FPrevious);
    if (FBitmap) DeleteObject(FBitmap);
    if (FDc) DeleteDC(FDc);
    FPrevious = FBitmap = nullptr;
    FDc = nullptr;
  }
  HDC FDc = nullptr;
  HGDIOBJ FBitmap = nullptr;
  HGDIOBJ FPrevious = nullptr;
  uint32_t* FPixels = nullptr;
};
}  // namespace

TMetafilePlayer::TMetafilePlayer(std::span<const uint8_t> bytes) : FPlatform(std::make_unique<TPlatformPlayer>()) {
  TPoint size;
  switch (MetafileKindOf(bytes)) {
    case mkEnhanced: {
      FPlatform->Emf = LoadEnhanced(bytes);
      ENHMETAHEADER header{};
      if (!GetEnhMetaFileHeader(FPlatform->Emf, sizeof header, &header)) Invalid();
      size = EmfPictureSize({header.rclFrame.left, header.rclFrame.top, header.rclFrame.right, header.rclFrame.bottom},
                            {header.rclBounds.left, header.rclBounds.top, header.rclBounds.right,
                             header.rclBounds.bottom});
      FKind = mkEnhanced;
      break;
    }
    case mkWindows: {
      // A WMF without the placeable header carries no size: refused here.
      const TPlaceableWmf wmf = ReadPlaceableWmf(bytes);
      FPlatform->Emf = LoadWindows(bytes, wmf);
      size = wmf.Size;
      FKind = mkWindows;
      break;
    }
    default: Invalid();
  }
  FWidth = size.X;
  FHeight = size.Y;
}

TMetafilePlayer::~TMetafilePlayer() = default;

TSurfacePtr TMetafilePlayer::Render(int width, int height) const {
  TSurfacePtr image = NewSurface(width, height, TSurface::sfArgb32);
  const TDibTarget target(width, height);
  const size_t count = size_t(width) * size_t(height);
  const RECT frame{0, 0, width, height};
  const auto play = [&](uint32_t background) {
    std::fill_n(target.Pixels(), count, background);
    const int saved = SaveDC(target.Dc());
    PlayEnhMetaFile(target.Dc(), FPlatform->Emf, &frame);
    RestoreDC(target.Dc(), saved);
    GdiFlush();
  };
  // Over black first, kept in the result; then over white, compared.
  play(0x00000000u);
  for (int y = 0; y < height; ++y)
    std::memcpy(image->Row(y), target.Pixels() + size_t(y) * size_t(width), size_t(width) * 4);
  play(0x00FFFFFFu);
  for (int y = 0; y < height; ++y) {
    uint32_t* out = reinterpret_cast<uint32_t*>(image->Row(y));
    const uint32_t* overWhite = target.Pixels() + size_t(y) * size_t(width);
    for (int x = 0; x < width; ++x) {
      const uint32_t rgb = overWhite[x] & 0xFFFFFFu;
      out[x] = (out[x] & 0xFFFFFFu) == rgb ? 0xFF000000u | rgb : 0u;
    }
  }
  return image;
}
