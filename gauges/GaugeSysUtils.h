// Arithmetic and drawing helpers shared by every gauge widget, and the
// library's error classes.
//
// - Percentages (`PercentOf`, `ToPercent`) are computed in 80-bit extended
//   precision and truncated, because the bar and zone widgets count pixels
//   and segments with exactly that rounding (for example PercentOf(60, 80)
//   is 47, not 48).
// - The checked-arithmetic helpers are what the widgets use for sizes,
//   positions, percentages and colour channels: an overflow raises
//   EIntOverflow and a narrowing that does not fit raises ERangeError,
//   so a fault never wraps silently into a nonsense picture.
// - The drawing helpers work on a TCanvas with GDI semantics (right and
//   bottom edges exclusive, 1-pixel polylines without their last point).
//
// Thread rules: the pure functions may run on any thread; the drawing
// helpers touch canvases and bitmaps and belong to the user-interface thread
// (or to whichever thread owns the canvas).
// Errors: EIntOverflow ("Débordement d'entier"), ERangeError ("Erreur de
// vérification d'étendue") and EDivByZero ("Division par zéro") from the
// checked helpers and from every helper built on them. EGaugeException is
// the class of the widgets' own errors ("Value out of range." ...).
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Graphics.h"
#include "SysUtils.h"
#include "Types.h"

// ---- errors ------------------------------------------------------------------------------

// Errors that the widgets raise themselves.
class EGaugeException : public Exception { using Exception::Exception; };

// The integer faults of checked arithmetic, with the platform's texts.
class EIntError : public Exception { using Exception::Exception; };
class EIntOverflow : public EIntError {
public:
  EIntOverflow() : EIntError("Débordement d'entier") {}
};
class ERangeError : public EIntError {
public:
  ERangeError() : EIntError("Erreur de vérification d'étendue") {}
};
class EDivByZero : public EIntError {
public:
  EDivByZero() : EIntError("Division par zéro") {}
};

// ---- checked arithmetic ------------------------------------------------------------------
// Signed 32-bit operations that raise EIntOverflow instead of wrapping.
int32_t CheckedAdd(int32_t a, int32_t b);
int32_t CheckedSub(int32_t a, int32_t b);
int32_t CheckedMul(int32_t a, int32_t b);
int32_t CheckedNeg(int32_t a);
// Integer division truncating toward zero ("div"); EDivByZero for b = 0,
// EIntOverflow for INT32_MIN div -1.
int32_t CheckedDiv(int32_t a, int32_t b);
// Remainder with the sign of a ("mod"); EDivByZero for b = 0.
int32_t CheckedMod(int32_t a, int32_t b);

// A real truncated toward zero, or rounded to nearest with ties to even;
// ERangeError when the result does not fit 32 bits (or the value is NaN).
int32_t CheckedTrunc(long double value);
int32_t CheckedRound(long double value);

// A narrowing conversion that raises ERangeError when the value does not
// fit the target type (for example a channel into uint8_t).
template <class To, class From>
To CheckedNarrow(From value) {
  static_assert(std::is_integral_v<To> && std::is_integral_v<From>);
  if (!std::in_range<To>(value)) throw ERangeError();
  return static_cast<To>(value);
}

// ---- percentages and small integer helpers -----------------------------------------------

// Trunc(total x (percent x 0.01)) in extended precision. The constant 0.01
// rounded to extended lies slightly below one hundredth, so exact multiples
// can land one below: (60, 80) -> 47, (5, 20) -> 0; (100, T) -> T.
int32_t PercentOf(int32_t percent, int32_t total);
// 0 when range is 0, else Trunc(value x 100 / range) in extended precision.
int32_t ToPercent(int32_t value, int32_t range);

