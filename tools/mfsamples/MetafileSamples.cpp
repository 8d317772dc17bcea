// One drawing interface over libUEMF's EMF and WMF writers, so that each
// sample is written once for both formats.
#include "MetafileSamples.h"

#include <uemf.h>
#include <uemf_utf.h>
#include <uwmf.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace mfsamples {
namespace {

struct TPoint {
  int X, Y;
};

// libUEMF builds the file in memory but only finishes it into a file.
std::string TempPath() {
  static std::atomic<int> counter{0};
  return (std::filesystem::temp_directory_path() /
          ("velq-mfsample-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)))
      .string();
}

TBytes ReadAndRemove(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  TBytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  return bytes;
}

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("libUEMF: ") + what);
}

U_COLORREF Ref(uint32_t rgb) { return colorref3_set(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)); }

// A bottom-up 24-bit DIB of top-down 0xRRGGBB pixels.
std::vector<char> DibPixels(int w, int h, const std::vector<uint32_t>& rgb) {
  const int stride = (w * 3 + 3) & ~3;
  std::vector<char> px(size_t(stride) * size_t(h), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t c = rgb[size_t((h - 1 - y) * w + x)];
      char* p = &px[size_t(y * stride + x * 3)];
      p[0] = char(c), p[1] = char(c >> 8), p[2] = char(c >> 16);
    }
  return px;
}

class TWriter {
public:
  virtual ~TWriter() = default;
  virtual uint32_t Pen(int width, uint32_t rgb) = 0;
  virtual uint32_t NullPen() = 0;
  virtual uint32_t Brush(uint32_t rgb) = 0;
  virtual uint32_t HatchBrush(uint32_t hatch, uint32_t rgb) = 0;
  virtual void BkMode(uint32_t mode) = 0;
  virtual void Rop2(uint32_t mode) = 0;
  virtual void FillMode(uint32_t mode) = 0;
  virtual uint32_t Font(int height, int weight, bool italic, int escapement) = 0;
  virtual void Select(uint32_t handle) = 0;
  virtual void Delete(uint32_t handle) = 0;
  virtual void Rectangle(int l, int t, int r, int b) = 0;
  virtual void RoundRect(int l, int t, int r, int b, int cw, int ch) = 0;
  virtual void Ellipse(int l, int t, int r, int b) = 0;
  virtual void Polygon(const std::vector<TPoint>& pts) = 0;
  virtual void PolyPolygon(const std::vector<std::vector<TPoint>>& polys) = 0;
  virtual void Polyline(const std::vector<TPoint>& pts) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  // Arc, chord, pie: the ellipse in the box, counter-clockwise from the
  // start radial to the end radial.
  virtual void Arc(int l, int t, int r, int b, TPoint start, TPoint end) = 0;
  virtual void Chord(int l, int t, int r, int b, TPoint start, TPoint end) = 0;
  virtual void Pie(int l, int t, int r, int b, TPoint start, TPoint end) = 0;
  virtual void Anisotropic(TPoint windowOrg, TPoint windowExt, TPoint viewportOrg, TPoint viewportExt) = 0;
  virtual void StretchBitmap(int l, int t, int r, int b, int w, int h, const std::vector<uint32_t>& rgb) = 0;
  virtual void Text(int x, int y, const char* text, uint32_t rgb) = 0;
  virtual void ExtText(int x, int y, const char* text, uint16_t options) = 0;
  virtual void ClipRect(int l, int t, int r, int b) = 0;
  virtual void Unhandled() = 0;
  virtual TBytes Finish() = 0;
};

