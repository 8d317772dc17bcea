// mfcompare: how alike two renderings of one picture are (InkCompare.h
// defines the measure), A being the rendering under test and B the
// reference.
//
//   mfcompare A.ppm B.ppm
//       prints one line "similarity inkA inkB stray": the similarity from
//       0 to 1 (4 decimals), the ink pixels of each image and the stray
//       pixels of A (blends on solid edges in colours B never draws).
//
// Exit status: 0 on success; 1 for a wrong command line, an image that
// cannot be read as a binary PPM, or images of different sizes.
#include <cstdio>
#include <fstream>

#include "InkCompare.h"

using namespace inkcompare;

namespace {
bool Load(const char* path, TImage& image) {
  std::ifstream in(path, std::ios::binary);
  if (in && ReadPpm(in, image)) return true;
  std::fprintf(stderr, "mfcompare: %s is not a readable binary PPM\n", path);
  return false;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: mfcompare A.ppm B.ppm\n", stderr);
    return 1;
  }
  TImage a, b;
  if (!Load(argv[1], a) || !Load(argv[2], b)) return 1;
  if (a.Width != b.Width || a.Height != b.Height) {
    std::fprintf(stderr, "mfcompare: the images differ in size (%dx%d, %dx%d)\n", a.Width, a.Height, b.Width,
                 b.Height);
    return 1;
  }
  const TComparison r = Compare(a, b);
  std::printf("%.4f %ld %ld %ld\n", r.Similarity, r.InkA, r.InkB, r.Stray);
  return 0;
}
