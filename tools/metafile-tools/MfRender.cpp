// mfrender: draws a metafile with this project's player (TMetafilePlayer),
// for comparison with the system's own rendering (gdiref, mfcompare).
//
//   mfrender IN OUT.ppm WIDTH HEIGHT
//       renders the EMF or placeable WMF at WIDTH x HEIGHT, composited onto
//       white (what the player leaves transparent comes out white), and
//       writes a binary PPM (P6).
//   mfrender --size IN
//       prints the picture's own size "W H" (pixels at 96 dots per inch),
//       scaled down proportionally when a side exceeds 2000 so that the
//       comparisons stay affordable; each side at least 1.
//
// Exit status: 0 on success; 1 for a wrong command line or when the input
// cannot be read or the output written; 2 when the player raises (its
// message goes to standard error).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MetafilePlayer.h"

namespace {

constexpr int kMaxSide = 20000;
constexpr int kSizeCap = 2000;

int Usage() {
  std::fputs("usage: mfrender IN OUT.ppm WIDTH HEIGHT\n"
             "       mfrender --size IN\n",
             stderr);
  return 1;
}

bool ReadInput(const char* path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int ParseSide(const char* s) {
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  return end != s && *end == 0 && v > 0 && v <= kMaxSide ? int(v) : 0;
}

// Premultiplied ARGB over white: each channel plus what the alpha leaves.
bool WritePpm(const char* path, const TSurface& image) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << image.Width() << ' ' << image.Height() << "\n255\n";
  std::vector<char> row(size_t(image.Width()) * 3);
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* in = image.Row(y);  // B, G, R, A
    for (int x = 0; x < image.Width(); ++x) {
      const uint8_t* p = in + 4 * size_t(x);
      const int rest = 255 - p[3];
      row[3 * size_t(x)] = char(std::min(255, p[2] + rest));
      row[3 * size_t(x) + 1] = char(std::min(255, p[1] + rest));
      row[3 * size_t(x) + 2] = char(std::min(255, p[0] + rest));
    }
    out.write(row.data(), std::streamsize(row.size()));
  }
  out.close();
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  const bool size = argc == 3 && std::string(argv[1]) == "--size";
  if (!size && argc != 5) return Usage();
  const char* input = size ? argv[2] : argv[1];
  int width = 0, height = 0;
  if (!size) {
    width = ParseSide(argv[3]);
    height = ParseSide(argv[4]);
    if (!width || !height) return Usage();
  }
  std::vector<uint8_t> bytes;
  if (!ReadInput(input, bytes)) {
    std::fprintf(stderr, "mfrender: cannot read %s\n", input);
    return 1;
  }
  TSurfacePtr image;
  try {
    const TMetafilePlayer player(bytes);
    if (size) {
      double w = std::max(1, player.Width()), h = std::max(1, player.Height());
      const double scale = std::min(1.0, double(kSizeCap) / std::max(w, h));
      std::printf("%d %d\n", std::max(1, int(std::lround(w * scale))), std::max(1, int(std::lround(h * scale))));
      return 0;
    }
    image = player.Render(width, height);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mfrender: %s\n", e.what());
    return 2;
  }
  if (!WritePpm(argv[2], *image)) {
    std::fprintf(stderr, "mfrender: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
