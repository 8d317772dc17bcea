#include "InkCompare.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace inkcompare {

namespace {

bool Close(const uint8_t* p, const uint8_t* q, int limit) noexcept {
  return std::abs(p[0] - q[0]) <= limit && std::abs(p[1] - q[1]) <= limit && std::abs(p[2] - q[2]) <= limit;
}

// Ink pixels of `from` with a close ink pixel of `to` near them.
long Matched(const TImage& from, const TImage& to, const std::vector<uint8_t>& inkTo) {
  const int w = from.Width, h = from.Height;
  long matched = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &from.Rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
      if (!IsInk(p)) continue;
      bool found = false;
      for (int yy = std::max(0, y - kReach); !found && yy <= std::min(h - 1, y + kReach); ++yy)
        for (int xx = std::max(0, x - kReach); !found && xx <= std::min(w - 1, x + kReach); ++xx) {
          const size_t i = size_t(yy) * size_t(w) + size_t(xx);
          found = inkTo[i] && Close(p, &to.Rgb[i * 3], kCloseColour);
        }
      matched += found;
    }
  return matched;
}

// Every colour within kPaletteReach (per channel) of an ink colour of B, as
// a 256^3 table: B's colours marked, then widened by kPaletteReach along
// each channel in turn (a cube is the product of its three intervals, so
// three one-dimensional passes widen each colour to exactly its cube).
std::vector<uint8_t> PaletteReach(const TImage& b, const std::vector<uint8_t>& inkB) {
  std::vector<uint8_t> table(size_t(1) << 24, 0);
  const size_t count = size_t(b.Width) * size_t(b.Height);
  for (size_t i = 0; i < count; ++i)
    if (inkB[i]) {
      const uint8_t* p = &b.Rgb[i * 3];
      table[(size_t(p[0]) << 16) | (size_t(p[1]) << 8) | p[2]] = 1;
    }
  int line[257];
  for (const size_t step : {size_t(1) << 16, size_t(1) << 8, size_t(1)}) {
    for (size_t base = 0; base < table.size(); ++base) {
      if ((base / step) % 256 != 0) continue;  // each line once, from its first cell
      line[0] = 0;
      for (size_t v = 0; v < 256; ++v) line[v + 1] = line[v] + table[base + v * step];
      for (int v = 0; v < 256; ++v) {
        const int lo = std::max(0, v - kPaletteReach), hi = std::min(255, v + kPaletteReach);
        table[base + size_t(v) * step] = line[hi + 1] - line[lo] > 0;
      }
    }
  }
  return table;
}

bool Between(const uint8_t* p, const uint8_t* a, const uint8_t* b) noexcept {
  for (int c = 0; c < 3; ++c)
    if (p[c] + kBlendSlack < std::min(a[c], b[c]) || p[c] > std::max(a[c], b[c]) + kBlendSlack) return false;
  return true;
}

long Stray(const TImage& a, const TImage& b, const std::vector<uint8_t>& inkB) {
  const int w = a.Width, h = a.Height;
  if (w < 3 || h < 3) return 0;
  const uint8_t white[3] = {255, 255, 255};
  std::vector<uint8_t> palette;  // built on the first candidate only
  long stray = 0;
  const int across[4][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};
  const auto at = [&](int x, int y) { return &a.Rgb[(size_t(y) * size_t(w) + size_t(x)) * 3]; };
  for (int y = 1; y + 1 < h; ++y)
    for (int x = 1; x + 1 < w; ++x) {
      const uint8_t* p = at(x, y);
      if (Close(p, white, kPaletteReach)) continue;
      bool edge = false;
      for (const auto& d : across) {
        const uint8_t *n1 = at(x - d[0], y - d[1]), *n2 = at(x + d[0], y + d[1]);
        if (!Close(n1, n2, kInkLevel) && Between(p, n1, n2) && !Close(p, n1, kPaletteReach) &&
            !Close(p, n2, kPaletteReach)) {
          edge = true;
          break;
        }
      }
      if (!edge) continue;
      if (palette.empty()) palette = PaletteReach(b, inkB);
      stray += !palette[(size_t(p[0]) << 16) | (size_t(p[1]) << 8) | p[2]];
    }
  return stray;
}

}  // namespace

bool IsInk(const uint8_t* rgb) noexcept {
  return 255 - rgb[0] > kInkLevel || 255 - rgb[1] > kInkLevel || 255 - rgb[2] > kInkLevel;
}

TComparison Compare(const TImage& a, const TImage& b) {
  if (a.Width != b.Width || a.Height != b.Height || a.Rgb.size() != size_t(a.Width) * size_t(a.Height) * 3 ||
      b.Rgb.size() != a.Rgb.size())
    throw std::invalid_argument("the images differ in size");
  const size_t count = size_t(a.Width) * size_t(a.Height);
  std::vector<uint8_t> inkA(count), inkB(count);
  TComparison r;
  for (size_t i = 0; i < count; ++i) {
    inkA[i] = IsInk(&a.Rgb[i * 3]);
    inkB[i] = IsInk(&b.Rgb[i * 3]);
    r.InkA += inkA[i];
    r.InkB += inkB[i];
  }
  if (r.InkA == 0 && r.InkB == 0) {
    r.Similarity = 1.0;
  } else if (r.InkA == 0 || r.InkB == 0) {
    r.Similarity = 0.0;
  } else {
    r.MatchedA = Matched(a, b, inkB);
    r.MatchedB = Matched(b, a, inkA);
    r.Similarity = double(r.MatchedA + r.MatchedB) / double(r.InkA + r.InkB);
  }
  r.Stray = Stray(a, b, inkB);
  return r;
}

namespace {
// The next header number, skipping white space and comments.
bool HeaderNumber(std::istream& in, long& value) {
  int c = in.get();
  while (c == '#' || std::isspace(c)) {
    if (c == '#')
      while (c != '\n' && c != EOF) c = in.get();
    c = in.get();
  }
  if (c < '0' || c > '9') return false;
  value = 0;
  while (c >= '0' && c <= '9') {
    value = value * 10 + (c - '0');
    if (value > 100000) return false;
    c = in.get();
  }
  return std::isspace(c);  // exactly one white-space character ends the header
}
}  // namespace

bool ReadPpm(std::istream& in, TImage& image) {
  if (in.get() != 'P' || in.get() != '6') return false;
  long w = 0, h = 0, max = 0;
  if (!HeaderNumber(in, w) || !HeaderNumber(in, h) || !HeaderNumber(in, max)) return false;
  if (w <= 0 || h <= 0 || max != 255 || w * h > 400L * 1000 * 1000) return false;
  image.Width = int(w);
  image.Height = int(h);
  image.Rgb.resize(size_t(w) * size_t(h) * 3);
  in.read(reinterpret_cast<char*>(image.Rgb.data()), std::streamsize(image.Rgb.size()));
  return in.gcount() == std::streamsize(image.Rgb.size());
}

}  // namespace inkcompare
