// skinrender: pictures without a display.
//
//   skinrender --glyphs FILE.png
//       writes a contact sheet of every built-in gauge picture (digit
//       strips, colon and AM/PM glyphs, counter strip, lamp strips, matrix
//       cells, the hand-point cursor), each enlarged 4x under its name and
//       size, followed by the 256 glyphs of the 5 x 7 character generator,
//       so that a person can check them by eye. Pictures that use the
//       palette's key colours (grey unlit, silver lit) are shown a second
//       time below, recoloured through a default TGaugePalette (dark green,
//       lime) as the widgets show them, where unlit and lit are easy to tell.
//
//   skinrender --skin NAME [--out FILE.png] [--print-state] [--block]
//              [--set SENSOR=VALUE]... [--time YYYY-MM-DDTHH:MM:SS]
//       run in a directory that holds Skin/: renders the skin as the
//       dashboard shows it after one frame with the given sensor values
//       (others 0), without a display. --out writes the picture;
//       --print-state prints one JSON object per skin component, in the
//       skin's order, with "name", "class" and what the widget shows
//       ("position", "value", "text", ...). --time sets the clocks' local
//       date-time, so real-time clocks render reproducibly. At least one
//       of --out and --print-state is needed.
//       --block takes the values from the running channel instead: the
//       host's shared block (its name ends in VELQ_CHANNEL_SUFFIX, as the
//       dashboard's does) is read once, read-only, slot p giving the sensor
//       at position p of the skin's layout, and the render is the one that
//       --set with those values gives. --set still applies on top and wins.
//       A block shorter than the layout is rendered with the missing
//       sensors at 0, and they are named on standard error; no block at all
//       is an error naming it.
//
// Exit status: 0 on success, 1 when the picture cannot be drawn or written
// or the channel's block cannot be read (the message goes to standard
// error), 2 for a wrong command line.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CharGen5x7.h"
#include "GaugeClasses.h"
#include "GaugeResources.h"
#include "GaugeSysUtils.h"
#include "Graphics.h"
#include "SkinRenderSkin.h"

namespace {

constexpr int kZoom = 4;
constexpr int kSheetWidth = 1200;
constexpr int kGap = 16;       // between pictures and around the sheet
constexpr int kLabelGap = 4;   // between a name and its picture
constexpr TColor kSheetColor = 0xC8D0D4;  // light grey: black backgrounds and white parts both show
constexpr TColor kFrameColor = clGray;

struct TEntry {
  std::string Label;
  std::unique_ptr<TGraphic> Picture;
  std::unique_ptr<TBitmap> Recoloured;  // null when the picture has no key colours
};

// The three-colour pictures (black, grey, silver) are the ones the widgets
// recolour with the grey and silver keys; the lamp strips have keys of
// their own and keep their colours.
bool HasPaletteKeys(const TBitmap& bitmap) {
  bool keys = false;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TColor c = bitmap.Pixels(x, y);
      if (c != clBlack && c != clGray && c != clSilver) return false;
      keys = keys || c != clBlack;
    }
  return keys;
}

// The picture as a widget with the default palette shows it.
std::unique_ptr<TBitmap> Recolour(const TGraphic& picture) {
  const auto* bitmap = dynamic_cast<const TBitmap*>(&picture);
  if (!bitmap || !HasPaletteKeys(*bitmap)) return nullptr;
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(*bitmap);
  TGaugePalette().ApplyToBitmap(*copy, clGray, clSilver);
  return copy;
}

std::unique_ptr<TGraphic> DecodeResource(std::string_view name) {
  const std::span<const uint8_t> bytes = FindGlyphResource(name);
  std::unique_ptr<TGraphic> graphic;
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') graphic = std::make_unique<TBitmap>();
  else graphic = std::make_unique<TIcon>();  // the cursor: an icon file of type 2
  graphic->LoadFromBytes(bytes);
  return graphic;
}

// The character generator as one picture: 16 x 16 cells, code = row x 16 +
// column, each dot 2 x 2 pixels, lit dots lime and unlit ones dark green on
// black, one dot of gap between cells (it is enlarged with the rest).
std::unique_ptr<TGraphic> CharGenSheet() {
  constexpr int kDot = 2, kCellW = (CharGenColumnCount + 1) * kDot, kCellH = (CharGenRowCount + 1) * kDot;
  auto bitmap = std::make_unique<TBitmap>(16 * kCellW + kDot, 16 * kCellH + kDot);
  TCanvas& canvas = bitmap->Canvas();
  canvas.Brush().SetColor(clBlack);
  canvas.FillRect(Rect(0, 0, bitmap->Width(), bitmap->Height()));
  for (int code = 0; code < 256; ++code) {
    const TCharGenGlyph& glyph = CharGenGlyph(static_cast<uint8_t>(code));
    const int left = kDot + (code % 16) * kCellW, top = kDot + (code / 16) * kCellH;
    for (int row = 0; row < CharGenRowCount; ++row)
      for (int column = 0; column < CharGenColumnCount; ++column) {
        const bool lit = (glyph[static_cast<size_t>(row)] >> (CharGenColumnCount - 1 - column)) & 1;
        canvas.Brush().SetColor(lit ? clLime : 0x003000);
        canvas.FillRect(Bounds(left + column * kDot, top + row * kDot, kDot - 1, kDot - 1));
      }
  }
  return bitmap;
}