class TEmfWriter : public TWriter {
public:
  TEmfWriter(int width, int height) : FPath(TempPath()) {
    Check(emf_start(FPath.c_str(), 65536, 65536, &FTrack) == 0, "emf_start");
    Check(emf_htable_create(128, 128, &FHandles) == 0, "emf_htable_create");
    // A reference device of 96 dots per inch: 1920 x 960 pixels, 508 x 254 mm.
    const U_RECTL bounds = rectl_set(pointl_set(0, 0), pointl_set(width - 1, height - 1));
    const U_RECTL frame = rectl_set(pointl_set(0, 0), pointl_set((width * 2540 + 48) / 96, (height * 2540 + 48) / 96));
    Add(U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, sizel_set(1920, 960), sizel_set(508, 254), 0));
    Add(U_EMRSETBKMODE_set(U_TRANSPARENT));
    Add(U_EMRSETTEXTALIGN_set(U_TA_TOP));
  }
  ~TEmfWriter() override {
    if (FTrack) emf_free(&FTrack);
    if (FHandles) emf_htable_free(&FHandles);
    std::filesystem::remove(FPath);
  }
  void Add(char* record) {
    Check(record != nullptr, "record");
    Check(emf_append(reinterpret_cast<U_ENHMETARECORD*>(record), FTrack, 1) == 0, "emf_append");
  }
  uint32_t Pen(int width, uint32_t rgb) override {
    uint32_t h;
    Add(createpen_set(&h, FHandles, logpen_set(U_PS_SOLID, point32_set(width, width), Ref(rgb))));
    return h;
  }
  uint32_t NullPen() override { return U_NULL_PEN; }
  uint32_t Brush(uint32_t rgb) override {
    uint32_t h;
    Add(createbrushindirect_set(&h, FHandles, logbrush_set(U_BS_SOLID, Ref(rgb), 0)));
    return h;
  }
  uint32_t HatchBrush(uint32_t hatch, uint32_t rgb) override {
    uint32_t h;
    Add(createbrushindirect_set(&h, FHandles, logbrush_set(U_BS_HATCHED, Ref(rgb), hatch)));
    return h;
  }
  void BkMode(uint32_t mode) override { Add(U_EMRSETBKMODE_set(mode)); }
  void Rop2(uint32_t mode) override { Add(U_EMRSETROP2_set(mode)); }
  void FillMode(uint32_t mode) override { Add(U_EMRSETPOLYFILLMODE_set(mode)); }
  uint32_t Font(int height, int weight, bool italic, int escapement) override {
    std::unique_ptr<uint16_t, decltype(&std::free)> face(U_Utf8ToUtf16le("Arial", 0, nullptr), &std::free);
    U_LOGFONT lf = logfont_set(-height, 0, escapement, escapement, weight, italic ? 1 : 0, 0, 0, U_ANSI_CHARSET,
                               U_OUT_DEFAULT_PRECIS, U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH,
                               face.get());
    uint32_t h;
    Add(extcreatefontindirectw_set(&h, FHandles, nullptr, reinterpret_cast<const char*>(&lf)));
    return h;
  }
  void Select(uint32_t handle) override { Add(selectobject_set(handle, FHandles)); }
  void Delete(uint32_t handle) override { Add(deleteobject_set(&handle, FHandles)); }
  void Rectangle(int l, int t, int r, int b) override { Add(U_EMRRECTANGLE_set(Box(l, t, r, b))); }
  void RoundRect(int l, int t, int r, int b, int cw, int ch) override {
    Add(U_EMRROUNDRECT_set(Box(l, t, r, b), sizel_set(cw, ch)));
  }
  void Ellipse(int l, int t, int r, int b) override { Add(U_EMRELLIPSE_set(Box(l, t, r, b))); }
  void Polygon(const std::vector<TPoint>& pts) override {
    const auto p = Points(pts);
    Add(U_EMRPOLYGON_set(Bounds(pts), uint32_t(p.size()), p.data()));
  }
  void PolyPolygon(const std::vector<std::vector<TPoint>>& polys) override {
    std::vector<TPoint> all;
    std::vector<uint32_t> counts;
    for (const auto& poly : polys) {
      all.insert(all.end(), poly.begin(), poly.end());
      counts.push_back(uint32_t(poly.size()));
    }
    const auto p = Points(all);
    Add(U_EMRPOLYPOLYGON_set(Bounds(all), uint32_t(counts.size()), counts.data(), uint32_t(p.size()), p.data()));
  }
  void Polyline(const std::vector<TPoint>& pts) override {
    const auto p = Points(pts);
    Add(U_EMRPOLYLINE_set(Bounds(pts), uint32_t(p.size()), p.data()));
  }
  void MoveTo(int x, int y) override { Add(U_EMRMOVETOEX_set(pointl_set(x, y))); }
  void LineTo(int x, int y) override { Add(U_EMRLINETO_set(pointl_set(x, y))); }
  void Arc(int l, int t, int r, int b, TPoint s, TPoint e) override {
    Add(U_EMRARC_set(Box(l, t, r, b), pointl_set(s.X, s.Y), pointl_set(e.X, e.Y)));
  }
  void Chord(int l, int t, int r, int b, TPoint s, TPoint e) override {
    Add(U_EMRCHORD_set(Box(l, t, r, b), pointl_set(s.X, s.Y), pointl_set(e.X, e.Y)));
  }
  void Pie(int l, int t, int r, int b, TPoint s, TPoint e) override {
    Add(U_EMRPIE_set(Box(l, t, r, b), pointl_set(s.X, s.Y), pointl_set(e.X, e.Y)));
  }
  void Anisotropic(TPoint wo, TPoint we, TPoint vo, TPoint ve) override {
    Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
    Add(U_EMRSETWINDOWORGEX_set(pointl_set(wo.X, wo.Y)));
    Add(U_EMRSETWINDOWEXTEX_set(sizel_set(we.X, we.Y)));
    Add(U_EMRSETVIEWPORTORGEX_set(pointl_set(vo.X, vo.Y)));
    Add(U_EMRSETVIEWPORTEXTEX_set(sizel_set(ve.X, ve.Y)));
  }
  void StretchBitmap(int l, int t, int r, int b, int w, int h, const std::vector<uint32_t>& rgb) override {
    std::vector<char> px = DibPixels(w, h, rgb);
    std::unique_ptr<U_BITMAPINFO, decltype(&std::free)> bmi(
        bitmapinfo_set(bitmapinfoheader_set(w, h, 1, 24, U_BI_RGB, uint32_t(px.size()), 3780, 3780, 0, 0), nullptr),
        &std::free);
    Add(U_EMRSTRETCHDIBITS_set(Box(l, t, r, b), pointl_set(l, t), pointl_set(r - l, b - t), pointl_set(0, 0),
                               pointl_set(w, h), U_DIB_RGB_COLORS, U_SRCCOPY, bmi.get(), uint32_t(px.size()),
                               px.data()));
  }
  void Text(int x, int y, const char* text, uint32_t rgb) override {
    Add(U_EMRSETTEXTCOLOR_set(Ref(rgb)));
    size_t length = 0;
    std::unique_ptr<uint16_t, decltype(&std::free)> wide(U_Utf8ToUtf16le(text, 0, &length), &std::free);
    std::unique_ptr<uint32_t, decltype(&std::free)> dx(dx_set(-20, U_FW_NORMAL, uint32_t(length)), &std::free);
    std::unique_ptr<char, decltype(&std::free)> emrtext(
        emrtext_set(pointl_set(x, y), uint32_t(length), 2, wide.get(), U_ETO_NONE, Box(0, 0, 0, 0), dx.get()),
        &std::free);
    Add(U_EMREXTTEXTOUTW_set(Box(0, 0, 0, 0), U_GM_COMPATIBLE, 1.0f, 1.0f,
                             reinterpret_cast<PU_EMRTEXT>(emrtext.get())));
  }
  void ExtText(int x, int y, const char* text, uint16_t options) override {
    size_t length = 0;
    std::unique_ptr<uint16_t, decltype(&std::free)> wide(U_Utf8ToUtf16le(text, 0, &length), &std::free);
    // Two advances per character when the options announce x and y ones.
    const uint32_t advances = uint32_t(length) * ((options & U_ETO_PDY) ? 2 : 1);
    std::vector<uint32_t> dx(advances, 14);
    std::unique_ptr<char, decltype(&std::free)> emrtext(
        emrtext_set(pointl_set(x, y), uint32_t(length), 2, wide.get(), options, Box(0, 0, 0, 0), dx.data()),
        &std::free);
    Add(U_EMREXTTEXTOUTW_set(Box(0, 0, 0, 0), U_GM_COMPATIBLE, 1.0f, 1.0f,
                             reinterpret_cast<PU_EMRTEXT>(emrtext.get())));
  }
  void ClipRect(int l, int t, int r, int b) override { Add(U_EMRINTERSECTCLIPRECT_set(Box(l, t, r, b))); }
  void Unhandled() override {
    Add(textcomment_set("sample comment"));
    Add(U_EMRSETICMMODE_set(1));
    Add(U_EMRREALIZEPALETTE_set());
  }
  // libUEMF has no writer for SETGRAPHICSMODE: a 12-byte record by hand.
  void AdvancedGraphicsMode() {
    auto* record = static_cast<uint32_t*>(std::malloc(12));
    record[0] = 67;  // EMR_SETGRAPHICSMODE
    record[1] = 12;
    record[2] = U_GM_ADVANCED;
    Add(reinterpret_cast<char*>(record));
  }
  TBytes Finish() override {
    Add(U_EMREOF_set(0, nullptr, FTrack));
    Check(emf_finish(FTrack, FHandles) == 0, "emf_finish");
    emf_free(&FTrack);
    FTrack = nullptr;
    return ReadAndRemove(FPath);
  }

