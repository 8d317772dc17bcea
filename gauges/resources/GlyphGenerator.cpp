// Draws every built-in picture of the gauge library and writes it as a
// Windows bitmap (the hand-point pointer as a Windows cursor file).
//
// The pictures are committed next to this program; it is kept so that they
// can be re-made or changed and so that a test can prove the committed files
// are exactly what it draws. It depends on the standard library only (and on
// the character generator of this directory, for the preview sheet).
//
//   GlyphGenerator OUTDIR                  write the pictures into OUTDIR
//   GlyphGenerator OUTDIR --preview DIR    also write 4x enlarged previews
//   GlyphGenerator --check DIR             exit 1 when DIR differs from what
//                                          would be written
//
// Colour convention: every picture uses a fixed 16-colour palette, so all
// are 4 bits per pixel. Digit, colon, AM/PM and matrix pictures use only
// black (background), grey (unlit) and silver (lit), which the widgets
// recolour; the counter strip is lime on black; the lamps use dark red (off)
// and red (on), which the lamp widget recolours, plus silver, grey or white
// trim.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "CharGen5x7.h"

namespace {

// Indices into the palette below.
enum TColorIndex : uint8_t {
  ciBlack = 0,
  ciMaroon = 1,
  ciGreen = 2,
  ciOlive = 3,
  ciNavy = 4,
  ciPurple = 5,
  ciTeal = 6,
  ciGray = 7,
  ciSilver = 8,
  ciRed = 9,
  ciLime = 10,
  ciYellow = 11,
  ciBlue = 12,
  ciFuchsia = 13,
  ciAqua = 14,
  ciWhite = 15,
};

struct TRgb {
  uint8_t FR, FG, FB;
};

// The sixteen classic display colours; the order only matters for the
// indices above, the widgets look at colour values.
constexpr std::array<TRgb, 16> kPalette{{{0, 0, 0},
                                          {128, 0, 0},
                                          {0, 128, 0},
                                          {128, 128, 0},
                                          {0, 0, 128},
                                          {128, 0, 128},
                                          {0, 128, 128},
                                          {128, 128, 128},
                                          {192, 192, 192},
                                          {255, 0, 0},
                                          {0, 255, 0},
                                          {255, 255, 0},
                                          {0, 0, 255},
                                          {255, 0, 255},
                                          {0, 255, 255},
                                          {255, 255, 255}}};

// A picture as palette indices, row 0 at the top.
class TImage {
public:
  TImage(int width, int height, int cells = 1)
      : FWidth(width), FHeight(height), FCells(cells),
        FPixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), ciBlack) {}

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int Cells() const { return FCells; }
  int CellWidth() const { return FWidth / FCells; }

  uint8_t At(int x, int y) const { return FPixels[Index(x, y)]; }
  void Set(int x, int y, uint8_t color) { FPixels[Index(x, y)] = color; }
  void Fill(int left, int top, int width, int height, uint8_t color) {
    for (int y = top; y < top + height; ++y)
      for (int x = left; x < left + width; ++x) Set(x, y, color);
  }

private:
  std::size_t Index(int x, int y) const {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) throw std::out_of_range("pixel outside the picture");
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) + static_cast<std::size_t>(x);
  }

  int FWidth;
  int FHeight;
  int FCells;
  std::vector<uint8_t> FPixels;
};

using TBytes = std::vector<uint8_t>;

