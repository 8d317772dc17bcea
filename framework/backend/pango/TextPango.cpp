// Text through Pango: the layout behind TTextBlock, its masks rasterised
// by Cairo, and the per-thread Pango context with fixed options (see
// Font.h for what they are and why).
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "Font.h"
#include "SysUtils.h"

struct TTextBlock::TPlatformText {
  PangoLayout* Layout = nullptr;
  ~TPlatformText() {
    if (Layout) g_object_unref(Layout);
  }
};

namespace {
PangoContext* DrawingPangoContext();

struct PangoContextHolder {
  PangoFontMap* FontMap = nullptr;
  PangoContext* Context = nullptr;
  PangoContextHolder() {
    // A private font map keeps our options away from whatever else uses the
    // default one, and the explicit options away from desktop settings.
    FontMap = pango_cairo_font_map_new();
    Context = pango_font_map_create_context(FontMap);
    pango_cairo_context_set_resolution(Context, 96.0);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    pango_cairo_context_set_font_options(Context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(Context, TRUE);
  }
  ~PangoContextHolder() {
    g_object_unref(Context);
    g_object_unref(FontMap);
  }
};

PangoFontDescription* CreateDescription(const TFont& font) {
  PangoFontDescription* desc = pango_font_description_new();
  const std::string family = ResolveFontFamily(font.Name());
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_weight(desc, font.Style().Contains(fsBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(desc, font.Style().Contains(fsItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  // FreeType builds no face beyond 65535 pixels per em: Pango's font
  // back-end then fails, and leaks on that path. Larger fonts are drawn at
  // that size (already far beyond any window). In double, since the
  // height's magnitude may not fit an int.
  constexpr double kMaxEmPixels = 65535;
  double em = std::abs(double(font.Height()));
  if (em == 0) em = 16;  // a height of 0 asks for the device's default size
  em = std::min(em, kMaxEmPixels);
  pango_font_description_set_absolute_size(desc, em * PANGO_SCALE);
  if (font.Height() > 0) {
    // A positive height is the cell: scale the em so that ascent + descent fit it.
    PangoFontMetrics* metrics = pango_context_get_metrics(DrawingPangoContext(), desc, nullptr);
    const int cell = pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics);
    pango_font_metrics_unref(metrics);
    if (cell > 0)
      pango_font_description_set_absolute_size(
          desc, std::min(std::round(em * em * PANGO_SCALE / (double(cell) / PANGO_SCALE)), kMaxEmPixels * PANGO_SCALE));
  }
  return desc;
}

PangoContext* DrawingPangoContext() {
  thread_local PangoContextHolder holder;
  return holder.Context;
}
}  // namespace

TTextBlock::TTextBlock(const TFont& font, std::string_view text, int underlineBegin, int underlineEnd) {
  FPlatform = std::make_unique<TPlatformText>();
  PangoLayout* FLayout = FPlatform->Layout = pango_layout_new(DrawingPangoContext());
  PangoFontDescription* desc = CreateDescription(font);
  pango_layout_set_font_description(FLayout, desc);
  pango_font_description_free(desc);
  if (font.Style().Contains(fsUnderline) || font.Style().Contains(fsStrikeOut) || underlineBegin >= 0) {
    PangoAttrList* attrs = pango_attr_list_new();
    if (font.Style().Contains(fsUnderline)) pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (font.Style().Contains(fsStrikeOut)) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
    if (underlineBegin >= 0 && underlineEnd > underlineBegin) {
      PangoAttribute* mark = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
      mark->start_index = guint(underlineBegin);
      mark->end_index = guint(underlineEnd);
      pango_attr_list_insert(attrs, mark);
    }
    pango_layout_set_attributes(FLayout, attrs);
    pango_attr_list_unref(attrs);
  }
  // Pango insists on valid UTF-8; a stray byte becomes U+FFFD instead of a warning.
  if (g_utf8_validate(text.data(), gssize(text.size()), nullptr)) {
    pango_layout_set_text(FLayout, text.data(), int(text.size()));
  } else {
    gchar* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
    pango_layout_set_text(FLayout, valid, -1);
    g_free(valid);
  }
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(FLayout, &ink, &logical);
  FExtent = {logical.width, logical.height};
  FBaseline = PANGO_PIXELS(pango_layout_get_baseline(FLayout));
  FInk = {ink.x - logical.x, ink.y - logical.y, ink.x - logical.x + ink.width, ink.y - logical.y + ink.height};
}

TTextBlock::~TTextBlock() = default;


std::string TTextBlock::FaceFamily() const {
  PangoLayoutIter* iter = pango_layout_get_iter(FPlatform->Layout);
  PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
  std::string family;
  if (run) {
    PangoFontDescription* desc = pango_font_describe(run->item->analysis.font);
    if (const char* name = pango_font_description_get_family(desc)) family = name;
    pango_font_description_free(desc);
  }
  pango_layout_iter_free(iter);
  return family;
}

TSurfacePtr TTextBlock::Rasterise(const TRect& box, int dx, int dy, int orientation, bool cell) const {
  const double radians = orientation * std::numbers::pi / 1800.0;
  TSurfacePtr mask = NewSurface(box.Width(), box.Height(), TSurface::sfA8);
  cairo_surface_t* target = cairo_image_surface_create_for_data(mask->Bytes(), CAIRO_FORMAT_A8, mask->Width(),
                                                                mask->Height(), mask->Stride());
  cairo_t* cr = cairo_create(target);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_translate(cr, dx - box.Left, dy - box.Top);
  cairo_rotate(cr, -radians);
  PangoLayout* layout = FPlatform->Layout;
  if (cell) {
    cairo_rectangle(cr, 0, 0, FExtent.X, FExtent.Y);
    cairo_fill(cr);
  } else {
    PangoContext* context = pango_layout_get_context(layout);
    // Hint the glyphs for the rotated matrix; the shared context gets its
    // plain matrix back after.
    if (orientation != 0) pango_cairo_update_layout(cr, layout);
    pango_cairo_show_layout(cr, layout);
    if (orientation != 0) {
      pango_context_set_matrix(context, nullptr);
      pango_layout_context_changed(layout);
    }
  }
  cairo_destroy(cr);
  cairo_surface_finish(target);
  cairo_surface_destroy(target);
  return mask;
}

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps a pattern alive after its last user is released (it is
// only freed by FcFini, which cannot be called safely while other font maps
// may exist). Every program that measures text would otherwise fail its leak
// check on memory that is not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
