// PNG images, icons, metafiles and pictures: fixtures are built here byte by
// byte (PNG through zlib directly), decoded to known pixels, and broken ones
// give the system's messages.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "DrawingTestUtil.h"
#include "MetafileSamples.h"

using namespace drawtest;

namespace {

void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void PutBE(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  PutBE(png, uint32_t(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  PutBE(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// A PNG of `width` x `height` RGBA pixels 0xAARRGGBB (colour type 6), or RGB (2).
std::vector<uint8_t> MakePng(int width, int height, const std::vector<uint32_t>& pixels, bool alpha = true) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBE(ihdr, uint32_t(width));
  PutBE(ihdr, uint32_t(height));
  ihdr.insert(ihdr.end(), {8, uint8_t(alpha ? 6 : 2), 0, 0, 0});
  Chunk(png, "IHDR", ihdr);
  std::vector<uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[size_t(y * width + x)];
      raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
      if (alpha) raw.push_back(uint8_t(p >> 24));
    }
  }
  uLongf size = compressBound(uLong(raw.size()));
  std::vector<uint8_t> packed(size);
  compress(packed.data(), &size, raw.data(), uLong(raw.size()));
  packed.resize(size);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", {});
  return png;
}

// An icon entry: a 40-byte header with doubled height, 24 or 32-bit pixels
// (bottom-up), then the AND mask (1 = transparent).
std::vector<uint8_t> MakeIconDib(int w, int h, int bpp, const std::vector<uint32_t>& pixels, const std::vector<int>& mask) {
  std::vector<uint8_t> d;
  Put(d, 40, 4);
  Put(d, uint32_t(w), 4);
  Put(d, uint32_t(2 * h), 4);
  Put(d, 1, 2);
  Put(d, uint32_t(bpp), 2);
  for (int i = 0; i < 6; ++i) Put(d, 0, 4);
  for (int row = h - 1; row >= 0; --row) {
    size_t start = d.size();
    for (int x = 0; x < w; ++x) {
      const uint32_t p = pixels[size_t(row * w + x)];
      d.insert(d.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)});
      if (bpp == 32) d.push_back(uint8_t(p >> 24));
    }
    while ((d.size() - start) % 4) d.push_back(0);
  }
  for (int row = h - 1; row >= 0; --row) {
    uint8_t bits[4] = {0, 0, 0, 0};
    for (int x = 0; x < w; ++x)
      if (mask[size_t(row * w + x)]) bits[x / 8] |= uint8_t(0x80 >> (x % 8));
    d.insert(d.end(), bits, bits + 4);
  }
  return d;
}

struct IconEntry {
  int width, height, bpp;
  std::vector<uint8_t> data;
};

std::vector<uint8_t> MakeIco(const std::vector<IconEntry>& entries) {
  std::vector<uint8_t> ico;
  Put(ico, 0, 2);
  Put(ico, 1, 2);
  Put(ico, uint32_t(entries.size()), 2);
  uint32_t offset = uint32_t(6 + 16 * entries.size());
  for (const auto& e : entries) {
    ico.push_back(uint8_t(e.width));
    ico.push_back(uint8_t(e.height));
    ico.push_back(0);
    ico.push_back(0);
    Put(ico, 1, 2);
    Put(ico, uint32_t(e.bpp), 2);
    Put(ico, uint32_t(e.data.size()), 4);
    Put(ico, offset, 4);
    offset += uint32_t(e.data.size());
  }
  for (const auto& e : entries) ico.insert(ico.end(), e.data.begin(), e.data.end());
  return ico;
}

// Draws a graphic onto a white bitmap of its size.
std::unique_ptr<TBitmap> Rendered(const TGraphic& graphic) {
  auto bitmap = std::make_unique<TBitmap>(graphic.Width(), graphic.Height());
  bitmap->Canvas().Draw(0, 0, graphic);
  return bitmap;
}

