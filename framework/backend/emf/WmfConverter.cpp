#include "WmfConverter.h"

#include <uemf.h>
#include <uwmf.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "MetafilePlayer.h"
#include "SysUtils.h"

namespace {

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidMetafile); }

// Fields inside WMF records are not aligned: copy them out.
template <class T>
T Load(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

U_POINTL Pt(U_POINT16 p) { return pointl_set(p.x, p.y); }
U_RECTL Rc(U_RECT16 r) { return rectl_set(pointl_set(r.left, r.top), pointl_set(r.right, r.bottom)); }

enum TSlot { slFree, slObject, slOther };

class TEmfOut {
public:
  // Takes a record made by a libUEMF writer (malloc'd; nullptr when the
  // writer refused its arguments, which skips the record).
  void Add(char* record) {
    if (!record) return;
    std::unique_ptr<char, decltype(&std::free)> owner(record, &std::free);
    const uint32_t size = Load<uint32_t>(record + 4);
    FBytes.insert(FBytes.end(), record, record + size);
    ++FRecords;
  }
  std::vector<uint8_t> Finish(uint32_t handles) {
    EMFTRACK track{};  // the end record asks it for palette entries: none
    Add(U_EMREOF_set(0, nullptr, &track));
    auto* header = reinterpret_cast<U_EMRHEADER*>(FBytes.data());
    // The header's totals: written in place (the buffer is the header's).
    const uint32_t bytes = uint32_t(FBytes.size());
    std::memcpy(reinterpret_cast<char*>(header) + offsetof(U_EMRHEADER, nBytes), &bytes, 4);
    std::memcpy(reinterpret_cast<char*>(header) + offsetof(U_EMRHEADER, nRecords), &FRecords, 4);
    const uint16_t count = uint16_t(std::min<uint32_t>(handles, 0xFFFF));
    std::memcpy(reinterpret_cast<char*>(header) + offsetof(U_EMRHEADER, nHandles), &count, 2);
    return std::move(FBytes);
  }

private:
  std::vector<uint8_t> FBytes;
  uint32_t FRecords = 0;
};

// The WMF object table: each new object takes the lowest free slot; EMF
// handle = slot + 1 (EMF handle 0 is the metafile itself).
class TObjects {
public:
  uint32_t Create(TSlot kind) {
    auto it = std::find(FSlots.begin(), FSlots.end(), slFree);
    if (it == FSlots.end()) it = FSlots.insert(FSlots.end(), slFree);
    *it = kind;
    const uint32_t slot = uint32_t(it - FSlots.begin());
    FPeak = std::max(FPeak, slot + 2);
    return slot + 1;
  }
  TSlot Kind(uint16_t slot) const { return slot < FSlots.size() ? FSlots[slot] : slFree; }
  void Free(uint16_t slot) {
    if (slot < FSlots.size()) FSlots[slot] = slFree;
  }
  uint32_t Peak() const { return FPeak; }

private:
  std::vector<TSlot> FSlots;
  uint32_t FPeak = 1;
};

// A face name as UTF-16 (code page 1252 read as Latin-1).
std::vector<uint16_t> Widen(const char* text, size_t length) {
  std::vector<uint16_t> out(length + 1, 0);
  for (size_t i = 0; i < length; ++i) out[i] = uint8_t(text[i]);
  return out;
}

// A WMF text run as ExtTextOutA: the bytes as they are, so that the player
// reads them in the code page of the font's charset, and the WMF's own
// advances when it has them. Without advances the spacing array's offset is
// left 0: the player then lays the run out in the font itself, as GDI
// plays a TextOut.
void Text(TEmfOut& out, U_POINT16 at, const char* text, int16_t length, uint16_t options, U_RECT16 clip,
          const int16_t* dx) {
  if (length <= 0) return;
  // Options that change what the advances mean are not carried over.
  options &= U_ETO_OPAQUE | U_ETO_CLIPPED;
  std::vector<char> bytes(text, text + length);
  bytes.push_back('\0');
  std::vector<uint32_t> advances(size_t(length), 0);
  if (dx)
    for (int16_t i = 0; i < length; ++i) advances[size_t(i)] = uint32_t(int32_t(Load<int16_t>(reinterpret_cast<const char*>(dx + i))));
  std::unique_ptr<char, decltype(&std::free)> emrtext(
      emrtext_set(Pt(at), uint32_t(length), 1, bytes.data(), options, Rc(clip), advances.data()), &std::free);
  if (!emrtext) return;
  char* record = U_EMREXTTEXTOUTA_set(rectl_set(pointl_set(0, 0), pointl_set(-1, -1)), U_GM_COMPATIBLE, 1.0f, 1.0f,
                                      reinterpret_cast<PU_EMRTEXT>(emrtext.get()));
  if (record && !dx) {
    // The spacing array's offset follows the text fields and the rectangle.
    const size_t at = offsetof(U_EMREXTTEXTOUTA, emrtext) + sizeof(U_EMRTEXT) +
                      ((options & U_ETO_NO_RECT) ? 0 : sizeof(U_RECTL));
    const uint32_t none = 0;
    if (at + 4 <= Load<uint32_t>(record + 4)) std::memcpy(record + at, &none, 4);
  }
  out.Add(record);
}

// A DIB inside a WMF record, split as the EMF writers take it: the header
// and colour table (word-aligned), then the pixels. False when it cannot be
// read or is compressed.
bool SplitDib(const char* dib, const char* end, std::vector<uint32_t>& bmi, std::vector<char>& pixels) {
  if (!dib || end - dib < int(sizeof(U_BITMAPINFOHEADER))) return false;
  const char* px = nullptr;
  const U_RGBQUAD* ct = nullptr;
  uint32_t numCt = 0;
  int32_t width = 0, height = 0, colortype = 0, invert = 0;
  if (wget_DIB_params(dib, &px, &ct, &numCt, &width, &height, &colortype, &invert) != U_BI_RGB) return false;
  if (!px || px < dib || px > end) return false;
  bmi.assign((size_t(px - dib) + 3) / 4 + 1, 0);
  std::memcpy(bmi.data(), dib, size_t(px - dib));
  pixels.assign(px, end);
  return true;
}

// A DIB inside a WMF record as StretchDIBits.
void Bitmap(TEmfOut& out, const char* dib, const char* end, U_POINT16 dst, U_POINT16 cDst, U_POINT16 src,
            U_POINT16 cSrc, uint32_t usage, uint32_t rop) {
  std::vector<uint32_t> bmi;
  std::vector<char> pixels;
  if (!SplitDib(dib, end, bmi, pixels)) return;
  out.Add(U_EMRSTRETCHDIBITS_set(rectl_set(Pt(dst), pointl_set(dst.x + cDst.x, dst.y + cDst.y)), Pt(dst), Pt(cDst),
                                 Pt(src), Pt(cSrc), usage, rop, reinterpret_cast<PU_BITMAPINFO>(bmi.data()),
                                 uint32_t(pixels.size()), pixels.data()));
}

// A raster operation over a rectangle with the selected brush and no
// source bitmap (PatBlt), as a BitBlt record without one.
void PatternBlit(TEmfOut& out, U_POINT16 dst, U_POINT16 cwh, uint32_t rop) {
  const U_XFORM identity{1, 0, 0, 1, 0, 0};
  out.Add(U_EMRBITBLT_set(rectl_set(Pt(dst), pointl_set(dst.x + cwh.x, dst.y + cwh.y)), Pt(dst), Pt(cwh),
                          pointl_set(0, 0), identity, colorref3_set(0, 0, 0), U_DIB_RGB_COLORS, rop, nullptr, 0,
                          nullptr));
}

// A DIB pattern brush in slot `h`; false when the DIB cannot be read.
bool PatternBrush(TEmfOut& out, uint32_t h, const char* dib, const char* end, uint32_t usage) {
  std::vector<uint32_t> bmi;
  std::vector<char> pixels;
  if (!SplitDib(dib, end, bmi, pixels)) return false;
  char* record = U_EMRCREATEDIBPATTERNBRUSHPT_set(h, usage, reinterpret_cast<PU_BITMAPINFO>(bmi.data()),
                                                  uint32_t(pixels.size()), pixels.data());
  if (!record) return false;
  out.Add(record);
  return true;
}

}  // namespace

