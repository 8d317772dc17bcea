#include "MetafilePlayer.h"

#include <emf2svg.h>
#include <librsvg/rsvg.h>
#include <uemf.h>
#include <uemf_safe.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "WmfConverter.h"

const char* const kInvalidMetafile = "Métafichier incorrect";

// libemf2svg's text conversion (text_convert, for some font names) ends a
// font lookup with FcFini, which tears fontconfig down under Pango: the next
// text drawn in the process fails an assertion and aborts. Fontconfig lives
// as long as the process here, so its teardown is made a no-op for the
// whole program (this definition takes the place of fontconfig's).
extern "C" void FcFini(void) {}

namespace {
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"

uint16_t Le16(std::span<const uint8_t> b, size_t pos) { return uint16_t(b[pos] | (b[pos + 1] << 8)); }
uint32_t Le32(std::span<const uint8_t> b, size_t pos) {
  return uint32_t(b[pos]) | (uint32_t(b[pos + 1]) << 8) | (uint32_t(b[pos + 2]) << 16) | (uint32_t(b[pos + 3]) << 24);
}

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidMetafile); }

// Reference devices from 2.54 to 25400 dots per inch (pixels per 0.01 mm).
bool IsSaneResolution(double perHundredthMm) { return perHundredthMm >= 0.001 && perHundredthMm <= 10; }

// Scales beyond these are no picture anyone drew; Cairo and FreeType fail
// on them (and leak what they allocated on the way).
constexpr double kMinScale = 1e-4, kMaxScale = 1e4;

int ClampToInt(double v) noexcept {
  if (!(v > 0)) return 0;  // also NaN
  return v >= double(INT32_MAX) ? INT32_MAX : int(std::lround(v));
}

struct GErrorFree {
  void operator()(GError* e) const { g_error_free(e); }
};

// A pen of CreatePen wider than one pixel draws at its width; libemf2svg
// draws every pen without the geometric flag one pixel wide, so the flag is
// set on those pens (the copy only).
void WidePensGeometric(char* record) {
  U_EMRCREATEPEN pen;
  std::memcpy(&pen, record, sizeof pen);
  if (pen.lopn.lopnWidth.x > 1 && (pen.lopn.lopnStyle & 0xFF) != U_PS_NULL) {
    pen.lopn.lopnStyle |= U_PS_GEOMETRIC;
    std::memcpy(record, &pen, sizeof pen);
  }
}

// librsvg 2.54 aborts the process (a Rust panic) on text whose font
// FreeType cannot scale; libemf2svg writes whatever size the file asks for.
// Such text runs are left out: no legible text is that large.
constexpr double kMaxFontPixels = 2000;

// Two corrections to libemf2svg's SVG so that it draws as GDI does:
// - a bitmap fills its destination box (StretchDIBits ignores the aspect
//   ratio; SVG keeps it unless told not to) and is stretched by nearest
//   pixel, GDI's default stretch mode;
// - text runs too large for FreeType are dropped (see kMaxFontPixels).
std::string ForGdiLook(std::string svg) {
  static const std::string kImage = "<image ";
  static const std::string kStretch = "<image preserveAspectRatio=\"none\" image-rendering=\"optimizeSpeed\" ";
  for (size_t at = svg.find(kImage); at != std::string::npos; at = svg.find(kImage, at + kStretch.size()))
    svg.replace(at, kImage.size(), kStretch);
  for (size_t start = svg.find("<text"); start != std::string::npos; start = svg.find("<text", start)) {
    const size_t close = svg.find("</text>", start);
    const size_t end = close == std::string::npos ? svg.size() : close + 7;
    const size_t size = svg.find("font-size=\"", start);
    bool huge = true;  // also a run without a readable size
    if (size != std::string::npos && size < end) {
      // libemf2svg writes numbers with a point (C locale).
      const char* first = svg.c_str() + size + 11;
      double value = 0;
      const auto [last, error] = std::from_chars(first, svg.c_str() + svg.size(), value);
      huge = error != std::errc() || last == first || !std::isfinite(value) || std::fabs(value) > kMaxFontPixels;
    }
    if (huge) svg.erase(start, end - start);
    else start = end;
  }
  return svg;
}
}  // namespace