template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST(PngTest, DecodesColourTypesAndBlendsAlpha) {
  const std::vector<uint32_t> pixels = {0xFFFF0000, 0x00000000, 0xFF0000FF, 0x80000000};
  TPngImage png;
  png.LoadFromBytes(MakePng(2, 2, pixels));
  EXPECT_EQ(png.Width(), 2);
  EXPECT_EQ(png.Height(), 2);
  const auto out = Rendered(png);
  EXPECT_EQ(out->Pixels(0, 0), clRed);
  EXPECT_EQ(out->Pixels(1, 0), clWhite);  // fully transparent
  EXPECT_EQ(out->Pixels(0, 1), clBlue);
  EXPECT_EQ(out->Pixels(1, 1), RGB(127, 127, 127));  // half-transparent black over white

  TPngImage rgb;
  rgb.LoadFromBytes(MakePng(2, 1, {0xFF00FF00, 0xFFFFFF00}, false));
  EXPECT_EQ(Art(*Rendered(rgb)), "gy");
}

TEST(PngTest, SavesAndReloadsTheSamePixels) {
  TPngImage png;
  png.LoadFromBytes(MakePng(2, 1, {0xFF00FF00, 0x40FF0000}));
  TPngImage again;
  again.LoadFromBytes(png.SaveToBytes());
  EXPECT_EQ(again.StraightPixel(0, 0), 0xFF00FF00u);
  EXPECT_EQ(again.StraightPixel(1, 0), 0x40FF0000u);
  TBitmap bitmap(1, 1);
  bitmap.SetPixels(0, 0, clAqua);
  again.Assign(bitmap);
  EXPECT_EQ(again.StraightPixel(0, 0), 0xFF00FFFFu);
}

TEST(PngTest, BrokenFilesRaiseTheInvalidPngError) {
  const std::vector<uint8_t> good = MakePng(3, 3, std::vector<uint32_t>(9, 0xFF123456));
  std::vector<uint8_t> badCrc = good;
  badCrc[8 + 8 + 13] ^= 0xFF;  // the IHDR checksum
  std::vector<uint8_t> badData = good;
  badData[8 + 25 + 8 + 2] ^= 0x55;  // inside the compressed stream
  for (const auto& bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>(good.begin() + 1, good.end()), badCrc, badData}) {
    TPngImage png;
    EXPECT_EQ(ErrorOf([&] { png.LoadFromBytes(bytes); }), "Image PNG incorrecte");
    EXPECT_TRUE(png.Empty());
  }
  // Cut anywhere before the image data ends, a file fails; without only its
  // end chunk the image is complete and loads.
  const size_t endChunk = 12;
  for (size_t n = 0; n < good.size(); ++n) {
    const std::vector<uint8_t> prefix(good.begin(), good.begin() + std::ptrdiff_t(n));
    TPngImage png;
    if (n < good.size() - endChunk) EXPECT_THROW(png.LoadFromBytes(prefix), EInvalidGraphic) << n;
    else EXPECT_NO_THROW(png.LoadFromBytes(prefix)) << n;
  }
}

TEST(IconTest, PicksTheLargestDeepestEntryAndUsesMaskOrAlpha) {
  // Entry 1: 2x2 24-bit with its top-right pixel masked out.
  const auto small = MakeIconDib(2, 2, 24, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}, {0, 1, 0, 0});
  // Entry 2: 3x3 32-bit with alpha: all blue, the centre transparent.
  std::vector<uint32_t> big(9, 0xFF0000FF);
  big[4] = 0x00000000;
  const auto large = MakeIconDib(3, 3, 32, big, std::vector<int>(9, 0));
  TIcon icon;
  icon.LoadFromBytes(MakeIco({{2, 2, 24, small}, {3, 3, 32, large}}));
  EXPECT_EQ(icon.Width(), 3);
  EXPECT_EQ(Art(*Rendered(icon)), Rows({"bbb", "b.b", "bbb"}));

  TIcon masked;
  const auto bytes = MakeIco({{2, 2, 24, small}});
  masked.LoadFromBytes(bytes);
  EXPECT_EQ(Art(*Rendered(masked)), Rows({"r.", "by"}));
  EXPECT_EQ(masked.SaveToBytes(), bytes);

  // A PNG entry larger than the bitmap entry wins.
  TIcon withPng;
  withPng.LoadFromBytes(MakeIco({{2, 2, 24, small}, {4, 4, 32, MakePng(4, 4, std::vector<uint32_t>(16, 0xFF00FF00))}}));
  EXPECT_EQ(withPng.Width(), 4);
  EXPECT_EQ(Rendered(withPng)->Pixels(3, 3), clLime);
}

