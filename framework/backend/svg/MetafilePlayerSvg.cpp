// The Linux metafile player: an enhanced metafile (EMF) is translated to SVG
// by libemf2svg and the SVG drawn by librsvg onto a Cairo image over the
// result's memory; a Windows metafile (WMF) is first turned into an EMF
// (WmfConverter). The libraries do the record parsing; this unit checks the
// EMF records with libUEMF before libemf2svg sees them, corrects what the
// libraries get wrong (docs/metafiles.md) and places the drawing in the
// target. librsvg handles are not shared between threads, hence one Render
// at a time per player.
#include <cairo.h>
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

#include "GraphicsBase.h"
#include "MetafilePlayer.h"
#include "SysUtils.h"
#include "WmfConverter.h"

// libemf2svg's text conversion (text_convert, for some font names) ends a
// font lookup with FcFini, which tears fontconfig down under Pango: the next
// text drawn in the process fails an assertion and aborts. Fontconfig lives
// as long as the process here, so its teardown is made a no-op for the
// whole program (this definition takes the place of fontconfig's).
extern "C" void FcFini(void) {}

struct TMetafilePlayer::TPlatformPlayer {
  RsvgHandle* Svg = nullptr;
  // The picture's area in the SVG's user space: Render maps it onto the
  // target image.
  double Left = 0, Top = 0, SpanX = 1, SpanY = 1;
  // The SVG's own size (its viewport; nothing outside it is drawn).
  double SvgWidth = 0, SvgHeight = 0;

  TPlatformPlayer() = default;
  ~TPlatformPlayer() {
    if (Svg) g_object_unref(Svg);
  }
  TPlatformPlayer(const TPlatformPlayer&) = delete;
  TPlatformPlayer& operator=(const TPlatformPlayer&) = delete;

  // Reads and converts an EMF; returns the picture's size in pixels.
  TPoint LoadEnhanced(std::span<const uint8_t> bytes);
  void ParseSvg(const char* svg, size_t length);
};

namespace {
[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidMetafile); }

// Reference devices from 2.54 to 25400 dots per inch (pixels per 0.01 mm).
bool IsSaneResolution(double perHundredthMm) { return perHundredthMm >= 0.001 && perHundredthMm <= 10; }

// Scales beyond these are no picture anyone drew; Cairo and FreeType fail
// on them (and leak what they allocated on the way).
constexpr double kMinScale = 1e-4, kMaxScale = 1e4;

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

TMetafilePlayer::TMetafilePlayer(std::span<const uint8_t> bytes) : FPlatform(std::make_unique<TPlatformPlayer>()) {
  TPoint size;
  switch (MetafileKindOf(bytes)) {
    case mkEnhanced: size = FPlatform->LoadEnhanced(bytes); break;
    // Converted record by record, then drawn like any enhanced metafile.
    case mkWindows: size = FPlatform->LoadEnhanced(WmfToEmf(bytes)); break;
    default: Invalid();
  }
  FKind = MetafileKindOf(bytes);
  FWidth = size.X;
  FHeight = size.Y;
}

TMetafilePlayer::~TMetafilePlayer() = default;

TPoint TMetafilePlayer::TPlatformPlayer::LoadEnhanced(std::span<const uint8_t> bytes) {
  // libUEMF checks every record against its own size before libemf2svg,
  // which trusts the sizes, reads any of them. The copy is 4-byte aligned
  // for the record structures and writable for libemf2svg's interface.
  std::vector<uint32_t> aligned((bytes.size() + 3) / 4);
  std::memcpy(aligned.data(), bytes.data(), bytes.size());
  char* const data = reinterpret_cast<char*>(aligned.data());
  const size_t length = WalkEmfRecords(bytes, [&](uint32_t type, size_t off, uint32_t size) {
    // libUEMF checks the record types it knows (and warns on the console
    // about others); libemf2svg passes over unknown types.
    if (type >= U_EMR_MIN && type <= U_EMR_MAX && !U_emf_record_safe(data + off)) Invalid();
    if (type == U_EMR_CREATEPEN && size >= sizeof(U_EMRCREATEPEN)) WidePensGeometric(data + off);
  });

  const size_t headerSize = EmfHeaderSize(bytes);
  // libemf2svg reads the description and the pixel format wherever the
  // header says, unchecked; neither is drawn, so the copy has none.
  const uint32_t none = 0;
  for (size_t field : {offsetof(U_EMRHEADER, nDescription), offsetof(U_EMRHEADER, offDescription),
                       offsetof(U_EMRHEADER, cbPixelFormat), offsetof(U_EMRHEADER, offPixelFormat)})
    if (field + 4 <= headerSize) std::memcpy(data + field, &none, 4);
  U_EMRHEADER header{};
  std::memcpy(&header, data, std::min<size_t>(sizeof header, headerSize));

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
  const TPoint size = EmfPictureSize({frame.left, frame.top, frame.right, frame.bottom},
                                     {bounds.left, bounds.top, bounds.right, bounds.bottom});
  if (frameW > 0 && frameH > 0) {
    Left = frame.left * pxX - bounds.left;
    Top = frame.top * pxY - bounds.top;
    SpanX = double(frameW) * pxX;
    SpanY = double(frameH) * pxY;
  } else {
    SpanX = std::max(1, size.X);
    SpanY = std::max(1, size.Y);
  }
  return size;
}

void TMetafilePlayer::TPlatformPlayer::ParseSvg(const char* svg, size_t length) {
  GError* error = nullptr;
  Svg = rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg), gsize(length), &error);
  std::unique_ptr<GError, GErrorFree> errorOwner(error);
  gdouble w = 0, h = 0;
  if (!Svg || !rsvg_handle_get_intrinsic_size_in_pixels(Svg, &w, &h) || !(w > 0) || !(h > 0)) Invalid();
  SvgWidth = w;
  SvgHeight = h;
}

TSurfacePtr TMetafilePlayer::Render(int width, int height) const {
  TSurfacePtr image = NewSurface(width, height, TSurface::sfArgb32);
  // Cairo draws straight into the image's rows (the same pixel layout).
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(image->Bytes(), CAIRO_FORMAT_ARGB32, width, height, image->Stride());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    throw EOutOfResources(Format("Ressources insuffisantes (%dx%d)", width, height));
  }
  const TPlatformPlayer& p = *FPlatform;
  const double scaleX = width / p.SpanX, scaleY = height / p.SpanY;
  if (p.Svg && scaleX >= kMinScale && scaleX <= kMaxScale && scaleY >= kMinScale && scaleY <= kMaxScale) {
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scaleX, scaleY);
    cairo_translate(cr, -p.Left, -p.Top);
    const RsvgRectangle viewport{0, 0, p.SvgWidth, p.SvgHeight};
    // A drawing librsvg gives up on part-way keeps what it drew.
    GError* error = nullptr;
    rsvg_handle_render_document(p.Svg, cr, &viewport, &error);
    if (error) g_error_free(error);
    cairo_destroy(cr);
  }
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  return image;
}