void PutU16(TBytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}
void PutU32(TBytes& out, uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

// BITMAPFILEHEADER + BITMAPINFOHEADER + 16-entry palette + bottom-up rows of
// 4-bit indices (left pixel in the high nibble), each row padded to 4 bytes.
TBytes EncodeBmp4(const TImage& image) {
  const uint32_t rowBytes = ((static_cast<uint32_t>(image.Width()) * 4 + 31) / 32) * 4;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(image.Height());
  const uint32_t dataOffset = 14 + 40 + 16 * 4;
  TBytes out;
  out.push_back('B');
  out.push_back('M');
  PutU32(out, dataOffset + imageBytes);
  PutU32(out, 0);  // reserved
  PutU32(out, dataOffset);
  PutU32(out, 40);
  PutU32(out, static_cast<uint32_t>(image.Width()));
  PutU32(out, static_cast<uint32_t>(image.Height()));  // positive: bottom-up
  PutU16(out, 1);                                      // planes
  PutU16(out, 4);                                      // bits per pixel
  PutU32(out, 0);                                      // BI_RGB
  PutU32(out, imageBytes);
  PutU32(out, 2835);  // 72 dpi
  PutU32(out, 2835);
  PutU32(out, 16);  // colours used
  PutU32(out, 0);   // all important
  for (const TRgb& c : kPalette) {
    out.push_back(c.FB);
    out.push_back(c.FG);
    out.push_back(c.FR);
    out.push_back(0);
  }
  for (int y = image.Height() - 1; y >= 0; --y) {
    TBytes row(rowBytes, 0);
    for (int x = 0; x < image.Width(); ++x) {
      const uint8_t index = image.At(x, y);
      row[static_cast<std::size_t>(x / 2)] |= (x % 2 == 0) ? static_cast<uint8_t>(index << 4) : index;
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// ---------------------------------------------------------------------------
// Seven-segment digits.

enum TSegment { sgTop, sgUpperRight, sgLowerRight, sgBottom, sgLowerLeft, sgUpperLeft, sgMiddle };

// Segments of the digits 0..9, bit n = TSegment n.
constexpr std::array<uint8_t, 10> kDigitSegments{
    0b0111111,  // 0
    0b0000110,  // 1
    0b1011011,  // 2
    0b1001111,  // 3
    0b1100110,  // 4
    0b1101101,  // 5
    0b1111101,  // 6
    0b0000111,  // 7
    0b1111111,  // 8
    0b1101111,  // 9
};

// A seven-segment face inside a Width x Height box. Bars are Bar pixels
// thick, stems Stem pixels; the middle bar starts at row MiddleTop. Bars and
// stems are chamfered at 45 degrees so that neighbouring segments meet along
// a one-pixel diagonal gap, which keeps every segment readable on its own
// (the unlit ones are drawn too).
struct TSegmentFace {
  int FWidth;
  int FHeight;
  int FBar;
  int FStem;
  int FMiddleTop;
};

// The segment that covers (x, y) of the face, or -1.
int SegmentAt(const TSegmentFace& face, int x, int y) {
  const int w = face.FWidth, h = face.FHeight;
  const int middleLow = face.FMiddleTop + (face.FBar - 1) / 2;  // first centre row of the middle bar
  const int middleHigh = face.FMiddleTop + face.FBar / 2;       // last centre row
  if (y < face.FBar && x >= 1 + y && x <= w - 2 - y) return sgTop;
  if (y >= h - face.FBar) {
    const int inset = h - 1 - y;
    if (x >= 1 + inset && x <= w - 2 - inset) return sgBottom;
  }
  if (y >= face.FMiddleTop && y < face.FMiddleTop + face.FBar) {
    const int inset = std::max({0, middleLow - y, y - middleHigh});
    if (x >= 1 + inset && x <= w - 2 - inset) return sgMiddle;
  }
  const bool left = x < face.FStem;
  const bool right = x >= w - face.FStem;
  if (left || right) {
    const int depth = left ? x : w - 1 - x;
    if (y >= 1 + depth && y <= middleLow - 1 - depth) return left ? sgUpperLeft : sgUpperRight;
    if (y >= middleHigh + 1 + depth && y <= h - 2 - depth) return left ? sgLowerLeft : sgLowerRight;
  }
  return -1;
}

// Draws a face at (left, top): segments in litSegments get lit, the other
// segments in shownSegments get unlit; everything else is left alone.
void DrawFace(TImage& image, int left, int top, const TSegmentFace& face, uint8_t shownSegments,
              uint8_t litSegments, uint8_t unlit, uint8_t lit) {
  for (int y = 0; y < face.FHeight; ++y)
    for (int x = 0; x < face.FWidth; ++x) {
      const int segment = SegmentAt(face, x, y);
      if (segment < 0) continue;
      const uint8_t bit = static_cast<uint8_t>(1u << segment);
      if (litSegments & bit) image.Set(left + x, top + y, lit);
      else if (shownSegments & bit) image.Set(left + x, top + y, unlit);
    }
}

// The 13-cell digit strip: 0..9 lit over unlit segments, the blank digit
// (all unlit), the unlit sign (middle bar unlit only) and the minus sign.
TImage DigitStrip(const TSegmentFace& face) {
  TImage strip(face.FWidth * 13, face.FHeight, 13);
  constexpr uint8_t all = 0b1111111, middle = 1u << sgMiddle;
  for (int digit = 0; digit < 10; ++digit)
    DrawFace(strip, digit * face.FWidth, 0, face, all, kDigitSegments[static_cast<std::size_t>(digit)], ciGray,
             ciSilver);
  DrawFace(strip, 10 * face.FWidth, 0, face, all, 0, ciGray, ciSilver);
  DrawFace(strip, 11 * face.FWidth, 0, face, middle, 0, ciGray, ciSilver);
  DrawFace(strip, 12 * face.FWidth, 0, face, middle, middle, ciGray, ciSilver);
  return strip;
}

// The counter strip: ten 9 x 13 cells with a lime face inset by one pixel,
// so that digits stay apart when the counter packs cells without spacing.
TImage CounterStrip() {
  const TSegmentFace face{7, 11, 1, 2, 5};
  TImage strip(90, 13, 10);
  for (int digit = 0; digit < 10; ++digit)
    DrawFace(strip, digit * 9 + 1, 1, face, kDigitSegments[static_cast<std::size_t>(digit)],
             kDigitSegments[static_cast<std::size_t>(digit)], ciLime, ciLime);
  return strip;
}

// ---------------------------------------------------------------------------
// Colons and AM/PM captions.

// Two dots placed symmetrically about the digits' middle bar. Rounded dots
// lose their four corner pixels.
struct TColon {
  int FWidth;
  int FHeight;
  int FDotLeft;
  int FDotWidth;
  int FDotHeight;
  int FUpperTop;
  int FLowerTop;
  bool FRounded;
};

TImage Colon(const TColon& colon) {
  TImage image(colon.FWidth, colon.FHeight);
  for (int top : {colon.FUpperTop, colon.FLowerTop})
    for (int y = 0; y < colon.FDotHeight; ++y)
      for (int x = 0; x < colon.FDotWidth; ++x) {
        const bool corner = (x == 0 || x == colon.FDotWidth - 1) && (y == 0 || y == colon.FDotHeight - 1);
        if (colon.FRounded && corner) continue;
        image.Set(colon.FDotLeft + x, top + y, ciSilver);
      }
  return image;
}

using TLetter = std::vector<const char*>;  // rows of '#' and '.'

struct TCaptionFont {
  TLetter FA, FM, FP;
  int FGap;  // columns between the two letters
};

// Three sizes of capitals for the captions, 3, 5 and 7 rows tall. The
// 3-row size has no M: its 6-pixel cell cannot hold two 3-pixel letters
// with a gap, and without one they run together into a blot, so the
// smallest caption is just A over P.
const TCaptionFont kCaption3{{".#.", "###", "#.#"}, {}, {"###", "###", "#.."}, 0};
const TCaptionFont kCaption5{{".#.", "#.#", "###", "#.#", "#.#"},
                             {"#.#", "###", "###", "#.#", "#.#"},
                             {"##.", "#.#", "##.", "#..", "#.."},
                             1};
const TCaptionFont kCaption7{{".##.", "#..#", "#..#", "####", "#..#", "#..#", "#..#"},
                             {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"},
                             {"###.", "#..#", "#..#", "###.", "#...", "#...", "#..."},
                             1};

int LetterWidth(const TLetter& letter) {
  return letter.empty() ? 0 : static_cast<int>(std::string(letter.front()).size());
}

void DrawLetter(TImage& image, int left, int top, const TLetter& letter, uint8_t color) {
  for (int y = 0; y < static_cast<int>(letter.size()); ++y) {
    const std::string row = letter[static_cast<std::size_t>(y)];
    for (int x = 0; x < static_cast<int>(row.size()); ++x)
      if (row[static_cast<std::size_t>(x)] == '#') image.Set(left + x, top + y, color);
  }
}

void DrawWord(TImage& image, int cellLeft, int cellWidth, int top, const TCaptionFont& font, const TLetter& first,
              uint8_t color) {
  const int width = font.FM.empty() ? LetterWidth(first) : LetterWidth(first) + font.FGap + LetterWidth(font.FM);
  const int left = cellLeft + (cellWidth - width) / 2;
  DrawLetter(image, left, top, first, color);
  if (!font.FM.empty()) DrawLetter(image, left + LetterWidth(first) + font.FGap, top, font.FM, color);
}

// Two cells: AM unlit over PM lit (shown in the afternoon), then AM lit over
// PM unlit (shown in the morning).
TImage AmPm(int width, int height, const TCaptionFont& font, int amTop, int pmTop) {
  TImage image(width, height, 2);
  const int cell = width / 2;
  DrawWord(image, 0, cell, amTop, font, font.FA, ciGray);
  DrawWord(image, 0, cell, pmTop, font, font.FP, ciSilver);
  DrawWord(image, cell, cell, amTop, font, font.FA, ciSilver);
  DrawWord(image, cell, cell, pmTop, font, font.FP, ciGray);
  return image;
}

// ---------------------------------------------------------------------------
// Matrix cells and lamps.

// A character cell of the LED matrix: the 5 x 7 grid of unlit dots, each an
// s x s square on a pitch of s + 1.
TImage MatrixCell(int dot) {
  const int pitch = dot + 1;
  TImage cell(5 * pitch - 1, 7 * pitch - 1);
  for (int row = 0; row < 7; ++row)
    for (int column = 0; column < 5; ++column) cell.Fill(column * pitch, row * pitch, dot, dot, ciGray);
  return cell;
}

// Pictures drawn as text: each character names a palette entry.
TImage FromArt(const std::vector<std::string>& rows, int cells) {
  static const std::map<char, uint8_t> kInk{{'.', ciBlack}, {'k', ciBlack},   {'m', ciMaroon},
                                            {'r', ciRed},   {'s', ciSilver},  {'g', ciGray},
                                            {'w', ciWhite}, {'l', ciLime}};
  TImage image(static_cast<int>(rows.front().size()), static_cast<int>(rows.size()), cells);
  for (int y = 0; y < image.Height(); ++y) {
    const std::string& row = rows[static_cast<std::size_t>(y)];
    if (static_cast<int>(row.size()) != image.Width()) throw std::runtime_error("ragged picture row");
    for (int x = 0; x < image.Width(); ++x) image.Set(x, y, kInk.at(row[static_cast<std::size_t>(x)]));
  }
  return image;
}

// Off and on lamp side by side: the off lamp is the on lamp with dark red
// in place of red, so both share every trim pixel.
TImage LampStrip(const std::vector<std::string>& onLamp) {
  std::vector<std::string> rows;
  for (const std::string& row : onLamp) {
    std::string off = row;
    std::replace(off.begin(), off.end(), 'r', 'm');
    rows.push_back(off + row);
  }
  return FromArt(rows, 2);
}

// Round lamp with a silver glint at the upper left.
const std::vector<std::string> kRoundLamp{
    "..rrrrr..",
    ".rrsrrrr.",
    "rrssrrrrr",
    "rrsrrrrrr",
    "rrrrrrrrr",
    "rrrrrrrrr",
    "rrrrrrrrr",
    ".rrrrrrr.",
    "..rrrrr..",
};

// Flat bar lit from above: silver along the top and left edge, grey along
// the bottom and right edge, corners cut.
const std::vector<std::string> kRectLamp{
    ".ssssssss.",
    "srrrrrrrrg",
    "srrrrrrrrg",
    "srrrrrrrrg",
    ".gggggggg.",
};

// Bar inside a white frame, one black pixel between bar and frame.
const std::vector<std::string> kBigLamp{
    "wwwwwwwwwwwwwwwww",
    "w...............w",
    "w.rrrrrrrrrrrrr.w",
    "w.rrrrrrrrrrrrr.w",
    "w.rrrrrrrrrrrrr.w",
    "w...............w",
    "wwwwwwwwwwwwwwwww",
};

// ---------------------------------------------------------------------------
// The hand-point cursor: 32 x 32, 1 bit per pixel, hot spot on the tip of
// the index finger.

constexpr int kCursorSize = 32;
constexpr int kHotSpotX = 5;
constexpr int kHotSpotY = 0;

// 'B' black outline, 'W' white, '.' transparent (the screen shows through).
const std::vector<std::string> kHandArt{
    ".....BB...........",
    "....BWWB..........",
    "....BWWB..........",
    "....BWWB..........",
    "....BWWB..........",
    "....BWWBBB........",
    "....BWWBWWBBB.....",
    "....BWWBWWBWWBBB..",
    "....BWWBWWBWWBWWB.",
    ".BB.BWWBWWBWWBWWB.",
    "BWWBBWWBWWBWWBWWB.",
    "BWWWBWWWWWWWWWWWB.",
    ".BWWWWWWWWWWWWWWB.",
    "..BWWWWWWWWWWWWWB.",
    "..BWWWWWWWWWWWWWB.",
    "...BWWWWWWWWWWWB..",
    "...BWWWWWWWWWWWB..",
    "....BWWWWWWWWWB...",
    "....BWWWWWWWWWB...",
    "....BBBBBBBBBBB...",
};

char HandAt(int x, int y) {
  if (y >= static_cast<int>(kHandArt.size())) return '.';
  const std::string& row = kHandArt[static_cast<std::size_t>(y)];
  return x < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(x)] : '.';
}

// A Windows cursor file: ICONDIR (type 2) with one entry carrying the hot
// spot, then a 1-bit DIB of double height: the colour (XOR) rows, then the
// mask (AND) rows, both bottom-up. Mask 1 keeps the screen; mask 0 paints
// the colour bit (0 black, 1 white).
TBytes EncodeCursor() {
  constexpr uint32_t rowBytes = kCursorSize / 8;
  constexpr uint32_t dibBytes = 40 + 2 * 4 + 2 * rowBytes * kCursorSize;
  TBytes out;
  PutU16(out, 0);
  PutU16(out, 2);  // cursor
  PutU16(out, 1);  // one image
  out.push_back(kCursorSize);
  out.push_back(kCursorSize);
  out.push_back(2);  // colours
  out.push_back(0);
  PutU16(out, kHotSpotX);
  PutU16(out, kHotSpotY);
  PutU32(out, dibBytes);
  PutU32(out, 6 + 16);
  PutU32(out, 40);
  PutU32(out, kCursorSize);
  PutU32(out, 2 * kCursorSize);
  PutU16(out, 1);
  PutU16(out, 1);
  PutU32(out, 0);
  PutU32(out, 2 * rowBytes * kCursorSize);
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, 2);
  PutU32(out, 0);
  PutU32(out, 0x00000000);  // black
  PutU32(out, 0x00FFFFFF);  // white
  for (int plane = 0; plane < 2; ++plane)
    for (int y = kCursorSize - 1; y >= 0; --y)
      for (uint32_t byte = 0; byte < rowBytes; ++byte) {
        uint8_t bits = 0;
        for (int bit = 0; bit < 8; ++bit) {
          const char ink = HandAt(static_cast<int>(byte) * 8 + bit, y);
          const bool set = plane == 0 ? ink == 'W' : ink == '.';
          if (set) bits |= static_cast<uint8_t>(0x80 >> bit);
        }
        out.push_back(bits);
      }
  return out;
}

// ---------------------------------------------------------------------------
// The set of pictures.

struct TPicture {
  std::string FName;
  TImage FImage;
};

std::vector<TPicture> AllPictures() {
  std::vector<TPicture> pictures;
  auto add = [&](std::string name, TImage image) { pictures.push_back({std::move(name), std::move(image)}); };

  add("NUM13x24", DigitStrip({13, 24, 2, 3, 11}));
  add("NUM11x20", DigitStrip({11, 20, 2, 2, 9}));
  add("NUM7x13", DigitStrip({7, 13, 1, 1, 6}));
  add("NUM12x17", DigitStrip({12, 17, 2, 2, 7}));
  add("NUM5x7", DigitStrip({4, 7, 1, 1, 3}));

  add("CLOCKSEP1", Colon({6, 24, 1, 4, 4, 5, 14, true}));
  add("CLOCKSEP2", Colon({6, 20, 2, 2, 2, 5, 13, false}));
  add("CLOCKSEP3", Colon({3, 13, 1, 1, 1, 3, 9, false}));
  add("CLOCKSEP4", Colon({7, 17, 2, 3, 3, 3, 10, false}));
  add("CLOCKSEP5", Colon({3, 7, 1, 1, 1, 2, 4, false}));

  add("AMPM13x24", AmPm(20, 24, kCaption7, 3, 14));
  add("AMPM11x20", AmPm(20, 20, kCaption7, 2, 11));
  add("AMPM7x13", AmPm(14, 13, kCaption5, 1, 7));
  add("AMPM12x17", AmPm(20, 17, kCaption7, 1, 9));
  add("AMPM5x7", AmPm(12, 7, kCaption3, 0, 4));

  add("BMCOUNTER", CounterStrip());

  add("LI_RND", LampStrip(kRoundLamp));
  add("LI_RECT", LampStrip(kRectLamp));
  add("LI_BIG", LampStrip(kBigLamp));

  add("GAUGEMATRIXLED9x13", MatrixCell(1));
  add("GAUGEMATRIXLED14x20", MatrixCell(2));
  add("GAUGEMATRIXLED19x27", MatrixCell(3));
  return pictures;
}

constexpr const char* kCursorName = "GAUGECURSORHANDPOINT";

// File name -> bytes of every output file.
std::map<std::string, TBytes> AllFiles() {
  std::map<std::string, TBytes> files;
  for (const TPicture& picture : AllPictures()) files[picture.FName + ".bmp"] = EncodeBmp4(picture.FImage);
  files[std::string(kCursorName) + ".cur"] = EncodeCursor();
  return files;
}

// ---------------------------------------------------------------------------
// Previews: binary PPM files for a person to look at, enlarged 4x, with the
// cell borders marked in blue and transparent cursor pixels in teal.

class TCanvas {
public:
  TCanvas(int width, int height, TRgb background)
      : FWidth(width), FHeight(height),
        FPixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), background) {}
  void Set(int x, int y, TRgb color) {
    if (x >= 0 && y >= 0 && x < FWidth && y < FHeight)
      FPixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) + static_cast<std::size_t>(x)] = color;
  }
  void Fill(int left, int top, int width, int height, TRgb color) {
    for (int y = top; y < top + height; ++y)
      for (int x = left; x < left + width; ++x) Set(x, y, color);
  }
  bool Write(const std::string& path) const {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << FWidth << ' ' << FHeight << "\n255\n";
    for (const TRgb& p : FPixels) out << static_cast<char>(p.FR) << static_cast<char>(p.FG) << static_cast<char>(p.FB);
    return static_cast<bool>(out);
  }

