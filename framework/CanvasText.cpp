// Text output and measurement of TCanvas.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "Canvas.h"

namespace {
// The four corners of the w x h cell rotated counter-clockwise by `radians`
// about (x, y), as a bounding rectangle.
TRect RotatedBounds(double x, double y, const TRect& cell, double radians) {
  const double c = std::cos(radians), s = std::sin(radians);
  double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
  const double xs[] = {double(cell.Left), double(cell.Right)}, ys[] = {double(cell.Top), double(cell.Bottom)};
  for (double px : xs)
    for (double py : ys) {
      // Screen y points down, so counter-clockwise is (x c + y s, -x s + y c).
      const double rx = x + px * c + py * s, ry = y - px * s + py * c;
      minX = std::min(minX, rx);
      maxX = std::max(maxX, rx);
      minY = std::min(minY, ry);
      maxY = std::max(maxY, ry);
    }
  return {int(std::floor(minX)) - 1, int(std::floor(minY)) - 1, int(std::ceil(maxX)) + 1, int(std::ceil(maxY)) + 1};
}

// Marks the accelerator before the character it underlines; the mark
// travels through line splitting and wrapping and is never measured.
constexpr char kAccelerator = '\x01';

// Accelerator prefixes: "&x" -> mark + "x" (the last one counts), "&&" -> "&".
std::string ResolvePrefixes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t mark = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        ++i;
      } else {
        if (i + 1 < text.size()) mark = out.size();
        continue;
      }
    }
    out.push_back(text[i]);
  }
  if (mark != std::string::npos) out.insert(mark, 1, kAccelerator);
  return out;
}

std::string WithoutMark(std::string_view line) {
  std::string out(line);
  std::erase(out, kAccelerator);
  return out;
}

// Byte length of the UTF-8 character starting with `lead`.
int Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  return 4;
}
}  // namespace

TPoint TCanvas::TextExtent(std::string_view text) { return SharedTextBlock(FFont, text)->Extent(); }

namespace {
// A mask too large to keep (a huge font, mostly clipped) is rasterised for
// the visible box only, at each draw.
constexpr int64_t kMaxKeptMaskPixels = 256 * 1024;

}  // namespace

void TCanvas::DrawTextBlock(const TTarget& t, int x, int y, const TTextBlock& layout, const TRect* clip,
                             bool opaque) {
  const int orientation = ((FFont.Orientation() % 3600) + 3600) % 3600;
  const double radians = orientation * std::numbers::pi / 1800.0;
  const int dx = x + t.Origin.X, dy = y + t.Origin.Y;
  const TPoint extent = layout.Extent();
  const TRect cell = UnionRect({0, 0, extent.X, extent.Y}, layout.InkRect());
  // The box around the cell relative to the origin; rotation by whole
  // pixels of offset moves it by those pixels.
  const TRect around = orientation == 0 ? cell : RotatedBounds(0, 0, cell, radians);
  TRect box = IntersectRect(OffsetRect(around, dx, dy), t.Clip);
  if (clip) box = IntersectRect(box, OffsetRect(*clip, t.Origin.X, t.Origin.Y));
  if (IsRectEmpty(box)) return;

  // The cell and the glyphs are 8-bit masks, painted in the brush and font
  // colours. The block keeps the masks of its whole box, so drawing it
  // again only paints; the visible part is found by offset.
  const auto paint = [&](const TSurface& mask, const TRect& maskBox, uint32_t pixel) {
    const uint8_t* data = mask.Row(box.Top - maskBox.Top) + (box.Left - maskBox.Left);
    PaintMask(t, data, mask.Stride(), box, pixel, pmCopy);
  };
  if (int64_t(around.Width()) * around.Height() > kMaxKeptMaskPixels) {
    for (bool cellPass : {true, false}) {
      if (cellPass && !opaque) continue;
      const TSurfacePtr mask = layout.Rasterise(box, dx, dy, orientation, cellPass);
      paint(*mask, box, DrawColor(cellPass ? FBrush.Color() : FFont.Color(), t));
    }
    return;
  }
  TTextBlock::TMasks& masks = layout.Masks();
  if (masks.Orientation != orientation) {
    layout.ClearMasks();
    masks.Orientation = orientation;
    masks.Box = around;
    masks.Glyphs = layout.Rasterise(around, 0, 0, orientation, false);
  }
  const TRect maskBox = OffsetRect(masks.Box, dx, dy);
  if (opaque) {
    if (!masks.Cell) masks.Cell = layout.Rasterise(around, 0, 0, orientation, true);
    paint(*masks.Cell, maskBox, DrawColor(FBrush.Color(), t));
  }
  paint(*masks.Glyphs, maskBox, DrawColor(FFont.Color(), t));
}

