// The built-in pictures and the 5 x 7 character generator: every picture is
// embedded, decodes to its size and cell layout, and uses only the colours
// the widgets recolour; the character generator keeps its coverage and the
// reference rows the matrix display is known by.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "CharGen5x7.h"
#include "GaugeResources.h"

namespace {

struct TRgb {
  uint8_t FR = 0, FG = 0, FB = 0;
  bool operator==(const TRgb&) const = default;
  auto operator<=>(const TRgb&) const = default;
};

constexpr TRgb kBlack{0, 0, 0}, kGray{128, 128, 128}, kSilver{192, 192, 192}, kMaroon{128, 0, 0},
    kRed{255, 0, 0}, kLime{0, 255, 0}, kWhite{255, 255, 255};

// A decoded bitmap, row 0 at the top.
struct TDecoded {
  int FWidth = 0;
  int FHeight = 0;
  int FBitCount = 0;
  std::vector<TRgb> FPixels;
  TRgb At(int x, int y) const { return FPixels.at(static_cast<std::size_t>(y * FWidth + x)); }
};

uint8_t ByteAt(std::span<const uint8_t> bytes, std::size_t at) {
  if (at >= bytes.size()) throw std::out_of_range("read past the end");
  return bytes[at];
}
uint32_t ReadU32(std::span<const uint8_t> bytes, std::size_t at) {
  if (at + 4 > bytes.size()) throw std::out_of_range("read past the end");
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}
uint16_t ReadU16(std::span<const uint8_t> bytes, std::size_t at) {
  if (at + 2 > bytes.size()) throw std::out_of_range("read past the end");
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// Just enough of a Windows bitmap reader for the built-in pictures:
// uncompressed, palette-based (1, 4 or 8 bits) or 24-bit, either row order.
// Every read is bounds-checked; a malformed file gives nullopt.
std::optional<TDecoded> DecodeBmp(std::span<const uint8_t> bytes) {
  try {
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    if (ReadU32(bytes, 2) != bytes.size()) return std::nullopt;
    const uint32_t dataOffset = ReadU32(bytes, 10);
    const uint32_t headerSize = ReadU32(bytes, 14);
    if (headerSize < 40) return std::nullopt;
    const auto width = static_cast<int32_t>(ReadU32(bytes, 18));
    const auto rawHeight = static_cast<int32_t>(ReadU32(bytes, 22));
    const uint16_t bitCount = ReadU16(bytes, 28);
    if (ReadU16(bytes, 26) != 1 || ReadU32(bytes, 30) != 0) return std::nullopt;
    if (width <= 0 || rawHeight == 0 || width > 4096 || std::abs(rawHeight) > 4096) return std::nullopt;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) return std::nullopt;
    const bool bottomUp = rawHeight > 0;
    const int height = std::abs(rawHeight);

    std::vector<TRgb> palette;
    if (bitCount <= 8) {
      uint32_t colours = ReadU32(bytes, 46);
      if (colours == 0) colours = 1u << bitCount;
      if (colours > (1u << bitCount)) return std::nullopt;
      for (uint32_t i = 0; i < colours; ++i) {
        const std::size_t at = 14 + headerSize + 4 * i;
        if (at + 4 > dataOffset) return std::nullopt;
        palette.push_back({ByteAt(bytes, at + 2), ByteAt(bytes, at + 1), ByteAt(bytes, at)});
      }
    }
    const std::size_t rowBytes = ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;
    if (dataOffset + rowBytes * static_cast<std::size_t>(height) > bytes.size()) return std::nullopt;

    TDecoded image{width, height, bitCount, {}};
    image.FPixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      const std::size_t row = dataOffset + rowBytes * static_cast<std::size_t>(bottomUp ? height - 1 - y : y);
      for (int x = 0; x < width; ++x) {
        TRgb pixel;
        if (bitCount == 24) {
          const std::size_t at = row + 3 * static_cast<std::size_t>(x);
          pixel = {ByteAt(bytes, at + 2), ByteAt(bytes, at + 1), ByteAt(bytes, at)};
        } else {
          const std::size_t bit = static_cast<std::size_t>(x) * bitCount;
          const uint8_t byte = ByteAt(bytes, row + bit / 8);
          const unsigned index = (byte >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
          if (index >= palette.size()) return std::nullopt;
          pixel = palette[index];
        }
        image.FPixels[static_cast<std::size_t>(y * width + x)] = pixel;
      }
    }
    return image;
  } catch (const std::out_of_range&) {
    return std::nullopt;
  }
}

std::set<TRgb> ColoursIn(const TDecoded& image, int left, int width) {
  std::set<TRgb> colours;
  for (int y = 0; y < image.FHeight; ++y)
    for (int x = left; x < left + width; ++x) colours.insert(image.At(x, y));
  return colours;
}

// The pixels of one cell that have the given colour, as (x, y) pairs
// relative to the cell.
std::set<std::pair<int, int>> PixelsOf(const TDecoded& image, int cell, int cellWidth, TRgb colour) {
  std::set<std::pair<int, int>> pixels;
  for (int y = 0; y < image.FHeight; ++y)
    for (int x = 0; x < cellWidth; ++x)
      if (image.At(cell * cellWidth + x, y) == colour) pixels.insert({x, y});
  return pixels;
}

TDecoded LoadBitmap(std::string_view name) {
  const std::span<const uint8_t> bytes = FindGlyphResource(name);
  EXPECT_FALSE(bytes.empty()) << name;
  std::optional<TDecoded> image = DecodeBmp(bytes);
  EXPECT_TRUE(image.has_value()) << name;
  return image.value_or(TDecoded{});
}

// ---------------------------------------------------------------------------

struct TPictureCase {
  const char* FName;
  int FWidth;
  int FHeight;
  int FCells;
  std::set<TRgb> FAllowed;
};

const std::set<TRgb> kThreeColours{kBlack, kGray, kSilver};

const std::vector<TPictureCase> kPictures{
    {"NUM13x24", 169, 24, 13, kThreeColours},
    {"NUM11x20", 143, 20, 13, kThreeColours},
    {"NUM7x13", 91, 13, 13, kThreeColours},
    {"NUM12x17", 156, 17, 13, kThreeColours},
    {"NUM5x7", 52, 7, 13, kThreeColours},
    {"CLOCKSEP1", 6, 24, 1, {kBlack, kSilver}},
    {"CLOCKSEP2", 6, 20, 1, {kBlack, kSilver}},
    {"CLOCKSEP3", 3, 13, 1, {kBlack, kSilver}},
    {"CLOCKSEP4", 7, 17, 1, {kBlack, kSilver}},
    {"CLOCKSEP5", 3, 7, 1, {kBlack, kSilver}},
    {"AMPM13x24", 20, 24, 2, kThreeColours},
    {"AMPM11x20", 20, 20, 2, kThreeColours},
    {"AMPM7x13", 14, 13, 2, kThreeColours},
    {"AMPM12x17", 20, 17, 2, kThreeColours},
    {"AMPM5x7", 12, 7, 2, kThreeColours},
    {"BMCOUNTER", 90, 13, 10, {kBlack, kLime}},
    {"LI_RND", 18, 9, 2, {kBlack, kMaroon, kRed, kSilver}},
    {"LI_RECT", 20, 5, 2, {kBlack, kMaroon, kRed, kSilver, kGray}},
    {"LI_BIG", 34, 7, 2, {kBlack, kMaroon, kRed, kWhite}},
    {"GAUGEMATRIXLED9x13", 9, 13, 1, {kBlack, kGray}},
    {"GAUGEMATRIXLED14x20", 14, 20, 1, {kBlack, kGray}},
    {"GAUGEMATRIXLED19x27", 19, 27, 1, {kBlack, kGray}},
};

TEST(GlyphResources, EveryPictureHasItsSizeAndOnlyItsColours) {
  for (const TPictureCase& c : kPictures) {
    SCOPED_TRACE(c.FName);
    const TDecoded image = LoadBitmap(c.FName);
    EXPECT_EQ(image.FWidth, c.FWidth);
    EXPECT_EQ(image.FHeight, c.FHeight);
    EXPECT_EQ(image.FBitCount, 4);
    EXPECT_EQ(image.FWidth % c.FCells, 0);
    const std::set<TRgb> used = ColoursIn(image, 0, image.FWidth);
    for (const TRgb& colour : used)
      EXPECT_TRUE(c.FAllowed.contains(colour))
          << "colour " << int(colour.FR) << "," << int(colour.FG) << "," << int(colour.FB);
    // Every cell has black background to be keyed out or recoloured.
    for (int cell = 0; cell < c.FCells; ++cell)
      EXPECT_TRUE(ColoursIn(image, cell * (c.FWidth / c.FCells), c.FWidth / c.FCells).contains(kBlack)) << cell;
  }
}

TEST(GlyphResources, NamesListHoldsEveryResourceOnce) {
  const std::span<const std::string_view> names = GlyphResourceNames();
  std::set<std::string> expected{"GAUGECURSORHANDPOINT"};
  for (const TPictureCase& c : kPictures) expected.insert(c.FName);
  const std::set<std::string> listed(names.begin(), names.end());
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(names.size(), expected.size());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  for (std::string_view name : names) EXPECT_FALSE(FindGlyphResource(name).empty()) << name;
}

TEST(GlyphResources, LookupIgnoresCaseAndMissesGiveEmpty) {
  struct TLookup {
    const char* FQuery;
    const char* FCanonical;  // nullptr: not found
  };
  const TLookup lookups[] = {
      {"NUM13x24", "NUM13x24"},
      {"num13X24", "NUM13x24"},
      {"li_rnd", "LI_RND"},
      {"GaugeMatrixLed14X20", "GAUGEMATRIXLED14x20"},
      {"gaugecursorhandpoint", "GAUGECURSORHANDPOINT"},
      {"BmCounter", "BMCOUNTER"},
      {"", nullptr},
      {"NUM13x2", nullptr},
      {"NUM13x245", nullptr},
      {"BMCOUNTER.bmp", nullptr},
      {" LI_BIG", nullptr},
      {"LI_", nullptr},
  };
  for (const TLookup& lookup : lookups) {
    SCOPED_TRACE(lookup.FQuery);
    const std::span<const uint8_t> found = FindGlyphResource(lookup.FQuery);
    if (lookup.FCanonical == nullptr) {
      EXPECT_TRUE(found.empty());
    } else {
      const std::span<const uint8_t> canonical = FindGlyphResource(lookup.FCanonical);
      ASSERT_FALSE(found.empty());
      EXPECT_EQ(found.data(), canonical.data());
      EXPECT_EQ(found.size(), canonical.size());
    }
  }
}

// Digit strips: a digit cell lights a subset of the segments that the blank
// cell shows unlit, and lit plus unlit always make up the whole face; the
// unlit sign is exactly the lit minus; digits differ from each other.
TEST(GlyphResources, DigitStripsFollowTheCellOrder) {
  for (const char* name : {"NUM13x24", "NUM11x20", "NUM7x13", "NUM12x17", "NUM5x7"}) {
    SCOPED_TRACE(name);
    const TDecoded strip = LoadBitmap(name);
    const int cell = strip.FWidth / 13;
    const auto face = PixelsOf(strip, 10, cell, kGray);
    ASSERT_FALSE(face.empty());
    EXPECT_TRUE(PixelsOf(strip, 10, cell, kSilver).empty());

    std::set<std::set<std::pair<int, int>>> litSets;
    for (int digit = 0; digit < 10; ++digit) {
      const auto lit = PixelsOf(strip, digit, cell, kSilver);
      auto whole = PixelsOf(strip, digit, cell, kGray);
      EXPECT_FALSE(lit.empty()) << digit;
      whole.insert(lit.begin(), lit.end());
      EXPECT_EQ(whole, face) << digit;
      litSets.insert(lit);
    }
    EXPECT_EQ(litSets.size(), 10u);
    EXPECT_EQ(PixelsOf(strip, 8, cell, kSilver), face);

    const auto sign = PixelsOf(strip, 11, cell, kGray);
    ASSERT_FALSE(sign.empty());
    EXPECT_TRUE(PixelsOf(strip, 11, cell, kSilver).empty());
    EXPECT_EQ(PixelsOf(strip, 12, cell, kSilver), sign);
    EXPECT_TRUE(PixelsOf(strip, 12, cell, kGray).empty());
    // The sign is the middle bar: it is part of the face and is lit in 8
    // but not in 0.
    for (const auto& p : sign) EXPECT_TRUE(face.contains(p));
    for (const auto& p : sign) EXPECT_FALSE(PixelsOf(strip, 0, cell, kSilver).contains(p));
  }
}

TEST(GlyphResources, CounterStripHasTenDistinctLimeDigits) {
  const TDecoded strip = LoadBitmap("BMCOUNTER");
  std::set<std::set<std::pair<int, int>>> digits;
  for (int digit = 0; digit < 10; ++digit) {
    const auto lit = PixelsOf(strip, digit, 9, kLime);
    EXPECT_FALSE(lit.empty()) << digit;
    // Cells are packed without spacing: the outer frame of each cell stays
    // black so neighbouring digits never touch.
    for (const auto& [x, y] : lit) EXPECT_TRUE(x > 0 && x < 8 && y > 0 && y < 12) << digit;
    digits.insert(lit);
  }
  EXPECT_EQ(digits.size(), 10u);
  // 8 lights most, 1 least.
  EXPECT_GT(PixelsOf(strip, 8, 9, kLime).size(), PixelsOf(strip, 0, 9, kLime).size());
  EXPECT_LT(PixelsOf(strip, 1, 9, kLime).size(), PixelsOf(strip, 7, 9, kLime).size());
}

// A colon is two silver dots, one above the other.
TEST(GlyphResources, ColonsHoldTwoDots) {
  for (const char* name : {"CLOCKSEP1", "CLOCKSEP2", "CLOCKSEP3", "CLOCKSEP4", "CLOCKSEP5"}) {
    SCOPED_TRACE(name);
    const TDecoded colon = LoadBitmap(name);
    int runs = 0;
    bool inRun = false;
    for (int y = 0; y < colon.FHeight; ++y) {
      bool lit = false;
      for (int x = 0; x < colon.FWidth; ++x) lit |= colon.At(x, y) == kSilver;
      if (lit && !inRun) ++runs;
      inRun = lit;
    }
    EXPECT_EQ(runs, 2);
  }
}

// Left cell: AM unlit above PM lit; right cell: AM lit above PM unlit, with
// the same letter shapes in both cells.
TEST(GlyphResources, AmPmCellsSwapLitAndUnlit) {
  for (const char* name : {"AMPM13x24", "AMPM11x20", "AMPM7x13", "AMPM12x17", "AMPM5x7"}) {
    SCOPED_TRACE(name);
    const TDecoded glyph = LoadBitmap(name);
    const int cell = glyph.FWidth / 2;
    const auto leftUnlit = PixelsOf(glyph, 0, cell, kGray), leftLit = PixelsOf(glyph, 0, cell, kSilver);
    const auto rightUnlit = PixelsOf(glyph, 1, cell, kGray), rightLit = PixelsOf(glyph, 1, cell, kSilver);
    ASSERT_FALSE(leftUnlit.empty());
    ASSERT_FALSE(leftLit.empty());
    EXPECT_EQ(leftUnlit, rightLit);
    EXPECT_EQ(leftLit, rightUnlit);
    int lowestAm = 0, highestPm = glyph.FHeight;
    for (const auto& p : leftUnlit) lowestAm = std::max(lowestAm, p.second);
    for (const auto& p : leftLit) highestPm = std::min(highestPm, p.second);
    EXPECT_LT(lowestAm, highestPm);
  }
}

TEST(GlyphResources, LampStripsAreOffThenOn) {
  for (const char* name : {"LI_RND", "LI_RECT", "LI_BIG"}) {
    SCOPED_TRACE(name);
    const TDecoded strip = LoadBitmap(name);
    const int cell = strip.FWidth / 2;
    const std::set<TRgb> off = ColoursIn(strip, 0, cell), on = ColoursIn(strip, cell, cell);
    EXPECT_TRUE(off.contains(kMaroon));
    EXPECT_FALSE(off.contains(kRed));
    EXPECT_TRUE(on.contains(kRed));
    EXPECT_FALSE(on.contains(kMaroon));
    // Same picture apart from the lamp colour.
    EXPECT_EQ(PixelsOf(strip, 0, cell, kMaroon), PixelsOf(strip, 1, cell, kRed));
  }
}

// Matrix cells: the grey s x s dot squares on a pitch of s + 1, exactly.
TEST(GlyphResources, MatrixCellsHaveTheDotGrid) {
  struct TCell {
    const char* FName;
    int FDot;
  };
  for (const TCell& c : {TCell{"GAUGEMATRIXLED9x13", 1}, TCell{"GAUGEMATRIXLED14x20", 2},
                         TCell{"GAUGEMATRIXLED19x27", 3}}) {
    SCOPED_TRACE(c.FName);
    const TDecoded image = LoadBitmap(c.FName);
    const int pitch = c.FDot + 1;
    ASSERT_EQ(image.FWidth, 5 * pitch - 1);
    ASSERT_EQ(image.FHeight, 7 * pitch - 1);
    for (int y = 0; y < image.FHeight; ++y)
      for (int x = 0; x < image.FWidth; ++x) {
        const bool onDot = x % pitch < c.FDot && y % pitch < c.FDot;
        EXPECT_EQ(image.At(x, y), onDot ? kGray : kBlack) << x << "," << y;
      }
  }
}

// The pointer: a Windows cursor file, 32 x 32 at 1 bit per pixel, its hot
// spot on an opaque pixel at the top of the picture.
TEST(GlyphResources, HandPointCursorIsAWindowsCursor) {
  const std::span<const uint8_t> bytes = FindGlyphResource("GAUGECURSORHANDPOINT");
  ASSERT_GE(bytes.size(), 22u + 40u + 8u + 256u);
  EXPECT_EQ(ReadU16(bytes, 0), 0);
  EXPECT_EQ(ReadU16(bytes, 2), 2);  // cursor
  EXPECT_EQ(ReadU16(bytes, 4), 1);
  EXPECT_EQ(bytes[6], 32);
  EXPECT_EQ(bytes[7], 32);
  const uint16_t hotX = ReadU16(bytes, 10), hotY = ReadU16(bytes, 12);
  const uint32_t size = ReadU32(bytes, 14), offset = ReadU32(bytes, 18);
  ASSERT_EQ(offset + size, bytes.size());
  EXPECT_EQ(ReadU32(bytes, offset), 40u);
  EXPECT_EQ(ReadU32(bytes, offset + 4), 32u);
  EXPECT_EQ(ReadU32(bytes, offset + 8), 64u);  // colour and mask planes
  EXPECT_EQ(ReadU16(bytes, offset + 14), 1);
  ASSERT_LT(hotX, 32);
  ASSERT_LT(hotY, 32);
  // Mask (AND) rows follow the colour rows; both bottom-up, 4 bytes a row.
  const std::size_t maskStart = offset + 40 + 8 + 32 * 4;
  auto transparent = [&](int x, int y) {
    const uint8_t byte = bytes[maskStart + static_cast<std::size_t>(31 - y) * 4 + static_cast<std::size_t>(x / 8)];
    return ((byte >> (7 - x % 8)) & 1) != 0;
  };
  EXPECT_FALSE(transparent(hotX, hotY));
  int opaque = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) opaque += transparent(x, y) ? 0 : 1;
  EXPECT_GT(opaque, 100);
  EXPECT_TRUE(transparent(31, 31));
}

