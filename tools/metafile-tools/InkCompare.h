// The similarity of two renderings of one picture, for measuring a
// metafile player against a reference (mfcompare). Both images are opaque
// RGB over white, the same size.
//
// Ink: a pixel whose colour differs from white by more than kInkLevel in
// some channel. An ink pixel of one image is matched when the other image
// has an ink pixel within kReach pixels (Chebyshev distance: the
// (2 * kReach + 1)-square around it) whose colour is close (every channel
// within kCloseColour). Small shifts, rounding of coordinates and
// anti-aliasing of edges thus still match; a missing, misplaced or
// recoloured shape does not.
//
//   similarity = (matched ink of A + matched ink of B) / (ink of A + ink of B)
//
// 1.0 when neither image has ink, 0.0 when only one has.
//
// Stray pixels (A being the rendering under test, B the reference): pixels
// of A that sit on an edge between two solid colours as a blend of them,
// and whose colour is neither near white nor near any ink colour of B
// (every channel within kPaletteReach). A pixel sits on such an edge when
// the two neighbours across it in one direction (left and right, above and
// below, or either diagonal) differ by more than kInkLevel in some channel,
// every channel of the pixel lies between theirs (kBlendSlack either side)
// and the pixel is like neither of them (some channel more than
// kPaletteReach away from each). This counts anti-aliased blends, which a
// reference drawn without anti-aliasing never has; where B has the same
// colours (its bitmaps, its own smoothing) they are in its palette and do
// not count.
//
// Thread rules: none (pure functions).
// Errors: Compare requires images of the same size (std::invalid_argument
// otherwise); ReadPpm returns false for anything but a binary 8-bit PPM.
#pragma once

#include <cstdint>
#include <istream>
#include <vector>

namespace inkcompare {

constexpr int kInkLevel = 48;
constexpr int kReach = 2;
constexpr int kCloseColour = 96;
constexpr int kPaletteReach = 24;
constexpr int kBlendSlack = 8;

struct TImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;  // Width * Height * 3, rows top to bottom
};

struct TComparison {
  double Similarity = 1.0;
  long InkA = 0;
  long InkB = 0;
  long MatchedA = 0;
  long MatchedB = 0;
  long Stray = 0;
};

bool IsInk(const uint8_t* rgb) noexcept;
TComparison Compare(const TImage& a, const TImage& b);

// A binary PPM (P6, maximum 255; comments allowed in the header).
bool ReadPpm(std::istream& in, TImage& image);

}  // namespace inkcompare