void TCanvas::TextOut(int x, int y, std::string_view text) {
  const TTarget t = Target();
  const std::shared_ptr<const TTextBlock> shared = SharedTextBlock(FFont, text);
  const TTextBlock& layout = *shared;
  if (!t.View.Empty()) {
    DrawTextBlock(t, x, y, layout, nullptr, FBrush.Style() != bsClear);
    Changed(t);
  }
  FPenPos = {x + layout.Extent().X, y};
}

void TCanvas::TextRect(const TRect& rect, int x, int y, std::string_view text) {
  const TTarget t = Target();
  if (t.View.Empty()) return;
  if (FBrush.Style() != bsClear) {
    const TRect r = IntersectRect(OffsetRect(rect, t.Origin.X, t.Origin.Y), t.Clip);
    const uint32_t pixel = DrawColor(FBrush.Color(), t);
    for (int row = r.Top; row < r.Bottom; ++row) Span(t, row, r.Left, r.Right, pixel, pmCopy);
  }
  DrawTextBlock(t, x, y, *SharedTextBlock(FFont, text), &rect, false);
  Changed(t);
}

int TCanvas::DrawText(std::string_view text, TRect& rect, unsigned format) {
  std::string shown = (format & DT_NOPREFIX) ? WithoutMark(text) : ResolvePrefixes(text);
  // Lines: the text's own breaks (CR, LF, CR LF), then word wrapping.
  std::vector<std::string> lines;
  if (!shown.empty()) {
    if (format & DT_SINGLELINE) {
      std::string line;
      for (char c : shown)
        if (c != '\r' && c != '\n') line.push_back(c);
      lines.push_back(line);
    } else {
      std::string line;
      for (size_t i = 0; i <= shown.size(); ++i) {
        if (i == shown.size() || shown[i] == '\r' || shown[i] == '\n') {
          lines.push_back(line);
          line.clear();
          if (i + 1 < shown.size() && shown[i] == '\r' && shown[i + 1] == '\n') ++i;
        } else {
          line.push_back(shown[i]);
        }
      }
    }
  }
  const int maxWidth = rect.Width();
  if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
    std::vector<std::string> wrapped;
    for (const auto& paragraph : lines) {
      // Greedy: words join the line while it fits; a word wider than the
      // rectangle stands on a line of its own.
      std::string current;
      size_t i = 0;
      bool any = false;
      while (i < paragraph.size()) {
        size_t j = paragraph.find(' ', i);
        if (j == std::string::npos) j = paragraph.size();
        const std::string word = paragraph.substr(i, j - i);
        const std::string candidate = current.empty() && !any ? word : current + " " + word;
        if (any && TextWidth(WithoutMark(candidate)) > maxWidth) {
          wrapped.push_back(current);
          current = word;
        } else {
          current = candidate;
        }
        any = true;
        i = j + 1;
      }
      wrapped.push_back(current);
    }
    lines.swap(wrapped);
  }

  const int lineHeight = TextHeight("");
  const int height = lineHeight * int(lines.size());
  if (format & DT_CALCRECT) {
    int width = 0;
    for (const auto& line : lines) width = std::max(width, TextWidth(WithoutMark(line)));
    rect.Right = rect.Left + width;
    rect.Bottom = rect.Top + height;
    return height;
  }

  const TTarget t = Target();
  if (t.View.Empty()) return height;
  int y = rect.Top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) y = rect.Top + (rect.Height() - lineHeight) / 2;
    else if (format & DT_BOTTOM) y = rect.Bottom - lineHeight;
  }
  const bool opaque = FBrush.Style() != bsClear;
  for (const auto& marked : lines) {
    const size_t mark = marked.find(kAccelerator);
    const std::string line = WithoutMark(marked);
    const int underlineBegin = mark == std::string::npos || mark >= line.size() ? -1 : int(mark);
    const int underlineEnd = underlineBegin < 0 ? -1 : underlineBegin + Utf8Length(static_cast<unsigned char>(line[mark]));
    const TTextBlock layout(FFont, line, underlineBegin, std::min<int>(underlineEnd, int(line.size())));
    int x = rect.Left;
    if (format & DT_CENTER) x = rect.Left + (rect.Width() - layout.Extent().X) / 2;
    else if (format & DT_RIGHT) x = rect.Right - layout.Extent().X;
    DrawTextBlock(t, x, y, layout, (format & DT_NOCLIP) ? nullptr : &rect, opaque);
    y += lineHeight;
  }
  Changed(t);
  return height;
}
