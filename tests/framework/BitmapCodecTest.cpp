// Windows bitmap files of every common variant, built here byte by byte,
// decoded to known pixels; broken files give the system's error.
#include <gtest/gtest.h>

#include <cstring>

#include "BitmapCodec.h"
#include "DrawingTestUtil.h"

using namespace drawtest;

namespace {

struct BmpSpec {
  int headerSize = 40;
  int width = 3;
  int height = 2;  // negative: top-down
  int bpp = 24;
  uint32_t compression = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  std::vector<uint32_t> masks;    // R, G, B (, A)
  std::vector<uint8_t> bits;
  uint32_t colorsUsed = 0;
};

void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> MakeBmp(const BmpSpec& s) {
  std::vector<uint8_t> dib;
  Put(dib, uint32_t(s.headerSize), 4);
  if (s.headerSize == 12) {
    Put(dib, uint32_t(s.width), 2);
    Put(dib, uint32_t(s.height), 2);
    Put(dib, 1, 2);
    Put(dib, uint32_t(s.bpp), 2);
  } else {
    Put(dib, uint32_t(s.width), 4);
    Put(dib, uint32_t(s.height), 4);
    Put(dib, 1, 2);
    Put(dib, uint32_t(s.bpp), 2);
    Put(dib, s.compression, 4);
    Put(dib, uint32_t(s.bits.size()), 4);
    Put(dib, 2835, 4);
    Put(dib, 2835, 4);
    Put(dib, s.colorsUsed, 4);
    Put(dib, 0, 4);
    // Larger headers carry the masks inside; the 40-byte one has them after.
    for (uint32_t m : s.masks) Put(dib, m, 4);
    while (dib.size() < size_t(s.headerSize)) dib.push_back(0);
  }
  for (uint32_t c : s.palette) {
    Put(dib, c & 0xFF, 1);
    Put(dib, (c >> 8) & 0xFF, 1);
    Put(dib, (c >> 16) & 0xFF, 1);
    if (s.headerSize != 12) Put(dib, 0, 1);
  }
  std::vector<uint8_t> file{'B', 'M'};
  Put(file, uint32_t(14 + dib.size() + s.bits.size()), 4);
  Put(file, 0, 4);
  Put(file, uint32_t(14 + dib.size()), 4);
  file.insert(file.end(), dib.begin(), dib.end());
  file.insert(file.end(), s.bits.begin(), s.bits.end());
  return file;
}

// The test picture, top row first: red lime blue / white black gray.
const std::string kPicture = Rows({"rgb", ".#a"});
const std::vector<uint32_t> kPalette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};

std::vector<BmpSpec> Variants() {
  std::vector<BmpSpec> v;
  BmpSpec s;
  // 4 bits: indices 0 1 2 / 3 4 5, bottom row first, rows padded to 4 bytes.
  s = {};
  s.bpp = 4;
  s.palette = kPalette;
  s.colorsUsed = 6;
  s.bits = {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0};
  v.push_back(s);
  // 8 bits, full 256-entry palette implied by colorsUsed = 0.
  s = {};
  s.bpp = 8;
  s.palette = kPalette;
  s.palette.resize(256, 0x123456);
  s.bits = {3, 4, 5, 0, 0, 1, 2, 0};
  v.push_back(s);
  // 8 bits with the 12-byte core header and 3-byte palette entries.
  s = {};
  s.headerSize = 12;
  s.bpp = 8;
  s.palette = kPalette;
  s.palette.resize(256, 0);
  s.bits = {3, 4, 5, 0, 0, 1, 2, 0};
  v.push_back(s);
  // 24 bits, bottom-up.
  s = {};
  s.bits = {0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 0x80, 0x80, 0, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0};
  v.push_back(s);
  // 24 bits, top-down.
  s.height = -2;
  s.bits = {0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 0x80, 0x80, 0, 0, 0};
  v.push_back(s);
  // 32 bits BGRX.
  s = {};
  s.bpp = 32;
  s.bits = {0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x80, 0x80, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
  v.push_back(s);
  // 32 bits with bit fields in RGBX order, masks inside a 108-byte header.
  s = {};
  s.headerSize = 108;
  s.bpp = 32;
  s.compression = 3;
  s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0};
  s.bits = {0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x80, 0x80, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0};
  v.push_back(s);
  // RLE8: an absolute run for the bottom row, encoded runs for the top one.
  s = {};
  s.bpp = 8;
  s.compression = 1;
  s.palette = kPalette;
  s.colorsUsed = 6;
  s.bits = {0, 3, 3, 4, 5, 0, 0, 0, 1, 0, 1, 1, 1, 2, 0, 1};
  v.push_back(s);
  // RLE4: the same with nibbles.
  s = {};
  s.bpp = 4;
  s.compression = 2;
  s.palette = kPalette;
  s.colorsUsed = 6;
  s.bits = {0, 3, 0x34, 0x50, 0, 0, 2, 0x01, 1, 0x20, 0, 1};
  v.push_back(s);
  return v;
}

