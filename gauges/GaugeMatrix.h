// TGaugeMatrix: a line of text on a row (or column) of 5 x 7 dot-matrix
// character cells, like an LED message board, optionally scrolled cell by
// cell by its timer.
//
// Each cell is the built-in cell bitmap ("GAUGEMATRIXLED9x13", "14x20" or
// "19x27": the 35 unlit dots on the background), prepared once per style,
// palette or colour change: grey dots take the palette's Low, black takes
// `Color`. The lit dots of a character come from the 5 x 7 character
// generator (CharGen5x7.h) and are painted over the cell in the character's
// colour.
//
// Character codes: the matrix works on 8-bit codes. `Text` (UTF-8, as every
// string of the framework) is converted to Windows-1252, the code page skin
// files store 8-bit strings in; a character that has no Windows-1252 code
// becomes kMatrixNoCode, which shows as an empty cell. Case conversion
// (TextStyle) maps the Windows-1252 letters, accented ones included, as a
// Western European user locale does (a-z, à-þ except ÷, š œ ž ÿ and their
// capitals; ß and µ have no capital here and stay).
//
// Colour escapes in `Text`: "%" followed by a hexadecimal digit (either
// case) colours the following characters (MatrixCodeColor); "%" followed by
// anything else returns to the palette's High colour, the character after
// the "%" being consumed in every case; "%%" is a literal "%"; a "%" at the
// very end only resets the colour.
//
// Geometry and text arithmetic live in pure functions (ParseMatrixText,
// MatrixApplyTextStyle, MatrixAlignStart, MatrixBoundsSize, MatrixCellOrigin,
// MatrixDotRect, MatrixScrollStep...) that tests call directly. The control
// always fits its cells exactly: SetBounds replaces the requested size
// (248 x 30 with the defaults).
//
// Scrolling: with AutoScroll the owned TGaugeTimer calls ScrollStep every
// TimeInterval milliseconds; a step moves the text by one whole cell and
// OnScrollDone fires each time a pass ends. The timer's worker (Threaded)
// only hands ticks over: every step runs on the user-interface thread.
//
// Thread rules: user-interface thread only (the pure functions may run
// anywhere).
// Errors: a negative TimeInterval raises ERangeError ("Erreur de
// vérification d'étendue") and the interval keeps its value. A Leds,
// Spacing, LedStyle or Orientation whose size overflows 32 bits is refused
// with EIntOverflow (GaugeSysUtils); a bevel change whose size overflows
// raises it from the bevel's setter, and the bounds stay as they were. The
// timer may raise EOutOfResources when AutoScroll starts a message-kind
// timer (GaugeTimer.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "GaugeClasses.h"
#include "GaugeControls.h"

class TGaugeTimer;

// ---- enumerations (the stored value is the ordinal) ---------------------------------------

enum class TGaugeMatrixLedStyle : uint8_t { ls9x13, ls14x20, ls19x27 };
enum class TGaugeMatrixTextStyle : uint8_t { tsUpperCase, tsLowerCase, tsAsIs, tsProperCase };
enum class TGaugeMatrixScrollDirection : uint8_t { msdRightToLeft, msdLeftToRight };

const TEnumInfo& GaugeMatrixLedStyleNames();
const TEnumInfo& GaugeMatrixTextStyleNames();
const TEnumInfo& GaugeMatrixScrollDirectionNames();

// ---- text --------------------------------------------------------------------------------

// The code a character without a Windows-1252 code becomes: unassigned in
// Windows-1252 and empty in the character generator, and not a blank.
inline constexpr char kMatrixNoCode = '\x81';

// The 8-bit codes of a UTF-8 text (Windows-1252; kMatrixNoCode for what
// Windows-1252 cannot encode).
std::string MatrixCodes(std::string_view utf8);
// Back to UTF-8 for tools: kMatrixNoCode becomes U+FFFD.
std::string MatrixCodesToUtf8(std::string_view codes);

// Western European case mapping of one Windows-1252 code.
char MatrixUpperCase(char code) noexcept;
char MatrixLowerCase(char code) noexcept;

// The shown characters and, in parallel, their colour codes ("-" or a
// hexadecimal digit as written).
struct TMatrixText {
  std::string Chars;
  std::string Colors;
  bool operator==(const TMatrixText&) const = default;
};

// Applies TextStyle to the shown characters: upper or lower case (Western
// European), as is, or proper case (all lower, then the first character
// that is not a blank - looking no further than the last - raised by the
// ASCII rule, a to z only).
void MatrixApplyTextStyle(std::string& chars, TGaugeMatrixTextStyle style);

// The escape processing of `codes` (8-bit codes), then the text style.
TMatrixText ParseMatrixText(std::string_view codes, TGaugeMatrixTextStyle style);