bool WmfTextFits(int16_t length, size_t stringAt, size_t size, size_t after) {
  return length > 0 && stringAt + (size_t(length) + 1) / 2 * 2 + after <= size;
}

std::vector<uint8_t> WmfToEmf(std::span<const uint8_t> wmf) {
  // A copy with room past the end, so that no reader sees the caller's
  // buffer end; limits are checked against the real size.
  if (wmf.size() < U_SIZE_WMRPLACEABLE + U_SIZE_WMRHEADER) Invalid();
  std::vector<char> buffer(wmf.begin(), wmf.end());
  buffer.resize(buffer.size() + 8, 0);
  const char* const data = buffer.data();
  const char* const limit = data + wmf.size();

  if (Load<uint32_t>(data) != 0x9AC6CDD7) Invalid();
  uint16_t checksum = 0;
  for (int i = 0; i < 10; ++i) checksum ^= Load<uint16_t>(data + 2 * i);
  if (checksum != Load<uint16_t>(data + 20)) Invalid();
  U_WMRPLACEABLE placeable{};
  U_WMRHEADER header{};
  const int headerSize = wmfheader_get(data, limit, &placeable, &header);
  if (headerSize <= 0 || placeable.Inch == 0) Invalid();

  const U_RECT16 box = placeable.Dst;
  const int boxW = std::abs(box.right - box.left), boxH = std::abs(box.bottom - box.top);
  if (boxW == 0 || boxH == 0) Invalid();
  // The frame in 0.01 mm and in pixels of a 96 dpi reference device.
  const int32_t frameW = int32_t(int64_t(boxW) * 2540 / placeable.Inch);
  const int32_t frameH = int32_t(int64_t(boxH) * 2540 / placeable.Inch);
  const int pxW = std::max(1, MetafileUnitsToPixels(boxW, placeable.Inch));
  const int pxH = std::max(1, MetafileUnitsToPixels(boxH, placeable.Inch));

  TEmfOut out;
  out.Add(U_EMRHEADER_set(rectl_set(pointl_set(0, 0), pointl_set(pxW - 1, pxH - 1)),
                          rectl_set(pointl_set(0, 0), pointl_set(frameW, frameH)), nullptr, 0, nullptr,
                          sizel_set(1920, 960), sizel_set(508, 254), 0));
  // A placeable metafile's box is the window its player shows.
  out.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
  U_POINTL windowOrg = pointl_set(std::min(box.left, box.right), std::min(box.top, box.bottom));
  U_POINTL viewportOrg = pointl_set(0, 0);
  out.Add(U_EMRSETWINDOWORGEX_set(windowOrg));
  out.Add(U_EMRSETWINDOWEXTEX_set(sizel_set(boxW, boxH)));
  out.Add(U_EMRSETVIEWPORTORGEX_set(viewportOrg));
  out.Add(U_EMRSETVIEWPORTEXTEX_set(sizel_set(pxW, pxH)));

  TObjects objects;
  bool ended = false;
  for (const char* rec = data + headerSize; rec < limit && !ended;) {
    const size_t size = U_WMRRECSAFE_get(rec, limit);
    if (size == 0) Invalid();
    const char* const end = rec + size;
    const uint8_t type = uint8_t(rec[4]);
    // Every reader below returns 0 for a record it finds malformed.
    auto need = [](int ok) {
      if (ok <= 0) Invalid();
    };
    switch (type) {
      case U_WMR_EOF: ended = true; break;
      case U_WMR_SETBKCOLOR: {
        U_COLORREF c;
        need(U_WMRSETBKCOLOR_get(rec, &c));
        out.Add(U_EMRSETBKCOLOR_set(c));
        break;
      }
      case U_WMR_SETTEXTCOLOR: {
        U_COLORREF c;
        need(U_WMRSETTEXTCOLOR_get(rec, &c));
        out.Add(U_EMRSETTEXTCOLOR_set(c));
        break;
      }
      case U_WMR_SETBKMODE: {
        uint16_t m;
        need(U_WMRSETBKMODE_get(rec, &m));
        out.Add(U_EMRSETBKMODE_set(m));
        break;
      }
      case U_WMR_SETMAPMODE: {
        uint16_t m;
        need(U_WMRSETMAPMODE_get(rec, &m));
        out.Add(U_EMRSETMAPMODE_set(m));
        break;
      }
      case U_WMR_SETPOLYFILLMODE: {
        uint16_t m;
        need(U_WMRSETPOLYFILLMODE_get(rec, &m));
        out.Add(U_EMRSETPOLYFILLMODE_set(m));
        break;
      }
      case U_WMR_SETROP2: {
        uint16_t m;
        need(U_WMRSETROP2_get(rec, &m));
        out.Add(U_EMRSETROP2_set(m));
        break;
      }
      case U_WMR_SETPIXEL: {
        U_COLORREF c;
        U_POINT16 p;
        need(U_WMRSETPIXEL_get(rec, &c, &p));
        out.Add(U_EMRSETPIXELV_set(Pt(p), c));
        break;
      }
      case U_WMR_SETSTRETCHBLTMODE: {
        uint16_t m;
        need(U_WMRSETSTRETCHBLTMODE_get(rec, &m));
        out.Add(U_EMRSETSTRETCHBLTMODE_set(m));
        break;
      }
      case U_WMR_SETTEXTALIGN: {
        uint16_t m;
        need(U_WMRSETTEXTALIGN_get(rec, &m));
        out.Add(U_EMRSETTEXTALIGN_set(m));
        break;
      }
      case U_WMR_SETWINDOWORG: {
        U_POINT16 p;
        need(U_WMRSETWINDOWORG_get(rec, &p));
        windowOrg = Pt(p);
        out.Add(U_EMRSETWINDOWORGEX_set(windowOrg));
        break;
      }
      case U_WMR_SETWINDOWEXT: {
        U_POINT16 p;
        need(U_WMRSETWINDOWEXT_get(rec, &p));
        out.Add(U_EMRSETWINDOWEXTEX_set(sizel_set(p.x, p.y)));
        break;
      }
      case U_WMR_SETVIEWPORTORG: {
        U_POINT16 p;
        need(U_WMRSETVIEWPORTORG_get(rec, &p));
        viewportOrg = Pt(p);
        out.Add(U_EMRSETVIEWPORTORGEX_set(viewportOrg));
        break;
      }
      case U_WMR_SETVIEWPORTEXT: {
        U_POINT16 p;
        need(U_WMRSETVIEWPORTEXT_get(rec, &p));
        out.Add(U_EMRSETVIEWPORTEXTEX_set(sizel_set(p.x, p.y)));
        break;
      }
      // EMF has no offset records: the origins are tracked here.
      case U_WMR_OFFSETWINDOWORG: {
        U_POINT16 p;
        need(U_WMROFFSETWINDOWORG_get(rec, &p));
        windowOrg = pointl_set(windowOrg.x + p.x, windowOrg.y + p.y);
        out.Add(U_EMRSETWINDOWORGEX_set(windowOrg));
        break;
      }
      case U_WMR_OFFSETVIEWPORTORG: {
        U_POINT16 p;
        need(U_WMROFFSETVIEWPORTORG_get(rec, &p));
        viewportOrg = pointl_set(viewportOrg.x + p.x, viewportOrg.y + p.y);
        out.Add(U_EMRSETVIEWPORTORGEX_set(viewportOrg));
        break;
      }
      case U_WMR_SCALEWINDOWEXT: {
        U_POINT16 denom, num;
        need(U_WMRSCALEWINDOWEXT_get(rec, &denom, &num));
        if (denom.x && denom.y) out.Add(U_EMRSCALEWINDOWEXTEX_set(num.x, denom.x, num.y, denom.y));
        break;
      }
      case U_WMR_SCALEVIEWPORTEXT: {
        U_POINT16 denom, num;
        need(U_WMRSCALEVIEWPORTEXT_get(rec, &denom, &num));
        if (denom.x && denom.y) out.Add(U_EMRSCALEVIEWPORTEXTEX_set(num.x, denom.x, num.y, denom.y));
        break;
      }
      case U_WMR_SAVEDC: out.Add(U_EMRSAVEDC_set()); break;
      case U_WMR_RESTOREDC: {
        int16_t dc;
        need(U_WMRRESTOREDC_get(rec, &dc));
        out.Add(U_EMRRESTOREDC_set(dc));
        break;
      }
      case U_WMR_CREATEPENINDIRECT: {
        U_PEN pen;
        need(U_WMRCREATEPENINDIRECT_get(rec, &pen));
        const uint32_t h = objects.Create(slObject);
        const int width = pen.Widthw[0];
        out.Add(U_EMRCREATEPEN_set(h, logpen_set(pen.Style, point32_set(width, width), pen.Color)));
        break;
      }
      case U_WMR_CREATEBRUSHINDIRECT: {
        const char* p = nullptr;
        need(U_WMRCREATEBRUSHINDIRECT_get(rec, &p));
        if (!p || end - p < 8) Invalid();
        const uint16_t style = Load<uint16_t>(p), hatch = Load<uint16_t>(p + 6);
        const U_COLORREF color = Load<U_COLORREF>(p + 2);
        const uint32_t h = objects.Create(slObject);
        out.Add(U_EMRCREATEBRUSHINDIRECT_set(h, logbrush_set(style, color, hatch)));
        break;
      }
      case U_WMR_CREATEFONTINDIRECT: {
        const char* p = nullptr;
        need(U_WMRCREATEFONTINDIRECT_get(rec, &p));
        if (!p || end - p < 18) Invalid();
        const size_t faceLength = strnlen(p + 18, std::min<size_t>(size_t(end - p - 18), U_LF_FACESIZE - 1));
        std::vector<uint16_t> face = Widen(p + 18, faceLength);
        const U_LOGFONT lf = logfont_set(Load<int16_t>(p), Load<int16_t>(p + 2), Load<int16_t>(p + 4),
                                         Load<int16_t>(p + 6), Load<int16_t>(p + 8), uint8_t(p[10]), uint8_t(p[11]),
                                         uint8_t(p[12]), uint8_t(p[13]), uint8_t(p[14]), uint8_t(p[15]),
                                         uint8_t(p[16]), uint8_t(p[17]), face.data());
        const uint32_t h = objects.Create(slObject);
        out.Add(U_EMREXTCREATEFONTINDIRECTW_set(h, nullptr, reinterpret_cast<const char*>(&lf)));
        break;
      }
      // A DIB pattern brush keeps its pattern; the old device-dependent
      // pattern brush (a 16-bit bitmap) becomes an empty brush that keeps
      // its slot. Palettes and regions only take their slot.
      case U_WMR_DIBCREATEPATTERNBRUSH: {
        const uint32_t h = objects.Create(slObject);
        uint16_t style = 0, usage = 0;
        const char* bm16 = nullptr;
        const char* dib = nullptr;
        if (U_WMRDIBCREATEPATTERNBRUSH_get(rec, &style, &usage, &bm16, &dib) > 0 && dib && PatternBrush(out, h, dib, end, usage))
          break;
        out.Add(U_EMRCREATEBRUSHINDIRECT_set(h, logbrush_set(U_BS_NULL, colorref3_set(0, 0, 0), 0)));
        break;
      }
      case U_WMR_CREATEPATTERNBRUSH: {
        const uint32_t h = objects.Create(slObject);
        out.Add(U_EMRCREATEBRUSHINDIRECT_set(h, logbrush_set(U_BS_NULL, colorref3_set(0, 0, 0), 0)));
        break;
      }
      case U_WMR_CREATEPALETTE:
      case U_WMR_CREATEREGION: objects.Create(slOther); break;
      case U_WMR_SELECTOBJECT: {
        uint16_t slot;
        need(U_WMRSELECTOBJECT_get(rec, &slot));
        if (objects.Kind(slot) == slObject) out.Add(U_EMRSELECTOBJECT_set(uint32_t(slot) + 1));
        break;
      }
      case U_WMR_DELETEOBJECT: {
        uint16_t slot;
        need(U_WMRDELETEOBJECT_get(rec, &slot));
        if (objects.Kind(slot) == slObject) out.Add(U_EMRDELETEOBJECT_set(uint32_t(slot) + 1));
        objects.Free(slot);
        break;
      }
      case U_WMR_MOVETO: {
        U_POINT16 p;
        need(U_WMRMOVETO_get(rec, &p));
        out.Add(U_EMRMOVETOEX_set(Pt(p)));
        break;
      }
      case U_WMR_LINETO: {
        U_POINT16 p;
        need(U_WMRLINETO_get(rec, &p));
        out.Add(U_EMRLINETO_set(Pt(p)));
        break;
      }
      case U_WMR_POLYLINE:
      case U_WMR_POLYGON: {
        uint16_t count = 0;
        const char* points = nullptr;
        need(type == U_WMR_POLYGON ? U_WMRPOLYGON_get(rec, &count, &points) : U_WMRPOLYLINE_get(rec, &count, &points));
        if (!points || count == 0 || end - points < ptrdiff_t(count) * 4) break;
        std::vector<U_POINTL> pts;
        for (uint16_t i = 0; i < count; ++i) pts.push_back(Pt(Load<U_POINT16>(points + 4 * i)));
        const U_RECTL bounds = rectl_set(pointl_set(0, 0), pointl_set(-1, -1));
        out.Add(type == U_WMR_POLYGON ? U_EMRPOLYGON_set(bounds, count, pts.data())
                                      : U_EMRPOLYLINE_set(bounds, count, pts.data()));
        break;
      }
      case U_WMR_POLYPOLYGON: {
        uint16_t polys = 0;
        const uint16_t* counts = nullptr;
        const char* points = nullptr;
        need(U_WMRPOLYPOLYGON_get(rec, &polys, &counts, &points));
        // The reader does not check that the counts fit in the record.
        if (!counts || !points || polys == 0 || end - reinterpret_cast<const char*>(counts) < ptrdiff_t(2 * polys)) break;
        std::vector<uint32_t> sizes;
        size_t total = 0;
        for (uint16_t i = 0; i < polys; ++i) {
          sizes.push_back(Load<uint16_t>(reinterpret_cast<const char*>(counts) + 2 * i));
          total += sizes.back();
        }
        if (total == 0 || end - points < ptrdiff_t(total * 4)) break;
        std::vector<U_POINTL> pts;
        for (size_t i = 0; i < total; ++i) pts.push_back(Pt(Load<U_POINT16>(points + 4 * i)));
        out.Add(U_EMRPOLYPOLYGON_set(rectl_set(pointl_set(0, 0), pointl_set(-1, -1)), polys, sizes.data(),
                                     uint32_t(total), pts.data()));
        break;
      }
      case U_WMR_RECTANGLE: {
        U_RECT16 r;
        need(U_WMRRECTANGLE_get(rec, &r));
        out.Add(U_EMRRECTANGLE_set(Rc(r)));
        break;
      }
      case U_WMR_ROUNDRECT: {
        int16_t w, h;
        U_RECT16 r;
        need(U_WMRROUNDRECT_get(rec, &w, &h, &r));
        out.Add(U_EMRROUNDRECT_set(Rc(r), sizel_set(w, h)));
        break;
      }
      case U_WMR_ELLIPSE: {
        U_RECT16 r;
        need(U_WMRELLIPSE_get(rec, &r));
        out.Add(U_EMRELLIPSE_set(Rc(r)));
        break;
      }
      case U_WMR_ARC:
      case U_WMR_CHORD:
      case U_WMR_PIE: {
        U_POINT16 a, b;
        U_RECT16 r;
        need(type == U_WMR_ARC ? U_WMRARC_get(rec, &a, &b, &r)
             : type == U_WMR_PIE ? U_WMRPIE_get(rec, &a, &b, &r)
                                 : U_WMRCHORD_get(rec, &a, &b, &r));
        out.Add(type == U_WMR_ARC ? U_EMRARC_set(Rc(r), Pt(a), Pt(b))
                : type == U_WMR_PIE ? U_EMRPIE_set(Rc(r), Pt(a), Pt(b))
                                    : U_EMRCHORD_set(Rc(r), Pt(a), Pt(b)));
        break;
      }
      case U_WMR_INTERSECTCLIPRECT:
      case U_WMR_EXCLUDECLIPRECT: {
        U_RECT16 r;
        need(type == U_WMR_INTERSECTCLIPRECT ? U_WMRINTERSECTCLIPRECT_get(rec, &r) : U_WMREXCLUDECLIPRECT_get(rec, &r));
        out.Add(type == U_WMR_INTERSECTCLIPRECT ? U_EMRINTERSECTCLIPRECT_set(Rc(r)) : U_EMREXCLUDECLIPRECT_set(Rc(r)));
        break;
      }
      case U_WMR_TEXTOUT: {
        // The reader finds the position after the string by the string's
        // declared length without checking it: a negative or too long one
        // sends it outside the record (a crash found by fuzzing).
        if (size < 8 || !WmfTextFits(Load<int16_t>(rec + 6), 8, size, 4)) break;
        U_POINT16 at;
        int16_t length = 0;
        const char* text = nullptr;
        need(U_WMRTEXTOUT_get(rec, &at, &length, &text));
        if (text && length > 0 && end - text >= length) Text(out, at, text, length, U_ETO_NONE, {}, nullptr);
        break;
      }
      case U_WMR_EXTTEXTOUT: {
        U_POINT16 at;
        int16_t length = 0;
        uint16_t options = 0;
        const char* text = nullptr;
        const int16_t* dx = nullptr;
        U_RECT16 clip{};
        {
          // The same check for this reader: the string follows the options
          // and, when they ask for one, a rectangle.
          if (size < 14) break;
          const uint16_t declaredOptions = Load<uint16_t>(rec + 12);
          const size_t stringAt = 14 + ((declaredOptions & (U_ETO_OPAQUE | U_ETO_CLIPPED)) ? 8 : 0);
          if (!WmfTextFits(Load<int16_t>(rec + 10), stringAt, size, 0)) break;
        }
        need(U_WMREXTTEXTOUT_get(rec, &at, &length, &options, &text, &dx, &clip));
        // The advances, one per byte, when the record holds them all.
        if (dx && (reinterpret_cast<const char*>(dx) < rec ||
                   end - reinterpret_cast<const char*>(dx) < 2 * std::ptrdiff_t(length)))
          dx = nullptr;
        if (text && length > 0 && end - text >= length) Text(out, at, text, length, options, clip, dx);
        break;
      }
      case U_WMR_STRETCHDIB: {
        U_POINT16 dst, cDst, src, cSrc;
        uint16_t usage;
        uint32_t rop;
        const char* dib = nullptr;
        need(U_WMRSTRETCHDIB_get(rec, &dst, &cDst, &src, &cSrc, &usage, &rop, &dib));
        Bitmap(out, dib, end, dst, cDst, src, cSrc, usage, rop);
        break;
      }
      case U_WMR_DIBSTRETCHBLT: {
        U_POINT16 dst, cDst, src, cSrc;
        uint32_t rop;
        const char* dib = nullptr;
        need(U_WMRDIBSTRETCHBLT_get(rec, &dst, &cDst, &src, &cSrc, &rop, &dib));
        Bitmap(out, dib, end, dst, cDst, src, cSrc, U_DIB_RGB_COLORS, rop);
        break;
      }
      case U_WMR_DIBBITBLT: {
        U_POINT16 dst, cwh, src;
        uint32_t rop;
        const char* dib = nullptr;
        need(U_WMRDIBBITBLT_get(rec, &dst, &cwh, &src, &rop, &dib));
        // The short form has no bitmap: a raster operation with the brush.
        if (dib) Bitmap(out, dib, end, dst, cwh, src, cwh, U_DIB_RGB_COLORS, rop);
        else PatternBlit(out, dst, cwh, rop);
        break;
      }
      case U_WMR_PATBLT: {
        U_POINT16 dst, cwh;
        uint32_t rop;
        need(U_WMRPATBLT_get(rec, &dst, &cwh, &rop));
        PatternBlit(out, dst, cwh, rop);
        break;
      }
      default: break;  // outside the drawn set: skipped
    }
    rec = end;
  }
  if (!ended) Invalid();  // truncated
  return out.Finish(objects.Peak());
}