private:
  static U_RECTL Box(int l, int t, int r, int b) { return rectl_set(pointl_set(l, t), pointl_set(r, b)); }
  static std::vector<U_POINTL> Points(const std::vector<TPoint>& pts) {
    std::vector<U_POINTL> out;
    for (const auto& p : pts) out.push_back(pointl_set(p.X, p.Y));
    return out;
  }
  static U_RECTL Bounds(const std::vector<TPoint>& pts) {
    int l = pts[0].X, t = pts[0].Y, r = l, b = t;
    for (const auto& p : pts) l = std::min(l, p.X), t = std::min(t, p.Y), r = std::max(r, p.X), b = std::max(b, p.Y);
    return Box(l, t, r, b);
  }
  std::string FPath;
  EMFTRACK* FTrack = nullptr;
  EMFHANDLES* FHandles = nullptr;
};

class TWmfWriter : public TWriter {
public:
  // A placeable metafile of width x height pixels at 96 units per inch;
  // `bounds` overrides the placeable box (logical units, `inch` per inch).
  TWmfWriter(int width, int height) : FPath(TempPath()) {
    Check(wmf_start(FPath.c_str(), 65536, 65536, &FTrack) == 0, "wmf_start");
    Check(wmf_htable_create(128, 128, &FHandles) == 0, "wmf_htable_create");
    std::unique_ptr<U_PAIRF, decltype(&std::free)> size(U_PAIRF_set(width / 96.0f, height / 96.0f), &std::free);
    char* header = U_WMRHEADER_set(size.get(), 96);
    Check(header != nullptr, "header");
    Check(wmf_header_append(reinterpret_cast<U_METARECORD*>(header), FTrack, 1) == 0, "wmf_header_append");
    Add(U_WMRSETWINDOWORG_set(point16_set(0, 0)));
    Add(U_WMRSETWINDOWEXT_set(point16_set(int16_t(width), int16_t(height))));
    Add(U_WMRSETBKMODE_set(U_TRANSPARENT));
    Add(U_WMRSETTEXTALIGN_set(U_TA_TOP));
  }
  ~TWmfWriter() override {
    if (FTrack) wmf_free(&FTrack);
    if (FHandles) wmf_htable_free(&FHandles);
    std::filesystem::remove(FPath);
  }
  void Add(char* record) {
    Check(record != nullptr, "record");
    Check(wmf_append(reinterpret_cast<U_METARECORD*>(record), FTrack, 1) == 0, "wmf_append");
  }
  uint32_t Pen(int width, uint32_t rgb) override {
    uint32_t h;
    Add(wcreatepenindirect_set(&h, FHandles, U_PEN_set(U_PS_SOLID, uint16_t(width), Ref(rgb))));
    return h;
  }
  uint32_t NullPen() override {
    uint32_t h;
    Add(wcreatepenindirect_set(&h, FHandles, U_PEN_set(U_PS_NULL, 0, Ref(0))));
    return h;
  }
  uint32_t Brush(uint32_t rgb) override {
    uint32_t h;
    Add(wcreatebrushindirect_set(&h, FHandles, U_WLOGBRUSH_set(U_BS_SOLID, Ref(rgb), 0)));
    return h;
  }
  uint32_t HatchBrush(uint32_t hatch, uint32_t rgb) override {
    uint32_t h;
    Add(wcreatebrushindirect_set(&h, FHandles, U_WLOGBRUSH_set(U_BS_HATCHED, Ref(rgb), uint16_t(hatch))));
    return h;
  }
  void BkMode(uint32_t mode) override { Add(U_WMRSETBKMODE_set(uint16_t(mode))); }
  void Rop2(uint32_t mode) override { Add(U_WMRSETROP2_set(uint16_t(mode))); }
  void FillMode(uint32_t mode) override { Add(U_WMRSETPOLYFILLMODE_set(uint16_t(mode))); }
  uint32_t Font(int height, int weight, bool italic, int escapement) override {
    std::unique_ptr<U_FONT, decltype(&std::free)> font(
        U_FONT_set(int16_t(-height), 0, int16_t(escapement), int16_t(escapement), int16_t(weight), italic ? 1 : 0, 0,
                   0, U_ANSI_CHARSET, U_OUT_DEFAULT_PRECIS, U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY,
                   U_DEFAULT_PITCH, const_cast<char*>("Arial")),
        &std::free);
    uint32_t h;
    Add(wcreatefontindirect_set(&h, FHandles, font.get()));
    return h;
  }
  void Select(uint32_t handle) override { Add(wselectobject_set(handle, FHandles)); }
  void Delete(uint32_t handle) override { Add(wdeleteobject_set(&handle, FHandles)); }
  void Rectangle(int l, int t, int r, int b) override { Add(U_WMRRECTANGLE_set(Box(l, t, r, b))); }
  void RoundRect(int l, int t, int r, int b, int cw, int ch) override {
    Add(U_WMRROUNDRECT_set(int16_t(cw), int16_t(ch), Box(l, t, r, b)));
  }
  void Ellipse(int l, int t, int r, int b) override { Add(U_WMRELLIPSE_set(Box(l, t, r, b))); }
  void Polygon(const std::vector<TPoint>& pts) override {
    const auto p = Points(pts);
    Add(U_WMRPOLYGON_set(uint16_t(p.size()), p.data()));
  }
  void PolyPolygon(const std::vector<std::vector<TPoint>>& polys) override {
    std::vector<TPoint> all;
    std::vector<uint16_t> counts;
    for (const auto& poly : polys) {
      all.insert(all.end(), poly.begin(), poly.end());
      counts.push_back(uint16_t(poly.size()));
    }
    const auto p = Points(all);
    Add(U_WMRPOLYPOLYGON_set(uint16_t(counts.size()), counts.data(), p.data()));
  }
  void Polyline(const std::vector<TPoint>& pts) override {
    const auto p = Points(pts);
    Add(U_WMRPOLYLINE_set(uint16_t(p.size()), p.data()));
  }
  void MoveTo(int x, int y) override { Add(U_WMRMOVETO_set(P(x, y))); }
  void LineTo(int x, int y) override { Add(U_WMRLINETO_set(P(x, y))); }
  void Arc(int l, int t, int r, int b, TPoint s, TPoint e) override {
    Add(U_WMRARC_set(P(s.X, s.Y), P(e.X, e.Y), Box(l, t, r, b)));
  }
  void Chord(int l, int t, int r, int b, TPoint s, TPoint e) override {
    Add(U_WMRCHORD_set(P(s.X, s.Y), P(e.X, e.Y), Box(l, t, r, b)));
  }
  void Pie(int l, int t, int r, int b, TPoint s, TPoint e) override {
    Add(U_WMRPIE_set(P(s.X, s.Y), P(e.X, e.Y), Box(l, t, r, b)));
  }
  void Anisotropic(TPoint wo, TPoint we, TPoint vo, TPoint ve) override {
    Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC));
    Add(U_WMRSETWINDOWORG_set(P(wo.X, wo.Y)));
    Add(U_WMRSETWINDOWEXT_set(P(we.X, we.Y)));
    Add(U_WMRSETVIEWPORTORG_set(P(vo.X, vo.Y)));
    // libUEMF's U_WMRSETVIEWPORTEXT_set writes a SETWINDOWEXT record: this
    // one is written by hand (size in words, function, then y before x).
    auto* record = static_cast<uint16_t*>(std::malloc(10));
    record[0] = 5;
    record[1] = 0;
    record[2] = 0x020E;  // META_SETVIEWPORTEXT
    record[3] = uint16_t(ve.Y);
    record[4] = uint16_t(ve.X);
    Add(reinterpret_cast<char*>(record));
  }
  void StretchBitmap(int l, int t, int r, int b, int w, int h, const std::vector<uint32_t>& rgb) override {
    std::vector<char> px = DibPixels(w, h, rgb);
    std::unique_ptr<U_BITMAPINFO, decltype(&std::free)> bmi(
        bitmapinfo_set(bitmapinfoheader_set(w, h, 1, 24, U_BI_RGB, uint32_t(px.size()), 3780, 3780, 0, 0), nullptr),
        &std::free);
    Add(U_WMRSTRETCHDIB_set(P(l, t), P(r - l, b - t), P(0, 0), P(w, h), U_DIB_RGB_COLORS, U_SRCCOPY, bmi.get(),
                            uint32_t(px.size()), px.data()));
  }
  void Text(int x, int y, const char* text, uint32_t rgb) override {
    Add(U_WMRSETTEXTCOLOR_set(Ref(rgb)));
    Add(U_WMRTEXTOUT_set(P(x, y), const_cast<char*>(text)));
  }
  void ExtText(int x, int y, const char* text, uint16_t options) override {
    std::vector<int16_t> dx(std::strlen(text), 14);
    Add(U_WMREXTTEXTOUT_set(P(x, y), int16_t(dx.size()), options, text, dx.data(), Box(0, 0, 0, 0)));
  }
  void ClipRect(int l, int t, int r, int b) override { Add(U_WMRINTERSECTCLIPRECT_set(Box(l, t, r, b))); }
  void Unhandled() override {
    const char data[8] = {'s', 'a', 'm', 'p', 'l', 'e', 0, 0};
    Add(U_WMRESCAPE_set(15 /* MFCOMMENT */, sizeof data, data));
    Add(U_WMRREALIZEPALETTE_set());
  }
  TBytes Finish() override {
    Add(U_WMREOF_set());
    Check(wmf_finish(FTrack) == 0, "wmf_finish");
    wmf_free(&FTrack);
    FTrack = nullptr;
    return ReadAndRemove(FPath);
  }