private:
  int FWidth;
  int FHeight;
  std::vector<TRgb> FPixels;
};

constexpr int kZoom = 4;
constexpr TRgb kBorder{40, 40, 200};

// Unlit grey and lit silver are close; the preview shows them in the
// widgets' default palette (dark green, lime) as a display would.
TRgb PreviewColor(uint8_t index) {
  if (index == ciGray) return {0, 128, 0};
  if (index == ciSilver) return {0, 255, 0};
  return kPalette[index];
}

// The picture enlarged, one border pixel between cells and around.
TCanvas PreviewOf(const TImage& image, bool recolor) {
  const int cells = image.Cells(), cellWidth = image.CellWidth();
  TCanvas canvas(image.Width() * kZoom + cells + 1, image.Height() * kZoom + 2, kBorder);
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      const int cell = std::min(x / cellWidth, cells - 1);
      canvas.Fill(1 + cell + x * kZoom, 1 + y * kZoom, kZoom, kZoom,
                  recolor ? PreviewColor(image.At(x, y)) : kPalette[image.At(x, y)]);
    }
  return canvas;
}

TCanvas CursorPreview() {
  TCanvas canvas(kCursorSize * kZoom, kCursorSize * kZoom, {0, 128, 128});
  for (int y = 0; y < kCursorSize; ++y)
    for (int x = 0; x < kCursorSize; ++x) {
      const char ink = HandAt(x, y);
      if (ink == 'B') canvas.Fill(x * kZoom, y * kZoom, kZoom, kZoom, {0, 0, 0});
      if (ink == 'W') canvas.Fill(x * kZoom, y * kZoom, kZoom, kZoom, {255, 255, 255});
    }
  canvas.Fill(kHotSpotX * kZoom + 1, kHotSpotY * kZoom + 1, 2, 2, {255, 0, 0});
  return canvas;
}