TEST(IconTest, BrokenFilesRaiseTheInvalidIconError) {
  const auto dib = MakeIconDib(2, 2, 24, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}, {0, 0, 0, 0});
  const auto good = MakeIco({{2, 2, 24, dib}});
  auto patched = [&](size_t pos, uint8_t value) {
    auto b = good;
    b[pos] = value;
    return b;
  };
  const std::vector<std::vector<uint8_t>> bad = {
      {},
      patched(2, 3),    // neither icon nor cursor
      patched(4, 0),    // no entries
      patched(18, 0xF0),  // entry offset past the end
      patched(6 + 16 + 14, 7),  // 7 bits per pixel in the entry's header
      MakeIco({{2, 2, 32, MakePng(2, 2, {1, 2, 3, 4})}}),  // fine PNG...
  };
  for (size_t i = 0; i + 1 < bad.size(); ++i) {
    TIcon icon;
    EXPECT_EQ(ErrorOf([&] { icon.LoadFromBytes(bad[i]); }), "Image icône incorrecte") << i;
  }
  auto brokenPng = bad.back();
  brokenPng.resize(brokenPng.size() - 10);
  Put(brokenPng, 0, 0);
  TIcon icon;
  // The directory still claims the full size: the entry runs past the end.
  EXPECT_EQ(ErrorOf([&] { icon.LoadFromBytes(brokenPng); }), "Image icône incorrecte");
  for (size_t n = 0; n < good.size(); ++n) {
    const std::vector<uint8_t> prefix(good.begin(), good.begin() + std::ptrdiff_t(n));
    EXPECT_THROW(icon.LoadFromBytes(prefix), EInvalidGraphic) << n;
  }
}

// Under the sanitizers: every byte of an icon (bitmap and PNG entries) and of
// a PNG forced to 0x00 and 0xFF either loads or raises the graphic's error.
TEST(IconTest, CorruptedBytesFailCleanlyOrLoad) {
  const auto dib = MakeIconDib(3, 2, 32, {0xFF0000FF, 0, 0x80FF0000, 1, 2, 3}, {0, 1, 0, 1, 0, 1});
  const auto png = MakePng(2, 2, {0xFF0000FF, 0, 0x80FF0000, 0xFFFFFFFF});
  const std::vector<uint8_t> ico = MakeIco({{3, 2, 32, dib}, {2, 2, 32, png}});
  auto forceEach = [](const std::vector<uint8_t>& file, auto load) {
    for (size_t i = 0; i < file.size(); ++i)
      for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF)}) {
        std::vector<uint8_t> corrupt = file;
        corrupt[i] = value;
        try {
          load(corrupt);
        } catch (const EInvalidGraphic&) {
        }
      }
  };
  forceEach(ico, [](const std::vector<uint8_t>& b) { TIcon().LoadFromBytes(b); });
  forceEach(png, [](const std::vector<uint8_t>& b) { TPngImage().LoadFromBytes(b); });
}

class PictureFilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Of this process: the tests of this fixture may run side by side.
    FDir = std::filesystem::path(::testing::TempDir()) / ("velq-picture-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (FDir / name).string();
    WriteFileBytes(path, bytes);
    return path;
  }
  std::filesystem::path FDir;
};

TEST_F(PictureFilesTest, LoadsByExtensionWithoutRegardToCase) {
  TBitmap bitmap(2, 1);
  Paint(bitmap, {"rg"});
  const auto dib = MakeIconDib(1, 1, 24, {0x0000FF}, {0});
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    const char* className;
  };
  const Case cases[] = {
      {"a.BMP", bitmap.SaveToBytes(), "TBitmap"},
      {"b.Png", MakePng(1, 1, {0xFFFF0000}), "TPNGObject"},
      {"c.ico", MakeIco({{1, 1, 24, dib}}), "TIcon"},
      {"d.EMF", mfsamples::Shapes(mfsamples::fmEmf), "TMetafile"},
      {"e.wmf", mfsamples::Shapes(mfsamples::fmWmf), "TMetafile"},
  };
  for (const auto& c : cases) {
    TPicture picture;
    picture.LoadFromFile(Write(c.name, c.bytes));
    ASSERT_NE(picture.Graphic(), nullptr) << c.name;
    EXPECT_EQ(picture.Graphic()->ClassName(), c.className) << c.name;
  }
}

