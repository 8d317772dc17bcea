// TGaugeCounter: a non-negative integer shown as a fixed row of digit
// images cut from one bitmap strip, like a mechanical or LED counter.
//
// The strip (`Bitmap`) holds the ten digits 0 to 9 side by side, each
// Width div 10 pixels wide; extra columns of a strip whose width is not a
// multiple of 10 are never shown. Without a strip of its own the counter
// uses the built-in one, "BMCOUNTER" (90 x 13, lime seven-segment digits on
// black), and assigning an empty bitmap brings that one back.
//
// Each paint composes the row in a private row image: filled with `Color`,
// then one cell per character of the value formatted with at least `Digits`
// digits (leading zeros, as "%.<Digits>d"), each cell `Spacing` pixels after
// the previous one. The row image is exactly `Digits` cells wide, so a value
// with more digits than cells shows its leading digits and loses the rest.
// The row is then placed on the off-screen image, centred (or, with
// `Stretch` and without `AutoSize`, scaled to the client area), pixels of
// `Color` taking `Color` again or, with `Transparent`, letting the
// background through.
//
// The layout arithmetic lives in the pure functions below (CounterLayout,
// CounterText, CounterCells, CounterRowOrigin, CounterAutoSize) so that tests
// can check it without drawing.
//
// Thread rules: user-interface thread only.
// Errors: sizes are computed with checked arithmetic, so a Digits or
// Spacing whose row width overflows 32 bits is refused with EIntOverflow
// and the counter keeps its previous setting; assigning a bitmap raises
// what TBitmap raises. Values out of range are otherwise clamped, never
// refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "GaugeControls.h"

// ---- ranges ------------------------------------------------------------------------------

using TGaugeCounterValue = int32_t;   // 0..2147483647
using TGaugeCounterDigits = uint8_t;  // 1..10

constexpr int32_t kCounterMinDigits = 1;
constexpr int32_t kCounterMaxDigits = 10;

// The name of the built-in digit strip among the library's pictures.
inline constexpr const char* kCounterStripResource = "BMCOUNTER";

// ---- layout arithmetic -------------------------------------------------------------------

// Sizes that follow from a strip and the cell settings.
struct TCounterLayout {
  int32_t FCellWidth = 0;   // strip width div 10
  int32_t FCellHeight = 0;  // strip height
  int32_t FRowWidth = 0;    // digits x cell width + (digits - 1) x spacing
  int32_t FRowHeight = 0;   // strip height
  bool operator==(const TCounterLayout&) const = default;
};

// The layout for a strip of stripWidth x stripHeight. Spacing may be
// negative (cells overlap); the row width can then come out negative, which
// the row image treats as 0. EIntOverflow when a size does not fit 32 bits.
TCounterLayout CounterLayout(int32_t stripWidth, int32_t stripHeight, int32_t digits, int32_t spacing);

// The value in decimal with at least `digits` digits, padded with leading
// zeros (the C format "%.<digits>d"); a longer value keeps all its digits.
// Negative values and digits outside 1..10 are clamped first. At most ten
// characters, so the string never leaves its inline buffer.
std::string CounterText(int32_t value, int32_t digits);

// One character of the text placed in the row image: the strip cell of its
// digit and where that cell goes.
struct TCounterCell {
  int32_t FDigit = 0;
  TRect FSource;  // Bounds(digit x cell width, 0, cell width, cell height) in the strip
  TRect FDest;    // Bounds(x, 0, cell width, cell height) in the row image
  bool operator==(const TCounterCell&) const = default;
};

// The longest text CounterText gives: ten digits, either padding or the
// largest value.
constexpr int32_t kCounterMaxCells = 10;

// The cells of one frame, held in place so that painting a frame allocates
// nothing.
struct TCounterCells {
  std::array<TCounterCell, kCounterMaxCells> FItems{};
  int32_t FCount = 0;
  std::span<const TCounterCell> Cells() const noexcept {
    return {FItems.data(), static_cast<std::size_t>(FCount)};
  }
};