// The colour of a colour code: "-" and "0" the palette's High, "1".."F"
// (either case) the fixed colours black, maroon, green, olive, navy,
// purple, teal, grey, silver, red, lime, yellow, blue, fuchsia, aqua. Any
// other code (the parser stores none) takes High.
TColor MatrixCodeColor(char code, TColor high) noexcept;

// ---- geometry ----------------------------------------------------------------------------

// Dot size s of a style: 1, 2, 3 pixels.
int32_t MatrixDotSize(TGaugeMatrixLedStyle style) noexcept;
// The cell: 5(s+1) - 1 by 7(s+1) - 1 pixels (9 x 13, 14 x 20, 19 x 27).
TPoint MatrixCellSize(TGaugeMatrixLedStyle style) noexcept;
// The built-in cell bitmap of a style ("GAUGEMATRIXLED14x20" ...).
std::string MatrixCellResource(TGaugeMatrixLedStyle style);

// The 1-based text index shown in the first cell when not scrolling:
// vaLeftJustify 1, vaRightJustify L - N + 1, vaCenter 1 - ((N - L) div 2)
// (L text length, N cells; div truncates toward zero).
int32_t MatrixAlignStart(TGaugeAlignment alignment, int32_t textLength, int32_t leds);

// Length of the run of N cells of `cell` pixels with `spacing` between them:
// N x cell + (N - 1) x spacing, 0 for no cells.
int32_t MatrixRunLength(int32_t leds, int32_t cell, int32_t spacing);

// The size the control takes: the run plus the bevel's inset on both sides
// along the orientation, one cell plus the inset across it. A negative
// size (cells overlapping by more than they measure) is taken as 0.
TPoint MatrixBoundsSize(TGaugeOrientation orientation, int32_t leds, int32_t spacing, TPoint cellSize,
                        int32_t bevelInset);

// Top-left of the first cell: the run centred in the client area
// (divisions truncating toward zero).
TPoint MatrixCellOrigin(TGaugeOrientation orientation, int32_t clientWidth, int32_t clientHeight, int32_t leds,
                        int32_t spacing, TPoint cellSize);

// The cells k (0 <= k < leds) of a run starting at `origin` with `step`
// pixels from one cell to the next that reach into [0, extent): cell k
// covers [origin + k x step, origin + k x step + cellLength). The count is
// bounded by the extent's pixels whatever `leds` is, unless step is 0 (every
// cell on the same place: all or none). Empty when First >= End.
struct TMatrixCellRange {
  int64_t First = 0;
  int64_t End = 0;
  bool operator==(const TMatrixCellRange&) const = default;
};
TMatrixCellRange MatrixVisibleCells(int64_t origin, int64_t step, int64_t cellLength, int64_t extent,
                                    int32_t leds) noexcept;

// The s x s square of the dot of generator bit `bit` (0 = rightmost column)
// in row `row` (0 = top) of the cell at `cell`.
TRect MatrixDotRect(TPoint cell, TPoint cellSize, int32_t dotSize, int32_t row, int32_t bit);

// One scroll step from `start`: the new start position, and whether the
// pass ended (OnScrollDone fires before the new position takes effect).
// Right to left: start + 1 while start < L, else done and 1 - N. Left to
// right: start - 1 while start > 1 - N, else done and L.
struct TMatrixScroll {
  int32_t Start = 0;
  bool Done = false;
  bool operator==(const TMatrixScroll&) const = default;
};
TMatrixScroll MatrixScrollStep(TGaugeMatrixScrollDirection direction, int32_t start, int32_t textLength,
                               int32_t leds);

// ---- TGaugeMatrix ------------------------------------------------------------------------

class TGaugeMatrix : public TGaugeGraphicImageControl {
  VELQ_CLASS(TGaugeMatrix)
public:
  // 15 cells of 14 x 20 in a row with 2 pixels between them inside a bevel
  // whose inner bevel is 2 pixels wide and black-banded (inset 5), so
  // 248 x 30; black background, green unlit and lime lit dots, upper case,
  // left-aligned, not scrolling (500 ms, threaded timer), empty text.
  explicit TGaugeMatrix(TComponent* owner);
  // Frees the timer first (stopping its worker), then the rest.
  ~TGaugeMatrix() override;

