// gdiref: draws a metafile with the system's own player (GDI), as the
// reference other renderings are measured against (a Windows program; run
// under Wine by tests/metafiles/compare_with_gdi.sh).
//
//   gdiref IN.emf|IN.wmf OUT.ppm WIDTH HEIGHT
//       plays the metafile stretched onto the whole of a white WIDTH x
//       HEIGHT picture (24-bit top-down DIB section) and writes it as a
//       binary PPM (P6). An EMF is played by the enhanced-metafile player
//       onto (0,0)-(WIDTH,HEIGHT); a placeable WMF by the Windows-metafile
//       player with anisotropic mapping, its bounding box as the window and
//       the picture as the viewport. A WMF without the placeable header
//       carries no size and is not played.
//
// GDI is handed a copy that ends at the end record and whose header tells
// its true length: records that do not fit in the file end the copy there.
// What a record holds inside is GDI's to read, with the exceptions below,
// which work around gaps of Wine 8's players (the program's usual host):
//   - a WMF header of type 2 ("on disk", which some writers put in files)
//     or version 0x100 is refused by Wine's SetMetaFileBitsEx, which takes
//     type 1 and version 0x300 only; the copy says 1 and 0x300, as Windows
//     reads such files;
//   - Wine's WMF player indexes its object table with the record's object
//     numbers unchecked: a WMF record that names an object beyond the table
//     its header announces is left out (GDI does nothing with it either);
//   - Wine's EMF player indexes its object table unchecked in the region
//     fills (EMR_FILLRGN, EMR_FRAMERGN) and crashes on a stock brush
//     (index with the top bit set); those two records are played here;
//   - Wine's EMF player drops wide pens made by ExtCreatePen (the pen is
//     not created); EMR_EXTCREATEPEN is played here with every field of
//     the record (a pattern pen's bitmap is not: it falls back to a solid
//     pen of the record's colour).
// Not worked around (too costly here): other unchecked reads inside Wine's
// record handlers (point counts, bitmap offsets). A crash inside the player
// ends the program with status 2 and a message instead of a debugger.
//
// Exit status: 0 on success; 1 for a wrong command line or when the input
// cannot be read or the output written; 2 when the file is not a metafile
// GDI can load, or the player crashed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

constexpr int kMaxSide = 20000;
constexpr long kMaxFile = 256L << 20;