TEST(GlyphResources, MalformedBitmapsAreRejectedByTheTestReader) {
  const std::span<const uint8_t> good = FindGlyphResource("LI_RND");
  std::vector<uint8_t> bytes(good.begin(), good.end());
  ASSERT_TRUE(DecodeBmp(bytes).has_value());
  std::vector<uint8_t> truncated(bytes.begin(), bytes.end() - 1);
  EXPECT_FALSE(DecodeBmp(truncated).has_value());
  std::vector<uint8_t> badMagic = bytes;
  badMagic[0] = 'X';
  EXPECT_FALSE(DecodeBmp(badMagic).has_value());
}

// ---------------------------------------------------------------------------
// Character generator.

std::string RowsOf(uint8_t code) {
  std::string text;
  char buffer[4];
  for (uint8_t row : CharGenGlyph(code)) {
    std::snprintf(buffer, sizeof buffer, "%02X ", row);
    text += buffer;
  }
  text.pop_back();
  return text;
}

TEST(CharGen5x7, TellingRows) {
  EXPECT_EQ(RowsOf('A'), "0E 11 11 1F 11 11 11");
  EXPECT_EQ(RowsOf('0'), "0E 11 13 15 19 11 0E");
  EXPECT_EQ(RowsOf('a'), "00 00 0E 12 12 12 0D");
  EXPECT_EQ(RowsOf('g'), "00 00 0F 11 0F 01 06");
  EXPECT_EQ(RowsOf('%'), "18 19 02 04 08 13 03");
}