  // The scroll timer's kind: true ttThread, false ttSystem.
  bool Threaded() const noexcept;
  void SetThreaded(bool value);
  // Re-parses Text and repaints.
  TGaugeMatrixTextStyle TextStyle() const noexcept { return FTextStyle; }
  void SetTextStyle(TGaugeMatrixTextStyle value);
  // Re-applies the bounds.
  TGaugeOrientation Orientation() const noexcept { return FOrientation; }
  void SetOrientation(TGaugeOrientation value);
  // Number of cells, at least 0 (negative values are clamped); re-parses
  // Text and re-applies the bounds.
  int32_t Leds() const noexcept { return FLeds; }
  void SetLeds(int32_t value);
  // Pixels between cells (negative: cells overlap); re-applies the bounds.
  int32_t Spacing() const noexcept { return FSpacing; }
  void SetSpacing(int32_t value);
  // Low colours the unlit dots, High is the default lit colour; assigning
  // copies into the matrix's own palette. A change reloads the cell bitmap
  // and repaints.
  TGaugePalette* Palette() const noexcept { return FPalette.get(); }
  void SetPalette(const TGaugePalette* value) { FPalette->Assign(*value); }
  // Cell size; reloads the cell bitmap and re-applies the bounds.
  TGaugeMatrixLedStyle LedStyle() const noexcept { return FLedStyle; }
  void SetLedStyle(TGaugeMatrixLedStyle value);
  // False draws only the lit dots (no unlit dots, no cell background).
  bool LedsVisible() const noexcept { return FLedsVisible; }
  void SetLedsVisible(bool value);
  // Starts or stops the scroll timer (not in design state).
  bool AutoScroll() const noexcept { return FAutoScroll; }
  void SetAutoScroll(bool value);
  // Placement of the text when not scrolling.
  TGaugeAlignment Alignment() const noexcept { return FAlignment; }
  void SetAlignment(TGaugeAlignment value);
  // The scroll step period in milliseconds (the timer's Interval); a
  // negative value raises ERangeError and changes nothing.
  int32_t TimeInterval() const noexcept;
  void SetTimeInterval(int32_t value);
  // A plain value, read by the next step.
  TGaugeMatrixScrollDirection ScrollDirection() const noexcept { return FScrollDirection; }
  void SetScrollDirection(TGaugeMatrixScrollDirection value);
  // The frame around the cells; assigning copies into the matrix's own
  // bevel. A change re-applies the bounds.
  TGaugeBevel* Bevel() const noexcept { return FBevel.get(); }
  void SetBevel(const TGaugeBevel* value) { FBevel->Assign(*value); }

  // Fired by ScrollDone each time a scroll pass ends.
  TNotifyEvent OnScrollDone;
  void SetOnScrollDone(TNotifyEvent handler) { OnScrollDone = std::move(handler); }

  // The shown characters (8-bit codes, after escapes and case conversion)
  // and their colour codes.
  const std::string& ShownChars() const noexcept { return FText.Chars; }
  const std::string& ColorCodes() const noexcept { return FText.Colors; }
  // The shown characters in UTF-8 (for tools).
  std::string ShownText() const { return MatrixCodesToUtf8(FText.Chars); }
  // The 1-based text index in the first cell.
  int32_t StartPosition() const noexcept { return FStart; }
  // The prepared cell bitmap.
  const TBitmap& CellBitmap() const noexcept { return *FCell; }
  TGaugeTimer& Timer() const noexcept { return *FTimer; }

  // Re-reads Text into the shown characters and colour codes.
  void ParseText();
  // The start position that Alignment gives for the current text.
  int32_t AlignText() const;
  // One scroll step (the timer's tick), then a repaint.
  void ScrollStep();
  // Loads the cell bitmap of LedStyle and colours it (palette, Color).
  virtual void LoadBitmaps();

  // Replaces the size by the one the cells need (once bevel and cell
  // bitmap exist); left and top are kept.
  void SetBounds(int left, int top, int width, int height) override;
  void Loaded() override;

protected:
  // Fires OnScrollDone.
  virtual void ScrollDone();
  void Paint() override;
  void TextChanged() override;
  void ColorChanged() override;

private:
  TGaugeTimer* FTimer = nullptr;  // owned as a component; created first, freed first
  TMatrixText FText;
  int32_t FStart = 1;
  std::unique_ptr<TBitmap> FCell;
  TGaugeMatrixLedStyle FLedStyle = TGaugeMatrixLedStyle::ls14x20;
  int32_t FLeds = 15;
  bool FLedsVisible = true;
  int32_t FSpacing = 2;
  TGaugeAlignment FAlignment = TGaugeAlignment::vaLeftJustify;
  std::unique_ptr<TGaugePalette> FPalette;
  bool FAutoScroll = false;
  TGaugeMatrixScrollDirection FScrollDirection = TGaugeMatrixScrollDirection::msdRightToLeft;
  TGaugeMatrixTextStyle FTextStyle = TGaugeMatrixTextStyle::tsUpperCase;
  TGaugeOrientation FOrientation = TGaugeOrientation::voHorizontal;
  std::unique_ptr<TGaugeBevel> FBevel;
};