uint16_t Le16(const TBytes& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t Le32(const TBytes& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}
void Put16(TBytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(TBytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

int Fail(int status, const char* what) {
  std::fprintf(stderr, "gdiref: %s\n", what);
  return status;
}

bool ReadInput(const wchar_t* path, TBytes& out) {
  FILE* f = _wfopen(path, L"rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(f) : -1;
  ok = ok && size >= 0 && size <= kMaxFile && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    out.resize(size_t(size));
    ok = std::fread(out.data(), 1, out.size(), f) == out.size();
  }
  std::fclose(f);
  return ok;
}

// --- EMF ---------------------------------------------------------------

constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kEmfHeaderMin = 88;

// The copy GDI gets: the records from the header up to the end record, as
// far as each lies whole in the file (at least 8 bytes, a multiple of 4);
// an end record of our own when the file has none; nBytes and nRecords
// telling the truth. Empty when the header itself is not whole.
TBytes EmfCopy(const TBytes& file) {
  if (file.size() < kEmfHeaderMin || Le32(file, 0) != EMR_HEADER || Le32(file, 40) != kEmfSignature) return {};
  const uint32_t headerSize = Le32(file, 4);
  if (headerSize < kEmfHeaderMin || headerSize % 4 || headerSize > file.size()) return {};
  size_t at = 0;
  uint32_t records = 0;
  bool ended = false;
  while (at + 8 <= file.size()) {
    const uint32_t type = Le32(file, at), size = Le32(file, at + 4);
    if (size < 8 || size % 4 || size > file.size() - at) break;
    if (at > 0 && type == EMR_HEADER) break;  // a second header is not a record GDI plays
    at += size;
    ++records;
    if (type == EMR_EOF) {
      ended = true;
      break;
    }
  }
  TBytes copy(file.begin(), file.begin() + std::ptrdiff_t(at));
  if (!ended) {
    const size_t eof = copy.size();
    copy.resize(eof + 20);
    Put32(copy, eof, EMR_EOF);
    Put32(copy, eof + 4, 20);
    Put32(copy, eof + 8, 0);    // nPalEntries
    Put32(copy, eof + 12, 16);  // offPalEntries
    Put32(copy, eof + 16, 20);  // nSizeLast
    ++records;
  }
  Put32(copy, 48, uint32_t(copy.size()));  // nBytes
  Put32(copy, 52, records);                // nRecords
  // The player keeps the metafile itself in slot 0 of the object table,
  // which it sizes by nHandles: a header saying 0 would have it write past
  // the table.
  if (Le16(copy, 56) == 0) Put16(copy, 56, 1);
  return copy;
}

uint32_t RecordField(const ENHMETARECORD* record, size_t at) {
  uint32_t v;
  std::memcpy(&v, reinterpret_cast<const uint8_t*>(record) + at, 4);
  return v;
}

// EMR_FILLRGN and EMR_FRAMERGN: the brush from the object table or, with
// the top bit set, a stock object; a brush outside the table draws nothing.
void PlayRegionFill(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int objects) {
  const bool frame = record->iType == EMR_FRAMERGN;
  const size_t dataAt = frame ? 40 : 32;  // emr, rclBounds, cbRgnData, ihBrush[, szlStroke]
  if (record->nSize < dataAt + sizeof(RGNDATAHEADER)) return;
  const uint32_t dataSize = RecordField(record, 24), brushIndex = RecordField(record, 28);
  if (dataSize < sizeof(RGNDATAHEADER) || dataSize > record->nSize - dataAt) return;
  HGDIOBJ brush = nullptr;
  if (brushIndex & 0x80000000u)
    brush = GetStockObject(int(brushIndex & 0x7FFFFFFFu));
  else if (brushIndex < uint32_t(objects))
    brush = table->objectHandle[brushIndex];
  if (!brush) return;
  HRGN region = ExtCreateRegion(nullptr, dataSize,
                                reinterpret_cast<const RGNDATA*>(reinterpret_cast<const uint8_t*>(record) + dataAt));
  if (!region) return;
  if (frame)
    FrameRgn(dc, region, HBRUSH(brush), int(RecordField(record, 32)), int(RecordField(record, 36)));
  else
    FillRgn(dc, region, HBRUSH(brush));
  DeleteObject(region);
}

// EMR_EXTCREATEPEN: emr, ihPen, offBmi, cbBmi, offBits, cbBits, then the
// 32-bit EXTLOGPEN (style, width, brush style, colour, hatch, style count,
// style entries).
void PlayExtCreatePen(HANDLETABLE* table, const ENHMETARECORD* record, int objects) {
  if (record->nSize < 52) return;
  const uint32_t index = RecordField(record, 8);
  if (index == 0 || index >= uint32_t(objects)) return;  // slot 0 is the metafile itself
  const uint32_t count = RecordField(record, 48);
  if (count > 16 || count > (record->nSize - 52) / 4) return;
  std::vector<DWORD> entries(count);
  for (uint32_t i = 0; i < count; ++i) entries[i] = RecordField(record, 52 + 4 * size_t(i));
  LOGBRUSH brush{};
  brush.lbStyle = RecordField(record, 36);
  brush.lbColor = RecordField(record, 40);
  brush.lbHatch = RecordField(record, 44);
  // The bitmap of a pattern pen is not carried over: a solid pen of the
  // record's colour is closer to the picture than no pen at all.
  if (brush.lbStyle == BS_PATTERN || brush.lbStyle == BS_DIBPATTERN || brush.lbStyle == BS_DIBPATTERNPT) {
    brush.lbStyle = BS_SOLID;
    brush.lbHatch = 0;
  }
  HPEN pen = ExtCreatePen(RecordField(record, 28), RecordField(record, 32), &brush, count,
                          count ? entries.data() : nullptr);
  if (!pen) return;
  if (table->objectHandle[index]) DeleteObject(table->objectHandle[index]);
  table->objectHandle[index] = pen;
}

int CALLBACK PlayEmfRecord(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int objects, LPARAM) {
  switch (record->iType) {
    case EMR_FILLRGN:
    case EMR_FRAMERGN: PlayRegionFill(dc, table, record, objects); break;
    case EMR_EXTCREATEPEN: PlayExtCreatePen(table, record, objects); break;
    default: PlayEnhMetaFileRecord(dc, table, record, UINT(objects)); break;
  }
  return 1;  // as PlayEnhMetaFile: a record that fails does not stop the picture
}

int PlayEmf(HDC dc, const TBytes& file, int width, int height) {
  const TBytes copy = EmfCopy(file);
  if (copy.empty()) return Fail(2, "not a whole EMF header");
  HENHMETAFILE emf = SetEnhMetaFileBits(UINT(copy.size()), copy.data());
  if (!emf) return Fail(2, "GDI does not load this EMF");
  // The player itself, record by record (what PlayEnhMetaFile does), so
  // that the records above can be played here instead.
  const RECT frame{0, 0, width, height};
  EnumEnhMetaFile(dc, emf, PlayEmfRecord, nullptr, &frame);
  DeleteEnhMetaFile(emf);
  return 0;
}

// --- WMF ---------------------------------------------------------------

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableSize = 22, kWmfHeaderSize = 18;

// The object numbers a record names: index of the first parameter word
// that is one and how many there are (none for other records).
struct TObjectParams {
  uint16_t Function;
  uint8_t First, Count;
};
constexpr TObjectParams kObjectParams[] = {
    {0x01F0, 0, 1},  // DELETEOBJECT
    {0x012D, 0, 1},  // SELECTOBJECT
    {0x0234, 1, 1},  // SELECTPALETTE
    {0x0228, 0, 2},  // FILLREGION: brush, region
    {0x0429, 2, 2},  // FRAMEREGION: (height, width,) brush, region
    {0x012A, 0, 1},  // INVERTREGION
    {0x012B, 0, 1},  // PAINTREGION
    {0x012C, 0, 1},  // SELECTCLIPREGION
};

bool NamesMissingObject(const TBytes& wmf, size_t at, uint32_t words, uint16_t objects) {
  const uint16_t function = Le16(wmf, at + 4);
  for (const TObjectParams& p : kObjectParams) {
    if (p.Function != function) continue;
    if (words < 3u + p.First + p.Count) return true;  // the record is too short to name it
    for (int i = 0; i < p.Count; ++i)
      if (Le16(wmf, at + 6 + 2 * size_t(p.First + i)) >= objects) return true;
  }
  return false;
}

int PlayWmf(HDC dc, const TBytes& file, int width, int height) {
  if (file.size() < kPlaceableSize + kWmfHeaderSize || Le32(file, 0) != kPlaceableKey)
    return Fail(2, "not a placeable WMF (a WMF without that header carries no size)");
  const auto left = int16_t(Le16(file, 6)), top = int16_t(Le16(file, 8));
  const auto right = int16_t(Le16(file, 10)), bottom = int16_t(Le16(file, 12));
  if (left == right || top == bottom) return Fail(2, "empty bounding box");

  const TBytes wmf(file.begin() + kPlaceableSize, file.end());
  if (Le16(wmf, 2) != kWmfHeaderSize / 2) return Fail(2, "not a WMF header");
  const uint16_t objects = Le16(wmf, 10);
  TBytes copy(wmf.begin(), wmf.begin() + kWmfHeaderSize);
  uint32_t largest = 3;
  size_t at = kWmfHeaderSize;
  while (at + 6 <= wmf.size()) {
    const uint32_t words = Le32(wmf, at);
    if (words < 3 || words > (wmf.size() - at) / 2) break;
    const uint16_t function = Le16(wmf, at + 4);
    if (function == 0) break;  // the end record: ours follows
    if (!NamesMissingObject(wmf, at, words, objects)) {
      copy.insert(copy.end(), wmf.begin() + std::ptrdiff_t(at), wmf.begin() + std::ptrdiff_t(at + 2 * size_t(words)));
      if (words > largest) largest = words;
    }
    at += 2 * size_t(words);
  }
  const size_t eof = copy.size();
  copy.resize(eof + 6, 0);
  Put32(copy, eof, 3);  // the end record: 3 words, function 0
  Put16(copy, 0, 1);       // mtType (see the header comment)
  Put16(copy, 4, 0x0300);  // mtVersion (likewise)
  Put32(copy, 6, uint32_t(copy.size() / 2));  // mtSize in words
  Put32(copy, 12, largest);                   // mtMaxRecord

  HMETAFILE mf = SetMetaFileBitsEx(UINT(copy.size()), copy.data());
  if (!mf) return Fail(2, "GDI does not load this WMF");
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowOrgEx(dc, left, top, nullptr);
  SetWindowExtEx(dc, right - left, bottom - top, nullptr);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SetViewportExtEx(dc, width, height, nullptr);
  PlayMetaFile(dc, mf);
  DeleteMetaFile(mf);
  return 0;
}

// --- picture and output ---------------------------------------------------

LONG WINAPI Crashed(EXCEPTION_POINTERS* e) {
  std::fprintf(stderr, "gdiref: the player crashed (exception 0x%08lx)\n",
               e && e->ExceptionRecord ? static_cast<unsigned long>(e->ExceptionRecord->ExceptionCode) : 0ul);
  std::fflush(stderr);
  ExitProcess(2);
}

bool WritePpm(const wchar_t* path, const uint8_t* bgr, int width, int height, size_t stride) {
  FILE* f = _wfopen(path, L"wb");
  if (!f) return false;
  bool ok = std::fprintf(f, "P6\n%d %d\n255\n", width, height) > 0;
  std::vector<uint8_t> row(size_t(width) * 3);
  for (int y = 0; ok && y < height; ++y) {
    const uint8_t* in = bgr + size_t(y) * stride;
    for (int x = 0; x < width; ++x) {
      row[3 * size_t(x)] = in[3 * size_t(x) + 2];
      row[3 * size_t(x) + 1] = in[3 * size_t(x) + 1];
      row[3 * size_t(x) + 2] = in[3 * size_t(x)];
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}

int ParseSide(const wchar_t* s) {
  wchar_t* end = nullptr;
  const long v = std::wcstol(s, &end, 10);
  return end != s && *end == 0 && v > 0 && v <= kMaxSide ? int(v) : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(Crashed);
  if (argc != 5) return Fail(1, "usage: gdiref IN.emf|IN.wmf OUT.ppm WIDTH HEIGHT");
  const int width = ParseSide(argv[3]), height = ParseSide(argv[4]);
  if (!width || !height) return Fail(1, "WIDTH and HEIGHT must be whole numbers from 1 to 20000");
  TBytes file;
  if (!ReadInput(argv[1], file)) return Fail(1, "cannot read the input file");

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP dib = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!dib || !bits) return Fail(1, "cannot allocate the picture");
  HGDIOBJ previous = SelectObject(dc, dib);
  const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
  std::memset(bits, 0xFF, stride * size_t(height));

  const bool emf = file.size() >= 4 && Le32(file, 0) == EMR_HEADER;
  const int played = emf ? PlayEmf(dc, file, width, height) : PlayWmf(dc, file, width, height);
  GdiFlush();
  int status = played;
  if (status == 0 && !WritePpm(argv[2], static_cast<const uint8_t*>(bits), width, height, stride))
    status = Fail(1, "cannot write the output file");
  SelectObject(dc, previous);
  DeleteObject(dib);
  DeleteDC(dc);
  return status;
}