private:
  static U_POINT16 P(int x, int y) { return point16_set(int16_t(x), int16_t(y)); }
  static U_RECT16 Box(int l, int t, int r, int b) { return U_RECT16_set(P(l, t), P(r, b)); }
  static std::vector<U_POINT16> Points(const std::vector<TPoint>& pts) {
    std::vector<U_POINT16> out;
    for (const auto& p : pts) out.push_back(P(p.X, p.Y));
    return out;
  }
  std::string FPath;
  WMFTRACK* FTrack = nullptr;
  WMFHANDLES* FHandles = nullptr;
};

std::unique_ptr<TWriter> NewWriter(TFormat format, int width, int height) {
  if (format == fmEmf) return std::make_unique<TEmfWriter>(width, height);
  return std::make_unique<TWmfWriter>(width, height);
}

// Fills a shape with a brush made for it, deleted after use.
template <class F>
void WithBrush(TWriter& w, uint32_t rgb, F draw) {
  const uint32_t brush = w.Brush(rgb);
  w.Select(brush);
  draw();
  w.Delete(brush);
}

}  // namespace

TBytes Shapes(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  const uint32_t pen = w->Pen(1, kBlack);
  w->Select(pen);
  WithBrush(*w, kRed, [&] { w->Rectangle(10, 10, 60, 40); });
  WithBrush(*w, kLime, [&] { w->RoundRect(70, 10, 120, 40, 16, 16); });
  WithBrush(*w, kBlue, [&] { w->Ellipse(130, 10, 190, 40); });
  WithBrush(*w, kYellow, [&] { w->Polygon({{10, 90}, {60, 90}, {35, 50}}); });
  WithBrush(*w, kFuchsia, [&] {
    w->PolyPolygon({{{70, 55}, {90, 55}, {90, 75}, {70, 75}}, {{100, 55}, {120, 55}, {120, 75}, {100, 75}}});
  });
  WithBrush(*w, kAqua, [&] {
    w->Chord(130, 50, 190, 100, {190, 75}, {130, 75});
    w->Pie(130, 50, 190, 100, {160, 100}, {190, 75});
  });
  return w->Finish();
}

