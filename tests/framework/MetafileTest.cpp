// Metafiles: samples written with libUEMF (MetafileSamples), drawn through
// TMetafile, checked at chosen pixels and by the bounds of what is drawn, so
// that the checks hold whatever the edge anti-aliasing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "DrawingTestUtil.h"
#include "ExtCtrls.h"
#include "MetafileSamples.h"
#include "backend/emf/WmfConverter.h"

using namespace drawtest;
using namespace mfsamples;

namespace {

constexpr uint32_t kUntouched = 0xFFFFFFFF;  // a probe that must stay white

struct TProbe {
  int X, Y;
  uint32_t Rgb;  // 0xRRGGBB, or kUntouched
};

// The metafile drawn at its own size (or `width` x `height`) over white.
std::unique_ptr<TBitmap> Render(const TMetafile& metafile, int width = 0, int height = 0) {
  if (width == 0) width = metafile.Width(), height = metafile.Height();
  auto bitmap = std::make_unique<TBitmap>(width, height);
  bitmap->Canvas().Brush().SetColor(clWhite);
  bitmap->Canvas().FillRect(Rect(0, 0, width, height));
  bitmap->Canvas().StretchDraw(Rect(0, 0, width, height), metafile);
  return bitmap;
}

std::unique_ptr<TMetafile> Load(const TBytes& bytes) {
  auto metafile = std::make_unique<TMetafile>();
  metafile->LoadFromBytes(bytes);
  return metafile;
}

// Each channel within a small distance: interiors are exact, but bitmaps
// are stretched with filtering.
bool Near(TColor actual, uint32_t rgb) {
  const uint32_t expected = rgb == kUntouched ? 0xFFFFFF : rgb;
  const uint32_t a = uint32_t(actual);  // 0x00BBGGRR
  const int dr = int(a & 0xFF) - int(expected >> 16), dg = int((a >> 8) & 0xFF) - int((expected >> 8) & 0xFF),
            db = int((a >> 16) & 0xFF) - int(expected & 0xFF);
  return std::abs(dr) <= 24 && std::abs(dg) <= 24 && std::abs(db) <= 24;
}

void ExpectProbes(const TBitmap& bitmap, const std::vector<TProbe>& probes, const std::string& what) {
  for (const TProbe& p : probes)
    EXPECT_TRUE(Near(bitmap.Pixels(p.X, p.Y), p.Rgb))
        << what << " at (" << p.X << "," << p.Y << "): got 0x" << std::hex << uint32_t(bitmap.Pixels(p.X, p.Y))
        << " (0x00BBGGRR), want 0x" << p.Rgb << " (0xRRGGBB)";
}

int InkCount(const TBitmap& bitmap) {
  int n = 0;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) n += bitmap.Pixels(x, y) != clWhite;
  return n;
}

const char* Name(TFormat f) { return f == fmEmf ? "EMF" : "WMF"; }

}  // namespace

// Every record family, in both formats: the same drawing comes out.
TEST(MetafileTest, RecordFamiliesDrawWhereTheyShould) {
  struct Case {
    const char* Name;
    TBytes (*Make)(TFormat);
    std::vector<TProbe> Probes;
  };
  const std::vector<Case> cases = {
      {"shapes",
       &Shapes,
       {{35, 25, kRed},
        {12, 12, kRed},          // a rectangle's corner is filled
        {71, 11, kUntouched},    // a rounded rectangle's is not
        {95, 25, kLime},
        {160, 25, kBlue},
        {35, 80, kYellow},
        {80, 65, kFuchsia},
        {110, 65, kFuchsia},
        {95, 65, kUntouched},    // between the two polygons of the poly-polygon
        {160, 60, kAqua},        // chord: upper half
        {175, 90, kAqua},        // pie: lower-right quarter
        {145, 92, kUntouched},   // neither
        {5, 5, kUntouched}}},
      {"lines",
       &Lines,
       {{100, 20, kBlack},
        {100, 21, kBlack},       // 5 pixels wide
        {100, 50, kBlack},
        {100, 61, kBlack},       // top of the arc
        {100, 35, kUntouched},
        {100, 97, kUntouched},   // the arc's lower half is not drawn
        {5, 20, kUntouched}}},
      {"map mode",
       &MapMode,
       {{50, 25, kRed}, {150, 75, kBlue}, {150, 25, kUntouched}, {50, 75, kUntouched}}},
      {"bitmap",
       &Bitmap,
       {{50, 25, kRed}, {150, 25, kLime}, {50, 75, kBlue}, {150, 75, kYellow}, {10, 50, kUntouched},
        {190, 50, kUntouched}}},
      {"clip",
       &Clip,
       {{100, 50, kRed}, {52, 27, kRed}, {40, 50, kUntouched}, {160, 50, kUntouched}, {100, 20, kUntouched},
        {100, 80, kUntouched}}},
      {"unhandled records", &Unhandled, {{100, 50, kLime}, {10, 10, kUntouched}}},
      // Hatch lines every 8 device pixels; the gaps keep what is beneath
      // with a transparent background and take the background colour
      // (white) with an opaque one, here over yellow.
      {"hatches",
       &Hatches,
       {{20, 12, kBlue}, {20, 14, kUntouched}, {20, 68, kBlue}, {20, 62, kUntouched}, {37, 62, kYellow},
        {44, 20, kBlue}, {44, 21, kBlue}, {46, 20, kUntouched}}},
      // XOR, NOT and AND of the brush with what lies beneath (red, or the
      // white paper).
      {"raster operations",
       &RasterOps,
       {{70, 30, kYellow}, {150, 30, kFuchsia}, {70, 52, kAqua}, {150, 52, kBlack}, {70, 72, kRed},
        {150, 72, kYellow}, {30, 50, kRed}}},
      // A self-crossing star: its middle is a hole with the alternate rule
      // and filled with the winding one.
      {"fill modes",
       &FillModes,
       {{50, 50, kUntouched}, {150, 50, kBlue}, {50, 30, kBlue}, {150, 30, kBlue}}},
  };
  for (TFormat format : {fmEmf, fmWmf})
    for (const Case& c : cases) {
      const std::string what = std::string(Name(format)) + " " + c.Name;
      auto metafile = Load(c.Make(format));
      ASSERT_EQ(metafile->Width(), 200) << what;
      ASSERT_EQ(metafile->Height(), 100) << what;
      ExpectProbes(*Render(*metafile), c.Probes, what);
    }
}