constexpr int32_t IntMin(int32_t a, int32_t b) noexcept { return a < b ? a : b; }
constexpr int32_t IntMax(int32_t a, int32_t b) noexcept { return a > b ? a : b; }
// Below low becomes low; otherwise above high becomes high (so with
// low > high the low bound wins for small values only).
constexpr void ClampInt(int32_t& value, int32_t low, int32_t high) noexcept {
  if (value < low) value = low;
  else if (value > high) value = high;
}
constexpr int32_t RectWidth(const TRect& r) noexcept { return r.Right - r.Left; }
constexpr int32_t RectHeight(const TRect& r) noexcept { return r.Bottom - r.Top; }
constexpr bool SameRect(const TRect& a, const TRect& b) noexcept {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

// ---- colours -----------------------------------------------------------------------------

// Round to nearest (ties to even), then clamp to 0..255; NaN raises ERangeError.
uint8_t ClampColorChannel(double value);
// Each channel through ClampColorChannel, packed 0x00BBGGRR.
TColor RGBFromChannels(double red, double green, double blue);
// Non-negative colours unchanged; system colour references (top byte 0xFF)
// looked up by their low byte in the platform's system-colour table.
TColor ResolveColor(TColor color) noexcept;

// ---- drawing -----------------------------------------------------------------------------

// Linear colour stripes from `from` to `to`: direction 0 top to bottom,
// 1 left to right, anything else none. The stripes are `step` pixels thick;
// there are d div step + 1 of them (d the extent along the direction, at
// least 1), so the last one can reach beyond the rectangle. The channels
// start at `from` and grow by (to - from) / d x step per stripe. A step
// below 1 gives no stripes (the walk would never advance).
struct TGradientStripe {
  TRect Rect;
  TColor Color = clBlack;
};
std::vector<TGradientStripe> GradientStripes(const TRect& rect, TColor from, TColor to, int32_t direction,
                                             int32_t step);
// Fills the stripes of GradientStripes with a solid brush.
void GradientFill(TCanvas& canvas, const TRect& rect, TColor from, TColor to, int32_t direction, int32_t step);

// `width` nested one-pixel frames, top and left edges in topLeft, bottom and
// right in bottomRight; the rectangle ends inside them (shrunk by width on
// every side). Width 0 draws nothing and leaves the rectangle unchanged.
void DrawFrame3D(TCanvas& canvas, TRect& rect, TColor topLeft, TColor bottomRight, int32_t width);

// The canvas font rotated counter-clockwise by `angle` degrees.
void SetFontAngle(TCanvas& canvas, int32_t angle);
// Width (X) and height (Y) of the unrotated text in the canvas font.
TPoint GetTextSize(TCanvas& canvas, const std::string& text);

// Decorated text; the font colour is kept and restored, the brush is left
// clear. Embossed: shadow at (x+1, y+1), highlight at (x-1, y-1), then the
// text. Shadow: shadow at (x+dx, y+dy), then the text.
void DrawEmbossedText(TCanvas& canvas, int32_t x, int32_t y, const std::string& text, TColor highlight, TColor shadow);
void DrawShadowText(TCanvas& canvas, int32_t x, int32_t y, const std::string& text, TColor shadow, int32_t dx,
                    int32_t dy);
// The letters of `text` (at x, y, rotated by angle degrees) filled with
// `texture` stretched over rect's size; every other pixel of the canvas's
// top-left block of that size stays as it was. Only rect's size is used.
void DrawTexturedText(TCanvas& canvas, const TRect& rect, int32_t x, int32_t y, const std::string& text,
                      const TGraphic& texture, int32_t angle);

// The bitmap repeated from rect's top-left while x < Right and y < Bottom;
// the last row and column are not clipped to the rectangle. An empty
// bitmap draws nothing.
void TileBitmap(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap);
inline TRect BitmapRect(const TGraphic& bitmap) { return Rect(0, 0, bitmap.Width(), bitmap.Height()); }
// Every pixel of `oldColor` becomes `newColor` (one recolouring pass of
// TGaugePalette::ApplyToBitmap).
void ReplaceBitmapColor(TBitmap& bitmap, TColor oldColor, TColor newColor);
// One recolouring pass: on `bitmap`, every pixel whose colour in `source`
// (an unchanged copy) equals `key` becomes `color`, through a monochrome
// mask and the raster operation 0xE20746.
void MaskedRecolor(TBitmap& bitmap, const TBitmap& source, TColor key, TColor color);

// ---- text --------------------------------------------------------------------------------

// The part of `text` before the first `separator`, which is deleted from
// `text` together with the separator; without a separator the whole text,
// leaving `text` empty.
std::string NextToken(std::string& text, char separator);

// ---- image and caption layout ------------------------------------------------------------

// Layout codes of CalcImageTextLayout (the TGaugeImageTextLayout ordinal + 1).
constexpr int32_t kLayoutImageLeft = 1, kLayoutImageRight = 2, kLayoutImageTop = 3, kLayoutImageBottom = 4;

// The push-button arithmetic of CalcImageTextLayout on measured sizes:
// positions of the image and the text inside a client area of clientSize,
// before they are moved by the client rectangle's top-left. Margin and
// spacing -1 mean "share the free room".
void ImageTextPositions(TPoint clientSize, TPoint textSize, int32_t layout, int32_t margin, int32_t spacing,
                        TPoint imageSize, TPoint& imagePos, TPoint& textPos);

// Lays out an image of imageSize and a caption (measured with the canvas
// font, multi-line, DT_CALCRECT on the client width) inside client like a
// push button; imagePos and textRect come out in client's coordinates.
void CalcImageTextLayout(TCanvas& canvas, const TRect& client, const std::string& caption, int32_t layout,
                         int32_t margin, int32_t spacing, TPoint imageSize, TPoint& imagePos, TRect& textRect);
