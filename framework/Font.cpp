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

}  // namespace

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