TEST(MetafileTest, WorldTransformScalesAndMoves) {
  auto metafile = Load(WorldTransform());
  const auto bitmap = Render(*metafile);
  const TRect ink = InkBounds(*bitmap);
  // Edges within two pixels: a figure's right and bottom edges are left
  // out, and the frame maps onto whole pixels.
  EXPECT_NEAR(ink.Left, 50, 2);
  EXPECT_NEAR(ink.Top, 20, 2);
  EXPECT_NEAR(ink.Right, 90, 2);
  EXPECT_NEAR(ink.Bottom, 60, 2);
  ExpectProbes(*bitmap, {{70, 40, kLime}}, "world transform");
}

// One text run: its place, and what height, weight, italic and escapement
// change in it.
TEST(MetafileTest, TextRunFollowsTheFont) {
  for (TFormat format : {fmEmf, fmWmf}) {
    const std::string what = Name(format);
    const auto normal = Render(*Load(Text(format, 24, 400, false, 0)));
    const TRect ink = InkBounds(*normal);
    ASSERT_FALSE(IsRectEmpty(ink)) << what;
    // "HH" from (10,10), top-aligned: capitals start a little below the top.
    EXPECT_GE(ink.Left, 10) << what;
    EXPECT_LE(ink.Left, 16) << what;
    EXPECT_GE(ink.Top, 10) << what;
    EXPECT_LE(ink.Top, 20) << what;
    const int height = ink.Bottom - ink.Top, width = ink.Right - ink.Left;
    EXPECT_NEAR(height, 17, 3) << what;  // capital height of a 24-pixel Arial
    EXPECT_GT(width, height) << what;

    const TRect tall = InkBounds(*Render(*Load(Text(format, 48, 400, false, 0))));
    EXPECT_NEAR(double(tall.Bottom - tall.Top) / height, 2.0, 0.25) << what;

    EXPECT_GT(InkCount(*Render(*Load(Text(format, 24, 700, false, 0)))), InkCount(*normal) * 5 / 4) << what;

    // Escapement 90 degrees: the run goes upwards from its reference point
    // (the sample puts it low enough for the run to fit).
    const TRect up = InkBounds(*Render(*Load(Text(format, 24, 400, false, 900))));
    EXPECT_GT(up.Bottom - up.Top, up.Right - up.Left) << what;
    EXPECT_LE(up.Bottom, 92) << what;

    // Italic letters lean right: their top half sits further right than
    // their bottom half.
    auto lean = [](const TBitmap& b) {
      const TRect r = InkBounds(b);
      const int mid = (r.Top + r.Bottom) / 2;
      double top = 0, bottom = 0;
      int nt = 0, nb = 0;
      for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x)
          if (b.Pixels(x, y) != clWhite) (y < mid ? (top += x, ++nt) : (bottom += x, ++nb));
      return top / std::max(nt, 1) - bottom / std::max(nb, 1);
    };
    EXPECT_GT(lean(*Render(*Load(Text(format, 24, 400, true, 0)))), lean(*normal) + 1.0) << what;
  }
}

