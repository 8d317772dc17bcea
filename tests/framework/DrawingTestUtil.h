// Helpers for the drawing tests: bitmaps as text pictures, one character per
// pixel, so that expected shapes read as what they are.
#pragma once

#include <map>
#include <string>

#include "Graphics.h"

namespace drawtest {

// '.' white, '#' black, 'r' red, 'g' lime, 'b' blue, 'y' yellow, 's' silver,
// 'a' gray; any other colour '?'.
inline char ColorChar(TColor c) {
  static const std::map<TColor, char> names{{clWhite, '.'}, {clBlack, '#'}, {clRed, 'r'}, {clLime, 'g'},
                                            {clBlue, 'b'},  {clYellow, 'y'}, {clSilver, 's'}, {clGray, 'a'}};
  auto it = names.find(c);
  return it == names.end() ? '?' : it->second;
}

inline TColor CharColor(char ch) {
  switch (ch) {
    case '#': return clBlack;
    case 'r': return clRed;
    case 'g': return clLime;
    case 'b': return clBlue;
    case 'y': return clYellow;
    case 's': return clSilver;
    case 'a': return clGray;
    default: return clWhite;
  }
}

// Rows joined by '\n' (no trailing newline).
inline std::string Art(const TBitmap& bitmap) {
  std::string out;
  for (int y = 0; y < bitmap.Height(); ++y) {
    if (y) out += '\n';
    for (int x = 0; x < bitmap.Width(); ++x) out += ColorChar(bitmap.Pixels(x, y));
  }
  return out;
}

// A bitmap painted from rows of characters.
inline void Paint(TBitmap& bitmap, std::initializer_list<const char*> rows) {
  int y = 0;
  for (const char* row : rows) {
    for (int x = 0; row[x]; ++x) bitmap.SetPixels(x, y, CharColor(row[x]));
    ++y;
  }
}

inline std::string Rows(std::initializer_list<const char*> rows) {
  std::string out;
  for (const char* row : rows) {
    if (!out.empty()) out += '\n';
    out += row;
  }
  return out;
}

// The smallest rectangle holding every pixel that is not `background`.
inline TRect InkBounds(const TBitmap& bitmap, TColor background = clWhite) {
  TRect r{bitmap.Width(), bitmap.Height(), 0, 0};
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x)
      if (bitmap.Pixels(x, y) != background) r = {std::min(r.Left, x), std::min(r.Top, y), std::max(r.Right, x + 1), std::max(r.Bottom, y + 1)};
  return IsRectEmpty(r) ? TRect{} : r;
}

}  // namespace drawtest