bool Defined(int code) {
  return (code >= 0 && code <= 31) || (code >= 33 && code <= 127) || code == 138 || code == 154 ||
         (code >= 192 && code <= 255 && code != 247);
}

TEST(CharGen5x7, CoverageAndRowFormat) {
  const std::span<const TCharGenGlyph, 256> table = CharGenTable();
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE(code);
    const TCharGenGlyph& glyph = table[static_cast<std::size_t>(code)];
    EXPECT_EQ(&glyph, &CharGenGlyph(static_cast<uint8_t>(code)));
    const bool lit = std::any_of(glyph.begin(), glyph.end(), [](uint8_t row) { return row != 0; });
    EXPECT_EQ(lit, Defined(code));
    for (uint8_t row : glyph) EXPECT_EQ(row & 0xE0, 0);
  }
}

TEST(CharGen5x7, GlyphsAreDistinctExceptRepeatedLetters) {
  // The special range repeats a few Latin-1 letters; those pairs must match
  // and every other pair of glyphs must differ.
  const std::set<std::pair<int, int>> repeats{{3, 209},  {4, 241},  {19, 197}, {20, 229}, {21, 196},
                                              {22, 228}, {23, 214}, {24, 246}, {25, 220}, {26, 252}};
  for (int a = 0; a < 256; ++a)
    for (int b = a + 1; b < 256; ++b) {
      if (!Defined(a) || !Defined(b)) continue;
      const bool same = CharGenGlyph(static_cast<uint8_t>(a)) == CharGenGlyph(static_cast<uint8_t>(b));
      EXPECT_EQ(same, repeats.contains({a, b})) << a << " and " << b;
    }
}

TEST(CharGen5x7, ReferenceShapes) {
  // A few shapes whose intent is fixed: the checkerboard alternates, the
  // slashed zero differs from O, the accented E keeps its accent above the
  // letter, and the left-pointing triangle is widest in its middle row.
  for (int row = 0; row < 7; ++row) EXPECT_EQ(CharGenGlyph(127)[static_cast<std::size_t>(row)], row % 2 ? 0x0A : 0x15);
  EXPECT_NE(CharGenGlyph('0'), CharGenGlyph('O'));
  EXPECT_NE(CharGenGlyph(200)[0], 0);
  EXPECT_EQ(CharGenGlyph(200)[6], 0x1F);
  const TCharGenGlyph& triangle = CharGenGlyph(0);
  EXPECT_EQ(*std::max_element(triangle.begin(), triangle.end()), triangle[3]);
  EXPECT_EQ(triangle[0] & 0x01, 0x01);
}

}  // namespace