// ExtTextOut options that change the advance array (x and y advances) or
// the background: the run still draws where it should. Clipped to the
// sample's empty rectangle, it draws nothing, as GDI does.
TEST(MetafileTest, ExtTextOutOptionsKeepTheRun) {
  for (TFormat format : {fmEmf, fmWmf}) {
    for (uint16_t options : {uint16_t(0), uint16_t(0x2000), uint16_t(0x0002)}) {
      const TRect ink = InkBounds(*Render(*Load(ExtText(format, options))));
      EXPECT_FALSE(IsRectEmpty(ink)) << Name(format) << " options 0x" << std::hex << options;
      EXPECT_GE(ink.Left, 10) << Name(format) << " options 0x" << std::hex << options;
      EXPECT_LE(ink.Top, 34) << Name(format) << " options 0x" << std::hex << options;
    }
    EXPECT_TRUE(IsRectEmpty(InkBounds(*Render(*Load(ExtText(format, 0x2000 | 0x0004)))))) << Name(format);
  }
}

TEST(MetafileTest, SizeComesFromTheHeaderAt96Dpi) {
  EXPECT_EQ(HundredthsMmToPixels(2540), 96);
  EXPECT_EQ(HundredthsMmToPixels(5292), 200);
  EXPECT_EQ(HundredthsMmToPixels(0), 0);
  EXPECT_EQ(HundredthsMmToPixels(-5), 0);
  EXPECT_EQ(MetafileUnitsToPixels(1440, 1440), 96);
  EXPECT_EQ(MetafileUnitsToPixels(1000, 480), 200);
  EXPECT_EQ(MetafileUnitsToPixels(100, 0), 0);

  // An EMF frame of 1024 x 600 pixels; a placeable WMF box in twips.
  EXPECT_EQ(Load(Background(fmEmf, 1024, 600))->Width(), 1024);
  EXPECT_EQ(Load(Background(fmEmf, 1024, 600))->Height(), 600);
  TBytes twips = Shapes(fmWmf);
  auto put16 = [&](size_t at, uint16_t v) {
    twips[at] = uint8_t(v);
    twips[at + 1] = uint8_t(v >> 8);
  };
  put16(10, 2880);  // right
  put16(12, 1440);  // bottom
  put16(14, 1440);  // units per inch
  uint16_t sum = 0;
  for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(twips[i] | twips[i + 1] << 8);
  put16(20, sum);
  auto metafile = Load(twips);
  EXPECT_EQ(metafile->Width(), 192);
  EXPECT_EQ(metafile->Height(), 96);
  // The file's own window still maps its drawing onto the whole picture.
  ExpectProbes(*Render(*metafile), {{34, 24, kRed}}, "WMF in twips");
}

TEST(MetafileTest, StretchedDrawingRendersOncePerSize) {
  auto metafile = Load(Shapes(fmEmf));
  const auto big = Render(*metafile, 400, 200);
  ExpectProbes(*big, {{70, 50, kRed}, {190, 50, kLime}, {320, 50, kBlue}, {160, 130, kFuchsia}}, "stretched");
  EXPECT_EQ(metafile->Renderings(), 1);
  TBitmap again(400, 200);
  again.Canvas().StretchDraw(Rect(0, 0, 400, 200), *metafile);
  EXPECT_EQ(metafile->Renderings(), 1);
  Render(*metafile, 100, 50);
  EXPECT_EQ(metafile->Renderings(), 2);
  // A copy shares the player but keeps its own rendering.
  TMetafile copy;
  copy.Assign(*metafile);
  EXPECT_EQ(Art(*Render(copy)), Art(*Render(*metafile)));
}

TEST(MetafileTest, ImageControlPlacesTheMetafileLikeOtherPictures) {
  auto metafile = Load(Shapes(fmEmf));  // 200 x 100
  struct Case {
    int Width, Height;
    bool Stretch, Center, Proportional;
    std::vector<TProbe> Probes;
  };
  const Case cases[] = {
      {400, 200, false, false, false, {{35, 25, kRed}, {250, 50, kUntouched}}},
      {400, 200, true, false, false, {{70, 50, kRed}, {320, 50, kBlue}}},       // scaled by 2
      {400, 200, false, true, false, {{135, 75, kRed}, {35, 25, kUntouched}}},  // moved by (100, 50)
      // Scaled to the height, the width following, centred: moved by (100, 0).
      {400, 100, true, true, true, {{135, 25, kRed}, {35, 25, kUntouched}, {360, 25, kUntouched}}},
  };
  for (const Case& c : cases) {
    TImage image(nullptr);
    image.SetBounds(0, 0, c.Width, c.Height);
    image.SetStretch(c.Stretch);
    image.SetCenter(c.Center);
    image.SetProportional(c.Proportional);
    image.Picture()->SetGraphic(metafile.get());
    TBitmap bitmap(c.Width, c.Height);
    bitmap.Canvas().Brush().SetColor(clWhite);
    bitmap.Canvas().FillRect(Rect(0, 0, c.Width, c.Height));
    image.PaintMessage(&bitmap.Canvas());
    ExpectProbes(bitmap, c.Probes,
                 "stretch " + std::to_string(c.Stretch) + " center " + std::to_string(c.Center) + " proportional " +
                     std::to_string(c.Proportional));
  }
}

