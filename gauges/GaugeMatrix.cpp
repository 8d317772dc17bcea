#include "GaugeMatrix.h"

#include <algorithm>
#include <array>

#include "CharGen5x7.h"
#include "GaugeResources.h"
#include "GaugeSysUtils.h"
#include "GaugeTimer.h"

// ---- enumerations ------------------------------------------------------------------------

const TEnumInfo& GaugeMatrixLedStyleNames() {
  static const TEnumInfo names{"TGaugeMatrixLedStyle", {"ls9x13", "ls14x20", "ls19x27"}};
  return names;
}

const TEnumInfo& GaugeMatrixTextStyleNames() {
  static const TEnumInfo names{"TGaugeMatrixTextStyle", {"tsUpperCase", "tsLowerCase", "tsAsIs", "tsProperCase"}};
  return names;
}

const TEnumInfo& GaugeMatrixScrollDirectionNames() {
  static const TEnumInfo names{"TGaugeMatrixScrollDirection", {"msdRightToLeft", "msdLeftToRight"}};
  return names;
}

// ---- text --------------------------------------------------------------------------------

std::string MatrixCodes(std::string_view utf8) { return Utf8ToCp1252(utf8, kMatrixNoCode); }

std::string MatrixCodesToUtf8(std::string_view codes) {
  std::string out;
  // Runs of encodable codes in one conversion each.
  while (!codes.empty()) {
    const std::size_t gap = codes.find(kMatrixNoCode);
    out += Cp1252ToUtf8(codes.substr(0, gap));
    if (gap == std::string_view::npos) break;
    out += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
    codes.remove_prefix(gap + 1);
  }
  return out;
}

namespace {

// The Windows-1252 letters whose case pair lies outside the two Latin-1
// blocks: S, OE, Z with caron and Y with diaeresis.
constexpr std::array<std::pair<uint8_t, uint8_t>, 4> kUpperLowerPairs{
    {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}}};

}  // namespace

char MatrixUpperCase(char code) noexcept {
  const auto c = static_cast<uint8_t>(code);
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 0x20);
  // à..þ, except the division sign; ß and ÿ have no capital in that block.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char>(c - 0x20);
  for (auto [upper, lower] : kUpperLowerPairs)
    if (c == lower) return static_cast<char>(upper);
  return code;
}

char MatrixLowerCase(char code) noexcept {
  const auto c = static_cast<uint8_t>(code);
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 0x20);
  // À..Þ, except the multiplication sign.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char>(c + 0x20);
  for (auto [upper, lower] : kUpperLowerPairs)
    if (c == upper) return static_cast<char>(lower);
  return code;
}

void MatrixApplyTextStyle(std::string& chars, TGaugeMatrixTextStyle style) {
  switch (style) {
    case TGaugeMatrixTextStyle::tsUpperCase:
      for (char& c : chars) c = MatrixUpperCase(c);
      break;
    case TGaugeMatrixTextStyle::tsLowerCase:
      for (char& c : chars) c = MatrixLowerCase(c);
      break;
    case TGaugeMatrixTextStyle::tsAsIs:
      break;
    case TGaugeMatrixTextStyle::tsProperCase: {
      for (char& c : chars) c = MatrixLowerCase(c);
      if (chars.empty()) break;
      std::size_t i = 0;
      while (i + 1 < chars.size() && chars[i] == ' ') ++i;
      if (chars[i] >= 'a' && chars[i] <= 'z') chars[i] = static_cast<char>(chars[i] - 0x20);
      break;
    }
  }
}

