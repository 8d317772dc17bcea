// TGaugeCustomNum / TGaugeNum: a signed integer shown as a row of
// seven-segment digit cells cut from a built-in strip.
//
// A strip holds 13 cells of width (strip width div 13): the digits 0 to 9,
// the blank digit (10), the unlit sign (11) and the minus sign (12), drawn
// in black, grey (unlit segment) and silver (lit segment). LoadBitmaps
// recolours grey to Palette.Low and silver to Palette.High once per style
// or palette change; a paint only copies cells, black pixels left out so
// the prepared background (Color, or what lies beneath when Transparent)
// shows through.
//
// The row: the magnitude of Value in decimal (nothing for 0 with
// ZeroBlank), padded on the left to Digits characters with "0"
// (LeadingZero) or blank cells, preceded by a sign cell when Min < 0. A
// longer text is not cut. It is placed by Alignment and centred
// vertically. The arithmetic is in the pure functions below.
//
// TGaugeCustomNum publishes nothing; TGaugeNum publishes the number's
// vocabulary. TGaugeClock (GaugeClock.h) shares the glyphs and the cell
// drawing.
//
// Thread rules: user-interface thread only.
// Errors: sizes and positions use checked arithmetic (EIntOverflow instead
// of wrapping). Out-of-range values are clamped; a Min / Max write that
// would break Min < Max is ignored.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "GaugeClasses.h"
#include "GaugeControls.h"

enum TGaugeNumStyle : uint8_t { ns13x24, ns11x20, ns7x13, ns12x17, ns5x7 };
enum TGaugeNumAlignment : uint8_t { naLeftJustify, naCenter, naRightJustify };

const TEnumInfo& GaugeNumStyleNames();
const TEnumInfo& GaugeNumAlignmentNames();

constexpr int32_t kNumMinDigits = 1;
constexpr int32_t kNumMaxDigits = 16;

// Cells of a digit strip.
constexpr int32_t kNumBlankCell = 10;
constexpr int32_t kNumUnlitSignCell = 11;
constexpr int32_t kNumMinusCell = 12;
constexpr int32_t kNumStripCells = 13;

// The built-in pictures of one style.
struct TNumStyleGlyphs {
  const char* Digits;  // "NUM13x24" ...
  const char* Colon;   // "CLOCKSEP1" ...
  const char* AmPm;    // "AMPM13x24" ...
};
TNumStyleGlyphs NumStyleGlyphs(TGaugeNumStyle style) noexcept;

// The text of the digit cells: the magnitude of `value` in decimal (empty
// for 0 with zeroBlank), padded on the left to `digits` with '0'
// (leadingZero) or ' '. The smallest 32-bit value shows its full magnitude
// 2147483648. Digits are clamped to 1..16. At most 16 characters.
std::string NumText(int32_t value, int32_t digits, bool leadingZero, bool zeroBlank);

// n cells of cellWidth with spacing between them: n x cellWidth + (n - 1) x
// spacing. EIntOverflow when it does not fit 32 bits.
int32_t NumRowWidth(int32_t cells, int32_t cellWidth, int32_t spacing);

// Left edge of a row of `rowWidth` in a client area `clientWidth` wide:
// 0, (client - row) div 2, or client - row.
int32_t NumRowStart(TGaugeNumAlignment alignment, int32_t clientWidth, int32_t rowWidth);

// One cell of a painted row: which strip cell, and where it goes.
struct TNumCell {
  int32_t Cell = 0;
  int32_t X = 0;
  bool operator==(const TNumCell&) const = default;
};

// The cells of one paint, held in place (a sign cell and at most 16 text
// characters), so painting allocates nothing.
struct TNumCells {
  std::array<TNumCell, kNumMaxDigits + 1> Items{};
  int32_t Count = 0;
  int32_t Y = 0;
  std::span<const TNumCell> Cells() const noexcept { return {Items.data(), static_cast<size_t>(Count)}; }
};

// What the number display paints, from its settings and its size.
struct TNumLayoutInput {
  int32_t Value = 0;
  int32_t Digits = 4;
  bool LeadingZero = false;
  bool ZeroBlank = false;
  bool SignCell = false;
  TGaugeNumAlignment Alignment = naCenter;
  int32_t ClientWidth = 0;
  int32_t ClientHeight = 0;
  int32_t CellWidth = 0;
  int32_t CellHeight = 0;
  int32_t Spacing = 0;
};
TNumCells NumCellsFor(const TNumLayoutInput& input);