int HundredthsMmToPixels(int64_t hundredthsMm) noexcept { return ClampToInt(double(hundredthsMm) * 96.0 / 2540.0); }

int MetafileUnitsToPixels(int64_t units, int unitsPerInch) noexcept {
  if (unitsPerInch <= 0) return 0;
  return ClampToInt(double(units) * 96.0 / unitsPerInch);
}

TMetafileKind MetafileKindOf(std::span<const uint8_t> bytes) noexcept {
  if (bytes.size() >= 44 && Le32(bytes, 0) == U_EMR_HEADER && Le32(bytes, 40) == kEmfSignature) return mkEnhanced;
  if (bytes.size() >= 4 && Le32(bytes, 0) == kPlaceableKey) return mkWindows;
  if (bytes.size() >= 18 && (Le16(bytes, 0) == 1 || Le16(bytes, 0) == 2) && Le16(bytes, 2) == 9) return mkWindows;
  return mkNone;
}

TMetafilePlayer::TMetafilePlayer(std::span<const uint8_t> bytes) {
  switch (MetafileKindOf(bytes)) {
    case mkEnhanced: LoadEnhanced(bytes); break;
    case mkWindows: LoadWindows(bytes); break;
    default: Invalid();
  }
}

TMetafilePlayer::~TMetafilePlayer() {
  if (FSvg) g_object_unref(FSvg);
}

