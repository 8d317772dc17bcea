#include "Font.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "SysUtils.h"

namespace {
const TEnumInfo kPitchNames{"TFontPitch", {"fpDefault", "fpVariable", "fpFixed"}};
const TEnumInfo kStyleNames{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};

// Rounds half away from zero, as the classic integer scaling helper does.
int MulDiv(int a, int b, int c) {
  const long long p = static_cast<long long>(a) * b;
  const long long q = p >= 0 ? (p + c / 2) / c : (p - c / 2) / c;
  return static_cast<int>(q);
}

struct FamilyAlias {
  const char* Name;
  const char* Family;
};
constexpr FamilyAlias kAliases[] = {
    {"Arial", "Liberation Sans"},           {"MS Sans Serif", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"}, {"Tahoma", "Liberation Sans"},
    {"Verdana", "Liberation Sans"},         {"Helvetica", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"}, {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},     {"Courier", "Liberation Mono"},
};

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
  int em = font.Height() < 0 ? -font.Height() : font.Height();
  if (em == 0) em = 16;  // a height of 0 asks for the device's default size
  pango_font_description_set_absolute_size(desc, double(em) * PANGO_SCALE);
  if (font.Height() > 0) {
    // A positive height is the cell: scale the em so that ascent + descent fit it.
    PangoFontMetrics* metrics = pango_context_get_metrics(DrawingPangoContext(), desc, nullptr);
    const int cell = pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics);
    pango_font_metrics_unref(metrics);
    if (cell > 0)
      pango_font_description_set_absolute_size(desc, std::round(double(em) * em * PANGO_SCALE / (double(cell) / PANGO_SCALE)) );
  }
  return desc;
}
}  // namespace

PangoContext* DrawingPangoContext() {
  thread_local PangoContextHolder holder;
  return holder.Context;
}

std::string ResolveFontFamily(std::string_view name) {
  for (const auto& alias : kAliases)
    if (SameText(alias.Name, name)) return alias.Family;
  return std::string(name);
}

// Skins write the character set as its identifier (DEFAULT_CHARSET).
static std::optional<int64_t> IdentToCharset(std::string_view ident) {
  static const std::pair<const char*, int> kCharsets[] = {
      {"ANSI_CHARSET", 0},         {"DEFAULT_CHARSET", 1},      {"SYMBOL_CHARSET", 2},     {"MAC_CHARSET", 77},
      {"SHIFTJIS_CHARSET", 128},   {"HANGEUL_CHARSET", 129},    {"JOHAB_CHARSET", 130},    {"GB2312_CHARSET", 134},
      {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161},     {"TURKISH_CHARSET", 162},  {"VIETNAMESE_CHARSET", 163},
      {"HEBREW_CHARSET", 177},     {"ARABIC_CHARSET", 178},     {"BALTIC_CHARSET", 186},   {"RUSSIAN_CHARSET", 204},
      {"THAI_CHARSET", 222},       {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255}};
  for (const auto& [name, value] : kCharsets)
    if (SameText(name, ident)) return value;
  return std::nullopt;
}

const TClassInfo& TFont::StaticClass() {
  static const TClassInfo info = TClassBuilder<TFont>("TFont", &TPersistent::StaticClass())
                                     .Integer("Charset", &TFont::Charset, &TFont::SetCharset)
                                     .WithIdents(IdentToCharset)
                                     .Color("Color", &TFont::Color, &TFont::SetColor)
                                     .Integer("Height", &TFont::Height, &TFont::SetHeight)
                                     .String("Name", &TFont::Name, &TFont::SetName)
                                     .Enum("Pitch", kPitchNames, &TFont::Pitch, &TFont::SetPitch)
                                     .Integer("Size", &TFont::Size, &TFont::SetSize)
                                     .Set("Style", kStyleNames, "TFontStyles", &TFont::Style, &TFont::SetStyle)
                                     .Build();
  return info;
}

void TFont::Changed() {
  if (OnChange) OnChange(this);
}

#define VELQ_FONT_SETTER(Method, Type, Field) \
  void TFont::Method(Type value) {            \
    if (value == Field) return;               \
    Field = value;                            \
    Changed();                                \
  }
VELQ_FONT_SETTER(SetCharset, int, FCharset)
VELQ_FONT_SETTER(SetColor, TColor, FColor)
VELQ_FONT_SETTER(SetHeight, int, FHeight)
VELQ_FONT_SETTER(SetName, const std::string&, FName)
VELQ_FONT_SETTER(SetPitch, TFontPitch, FPitch)
VELQ_FONT_SETTER(SetStyle, TFontStyles, FStyle)
VELQ_FONT_SETTER(SetOrientation, int, FOrientation)
#undef VELQ_FONT_SETTER

int TFont::Size() const noexcept { return -MulDiv(FHeight, 72, 96); }
void TFont::SetSize(int value) { SetHeight(-MulDiv(value, 96, 72)); }

void TFont::Assign(const TPersistent& source) {
  const auto* font = dynamic_cast<const TFont*>(&source);
  if (!font) return TPersistent::Assign(source);
  FCharset = font->FCharset;
  FColor = font->FColor;
  FHeight = font->FHeight;
  FName = font->FName;
  FPitch = font->FPitch;
  FStyle = font->FStyle;
  FOrientation = font->FOrientation;
  Changed();
}

TTextBlock::TTextBlock(const TFont& font, std::string_view text, int underlineBegin, int underlineEnd) {
  FLayout = pango_layout_new(DrawingPangoContext());
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
  FInk = {ink.x - logical.x, ink.y - logical.y, ink.x - logical.x + ink.width, ink.y - logical.y + ink.height};
}

TTextBlock::~TTextBlock() {
  ClearMasks();
  g_object_unref(FLayout);
}

void TTextBlock::ClearMasks() const noexcept {
  if (FMasks.Glyphs) cairo_surface_destroy(FMasks.Glyphs);
  if (FMasks.Cell) cairo_surface_destroy(FMasks.Cell);
  FMasks = TMasks{};
}

namespace {
struct TCachedTextBlock {
  std::string Name;
  int Height = 0;
  TFontStyles Style;
  std::string Text;
  std::shared_ptr<const TTextBlock> Block;
};
}  // namespace

std::shared_ptr<const TTextBlock> SharedTextBlock(const TFont& font, std::string_view text) {
  // Enough for every caption of a busy skin; the front is the most recent.
  constexpr size_t kCapacity = 48;
  thread_local std::vector<TCachedTextBlock> cache;
  for (size_t i = 0; i < cache.size(); ++i) {
    TCachedTextBlock& entry = cache[i];
    if (entry.Height != font.Height() || entry.Style != font.Style() || entry.Text != text || entry.Name != font.Name())
      continue;
    // A hit compares and rotates only: no allocation.
    std::rotate(cache.begin(), cache.begin() + static_cast<std::ptrdiff_t>(i), cache.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    return cache.front().Block;
  }
  auto block = std::make_shared<const TTextBlock>(font, text);
  if (cache.size() == kCapacity) cache.pop_back();
  cache.insert(cache.begin(), TCachedTextBlock{font.Name(), font.Height(), font.Style(), std::string(text), block});
  return block;
}

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps a pattern alive after its last user is released (it is
// only freed by FcFini, which cannot be called safely while other font maps
// may exist). Every program that measures text would otherwise fail its leak
// check on memory that is not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