TBytes Hatches(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  w->Select(w->NullPen());
  // The six hatch styles on a transparent background, then on an opaque
  // (white) one over a yellow ground.
  WithBrush(*w, kYellow, [&] { w->Rectangle(0, 50, 200, 100); });
  for (uint32_t style = 0; style < 6; ++style) {
    const uint32_t brush = w->HatchBrush(style, kBlue);
    w->Select(brush);
    w->BkMode(U_TRANSPARENT);
    w->Rectangle(int(10 + style * 30), 10, int(34 + style * 30), 40);
    w->BkMode(U_OPAQUE);
    w->Rectangle(int(10 + style * 30), 60, int(34 + style * 30), 90);
    w->Delete(brush);
  }
  return w->Finish();
}

TBytes RasterOps(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  w->Select(w->NullPen());
  WithBrush(*w, kRed, [&] { w->Rectangle(10, 10, 110, 90); });
  // XOR, then NOT (the pen's colour plays no part), then MASK (AND).
  w->Rop2(U_R2_XORPEN);
  WithBrush(*w, kLime, [&] { w->Rectangle(60, 20, 190, 40); });
  w->Rop2(U_R2_NOT);
  WithBrush(*w, kBlue, [&] { w->Rectangle(60, 45, 190, 60); });
  w->Rop2(U_R2_MASKPEN);
  WithBrush(*w, kYellow, [&] { w->Rectangle(60, 65, 190, 80); });
  w->Rop2(U_R2_COPYPEN);
  return w->Finish();
}