namespace {
bool IsHexDigit(char c) noexcept { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
}  // namespace

TMatrixText ParseMatrixText(std::string_view codes, TGaugeMatrixTextStyle style) {
  TMatrixText text;
  text.Chars.reserve(codes.size());
  text.Colors.reserve(codes.size());
  char color = '-';
  std::size_t i = 0;
  while (i < codes.size()) {
    const char c = codes[i++];
    if (c != '%') {
      text.Chars += c;
      text.Colors += color;
      continue;
    }
    if (i < codes.size() && codes[i] == '%') {
      text.Chars += '%';
      text.Colors += color;
      ++i;
      continue;
    }
    // An escape: back to the default colour unless a hexadecimal digit
    // follows; the character after the "%" is consumed either way.
    color = '-';
    if (i < codes.size()) {
      const char code = codes[i++];
      if (IsHexDigit(code)) color = code;
    }
  }
  MatrixApplyTextStyle(text.Chars, style);
  return text;
}

TColor MatrixCodeColor(char code, TColor high) noexcept {
  static constexpr std::array<TColor, 16> kFixed{clBlack /* unused: 0 is High */,
                                                 clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple,
                                                 clTeal,  clGray,   clSilver, clRed,  clLime, clYellow,
                                                 clBlue,  clFuchsia, clAqua};
  int index = -1;
  if (code >= '1' && code <= '9') index = code - '0';
  else if (code >= 'A' && code <= 'F') index = code - 'A' + 10;
  else if (code >= 'a' && code <= 'f') index = code - 'a' + 10;
  return index < 1 ? high : kFixed[static_cast<std::size_t>(index)];
}

// ---- geometry ----------------------------------------------------------------------------

int32_t MatrixDotSize(TGaugeMatrixLedStyle style) noexcept {
  switch (style) {
    case TGaugeMatrixLedStyle::ls9x13: return 1;
    case TGaugeMatrixLedStyle::ls14x20: return 2;
    case TGaugeMatrixLedStyle::ls19x27: return 3;
  }
  return 2;
}

TPoint MatrixCellSize(TGaugeMatrixLedStyle style) noexcept {
  const int32_t pitch = MatrixDotSize(style) + 1;
  return {CharGenColumnCount * pitch - 1, CharGenRowCount * pitch - 1};
}

std::string MatrixCellResource(TGaugeMatrixLedStyle style) {
  const TPoint size = MatrixCellSize(style);
  return Format("GAUGEMATRIXLED%dx%d", size.X, size.Y);
}

int32_t MatrixAlignStart(TGaugeAlignment alignment, int32_t textLength, int32_t leds) {
  switch (alignment) {
    case TGaugeAlignment::vaLeftJustify: return 1;
    case TGaugeAlignment::vaRightJustify: return CheckedAdd(CheckedSub(textLength, leds), 1);
    case TGaugeAlignment::vaCenter: return CheckedSub(1, CheckedDiv(CheckedSub(leds, textLength), 2));
  }
  return 1;
}

int32_t MatrixRunLength(int32_t leds, int32_t cell, int32_t spacing) {
  if (leds <= 0) return 0;
  return CheckedAdd(CheckedMul(leds, cell), CheckedMul(CheckedSub(leds, 1), spacing));
}

TPoint MatrixBoundsSize(TGaugeOrientation orientation, int32_t leds, int32_t spacing, TPoint cellSize,
                        int32_t bevelInset) {
  const int32_t frame = CheckedMul(bevelInset, 2);
  const bool horizontal = orientation == TGaugeOrientation::voHorizontal;
  const int32_t run = MatrixRunLength(leds, horizontal ? cellSize.X : cellSize.Y, spacing);
  TPoint size = horizontal ? TPoint{CheckedAdd(run, frame), CheckedAdd(cellSize.Y, frame)}
                           : TPoint{CheckedAdd(cellSize.X, frame), CheckedAdd(run, frame)};
  size.X = std::max(size.X, 0);
  size.Y = std::max(size.Y, 0);
  return size;
}

TPoint MatrixCellOrigin(TGaugeOrientation orientation, int32_t clientWidth, int32_t clientHeight, int32_t leds,
                        int32_t spacing, TPoint cellSize) {
  if (orientation == TGaugeOrientation::voHorizontal) {
    const int32_t run = MatrixRunLength(leds, cellSize.X, spacing);
    return {CheckedDiv(CheckedSub(clientWidth, run), 2), CheckedDiv(CheckedSub(clientHeight, cellSize.Y), 2)};
  }
  const int32_t run = MatrixRunLength(leds, cellSize.Y, spacing);
  return {CheckedDiv(CheckedSub(clientWidth, cellSize.X), 2), CheckedDiv(CheckedSub(clientHeight, run), 2)};
}

namespace {
// Floor division for a positive divisor.
int64_t FloorDiv(int64_t a, int64_t b) noexcept { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

TMatrixCellRange MatrixVisibleCells(int64_t origin, int64_t step, int64_t cellLength, int64_t extent,
                                    int32_t leds) noexcept {
  if (leds <= 0 || extent <= 0 || cellLength <= 0) return {};
  int64_t first = 0, end = leds;
  if (step > 0) {
    // origin + k step + cellLength > 0 and origin + k step < extent.
    first = FloorDiv(-cellLength - origin, step) + 1;
    end = FloorDiv(extent - origin - 1, step) + 1;
  } else if (step < 0) {
    // The run goes backwards: origin - k t + cellLength > 0, origin - k t < extent.
    const int64_t t = -step;
    first = FloorDiv(origin - extent, t) + 1;
    end = FloorDiv(origin + cellLength - 1, t) + 1;
  } else if (origin + cellLength <= 0 || origin >= extent) {
    return {};
  }
  first = std::clamp<int64_t>(first, 0, leds);
  end = std::clamp<int64_t>(end, first, leds);
  return {first, end};
}

TRect MatrixDotRect(TPoint cell, TPoint cellSize, int32_t dotSize, int32_t row, int32_t bit) {
  const int32_t pitch = CheckedAdd(dotSize, 1);
  const int32_t x = CheckedSub(CheckedSub(CheckedAdd(cell.X, cellSize.X), dotSize), CheckedMul(bit, pitch));
  const int32_t y = CheckedAdd(cell.Y, CheckedMul(row, pitch));
  return Rect(x, y, CheckedAdd(x, dotSize), CheckedAdd(y, dotSize));
}

TMatrixScroll MatrixScrollStep(TGaugeMatrixScrollDirection direction, int32_t start, int32_t textLength,
                               int32_t leds) {
  if (direction == TGaugeMatrixScrollDirection::msdRightToLeft) {
    if (start < textLength) return {CheckedAdd(start, 1), false};
    return {CheckedSub(1, leds), true};
  }
  if (start > CheckedSub(1, leds)) return {CheckedSub(start, 1), false};
  return {textLength, true};
}

// ---- TGaugeMatrix ------------------------------------------------------------------------

const TClassInfo& TGaugeMatrix::StaticClass() {
  using M = TGaugeMatrix;
  static const TClassInfo info =
      TClassBuilder<M>("TGaugeMatrix", &TGaugeGraphicImageControl::StaticClass())
          .Boolean("Threaded", &M::Threaded, &M::SetThreaded)
          .Enum("TextStyle", GaugeMatrixTextStyleNames(), &M::TextStyle, &M::SetTextStyle)
          .Enum("Orientation", GaugeOrientationNames(), &M::Orientation, &M::SetOrientation)
          .Integer("Leds", &M::Leds, &M::SetLeds)
          .Integer("Spacing", &M::Spacing, &M::SetSpacing)
          .Object("Palette", &M::Palette)
          .Enum("LedStyle", GaugeMatrixLedStyleNames(), &M::LedStyle, &M::SetLedStyle)
          .Boolean("LedsVisible", &M::LedsVisible, &M::SetLedsVisible)
          .Boolean("AutoScroll", &M::AutoScroll, &M::SetAutoScroll)
          .Enum("Alignment", GaugeAlignmentNames(), &M::Alignment, &M::SetAlignment)
          .Integer("TimeInterval", &M::TimeInterval, &M::SetTimeInterval)
          .Enum("ScrollDirection", GaugeMatrixScrollDirectionNames(), &M::ScrollDirection, &M::SetScrollDirection)
          .Object("Bevel", &M::Bevel)
          .Event("OnScrollDone", "TNotifyEvent", &M::SetOnScrollDone)
          // Hint is published by TControl itself, at its place there.
          .Import(TControl::StandardProperties(),
                  {"Anchors", "Constraints", "Color", "DragCursor", "DragKind", "DragMode", "ParentColor",
                   "ParentShowHint", "PopupMenu", "ShowHint"})
          .String("Text", &TControl::Text, &TControl::SetText)
          .Import(TControl::StandardProperties(),
                  {"Visible", "OnClick", "OnContextPopup", "OnDblClick", "OnDragDrop", "OnDragOver", "OnEndDock",
                   "OnEndDrag", "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeMatrix::TGaugeMatrix(TComponent* owner)
    : TGaugeGraphicImageControl(owner), FCell(std::make_unique<TBitmap>()), FPalette(std::make_unique<TGaugePalette>()) {
  // Cells and background cover the whole area.
  ControlStyle().Include(csOpaque);
  SetBounds(Left(), Top(), 245, 30);  // no bevel yet: taken as it is, corrected below
  SetColor(clBlack);
  SetParentColor(false);
  FPalette->OnChange = [this](TObject*) {
    LoadBitmaps();
    UpdateControlCanvas();
  };
  FBevel = std::make_unique<TGaugeBevel>();
  FBevel->SetInnerWidth(2);
  FBevel->SetInnerColor(clBlack);
  FBevel->OnChange = [this](TObject*) { UpdateControlBounds(); };
  FTimer = new TGaugeTimer(this);
  FTimer->SetEnabled(false);
  FTimer->SetInterval(500);
  FTimer->SetOnTimer([this](TObject*) { ScrollStep(); });
  LoadBitmaps();
  // A new matrix fits its cells at once rather than after its first
  // property change or loading.
  UpdateControlBounds();
}

TGaugeMatrix::~TGaugeMatrix() {
  // The timer goes first: no tick may reach a matrix whose parts are gone.
  delete FTimer;
  FTimer = nullptr;
}

bool TGaugeMatrix::Threaded() const noexcept { return FTimer->TimerType() == ttThread; }

void TGaugeMatrix::SetThreaded(bool value) { FTimer->SetTimerType(value ? ttThread : ttSystem); }

void TGaugeMatrix::SetTextStyle(TGaugeMatrixTextStyle value) {
  if (value == FTextStyle) return;
  FTextStyle = value;
  ParseText();
  UpdateControlCanvas();
}

void TGaugeMatrix::SetOrientation(TGaugeOrientation value) {
  if (value == FOrientation) return;
  // Sized before storing, so a size that overflows leaves the matrix as it was.
  (void)MatrixBoundsSize(value, FLeds, FSpacing, MatrixCellSize(FLedStyle), FBevel->TotalWidth());
  FOrientation = value;
  UpdateControlBounds();
}

void TGaugeMatrix::SetLeds(int32_t value) {
  value = std::max(value, 0);
  if (value == FLeds) return;
  (void)MatrixBoundsSize(FOrientation, value, FSpacing, MatrixCellSize(FLedStyle), FBevel->TotalWidth());
  FLeds = value;
  ParseText();
  UpdateControlBounds();
}

void TGaugeMatrix::SetSpacing(int32_t value) {
  if (value == FSpacing) return;
  (void)MatrixBoundsSize(FOrientation, FLeds, value, MatrixCellSize(FLedStyle), FBevel->TotalWidth());
  FSpacing = value;
  UpdateControlBounds();
}

void TGaugeMatrix::SetLedStyle(TGaugeMatrixLedStyle value) {
  if (value == FLedStyle) return;
  (void)MatrixBoundsSize(FOrientation, FLeds, FSpacing, MatrixCellSize(value), FBevel->TotalWidth());
  FLedStyle = value;
  LoadBitmaps();
  UpdateControlBounds();
}

void TGaugeMatrix::SetLedsVisible(bool value) {
  if (value == FLedsVisible) return;
  FLedsVisible = value;
  UpdateControlCanvas();
}

void TGaugeMatrix::SetAutoScroll(bool value) {
  if (value == FAutoScroll) return;
  FAutoScroll = value;
  // Scrolling from where the text stands; stopping leaves the next paint
  // to align it again.
  if (!Designing()) FTimer->SetEnabled(value);
}

void TGaugeMatrix::SetAlignment(TGaugeAlignment value) {
  if (value == FAlignment) return;
  FAlignment = value;
  UpdateControlCanvas();
}

int32_t TGaugeMatrix::TimeInterval() const noexcept { return static_cast<int32_t>(FTimer->Interval()); }

void TGaugeMatrix::SetTimeInterval(int32_t value) {
  if (value < 0) throw ERangeError();
  FTimer->SetInterval(static_cast<uint32_t>(value));
}

void TGaugeMatrix::SetScrollDirection(TGaugeMatrixScrollDirection value) { FScrollDirection = value; }

void TGaugeMatrix::ParseText() { FText = ParseMatrixText(MatrixCodes(Text()), FTextStyle); }

int32_t TGaugeMatrix::AlignText() const {
  return MatrixAlignStart(FAlignment, CheckedNarrow<int32_t>(FText.Chars.size()), FLeds);
}

void TGaugeMatrix::ScrollStep() {
  const TMatrixScroll step =
      MatrixScrollStep(FScrollDirection, FStart, CheckedNarrow<int32_t>(FText.Chars.size()), FLeds);
  if (step.Done) ScrollDone();
  FStart = step.Start;
  UpdateControlCanvas();
}

void TGaugeMatrix::ScrollDone() {
  if (OnScrollDone) OnScrollDone(this);
}

void TGaugeMatrix::LoadBitmaps() {
  FCell->LoadFromBytes(FindGlyphResource(MatrixCellResource(FLedStyle)));
  FPalette->ApplyToBitmap(*FCell, clGray, clSilver);
  ReplaceBitmapColor(*FCell, clBlack, Color());
}

void TGaugeMatrix::SetBounds(int left, int top, int width, int height) {
  if (FBevel && FCell) {
    const TPoint size = MatrixBoundsSize(FOrientation, FLeds, FSpacing, {FCell->Width(), FCell->Height()},
                                         FBevel->TotalWidth());
    width = size.X;
    height = size.Y;
  }
  TGaugeGraphicImageControl::SetBounds(left, top, width, height);
}

void TGaugeMatrix::Loaded() {
  TGaugeGraphicImageControl::Loaded();
  FStart = AlignText();
  UpdateControlBounds();
}

void TGaugeMatrix::TextChanged() {
  TGaugeGraphicImageControl::TextChanged();
  ParseText();
  UpdateControlCanvas();
}

void TGaugeMatrix::ColorChanged() {
  TGaugeGraphicImageControl::ColorChanged();
  LoadBitmaps();
}

void TGaugeMatrix::Paint() {
  ClearBitmapCanvas();
  TCanvas& image = BitmapCanvas();
  TRect client = ClientRect();
  FBevel->DrawBevel(image, client);
  if (!FAutoScroll) FStart = AlignText();

  const TPoint cellSize{FCell->Width(), FCell->Height()};
  const int32_t dot = MatrixDotSize(FLedStyle);
  const bool horizontal = FOrientation == TGaugeOrientation::voHorizontal;
  const int64_t step = int64_t{horizontal ? cellSize.X : cellSize.Y} + FSpacing;
  const int64_t extent = horizontal ? Width() : Height();
  const int64_t length = static_cast<int64_t>(FText.Chars.size());
  const TPoint origin = MatrixCellOrigin(FOrientation, Width(), Height(), FLeds, FSpacing, cellSize);
  const int64_t cellLength = horizontal ? cellSize.X : cellSize.Y;
  image.Brush().SetStyle(bsSolid);
  auto paintCell = [&](int64_t k) {
    // Positions are worked out in 64 bits; only cells that reach into the
    // image get here, so theirs fit 32 bits.
    const int64_t along = (horizontal ? origin.X : origin.Y) + k * step;
    const TPoint cell = horizontal ? TPoint{static_cast<int32_t>(along), origin.Y}
                                   : TPoint{origin.X, static_cast<int32_t>(along)};
    if (FLedsVisible) image.Draw(cell.X, cell.Y, *FCell);
    const int64_t index = int64_t{FStart} + k;  // 1-based
    if (index < 1 || index > length) return;
    const auto at = static_cast<std::size_t>(index - 1);
    const TCharGenGlyph& glyph = CharGenGlyph(static_cast<uint8_t>(FText.Chars[at]));
    image.Brush().SetColor(MatrixCodeColor(FText.Colors[at], FPalette->High()));
    for (int32_t row = 0; row < CharGenRowCount; ++row)
      for (int32_t bit = 0; bit < CharGenColumnCount; ++bit)
        if (glyph[static_cast<std::size_t>(row)] & (1u << bit))
          image.FillRect(MatrixDotRect(cell, cellSize, dot, row, bit));
  };
  // Only the cells that reach into the image are painted, so a paint costs
  // the widget's pixels, not its cell count (overlapping cells, a negative
  // spacing, may number in the millions).
  const TMatrixCellRange visible =
      MatrixVisibleCells(horizontal ? origin.X : origin.Y, step, cellLength, extent, FLeds);
  if (step != 0) {
    for (int64_t k = visible.First; k < visible.End; ++k) paintCell(k);
  } else if (visible.First < visible.End) {
    // Every cell on one place: a cell without a character only repaints
    // what the next cell's image paints again, so the cells that carry a
    // character and the last one give the same picture as all of them.
    const int64_t firstText = std::max<int64_t>(0, 1 - int64_t{FStart});
    const int64_t endText = std::min<int64_t>(int64_t{FLeds} - 1, length - int64_t{FStart} + 1);
    for (int64_t k = firstText; k < endText; ++k) paintCell(k);
    paintCell(int64_t{FLeds} - 1);
  }

  TGaugeGraphicImageControl::Paint();
}
