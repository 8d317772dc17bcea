// Text laid out and drawn by GDI (Windows): TTextBlock's platform part.
//
// The logical font is handed to CreateFontIndirectW as it stands: GDI's own
// height convention (negative: character height, positive: cell height, 0:
// the default), its face names (no aliasing), and non-antialiased quality,
// since the dashboard draws text aliased, as GDI does with font smoothing
// off. Lines break only at the text's own line breaks and are stacked by
// the font's height (tmHeight); an accelerator range is underlined by
// drawing those characters again with the underlined face, so the mark sits
// where GDI puts its own underline.
//
// Rotated text: GDI turns text with an escapement counter-clockwise about
// its reference point, which with TA_TOP | TA_LEFT is the cell's top-left,
// the point the canvas turns about.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "Font.h"
#include "GdiMask.h"
#include "GraphicsBase.h"
#include "SysUtils.h"

struct TTextBlock::TPlatformText {
  LOGFONTW Font{};  // without escapement; Rasterise turns a copy
  std::vector<std::wstring> Lines;
  int LineHeight = 0;
  // Underlined runs of the accelerator range: UTF-16 indices in a line and
  // where the run starts in the line.
  struct TMark {
    size_t Line;
    int Begin, End;
    int X;
  };
  std::vector<TMark> Marks;
};