TBytes FillModes(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  w->Select(w->NullPen());
  // A five-pointed star drawn in one stroke: its middle is inside twice.
  auto star = [](int cx) {
    return std::vector<TPoint>{{cx, 5}, {cx + 29, 95}, {cx - 47, 39}, {cx + 47, 39}, {cx - 29, 95}};
  };
  w->FillMode(U_ALTERNATE);
  WithBrush(*w, kBlue, [&] { w->Polygon(star(50)); });
  w->FillMode(U_WINDING);
  WithBrush(*w, kBlue, [&] { w->Polygon(star(150)); });
  return w->Finish();
}

TBytes Lines(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  const uint32_t pen = w->Pen(5, kBlack);
  w->Select(pen);
  w->Polyline({{10, 20}, {100, 20}, {190, 20}});
  w->MoveTo(10, 50);
  w->LineTo(190, 50);
  w->Arc(10, 60, 190, 100, {190, 80}, {10, 80});
  w->Delete(pen);
  return w->Finish();
}

TBytes MapMode(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  w->Anisotropic({100, 100}, {1000, 500}, {0, 0}, {200, 100});
  w->Select(w->NullPen());
  WithBrush(*w, kRed, [&] { w->Rectangle(100, 100, 600, 350); });
  WithBrush(*w, kBlue, [&] { w->Rectangle(600, 350, 1100, 600); });
  return w->Finish();
}