std::vector<uint8_t> Sixteen(uint32_t compression) {
  BmpSpec s;
  s.bpp = 16;
  s.compression = compression;
  std::vector<uint16_t> px;
  if (compression == 3) {
    s.masks = {0xF800, 0x07E0, 0x001F};
    px = {0xFFFF, 0x0000, 0x8410, 0xF800, 0x07E0, 0x001F};  // white black gray(132,130,132) / red lime blue
  } else {
    px = {0x7FFF, 0x0000, 0x4210, 0x7C00, 0x03E0, 0x001F};
  }
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 3; ++i) Put(s.bits, px[size_t(row * 3 + i)], 2);
    Put(s.bits, 0, 2);
  }
  return MakeBmp(s);
}

TEST(BitmapCodecTest, EveryVariantDecodesToTheSamePicture) {
  int index = 0;
  for (const BmpSpec& variant : Variants()) {
    TBitmap bitmap;
    bitmap.LoadFromBytes(MakeBmp(variant));
    EXPECT_EQ(Art(bitmap), kPicture) << "variant " << index;
    ++index;
  }
}

TEST(BitmapCodecTest, SixteenBitPixelsScaleTheirChannels) {
  TBitmap rgb555;
  rgb555.LoadFromBytes(Sixteen(0));
  EXPECT_EQ(rgb555.Pixels(0, 0), clRed);
  EXPECT_EQ(rgb555.Pixels(2, 0), clBlue);
  EXPECT_EQ(rgb555.Pixels(0, 1), clWhite);
  EXPECT_EQ(rgb555.Pixels(2, 1), RGB(132, 132, 132));
  TBitmap rgb565;
  rgb565.LoadFromBytes(Sixteen(3));
  EXPECT_EQ(rgb565.Pixels(1, 0), clLime);
  EXPECT_EQ(rgb565.Pixels(2, 1), RGB(132, 130, 132));
  EXPECT_EQ(rgb565.PixelFormat(), pf16bit);
}

TEST(BitmapCodecTest, OneBitFilesAreMonochromeAndKeepTheirColours) {
  BmpSpec s;
  s.bpp = 1;
  s.palette = {0x000000, 0xFFFFFF};
  s.bits = {0x40, 0, 0, 0, 0xA0, 0, 0, 0};
  TBitmap bitmap;
  bitmap.LoadFromBytes(MakeBmp(s));
  EXPECT_TRUE(bitmap.Monochrome());
  EXPECT_EQ(bitmap.PixelFormat(), pf1bit);
  EXPECT_EQ(Art(bitmap), Rows({".#.", "#.#"}));
}

TEST(BitmapCodecTest, RleDeltaSkipsPixelsAndMissingEndIsAccepted) {
  BmpSpec s;
  s.width = 4;
  s.bpp = 8;
  s.compression = 1;
  s.palette = kPalette;
  s.colorsUsed = 6;
  // Two gray, jump one right and one up, one white; no end-of-bitmap mark.
  s.bits = {2, 5, 0, 2, 1, 1, 1, 3};
  TBitmap bitmap;
  bitmap.LoadFromBytes(MakeBmp(s));
  EXPECT_EQ(Art(bitmap), Rows({"rrr.", "aarr"}));
}

TEST(BitmapCodecTest, BrokenFilesRaiseTheInvalidBitmapError) {
  auto with = [](auto change) {
    BmpSpec s = Variants()[3];  // 24 bits
    change(s);
    return MakeBmp(s);
  };
  auto patch = [](std::vector<uint8_t> file, size_t pos, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[pos + size_t(i)] = uint8_t(value >> (8 * i));
    return file;
  };
  const std::vector<uint8_t> good = MakeBmp(Variants()[3]);
  const std::vector<uint8_t> rle = MakeBmp(Variants()[7]);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"no BM", patch(good, 0, 'X', 1)},
      {"file header only", std::vector<uint8_t>(good.begin(), good.begin() + 14)},
      {"unknown header size", patch(good, 14, 20, 4)},
      {"zero width", with([](BmpSpec& s) { s.width = 0; })},
      {"zero height", with([](BmpSpec& s) { s.height = 0; })},
      {"two planes", patch(good, 26, 2, 2)},
      {"3 bits per pixel", patch(good, 28, 3, 2)},
      {"RLE on 24 bits", patch(good, 30, 1, 4)},
      {"top-down RLE", patch(rle, 22, uint32_t(-2), 4)},
      {"pixel offset past the end", patch(good, 10, 100000, 4)},
      {"pixels truncated", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"palette past the end", with([](BmpSpec& s) { s.bpp = 8; s.colorsUsed = 200; s.bits.resize(8); })},
      {"RLE absolute run past the end", std::vector<uint8_t>(rle.begin(), rle.begin() + 14 + 40 + 24 + 3)},
      {"huge image", with([](BmpSpec& s) { s.width = 100000; s.height = 100000; })},
  };
  for (const auto& c : cases) {
    TBitmap bitmap(2, 2);
    try {
      bitmap.LoadFromBytes(c.bytes);
      ADD_FAILURE() << c.name << " was accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), "Image bitmap incorrecte") << c.name;
    }
    EXPECT_EQ(bitmap.Width(), 2) << c.name << " changed the bitmap";
  }
}