namespace {

// UTF-8 as UTF-16, with where each byte went (the accelerator range is in
// bytes): each byte that starts no valid sequence (stray continuation,
// overlong form, surrogate, beyond U+10FFFF, cut short) becomes U+FFFD;
// `starts` receives, for every byte, the UTF-16 index of the character it
// belongs to.
std::wstring Utf8ToWideMapped(std::string_view text, std::vector<int>& starts) {
  std::wstring out;
  out.reserve(text.size());
  starts.assign(text.size(), 0);
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    uint32_t code = 0xFFFD;
    size_t length = 1;
    const size_t expected = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                          : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (expected == 1) {
      code = lead;
    } else if (expected > 1 && i + expected <= text.size()) {
      uint32_t value = lead & (0x7Fu >> expected);
      bool whole = true;
      for (size_t k = 1; k < expected; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        whole = whole && (next & 0xC0) == 0x80;
        value = (value << 6) | (next & 0x3Fu);
      }
      const uint32_t least = expected == 2 ? 0x80 : expected == 3 ? 0x800 : 0x10000;
      if (whole && value >= least && value <= 0x10FFFF && !(value >= 0xD800 && value < 0xE000)) {
        code = value;
        length = expected;
      }
    }
    for (size_t k = 0; k < length; ++k) starts[i + k] = int(out.size());
    if (code >= 0x10000) {
      out.push_back(wchar_t(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(wchar_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(wchar_t(code));
    }
    i += length;
  }
  return out;
}

LOGFONTW LogicalFont(const TFont& font) {
  LOGFONTW lf{};
  lf.lfHeight = font.Height();
  lf.lfWeight = font.Style().Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.Style().Contains(fsItalic);
  lf.lfUnderline = font.Style().Contains(fsUnderline);
  lf.lfStrikeOut = font.Style().Contains(fsStrikeOut);
  lf.lfCharSet = BYTE(font.Charset());
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = NONANTIALIASED_QUALITY;
  lf.lfPitchAndFamily = BYTE((font.Pitch() == fpFixed ? FIXED_PITCH : font.Pitch() == fpVariable ? VARIABLE_PITCH
                                                                                                  : DEFAULT_PITCH) |
                             FF_DONTCARE);
  const std::wstring face = Utf8ToWide(font.Name());
  const size_t n = std::min<size_t>(face.size(), LF_FACESIZE - 1);
  std::copy_n(face.begin(), n, lf.lfFaceName);
  return lf;
}

// A font created and selected into a DC for the scope; the DC gets its
// previous font back and the font is deleted at the end.
class TSelectedFont {
public:
  TSelectedFont(HDC dc, const LOGFONTW& lf) : FDc(dc), FFont(CreateFontIndirectW(&lf)) {
    if (!FFont) throw EOutOfResources("Ressources insuffisantes");
    FPrevious = SelectObject(FDc, FFont);
  }
  ~TSelectedFont() {
    SelectObject(FDc, FPrevious);
    DeleteObject(FFont);
  }
  TSelectedFont(const TSelectedFont&) = delete;
  TSelectedFont& operator=(const TSelectedFont&) = delete;

private:
  HDC FDc;
  HFONT FFont;
  HGDIOBJ FPrevious = nullptr;
};

// Sine and cosine of an angle in tenths of a degree, exact at the right
// angles so that turned cells keep whole-pixel edges there.
void SinCos(int tenths, double& s, double& c) {
  switch (tenths) {
    case 0: s = 0, c = 1; return;
    case 900: s = 1, c = 0; return;
    case 1800: s = 0, c = -1; return;
    case 2700: s = -1, c = 0; return;
    default: {
      const double radians = tenths * std::numbers::pi / 1800.0;
      s = std::sin(radians);
      c = std::cos(radians);
    }
  }
}

// Draws the block in white with the cell's top-left at (x, y), turned by
// `orientation` (0..3599) about that point.
void DrawBlock(HDC dc, const TTextBlock::TPlatformText& text, int x, int y, int orientation) {
  LOGFONTW lf = text.Font;
  lf.lfEscapement = lf.lfOrientation = orientation;
  double s, c;
  SinCos(orientation, s, c);
  // Screen y points down, so counter-clockwise is (u c + v s, -u s + v c).
  const auto at = [&](double u, double v) {
    return POINT{LONG(x + std::lround(u * c + v * s)), LONG(y + std::lround(-u * s + v * c))};
  };
  {
    const TSelectedFont font(dc, lf);
    for (size_t i = 0; i < text.Lines.size(); ++i) {
      const std::wstring& line = text.Lines[i];
      if (line.empty()) continue;
      const POINT p = at(0, double(i) * text.LineHeight);
      TextOutW(dc, p.x, p.y, line.data(), int(line.size()));
    }
  }
  if (text.Marks.empty() || lf.lfUnderline) return;
  lf.lfUnderline = TRUE;
  const TSelectedFont underlined(dc, lf);
  for (const auto& mark : text.Marks) {
    const POINT p = at(mark.X, double(mark.Line) * text.LineHeight);
    TextOutW(dc, p.x, p.y, text.Lines[mark.Line].data() + mark.Begin, mark.End - mark.Begin);
  }
}

// The w x h cell turned by `orientation` about (dx, dy), filled: the
// pixels whose centres fall inside it, as an unantialiased fill does.
TSurfacePtr CellMask(const TRect& box, int dx, int dy, int orientation, TPoint extent) {
  TSurfacePtr mask = NewSurface(box.Width(), box.Height(), TSurface::sfA8);
  double s, c;
  SinCos(orientation, s, c);
  for (int row = 0; row < box.Height(); ++row) {
    uint8_t* out = mask->Row(row);
    const double py = box.Top + row + 0.5 - dy;
    for (int col = 0; col < box.Width(); ++col) {
      const double px = box.Left + col + 0.5 - dx;
      // Back into the cell's own axes (the inverse turn).
      const double u = px * c - py * s, v = px * s + py * c;
      if (u >= 0 && u < extent.X && v >= 0 && v < extent.Y) out[col] = 255;
    }
  }
  return mask;
}

}  // namespace

TTextBlock::TTextBlock(const TFont& font, std::string_view text, int underlineBegin, int underlineEnd)
    : FPlatform(std::make_unique<TPlatformText>()) {
  TPlatformText& p = *FPlatform;
  p.Font = LogicalFont(font);
  // Lines at CR, LF and CR LF; neither byte occurs inside a UTF-8 sequence.
  const bool marked = underlineBegin >= 0 && underlineEnd > underlineBegin;
  for (size_t start = 0;;) {
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    std::vector<int> starts;
    p.Lines.push_back(Utf8ToWideMapped(text.substr(start, end - start), starts));
    const size_t first = std::max(start, size_t(marked ? underlineBegin : 0));
    const size_t last = std::min(end, size_t(marked ? underlineEnd : 0));
    if (marked && first < last) {
      const int begin = starts[first - start];
      const int stop = last == end ? int(p.Lines.back().size()) : starts[last - start];
      if (stop > begin) p.Marks.push_back({p.Lines.size() - 1, begin, stop, 0});
    }
    if (end == text.size()) break;
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }

  HDC dc = GdiThreadDc();
  TEXTMETRICW metrics{};
  int width = 0;
  {
    const TSelectedFont selected(dc, p.Font);
    GetTextMetricsW(dc, &metrics);
    for (const std::wstring& line : p.Lines) {
      SIZE size{};
      if (!line.empty() && GetTextExtentPoint32W(dc, line.data(), int(line.size()), &size))
        width = std::max(width, int(size.cx));
    }
    for (auto& mark : p.Marks) {
      SIZE size{};
      if (mark.Begin > 0 && GetTextExtentPoint32W(dc, p.Lines[mark.Line].data(), mark.Begin, &size)) mark.X = size.cx;
    }
  }
  p.LineHeight = metrics.tmHeight;
  FExtent = {width, p.LineHeight * int(p.Lines.size())};
  FBaseline = metrics.tmAscent;

  // The ink is what GDI actually lights: the block drawn unturned with room
  // around it for overhangs (italics, negative bearings).
  const int pad = std::max(1, int(metrics.tmHeight + metrics.tmMaxCharWidth));
  const TGdiMask mask(FExtent.X + 2 * pad, FExtent.Y + 2 * pad);
  DrawBlock(mask.Dc(), p, pad, pad, 0);
  const TRect lit = mask.LitBounds();
  FInk = IsRectEmpty(lit) ? TRect{0, 0, FExtent.X, FExtent.Y} : OffsetRect(lit, -pad, -pad);
}

TTextBlock::~TTextBlock() = default;

TSurfacePtr TTextBlock::Rasterise(const TRect& box, int dx, int dy, int orientation, bool cell) const {
  orientation = ((orientation % 3600) + 3600) % 3600;
  if (cell) return CellMask(box, dx, dy, orientation, FExtent);
  const TGdiMask mask(box.Width(), box.Height());
  DrawBlock(mask.Dc(), *FPlatform, dx - box.Left, dy - box.Top, orientation);
  return mask.ToSurface();
}