void TMetafilePlayer::LoadEnhanced(std::span<const uint8_t> bytes) {
  // libUEMF checks every record against its own size before libemf2svg,
  // which trusts the sizes, reads any of them. The copy is 4-byte aligned
  // for the record structures and writable for libemf2svg's interface.
  std::vector<uint32_t> aligned((bytes.size() + 3) / 4);
  std::memcpy(aligned.data(), bytes.data(), bytes.size());
  char* const data = reinterpret_cast<char*>(aligned.data());
  bool ended = false;
  size_t length = 0;  // up to the end record
  for (size_t off = 0; off < bytes.size() && !ended;) {
    if (bytes.size() - off < 8) Invalid();
    const uint32_t type = Le32(bytes, off), size = Le32(bytes, off + 4);
    if (size < 8 || size % 4 != 0 || size > bytes.size() - off) Invalid();
    if ((off == 0) != (type == U_EMR_HEADER)) Invalid();
    // libUEMF checks the record types it knows (and warns on the console
    // about others); libemf2svg passes over unknown types.
    if (type >= U_EMR_MIN && type <= U_EMR_MAX && !U_emf_record_safe(data + off)) Invalid();
    if (type == U_EMR_CREATEPEN && size >= sizeof(U_EMRCREATEPEN)) WidePensGeometric(data + off);
    ended = type == U_EMR_EOF;
    off += size;
    length = off;
  }
  if (!ended) Invalid();  // truncated: the end record never came

  // The header's optional tail (pixel format, micrometres) may be absent.
  const size_t headerSize = Le32(bytes, 4);
  if (headerSize < 88) Invalid();
  // libemf2svg reads the description and the pixel format wherever the
  // header says, unchecked; neither is drawn, so the copy has none.
  const uint32_t none = 0;
  for (size_t field : {offsetof(U_EMRHEADER, nDescription), offsetof(U_EMRHEADER, offDescription),
                       offsetof(U_EMRHEADER, cbPixelFormat), offsetof(U_EMRHEADER, offPixelFormat)})
    if (field + 4 <= headerSize) std::memcpy(data + field, &none, 4);
  U_EMRHEADER header{};
  std::memcpy(&header, data, std::min<size_t>(sizeof header, headerSize));
  FKind = mkEnhanced;

  // Reference-device pixels per 0.01 mm; a header without a sensible device
  // is taken as 96 dots per inch.
  auto resolution = [](int32_t pixels, int32_t millimetres) {
    const double perHundredthMm = millimetres > 0 ? double(pixels) / (100.0 * millimetres) : 0;
    return IsSaneResolution(perHundredthMm) ? perHundredthMm : 96.0 / 2540.0;
  };
  const double pxX = resolution(header.szlDevice.cx, header.szlMillimeters.cx);
  const double pxY = resolution(header.szlDevice.cy, header.szlMillimeters.cy);
  const U_RECTL& frame = header.rclFrame;
  const U_RECTL& bounds = header.rclBounds;
  const int64_t frameW = int64_t(frame.right) - frame.left, frameH = int64_t(frame.bottom) - frame.top;

  generatorOptions options{};
  options.nameSpace = const_cast<char*>("");
  options.svgDelimiter = true;
  // Dual EMF+ files carry an EMF drawing too; libemf2svg's EMF side is the
  // complete one.
  options.emfplus = false;
  char* svg = nullptr;
  size_t svgLength = 0;
  const int ok = emf2svg(data, length, &svg, &svgLength, &options);
  std::unique_ptr<char, decltype(&std::free)> svgOwner(svg, &std::free);
  if (!ok || !svg || svgLength == 0) Invalid();
  const std::string tamed = ForGdiLook(std::string(svg, svgLength));
  ParseSvg(tamed.data(), tamed.size());

  // libemf2svg writes reference-device pixels shifted by the bounds' corner;
  // the picture is the frame.
  if (frameW > 0 && frameH > 0) {
    FWidth = HundredthsMmToPixels(frameW);
    FHeight = HundredthsMmToPixels(frameH);
    FLeft = frame.left * pxX - bounds.left;
    FTop = frame.top * pxY - bounds.top;
    FSpanX = double(frameW) * pxX;
    FSpanY = double(frameH) * pxY;
  } else {
    FWidth = ClampToInt(double(int64_t(bounds.right) - bounds.left + 1));
    FHeight = ClampToInt(double(int64_t(bounds.bottom) - bounds.top + 1));
    FSpanX = std::max(1, FWidth);
    FSpanY = std::max(1, FHeight);
  }
}

void TMetafilePlayer::LoadWindows(std::span<const uint8_t> bytes) {
  // Converted record by record, then drawn like any enhanced metafile.
  const std::vector<uint8_t> emf = WmfToEmf(bytes);
  LoadEnhanced(emf);
  FKind = mkWindows;
}

void TMetafilePlayer::ParseSvg(const char* svg, size_t length) {
  GError* error = nullptr;
  FSvg = rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg), gsize(length), &error);
  std::unique_ptr<GError, GErrorFree> errorOwner(error);
  gdouble w = 0, h = 0;
  if (!FSvg || !rsvg_handle_get_intrinsic_size_in_pixels(FSvg, &w, &h) || !(w > 0) || !(h > 0)) Invalid();
  FSvgWidth = w;
  FSvgHeight = h;
}

cairo_surface_t* TMetafilePlayer::Render(int width, int height) const {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    throw EOutOfResources(Format("Ressources insuffisantes (%dx%d)", width, height));
  }
  const double scaleX = width / FSpanX, scaleY = height / FSpanY;
  if (!FSvg || !(scaleX >= kMinScale && scaleX <= kMaxScale && scaleY >= kMinScale && scaleY <= kMaxScale))
    return surface;
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scaleX, scaleY);
  cairo_translate(cr, -FLeft, -FTop);
  const RsvgRectangle viewport{0, 0, FSvgWidth, FSvgHeight};
  // A drawing librsvg gives up on part-way keeps what it drew.
  GError* error = nullptr;
  rsvg_handle_render_document(FSvg, cr, &viewport, &error);
  if (error) g_error_free(error);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  return surface;
}