// ---- TGaugeCustomNum ---------------------------------------------------------------------

class TGaugeCustomNum : public TGaugeGraphicImageControl {
  VELQ_CLASS(TGaugeCustomNum)
public:
  // 100 x 26, Color black (not the parent's), 4 digits, range 0..9999,
  // spacing 2, ns13x24, centred, palette green / lime.
  explicit TGaugeCustomNum(TComponent* owner);
  ~TGaugeCustomNum() override;

  // Clamped to 1..16; re-applies the automatic size.
  int32_t Digits() const noexcept { return FDigits; }
  void SetDigits(int32_t value);
  // Clamped to Min..Max; a new value repaints, then fires OnChange.
  int32_t Value() const noexcept { return FValue; }
  void SetValue(int32_t value);
  int32_t Spacing() const noexcept { return FSpacing; }
  void SetSpacing(int32_t value);
  TGaugeNumStyle Style() const noexcept { return FStyle; }
  void SetStyle(TGaugeNumStyle value);
  bool LeadingZero() const noexcept { return FLeadingZero; }
  void SetLeadingZero(bool value);
  TGaugePalette* Palette() const noexcept { return FPalette.get(); }
  void SetPalette(const TGaugePalette& value) { FPalette->Assign(value); }
  TGaugeNumAlignment Alignment() const noexcept { return FAlignment; }
  void SetAlignment(TGaugeNumAlignment value);
  // Min < Max always holds: a write that would break it is ignored. An
  // accepted Min sets the sign cell (Min < 0) and repaints; neither write
  // re-clamps Value.
  int32_t Max() const noexcept { return FMax; }
  void SetMax(int32_t value);
  int32_t Min() const noexcept { return FMin; }
  void SetMin(int32_t value);
  bool ZeroBlank() const noexcept { return FZeroBlank; }
  void SetZeroBlank(bool value);
  bool SignCell() const noexcept { return FSignCell; }

  TNotifyEvent OnChange;
  void SetOnChange(TNotifyEvent handler) { OnChange = std::move(handler); }

  int32_t CellWidth() const noexcept { return FCellWidth; }
  int32_t CellHeight() const noexcept { return FCellHeight; }
  const TBitmap& DigitStrip() const noexcept { return *FDigitBitmap; }

  // Loads the glyphs of Style, recolours them with the palette, measures
  // the cell.
  virtual void LoadBitmaps();
  // Width of the drawn row without the sign cell.
  virtual int32_t GetDigitsWidth();
  // The width follows GetDigitsWidth (Align none, left, right), the height
  // the cell (Align none, top, bottom).
  bool CanAutoSize(int& newWidth, int& newHeight) override;
  // The platform's colours changed: the glyphs are prepared again.
  void SysColorChange();

protected:
  virtual void Change();
  // Draws the number's row, then presents the image.
  void Paint() override;
  // Presents the off-screen image (for descendants that draw their own row).
  void PresentImage() { TGaugeGraphicImageControl::Paint(); }
  // Copies strip cell `cell` to (x, y) of the off-screen image, black
  // pixels left out.
  void DrawDigit(int32_t cell, int32_t x, int32_t y);
  // Loads a built-in picture and recolours grey / silver with the palette.
  void LoadGlyph(TBitmap& bitmap, const char* name) const;

private:
  void PaletteChanged();

  int32_t FValue = 0;
  uint8_t FDigits = 4;
  int32_t FMax = 9999;
  int32_t FMin = 0;
  int32_t FSpacing = 2;
  TGaugeNumStyle FStyle = ns13x24;
  bool FLeadingZero = false;
  std::unique_ptr<TGaugePalette> FPalette;
  TGaugeNumAlignment FAlignment = naCenter;
  bool FZeroBlank = false;
  std::unique_ptr<TBitmap> FDigitBitmap;
  int32_t FCellWidth = 0;
  int32_t FCellHeight = 0;
  bool FSignCell = false;
};

// ---- TGaugeNum ---------------------------------------------------------------------------

class TGaugeNum : public TGaugeCustomNum {
  VELQ_CLASS(TGaugeNum)
public:
  explicit TGaugeNum(TComponent* owner);
};