TBytes WorldTransform() {
  TEmfWriter w(200, 100);
  w.AdvancedGraphicsMode();
  w.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(2, 0, 0, 2, 50, 20)));
  w.Select(w.NullPen());
  WithBrush(w, kLime, [&] { w.Rectangle(0, 0, 20, 20); });
  return w.Finish();
}

TBytes Bitmap(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  w->StretchBitmap(20, 10, 180, 90, 2, 2, {kRed, kLime, kBlue, kYellow});
  return w->Finish();
}

TBytes Text(TFormat format, int height, int weight, bool italic, int escapement) {
  auto w = NewWriter(format, 300, 100);
  const uint32_t font = w->Font(height, weight, italic, escapement);
  w->Select(font);
  // A run turned upwards starts low, so that it stays inside the picture.
  w->Text(10, escapement >= 450 ? 90 : 10, "HH", kBlack);
  return w->Finish();
}

TBytes ExtText(TFormat format, uint16_t options) {
  auto w = NewWriter(format, 300, 100);
  const uint32_t font = w->Font(24, 400, false, 0);
  w->Select(font);
  w->ExtText(10, 10, "HH", options);
  return w->Finish();
}

TBytes Clip(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  w->ClipRect(50, 25, 150, 75);
  w->Select(w->NullPen());
  WithBrush(*w, kRed, [&] { w->Rectangle(0, 0, 201, 101); });
  return w->Finish();
}