TEST(MetafileTest, PictureDataDrawsTheSameAsTheFile) {
  for (TFormat format : {fmEmf, fmWmf}) {
    const TBytes file = Background(format, 320, 200);
    const auto dir = std::filesystem::path(::testing::TempDir()) / ("velq-metafile-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (format == fmEmf ? "back.emf" : "back.wmf")).string();
    WriteFileBytes(path, file);
    TPicture fromFile;
    fromFile.LoadFromFile(path);
    std::filesystem::remove_all(dir);

    std::vector<uint8_t> data = {9, 'T', 'M', 'e', 't', 'a', 'f', 'i', 'l', 'e'};
    data.insert(data.end(), file.begin(), file.end());
    TPicture inline_;
    inline_.SetData(data);
    ASSERT_EQ(inline_.Graphic()->ClassName(), "TMetafile");
    EXPECT_EQ(inline_.Data(), data);
    const auto a = Render(static_cast<const TMetafile&>(*fromFile.Graphic()));
    const auto b = Render(static_cast<const TMetafile&>(*inline_.Graphic()));
    ASSERT_EQ(a->Width(), 320);
    for (int y = 0; y < a->Height(); ++y)
      for (int x = 0; x < a->Width(); ++x) ASSERT_EQ(a->Pixels(x, y), b->Pixels(x, y)) << Name(format) << " " << x << "," << y;
    ExpectProbes(*a, {{80, 100, kBlack}, {165, 110, kNavy}, {160, 180, kRed}, {40, 40, kYellow}}, Name(format));
  }
}

TEST(MetafileTest, BadFilesRaiseTheInvalidMetafileError) {
  const TBytes emf = Shapes(fmEmf), wmf = Shapes(fmWmf);
  TBytes badChecksum = wmf;
  badChecksum[20] ^= 0xFF;
  const TBytes plainWmf(wmf.begin() + 22, wmf.end());  // no placeable header
  TBytes huge = emf;
  huge[4] = 0xF0;  // the header record claims more than the file holds
  const std::vector<std::pair<const char*, TBytes>> bad = {
      {"empty", {}},
      {"garbage", TBytes(100, 0x5A)},
      {"EMF without its end", TBytes(emf.begin(), emf.end() - 20)},
      {"header record past the end", huge},
      {"WMF without its end", TBytes(wmf.begin(), wmf.end() - 6)},
      {"WMF with a bad checksum", badChecksum},
      {"WMF without the placeable header", plainWmf},
  };
  for (const auto& [name, bytes] : bad) {
    auto metafile = Load(Unhandled(fmEmf));
    try {
      metafile->LoadFromBytes(bytes);
      ADD_FAILURE() << name << " loaded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), "Métafichier incorrect") << name;
    }
    // The metafile is left as it was.
    ExpectProbes(*Render(*metafile), {{100, 50, kLime}}, name);
  }
  // Every shorter prefix is a truncated file.
  for (const TBytes* file : {&emf, &wmf})
    for (size_t n = 0; n < file->size(); ++n)
      EXPECT_THROW(Load(TBytes(file->begin(), file->begin() + std::ptrdiff_t(n))), EInvalidGraphic) << n;
}

// The header's description and pixel format are not drawn: offsets and
// lengths pointing anywhere do not matter (nothing reads them).
TEST(MetafileTest, HeaderDescriptionAndPixelFormatAreNotRead) {
  TBytes emf = Unhandled(fmEmf);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) emf[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put32(60, 0x7FFF);      // nDescription
  put32(64, 0xFFFFFF00);  // offDescription
  put32(88, 0x1000);      // cbPixelFormat
  put32(92, 0xFFFFFFF0);  // offPixelFormat
  ExpectProbes(*Render(*Load(emf)), {{100, 50, kLime}}, "EMF with a wild description");
}

TEST(MetafileTest, WmfTextFitsItsRecord) {
  struct TCase {
    int16_t Length;
    size_t StringAt, Size, After;
    bool Fits;
  };
  const TCase cases[] = {
      {2, 8, 14, 4, true},       // TextOut "HH": string, then the position
      {3, 8, 16, 4, true},       // an odd length takes a whole word
      {3, 8, 15, 4, false},      //   ... which must fit too
      {2, 8, 13, 4, false},      // no room for the position
      {0, 8, 14, 4, false},      // nothing to draw
      {-1, 8, 14, 4, false},     // negative lengths never fit
      {-12841, 8, 14, 4, false},
      {32767, 14, 100, 0, false},
      {2, 22, 24, 0, true},      // ExtTextOut with its rectangle
  };
  for (const TCase& c : cases)
    EXPECT_EQ(WmfTextFits(c.Length, c.StringAt, c.Size, c.After), c.Fits)
        << "length " << c.Length << " at " << c.StringAt << " in " << c.Size << " + " << c.After;
}

// A WMF text record whose string length is negative or runs past the record
// is skipped and the picture still loads (the library's reader would look
// for the position outside the record, which once crashed); the same record
// with its own length draws.
TEST(MetafileTest, WmfTextWithAWildLengthIsSkipped) {
  // The first record of `function` after the placeable and the WMF headers.
  auto recordAt = [](const TBytes& wmf, uint16_t function) {
    for (size_t at = 22 + 18; at + 6 <= wmf.size();) {
      const uint32_t words = uint32_t(wmf[at]) | uint32_t(wmf[at + 1]) << 8 | uint32_t(wmf[at + 2]) << 16 |
                             uint32_t(wmf[at + 3]) << 24;
      if ((wmf[at + 4] | wmf[at + 5] << 8) == function) return at;
      if (words < 3) break;
      at += size_t(words) * 2;
    }
    ADD_FAILURE() << "no record 0x" << std::hex << function;
    return size_t{0};
  };
  struct TCase {
    const char* Name;
    TBytes File;
    size_t LengthAt;  // of the string length, from the record's start
  };
  const TCase cases[] = {{"TextOut", Text(fmWmf, 20, 400, false, 0), 6}, {"ExtTextOut", ExtText(fmWmf, 0), 10}};
  for (const TCase& c : cases) {
    const size_t record = recordAt(c.File, c.Name == std::string("TextOut") ? 0x0521 : 0x0A32);
    ASSERT_NE(record, 0u) << c.Name;
    EXPECT_FALSE(IsRectEmpty(InkBounds(*Render(*Load(c.File))))) << c.Name << " as written";
    for (const uint16_t length : {uint16_t(0xCDD7), uint16_t(0x8000), uint16_t(0xFFFF), uint16_t(0x7FFF), uint16_t(40)}) {
      TBytes wild = c.File;
      wild[record + c.LengthAt] = uint8_t(length);
      wild[record + c.LengthAt + 1] = uint8_t(length >> 8);
      EXPECT_TRUE(IsRectEmpty(InkBounds(*Render(*Load(wild))))) << c.Name << " with length 0x" << std::hex << length;
    }
  }
}

// Under the sanitizers: every byte of an EMF and a WMF sample forced to 0x00
// and 0xFF either loads and draws, or raises the picture error.
TEST(MetafileTest, CorruptedBytesFailCleanlyOrDraw) {
  for (const TBytes& file : {Shapes(fmEmf), Text(fmEmf, 20, 400, false, 0), Shapes(fmWmf), Bitmap(fmWmf)})
    for (size_t i = 0; i < file.size(); ++i)
      for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF)}) {
        TBytes corrupt = file;
        corrupt[i] = value;
        try {
          auto metafile = Load(corrupt);
          TBitmap bitmap(40, 20);
          bitmap.Canvas().StretchDraw(Rect(0, 0, 40, 20), *metafile);
        } catch (const EInvalidGraphic&) {
        }
      }
}