void WriteGlyphSheet(const std::string& path) {
  std::vector<TEntry> entries;
  for (std::string_view name : GlyphResourceNames()) {
    std::unique_ptr<TGraphic> picture = DecodeResource(name);
    const std::string label = std::string(name) + "  " + std::to_string(picture->Width()) + "x" +
                              std::to_string(picture->Height());
    std::unique_ptr<TBitmap> recoloured = Recolour(*picture);
    entries.push_back({label, std::move(picture), std::move(recoloured)});
  }
  entries.push_back({"character generator 5x7: codes 0-255, 16 per row", CharGenSheet(), nullptr});

  TBitmap scratch(1, 1);
  TFont font;
  font.SetName("Arial");
  font.SetHeight(-13);
  font.SetColor(clBlack);
  scratch.Canvas().Font().Assign(font);
  const int labelHeight = GetTextSize(scratch.Canvas(), "Xg").Y;

  // Shelves: pictures left to right in name order, a new shelf when the
  // next one does not fit the sheet's width.
  struct TPlace {
    TPoint Label;
    TRect Picture;
    TRect Recoloured;
  };
  std::vector<TPlace> places;
  int x = kGap, y = kGap, shelfHeight = 0;
  for (const TEntry& e : entries) {
    const int w = std::max(CheckedMul(e.Picture->Width(), kZoom), GetTextSize(scratch.Canvas(), e.Label).X);
    const int pictureHeight = CheckedMul(e.Picture->Height(), kZoom);
    const int h = labelHeight + kLabelGap + pictureHeight + (e.Recoloured ? kLabelGap + pictureHeight : 0);
    if (x > kGap && x + w + kGap > kSheetWidth) {
      x = kGap;
      y += shelfHeight + kGap;
      shelfHeight = 0;
    }
    const TRect picture = Bounds(x, y + labelHeight + kLabelGap, e.Picture->Width() * kZoom, pictureHeight);
    places.push_back({{x, y}, picture, OffsetRect(picture, 0, pictureHeight + kLabelGap)});
    x += w + kGap;
    shelfHeight = std::max(shelfHeight, h);
  }
  const int sheetHeight = y + shelfHeight + kGap;

  TBitmap sheet(kSheetWidth, sheetHeight);
  TCanvas& canvas = sheet.Canvas();
  canvas.Brush().SetColor(kSheetColor);
  canvas.FillRect(Rect(0, 0, kSheetWidth, sheetHeight));
  canvas.Font().Assign(font);
  canvas.SetCopyMode(cmSrcCopy);
  for (size_t i = 0; i < entries.size(); ++i) {
    const TPlace& p = places[i];
    canvas.Brush().SetStyle(bsClear);
    canvas.TextOut(p.Label.X, p.Label.Y, entries[i].Label);
    // A frame just outside the picture shows where its edges are.
    canvas.Brush().SetColor(kFrameColor);
    canvas.FrameRect(InflateRect(p.Picture, 1, 1));
    canvas.StretchDraw(p.Picture, *entries[i].Picture);
    if (entries[i].Recoloured) {
      canvas.FrameRect(InflateRect(p.Recoloured, 1, 1));
      canvas.StretchDraw(p.Recoloured, *entries[i].Recoloured);
    }
  }

  TPngImage png;
  png.Assign(sheet);
  const std::vector<uint8_t> bytes = png.SaveToBytes();
  WriteFileBytes(path, bytes);
}

constexpr const char* kUsage =
    "usage: skinrender --glyphs FILE.png\n"
    "       skinrender --skin NAME [--out FILE.png] [--print-state] [--block] [--set SENSOR=VALUE]...\n"
    "                  [--time YYYY-MM-DDTHH:MM:SS]\n"
    "       skinrender --help\n"
    "  --block reads the sensor values from the running host's data block (named with\n"
    "  VELQ_CHANNEL_SUFFIX), slot by slot in the skin's layout, instead of all 0; --set\n"
    "  overrides single sensors. Sensors the block has no slot for read 0 and are named\n"
    "  on standard error; a missing block is an error (status 1).\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
      std::printf("skinrender %s\n", ProductVersion());
      return 0;
    }
    if (args.size() == 2 && args[0] == "--glyphs") {
      WriteGlyphSheet(args[1]);
      return 0;
    }
    std::string skin;
    TRenderOptions options;
    bool printState = false;
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "--print-state") {
        printState = true;
        continue;
      }
      if (args[i] == "--block") {
        options.FromBlock = true;
        continue;
      }
      if (i + 1 >= args.size()) return Usage();
      const std::string& value = args[++i];
      if (args[i - 1] == "--skin") skin = value;
      else if (args[i - 1] == "--out") options.Out = value;
      else if (args[i - 1] == "--time") {
        options.Time = ParseRenderTime(value);
        if (!options.Time) return Usage();
      } else if (args[i - 1] == "--set") {
        const size_t eq = value.find('=');
        if (eq == std::string::npos) return Usage();
        char* end = nullptr;
        const float v = std::strtof(value.c_str() + eq + 1, &end);
        if (*end != '\0' || end == value.c_str() + eq + 1) return Usage();
        options.Values.emplace_back(value.substr(0, eq), v);
      } else {
        return Usage();
      }
    }
    if (skin.empty() || (options.Out.empty() && !printState)) return Usage();
    if (printState) options.State = &std::cout;
    RenderSkin(skin, options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skinrender: %s\n", e.what());
    return 1;
  }
  return 0;
}