// The cells of `text` from left to right, x starting at 0 and advancing by
// cell width + spacing, keeping only those that meet the row image
// (0 <= x + cell width and x < row width): a cell that starts at or beyond
// the row width would be cut off entirely, which is how an over-long value
// shows only its leading digits. A cell that reaches past an edge is kept;
// drawing clips it. Characters that are not digits are skipped, and cells
// beyond kCounterMaxCells are not kept (the text of CounterText has neither).
// The walk runs in 64 bits, so a huge spacing cuts cells off instead of
// overflowing.
TCounterCells CounterCells(std::string_view text, const TCounterLayout& layout, int32_t spacing);

// Top-left of the unscaled row centred in the client area:
// ((client width - row width) div 2, (client height - row height) div 2),
// both divisions truncating toward zero (so a row wider than the client
// starts left of it by half the excess, rounded toward zero).
TPoint CounterRowOrigin(int32_t clientWidth, int32_t clientHeight, int32_t rowWidth, int32_t rowHeight);

// The automatic size: with Align none, left or right and a row wider than 0
// the width becomes the row width; with Align none, top or bottom and a row
// taller than 0 the height becomes the row height. Other aligns keep both.
void CounterAutoSize(TAlign align, int32_t rowWidth, int32_t rowHeight, int& newWidth, int& newHeight);

// ---- TGaugeCounter -----------------------------------------------------------------------

class TGaugeCounter : public TGaugeGraphicImageControl {
  VELQ_CLASS(TGaugeCounter)
public:
  // 150 x 25 at (0, 0), opaque, Color clBtnFace (not the parent's), value 0,
  // 6 digits, no spacing, not stretched, with the built-in strip.
  explicit TGaugeCounter(TComponent* owner);
  ~TGaugeCounter() override;

  // The shown number; negative values are clamped to 0. A new value
  // repaints, then calls Change.
  TGaugeCounterValue Value() const noexcept { return FValue; }
  void SetValue(int32_t value);
  // Number of cells, clamped to 1..10; a new value re-lays the row out.
  int32_t Digits() const noexcept { return FDigits; }
  void SetDigits(int32_t value);
  // The digit strip, owned by the counter. Changing it in place (loading a
  // file into it, setting its Data) re-lays the row out, falling back to the
  // built-in strip when it becomes empty.
  TBitmap* Bitmap() const noexcept { return FDigitBitmap.get(); }
  // Copies `value` into the owned strip; always assigns, even an equal
  // picture, since the strip's change notification is what re-lays out.
  void SetBitmap(const TBitmap& value);
  // Pixels between neighbouring cells; a new value re-lays the row out.
  int32_t Spacing() const noexcept { return FSpacing; }
  void SetSpacing(int32_t value);
  // Scale the row to the client area (ignored while AutoSize is on); a new
  // value repaints.
  bool Stretch() const noexcept { return FStretch; }
  void SetStretch(bool value);

  // Fired by Change when the value changes.
  TNotifyEvent OnChange;
  void SetOnChange(TNotifyEvent handler) { OnChange = std::move(handler); }

  // What the current strip and settings give; also the row image's size.
  const TCounterLayout& Layout() const noexcept { return FLayout; }
  // The row composed by the last paint (Digits cells, before placing).
  const TBitmap& RowImage() const noexcept { return *FRowBitmap; }

  // Adopts the row's width and/or height, as CounterAutoSize says.
  bool CanAutoSize(int& newWidth, int& newHeight) override;

  // Reloads the built-in strip into the digit bitmap.
  void LoadDefaultBitmap();

protected:
  // Fires OnChange; descendants override it to react to new values.
  virtual void Change();
  void Paint() override;

private:
  // The strip's change handler: an empty strip falls back to the built-in
  // one, then the row is laid out again.
  void BitmapChanged();
  // Sizes the row image from the strip and the cell settings, then lets the
  // automatic size follow (which repaints).
  void UpdateLayout();

  TGaugeCounterValue FValue = 0;
  TGaugeCounterDigits FDigits = 6;
  int32_t FSpacing = 0;
  bool FStretch = false;
  TCounterLayout FLayout;
  std::unique_ptr<TBitmap> FDigitBitmap;
  std::unique_ptr<TBitmap> FRowBitmap;
};