TBytes Unhandled(TFormat format) {
  auto w = NewWriter(format, 200, 100);
  w->Unhandled();
  w->Select(w->NullPen());
  WithBrush(*w, kLime, [&] { w->Rectangle(20, 20, 180, 80); });
  w->Unhandled();
  return w->Finish();
}

TBytes Background(TFormat format, int width, int height) {
  auto w = NewWriter(format, width, height);
  w->Select(w->NullPen());
  WithBrush(*w, kNavy, [&] { w->Rectangle(0, 0, width + 1, height + 1); });
  const uint32_t grid = w->Pen(1, 0x808080);
  w->Select(grid);
  for (int x = 0; x < width; x += 32) {
    w->MoveTo(x, 0);
    w->LineTo(x, height);
  }
  for (int y = 0; y < height; y += 32) {
    w->MoveTo(0, y);
    w->LineTo(width, y);
  }
  const uint32_t rim = w->Pen(6, 0xC0C0C0);
  w->Select(rim);
  w->Delete(grid);
  const int r = height / 3;
  for (int cx : {width / 4, 3 * width / 4})
    WithBrush(*w, kBlack, [&] { w->Ellipse(cx - r, height / 2 - r, cx + r, height / 2 + r); });
  w->Select(w->NullPen());
  w->Delete(rim);
  WithBrush(*w, kRed, [&] { w->Rectangle(0, height - 40, width + 1, height + 1); });
  const uint32_t font = w->Font(32, 700, false, 0);
  w->Select(font);
  w->Text(width / 2 - 40, 12, "VELQ", kWhite);
  w->Delete(font);
  w->StretchBitmap(8, 8, 72, 72, 8, 8, std::vector<uint32_t>(64, kYellow));
  return w->Finish();
}

}  // namespace mfsamples