// All 256 character codes in a 16 x 16 grid, each on the 14 x 20 matrix
// cell (dots of 2 pixels), lit dots lime over dark green unlit dots; the
// dots are placed exactly as the matrix display places them.
TCanvas CharGenPreview() {
  constexpr int dot = 2, pitch = dot + 1, cellW = 5 * pitch - 1, cellH = 7 * pitch - 1, gap = 3;
  constexpr int zoom = 3;
  TCanvas canvas((16 * (cellW + gap) + gap) * zoom, (16 * (cellH + gap) + gap) * zoom, {30, 30, 60});
  for (int code = 0; code < 256; ++code) {
    const int cellX = gap + (code % 16) * (cellW + gap), cellY = gap + (code / 16) * (cellH + gap);
    canvas.Fill(cellX * zoom, cellY * zoom, cellW * zoom, cellH * zoom, {0, 0, 0});
    const TCharGenGlyph& glyph = CharGenGlyph(static_cast<uint8_t>(code));
    for (int row = 0; row < 7; ++row)
      for (int bit = 0; bit < 5; ++bit) {
        const bool lit = (glyph[static_cast<std::size_t>(row)] >> bit) & 1;
        const int x = cellX + cellW - dot - bit * pitch, y = cellY + row * pitch;
        canvas.Fill(x * zoom, y * zoom, dot * zoom, dot * zoom, lit ? TRgb{0, 255, 0} : TRgb{0, 45, 0});
      }
  }
  return canvas;
}