TEST_F(PictureFilesTest, ErrorsCarryTheSystemMessagesAndKeepThePicture) {
  TPicture picture;
  picture.LoadFromFile(Write("keep.bmp", TBitmap(3, 3).SaveToBytes()));
  const std::string missing = (FDir / "missing.bmp").string();
  EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(missing); }),
            "Impossible d'ouvrir le fichier \"" + missing + "\". " + SysErrorMessage(ENOENT));
  EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(Write("x.gif", {1})); }), "Extension de fichier image inconnue (.gif)");
  EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile((FDir / "noext").string()); }), "Extension de fichier image inconnue (.)");
  EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(Write("bad.bmp", {'B', 'M', 0})); }), "Image bitmap incorrecte");
  EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(FDir.string() + "/"); }), "Extension de fichier image inconnue (.)");
  const std::string dir = (FDir / "dir.bmp").string();
  std::filesystem::create_directories(dir);
  EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(dir); }).rfind("Impossible d'ouvrir le fichier \"" + dir + "\". ", 0), 0u);
  EXPECT_EQ(picture.Width(), 3);
}

TEST(PictureTest, DataIsClassNameThenTheGraphicsOwnData) {
  const TPropInfo* data = TPicture::StaticClass().FindProp("Data");
  ASSERT_NE(data, nullptr);
  TBitmap bitmap(2, 1);
  Paint(bitmap, {"rg"});
  TPicture picture;
  picture.SetGraphic(&bitmap);
  const auto payload = std::get<std::vector<uint8_t>>(data->Getter(picture));
  ASSERT_GT(payload.size(), 8u);
  EXPECT_EQ(std::string(payload.begin(), payload.begin() + 8), "\x07TBitmap");
  EXPECT_EQ(std::vector<uint8_t>(payload.begin() + 8, payload.end()), bitmap.Data());

  TPicture copy;
  data->Setter(copy, payload);
  EXPECT_EQ(Art(copy.Bitmap()), "rg");

  const auto png = MakePng(1, 1, {0xFF0000FF});
  std::vector<uint8_t> pngPayload = {10, 'T', 'P', 'N', 'G', 'O', 'b', 'j', 'e', 'c', 't'};
  pngPayload.insert(pngPayload.end(), png.begin(), png.end());
  data->Setter(copy, pngPayload);
  EXPECT_EQ(copy.Graphic()->ClassName(), "TPNGObject");
  EXPECT_EQ(copy.Width(), 1);
  TPicture again;
  data->Setter(again, std::get<std::vector<uint8_t>>(data->Getter(copy)));
  EXPECT_EQ(static_cast<TPngImage*>(again.Graphic())->StraightPixel(0, 0), 0xFF0000FFu);

  data->Setter(copy, std::vector<uint8_t>{10, 'T', 'J', 'P', 'E', 'G', 'I', 'm', 'a', 'g', 'e', 1, 2});
  EXPECT_EQ(copy.Graphic(), nullptr);
  EXPECT_TRUE(std::get<std::vector<uint8_t>>(data->Getter(copy)).empty());

  std::vector<uint8_t> badBitmap = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p', 2, 0, 0, 0, 'X', 'Y'};
  EXPECT_EQ(ErrorOf([&] { data->Setter(copy, badBitmap); }), "Image bitmap incorrecte");
}

TEST(PictureTest, BitmapAccessorReplacesOtherKindsAndChangesPropagate) {
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  TPngImage png;
  png.LoadFromBytes(MakePng(1, 1, {0xFF0000FF}));
  picture.SetGraphic(&png);
  EXPECT_EQ(changes, 1);
  TBitmap& bitmap = picture.Bitmap();
  EXPECT_EQ(picture.Graphic()->ClassName(), "TBitmap");
  EXPECT_TRUE(bitmap.Empty());
  changes = 0;
  bitmap.SetSize(2, 2);
  bitmap.Canvas().FillRect(Rect(0, 0, 1, 1));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(picture.Width(), 2);

  TPicture other;
  other.Assign(picture);
  EXPECT_EQ(other.Width(), 2);
  EXPECT_NE(other.Graphic(), picture.Graphic());
  TBitmap fromPng;
  fromPng.Assign(png);
  EXPECT_EQ(fromPng.Pixels(0, 0), clBlue);
}

}  // namespace
