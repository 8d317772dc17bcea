// Sample metafiles for tests, benchmarks and the fuzz corpus, written with
// libUEMF (EMF and WMF). Every sample states where it draws which colour, so
// that a test can check pixels of the rendered picture. Coordinates in the
// comments are pixels of the picture at its own size (96 dots per inch).
//
// Thread rules: none (pure functions; each call writes its own temporary
// file through libUEMF and removes it).
// Errors: std::runtime_error when libUEMF fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mfsamples {

using TBytes = std::vector<uint8_t>;

enum TFormat { fmEmf, fmWmf };

// Colours as 0xRRGGBB.
constexpr uint32_t kRed = 0xFF0000, kLime = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00, kBlack = 0x000000,
                   kFuchsia = 0xFF00FF, kAqua = 0x00FFFF, kNavy = 0x000080, kWhite = 0xFFFFFF;

// 200 x 100. Filled shapes with a thin black pen, each brush created,
// selected and deleted after use: rectangle (10,10)-(60,40) red, rounded
// rectangle (70,10)-(120,40) lime, ellipse (130,10)-(190,40) blue, polygon
// triangle (10,90)-(60,90)-(35,50) yellow, poly-polygon of two squares
// (70,55)-(90,75) and (100,55)-(120,75) fuchsia, chord and pie of the circle
// (130,50)-(190,100) aqua: the chord keeps the upper half, the pie its
// lower-right quarter.
TBytes Shapes(TFormat format);

// 200 x 100. Lines with a black pen 5 wide: a polyline (10,20)-(190,20),
// a move-to/line-to (10,50)-(190,50), and the upper half of the arc of the
// ellipse (10,60)-(190,100) (its top point (100,60)).
TBytes Lines(TFormat format);
// Hatched brushes, each style on a transparent and on an opaque background.
TBytes Hatches(TFormat format);
// Raster operations of the pen and brush over a red rectangle: XOR, NOT,
// AND.
TBytes RasterOps(TFormat format);
// One self-crossing star filled with the alternate rule, one with winding.
TBytes FillModes(TFormat format);

// 200 x 100. Anisotropic mapping, window origin (100,100) extent (1000,500),
// viewport origin (0,0) extent (200,100): a red rectangle of logical
// (100,100)-(600,350) lands on (0,0)-(100,50); a blue one of logical
// (600,350)-(1100,600) on (100,50)-(200,100).
TBytes MapMode(TFormat format);

// EMF only. 200 x 100. A world transform scaling by 2 and moving by
// (50,20): a lime rectangle of (0,0)-(20,20) lands on (50,20)-(90,60).
TBytes WorldTransform();

// 200 x 100. A 2 x 2 bitmap (top row red, lime; bottom row blue, yellow)
// stretched onto (20,10)-(180,90) by StretchDIBits (EMF) or StretchDIB
// (WMF): each quarter of that box is one colour.
TBytes Bitmap(TFormat format);

// 300 x 100. One text run "HH" in black at (10,10), Arial of the given
// pixel height, weight (400 normal, 700 bold), italic flag and escapement
// (tenths of a degree, counter-clockwise).
TBytes Text(TFormat format, int height, int weight, bool italic, int escapement);

// 300 x 100. "HH" in black at (10,10), Arial 24 pixels, by ExtTextOut with
// the given ETO_ options (0x2000 announces x and y advances, 0x10 glyph
// indices); the record carries one advance per character.
TBytes ExtText(TFormat format, uint16_t options);

// 200 x 100. Clipped to (50,25)-(150,75), a red rectangle over the whole
// picture: red inside the clip box, nothing drawn outside.
TBytes Clip(TFormat format);

// 200 x 100. Records outside the drawn set (comments, colour-management and
// palette records) around a lime rectangle (20,20)-(180,80).
TBytes Unhandled(TFormat format);

// The typical dashboard background: width x height, a navy fill, a grid of
// grey lines, two gauge rings (black discs rimmed in silver) centred at
// (width/4, height/2) and (3*width/4, height/2) with radius height/3, a
// red band (0, height-40)-(width, height), a white title and a 64 x 64
// bitmap logo at (8,8) whose pixels are yellow. Inside a ring at
// (width/4, height/2) the colour is black; between the rings at
// (width/2 + 5, height/2 + 10) navy; at (width/2, height-20) red; at (40,40)
// yellow.
TBytes Background(TFormat format, int width, int height);

}  // namespace mfsamples