bool WritePreviews(const std::string& dir) {
  bool ok = true;
  for (const TPicture& picture : AllPictures()) {
    // The lamps keep their own colours; their silver and grey are trim.
    const bool recolor = !picture.FName.starts_with("LI_");
    ok &= PreviewOf(picture.FImage, recolor).Write(dir + "/" + picture.FName + ".ppm");
  }
  ok &= CursorPreview().Write(dir + "/" + kCursorName + ".ppm");
  ok &= CharGenPreview().Write(dir + "/CHARGEN5x7.ppm");
  return ok;
}

// ---------------------------------------------------------------------------

bool ReadFile(const std::string& path, TBytes& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

int Check(const std::string& dir) {
  int differences = 0;
  for (const auto& [name, bytes] : AllFiles()) {
    TBytes stored;
    if (!ReadFile(dir + "/" + name, stored)) {
      std::fprintf(stderr, "%s/%s: missing\n", dir.c_str(), name.c_str());
      ++differences;
    } else if (stored != bytes) {
      std::fprintf(stderr, "%s/%s: differs from what the generator draws\n", dir.c_str(), name.c_str());
      ++differences;
    }
  }
  if (differences == 0) std::printf("all built-in pictures are up to date\n");
  return differences == 0 ? 0 : 1;
}

int Write(const std::string& dir) {
  for (const auto& [name, bytes] : AllFiles()) {
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name.c_str());
      return 1;
    }
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: GlyphGenerator OUTDIR [--preview DIR]\n"
               "       GlyphGenerator --check DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--check") return Check(args[1]);
    if (args.size() != 1 && !(args.size() == 3 && args[1] == "--preview")) return Usage();
    if (args[0].starts_with("--")) return Usage();
    if (const int status = Write(args[0]); status != 0) return status;
    if (args.size() == 3 && !WritePreviews(args[2])) {
      std::fprintf(stderr, "cannot write the previews into %s\n", args[2].c_str());
      return 1;
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "GlyphGenerator: %s\n", error.what());
    return 1;
  }
}