TEST(MetafileTest, PictureFileErrorKeepsThePicture) {
  const auto dir = std::filesystem::path(::testing::TempDir()) / ("velq-metafile-error-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string good = (dir / "good.emf").string(), bad = (dir / "bad.wmf").string();
  WriteFileBytes(good, Shapes(fmEmf));
  WriteFileBytes(bad, TBytes{0xD7, 0xCD, 0xC6, 0x9A, 1, 2, 3});
  TPicture picture;
  picture.LoadFromFile(good);
  try {
    picture.LoadFromFile(bad);
    ADD_FAILURE() << "a bad metafile loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "Métafichier incorrect");
  }
  std::filesystem::remove_all(dir);
  EXPECT_EQ(picture.Width(), 200);
}

// The player's own result: an image of the asked size, premultiplied ARGB,
// opaque where the picture paints and exactly 0 where it paints nothing.
TEST(MetafileTest, RenderLeavesUndrawnPixelsTransparent) {
  struct TCase {
    TFormat Format;
    int Width, Height;
    int X, Y;       // a probe in the red rectangle (10,10)-(60,40) at that size
    uint32_t Pixel;
  };
  const TCase cases[] = {
      {fmEmf, 200, 100, 35, 25, 0xFFFF0000u},
      {fmWmf, 200, 100, 35, 25, 0xFFFF0000u},
      {fmEmf, 400, 50, 70, 12, 0xFFFF0000u},  // stretched: the rectangle moves with the scale
  };
  for (const TCase& c : cases) {
    const std::string what = std::string(Name(c.Format)) + " " + std::to_string(c.Width) + "x" + std::to_string(c.Height);
    const TMetafilePlayer player(Shapes(c.Format));
    const TSurfacePtr image = player.Render(c.Width, c.Height);
    ASSERT_TRUE(image) << what;
    EXPECT_EQ(image->Format(), TSurface::sfArgb32) << what;
    EXPECT_EQ(image->Width(), c.Width) << what;
    EXPECT_EQ(image->Height(), c.Height) << what;
    const TPixelView view = image->View();
    EXPECT_TRUE(view.HasAlpha) << what;
    EXPECT_EQ(view.Row(c.Y)[c.X], c.Pixel) << what;
    // The corner and the gap between the poly-polygon's squares are not drawn.
    EXPECT_EQ(view.Row(1)[1], 0u) << what;
    EXPECT_EQ(view.Row(c.Height * 65 / 100)[c.Width * 95 / 200], 0u) << what;
    // Premultiplied: no channel exceeds the alpha.
    for (int y = 0; y < view.Height; ++y)
      for (int x = 0; x < view.Width; ++x) {
        const uint32_t p = view.Row(y)[x], a = p >> 24;
        ASSERT_TRUE(((p >> 16) & 0xFF) <= a && ((p >> 8) & 0xFF) <= a && (p & 0xFF) <= a)
            << what << " at (" << x << "," << y << "): 0x" << std::hex << p;
      }
  }
}

// The structure checks every player shares read the same sizes as the
// Linux player and refuse the same files.
TEST(MetafileTest, SharedStructureChecksAgreeWithThePlayer) {
  using TMake = TBytes (*)(TFormat);
  for (TMake make : {TMake(&Shapes), TMake(&Lines), TMake(&MapMode), TMake(&Bitmap), TMake(&Clip), TMake(&Unhandled)}) {
    const TBytes emf = make(fmEmf), wmf = make(fmWmf);
    EXPECT_EQ(WalkEmfRecords(emf), emf.size());
    EXPECT_GE(EmfHeaderSize(emf), 88u);
    const TPlaceableWmf placeable = ReadPlaceableWmf(wmf);
    const TMetafilePlayer player(wmf);
    EXPECT_EQ(placeable.Size, (TPoint{player.Width(), player.Height()}));
    EXPECT_EQ(placeable.End, wmf.size());
    EXPECT_EQ(placeable.Records, 22u + 18u);
    EXPECT_EQ(placeable.UnitsPerInch, 96);
    EXPECT_EQ(placeable.Frame, (TPoint{5291, 2645}));  // 200 x 100 pixels at 96 per inch, in 0.01 mm
  }
  // A placeable box in twips, as the size test writes it.
  TBytes twips = Shapes(fmWmf);
  const auto put16 = [&](size_t at, uint16_t v) {
    twips[at] = uint8_t(v);
    twips[at + 1] = uint8_t(v >> 8);
  };
  put16(10, 2880);
  put16(12, 1440);
  put16(14, 1440);
  uint16_t sum = 0;
  for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(twips[i] | twips[i + 1] << 8);
  put16(20, sum);
  EXPECT_EQ(ReadPlaceableWmf(twips).Size, (TPoint{192, 96}));

  const TBytes emf = Shapes(fmEmf), wmf = Shapes(fmWmf);
  TBytes badChecksum = wmf;
  badChecksum[20] ^= 0xFF;
  TBytes noInch = wmf;
  noInch[14] = noInch[15] = 0;
  noInch[20] ^= 96;  // keeps the checksum right
  TBytes shortRecord = wmf;
  shortRecord[40] = 2;  // the first record claims 2 words
  shortRecord[41] = shortRecord[42] = shortRecord[43] = 0;
  const std::vector<std::pair<const char*, TBytes>> badWmf = {
      {"empty", {}},
      {"garbage", TBytes(100, 0x5A)},
      {"without its end", TBytes(wmf.begin(), wmf.end() - 6)},
      {"bad checksum", badChecksum},
      {"no units per inch", noInch},
      {"a record shorter than its head", shortRecord},
      {"without the placeable header", TBytes(wmf.begin() + 22, wmf.end())},
  };
  for (const auto& [name, bytes] : badWmf) {
    EXPECT_THROW(ReadPlaceableWmf(bytes), EInvalidGraphic) << name;
    EXPECT_THROW(TMetafilePlayer{bytes}, EInvalidGraphic) << name;
  }
  TBytes huge = emf;
  huge[4] = 0xF0;
  TBytes shortHeader = emf;
  shortHeader[4] = 84;  // a header record of 84 bytes: the next record starts inside the real header
  for (const auto& [name, bytes] : std::vector<std::pair<const char*, TBytes>>{
           {"EMF without its end", TBytes(emf.begin(), emf.end() - 20)}, {"header record past the end", huge}}) {
    EXPECT_THROW(WalkEmfRecords(bytes), EInvalidGraphic) << name;
    EXPECT_THROW(TMetafilePlayer{bytes}, EInvalidGraphic) << name;
  }
  EXPECT_THROW(EmfHeaderSize(shortHeader), EInvalidGraphic);
  // Every shorter prefix is truncated for the shared checks too.
  for (size_t n = 0; n < wmf.size(); ++n)
    EXPECT_THROW(ReadPlaceableWmf(TBytes(wmf.begin(), wmf.begin() + std::ptrdiff_t(n))), EInvalidGraphic) << n;
  for (size_t n = 0; n < emf.size(); ++n)
    EXPECT_THROW(WalkEmfRecords(TBytes(emf.begin(), emf.begin() + std::ptrdiff_t(n))), EInvalidGraphic) << n;
}

namespace {
// Byte offset of the first EMF record of `type` (0 when there is none).
size_t EmfRecordAt(const TBytes& emf, uint32_t type) {
  for (size_t at = 0; at + 8 <= emf.size();) {
    const uint32_t t = uint32_t(emf[at]) | uint32_t(emf[at + 1]) << 8 | uint32_t(emf[at + 2]) << 16 | uint32_t(emf[at + 3]) << 24;
    const uint32_t size = uint32_t(emf[at + 4]) | uint32_t(emf[at + 5]) << 8 | uint32_t(emf[at + 6]) << 16 |
                          uint32_t(emf[at + 7]) << 24;
    if (t == type) return at;
    if (size < 8) break;
    at += size;
  }
  ADD_FAILURE() << "no EMF record " << type;
  return 0;
}

// Byte offset of the first WMF record of `function` after the headers.
size_t WmfRecordAt(const TBytes& wmf, uint16_t function) {
  for (size_t at = 22 + 18; at + 6 <= wmf.size();) {
    const uint32_t words = uint32_t(wmf[at]) | uint32_t(wmf[at + 1]) << 8 | uint32_t(wmf[at + 2]) << 16 |
                           uint32_t(wmf[at + 3]) << 24;
    if ((wmf[at + 4] | wmf[at + 5] << 8) == function) return at;
    if (words < 3) break;
    at += size_t(words) * 2;
  }
  ADD_FAILURE() << "no WMF record 0x" << std::hex << function;
  return 0;
}

void Put32(TBytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void Put16(TBytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
uint32_t Get32(const TBytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Every record of an EMF through CheckEmfRecord, as the Windows player
// does; false when one is refused.
bool EmfRecordsPass(TBytes& emf) {
  const uint32_t handles = emf[56] | emf[57] << 8;
  try {
    WalkEmfRecords(emf, [&](uint32_t, size_t at, uint32_t size) {
      CheckEmfRecord(std::span<uint8_t>(emf).subspan(at, size), handles);
    });
  } catch (const EInvalidGraphic&) {
    return false;
  }
  return true;
}

TWmfRecordUse WmfUse(const TBytes& wmf, size_t at) {
  const uint16_t objects = wmf[22 + 10] | wmf[22 + 11] << 8;
  return WmfRecordUse(std::span<const uint8_t>(wmf).subspan(at, 2 * Get32(wmf, at)), objects);
}
}  // namespace

// The fields inside EMF records that a system player indexes or counts
// with: a file whose records point outside themselves or the object table
// is refused; sound samples pass.
TEST(MetafileTest, EmfRecordFieldsStayInsideTheirRecord) {
  struct TCase {
    const char* Name;
    TBytes (*Make)(TFormat);
    uint32_t Type;   // the record changed
    size_t Field;    // byte offset in it
    uint32_t Value;  // 32-bit value written there
    bool Passes;
  };
  const TCase cases[] = {
      {"pen in slot 0xFF01", &Shapes, 38, 8, 0xFF01, false},
      {"pen in slot 0 (the metafile)", &Shapes, 38, 8, 0, false},
      {"select of a stock brush", &Shapes, 37, 8, 0x80000000u | 4, true},
      {"select of no stock object", &Shapes, 37, 8, 0x80000000u | 200, false},
      {"delete of a stock object", &Shapes, 40, 8, 0x80000000u | 4, false},
      {"select past the table", &Shapes, 37, 8, 7, false},
      {"polygon of 3 points", &Shapes, 3, 24, 3, true},
      {"polygon counting past its record", &Shapes, 3, 24, 0x300, false},
      {"poly-polygon counts beyond its points", &Shapes, 8, 32, 9, false},
      {"poly-polygon of 0x10000 polygons", &Shapes, 8, 24, 0x10000, false},
      {"bitmap with its own pixel count", &Bitmap, 81, 60, 16, true},
      {"bitmap with half its pixels", &Bitmap, 81, 60, 8, false},
      {"bitmap header past the record", &Bitmap, 81, 48, 0x1000, false},
  };
  for (const TCase& c : cases) {
    TBytes emf = c.Make(fmEmf);
    EXPECT_TRUE(EmfRecordsPass(emf)) << c.Name << ": the sample as written";
    Put32(emf, EmfRecordAt(emf, c.Type) + c.Field, c.Value);
    EXPECT_EQ(EmfRecordsPass(emf), c.Passes) << c.Name;
  }
  // A pen wider than any picture draws is narrowed in the copy, not refused.
  TBytes wide = Lines(fmEmf);
  const size_t pen = EmfRecordAt(wide, 38) + 16;
  Put32(wide, pen, 0x00FF0001);
  EXPECT_TRUE(EmfRecordsPass(wide));
  EXPECT_EQ(Get32(wide, pen), uint32_t(kMaxPenWidth));
  Put32(wide, pen, 5);
  EXPECT_TRUE(EmfRecordsPass(wide));
  EXPECT_EQ(Get32(wide, pen), 5u);
}

// The same for WMF records: what cannot be played is left out, an object
// that cannot be read becomes a placeholder so that the later objects keep
// their slots.
TEST(MetafileTest, WmfRecordFieldsDecideWhatIsPlayed) {
  struct TCase {
    const char* Name;
    TBytes (*Make)(TFormat);
    uint16_t Function;  // the record changed
    size_t Field;       // byte offset in it
    uint16_t Value;     // 16-bit value written there
    TWmfRecordUse Use;
  };
  const TCase cases[] = {
      {"select of slot 1", &Shapes, 0x012D, 6, 1, wuPlay},
      {"select of slot 0xFF00", &Shapes, 0x012D, 6, 0xFF00, wuSkip},
      {"delete of slot 0xFF00", &Shapes, 0x01F0, 6, 0xFF00, wuSkip},
      {"polygon of 3 points", &Shapes, 0x0324, 6, 3, wuPlay},
      {"polygon counting past its record", &Shapes, 0x0324, 6, 0x300, wuSkip},
      {"poly-polygon of 0xFF02 polygons", &Shapes, 0x0538, 6, 0xFF02, wuSkip},
      {"brush of style 1", &Shapes, 0x02FC, 6, 1, wuPlay},
      {"bitmap of 2 rows", &Bitmap, 0x0F43, 28 + 8, 2, wuPlay},
      {"bitmap of 4 rows in the pixels of 2", &Bitmap, 0x0F43, 28 + 8, 4, wuSkip},
      {"bitmap header of 0x100 bytes", &Bitmap, 0x0F43, 28, 0x100, wuSkip},
      {"text of 2 characters", [](TFormat f) { return Text(f, 20, 400, false, 0); }, 0x0521, 6, 2, wuPlay},
      {"text of -1 characters", [](TFormat f) { return Text(f, 20, 400, false, 0); }, 0x0521, 6, 0xFFFF, wuSkip},
      {"text running past its record", [](TFormat f) { return Text(f, 20, 400, false, 0); }, 0x0521, 6, 40, wuSkip},
  };
  for (const TCase& c : cases) {
    TBytes wmf = c.Make(fmWmf);
    const size_t at = WmfRecordAt(wmf, c.Function);
    ASSERT_NE(at, 0u) << c.Name;
    EXPECT_EQ(WmfUse(wmf, at), wuPlay) << c.Name << ": the sample as written";
    Put16(wmf, at + c.Field, c.Value);
    EXPECT_EQ(WmfUse(wmf, at), c.Use) << c.Name;
  }
  // Objects GDI would read unchecked (a region here) keep their slot only.
  TBytes region = Shapes(fmWmf);
  const size_t brush = WmfRecordAt(region, 0x02FC);
  Put16(region, brush + 4, 0x06FF);  // the brush record, renamed CREATEREGION
  EXPECT_EQ(WmfUse(region, brush), wuPlaceholder);
  // A pen record too short for its pen is replaced the same way.
  TBytes pen = Shapes(fmWmf);
  const size_t penAt = WmfRecordAt(pen, 0x02FA);
  TBytes shortPen(pen.begin() + std::ptrdiff_t(penAt), pen.begin() + std::ptrdiff_t(penAt) + 14);
  Put32(shortPen, 0, 7);
  EXPECT_EQ(WmfRecordUse(shortPen, 8), wuPlaceholder);
}