// Under the sanitizers these find any read outside the buffer: every prefix
// (an exact-size copy) and every byte of every file forced to 0x00 and 0xFF
// either decodes or raises the error.
TEST(BitmapCodecTest, TruncatedOrCorruptedVariantsFailCleanlyOrDecode) {
  auto attempt = [](const std::vector<uint8_t>& bytes) {
    try {
      (void)DecodeBmp(bytes, "Image bitmap incorrecte");
    } catch (const EInvalidGraphic&) {
    }
  };
  for (const BmpSpec& variant : Variants()) {
    const std::vector<uint8_t> file = MakeBmp(variant);
    for (size_t n = 0; n < file.size(); ++n) attempt(std::vector<uint8_t>(file.begin(), file.begin() + std::ptrdiff_t(n)));
    for (size_t i = 0; i < file.size(); ++i)
      for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF)}) {
        std::vector<uint8_t> corrupt = file;
        corrupt[i] = value;
        attempt(corrupt);
      }
  }
}

TEST(BitmapCodecTest, SavingRoundTripsAndUsesTheFixedPalettes) {
  TBitmap bitmap(3, 2);
  Paint(bitmap, {"rgb", ".#a"});
  TBitmap copy;
  copy.LoadFromBytes(bitmap.SaveToBytes(24));
  EXPECT_EQ(Art(copy), kPicture);
  EXPECT_EQ(copy.PixelFormat(), pf24bit);

  bitmap.SetPixels(0, 0, RGB(130, 5, 0));  // nearest 16-colour entry: maroon
  const std::vector<uint8_t> four = bitmap.SaveToBytes(4);
  EXPECT_EQ(four[28], 4);
  EXPECT_EQ(four.size(), 14u + 40u + 64u + 8u);
  copy.LoadFromBytes(four);
  EXPECT_EQ(copy.Pixels(0, 0), clMaroon);
  EXPECT_EQ(copy.Pixels(1, 0), clLime);
  EXPECT_EQ(copy.Pixels(2, 1), clGray);
  EXPECT_EQ(copy.SaveToBytes(), four) << "a 4-bit bitmap saves as 4 bits";

  bitmap.SetMonochrome(true);
  copy.LoadFromBytes(bitmap.SaveToBytes());
  EXPECT_TRUE(copy.Monochrome());
  EXPECT_EQ(Art(copy), Rows({"###", ".##"}));
}

TEST(BitmapCodecTest, DataPropertyIsCountThenFile) {
  const TPropInfo* data = TBitmap::StaticClass().FindProp("Data");
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->Kind, TPropKind::Binary);

  TBitmap source(3, 2);
  Paint(source, {"rgb", ".#a"});
  const auto payload = std::get<std::vector<uint8_t>>(data->Getter(source));
  const std::vector<uint8_t> file = source.SaveToBytes();
  ASSERT_EQ(payload.size(), 4 + file.size());
  EXPECT_EQ(payload[0] | (payload[1] << 8), int(file.size()));
  EXPECT_EQ(payload[4], 'B');

  TBitmap target;
  data->Setter(target, payload);
  EXPECT_EQ(Art(target), kPicture);
  data->Setter(target, std::vector<uint8_t>{0, 0, 0, 0});
  EXPECT_TRUE(target.Empty());
  EXPECT_EQ(std::get<std::vector<uint8_t>>(data->Getter(target)), (std::vector<uint8_t>{0, 0, 0, 0}));

  const std::vector<std::vector<uint8_t>> bad = {
      {1, 0},                               // no count
      {9, 0, 0, 0, 'B', 'M'},               // count beyond the payload
      {4, 0, 0, 0, 'P', 'K', 3, 4},         // not a bitmap file
  };
  for (const auto& b : bad) EXPECT_THROW(data->Setter(target, b), EInvalidGraphic);
}

}  // namespace
