#include "GaugeNum.h"

#include <algorithm>

#include "GaugeResources.h"
#include "GaugeSysUtils.h"

const TEnumInfo& GaugeNumStyleNames() {
  static const TEnumInfo names{"TGaugeNumStyle", {"ns13x24", "ns11x20", "ns7x13", "ns12x17", "ns5x7"}};
  return names;
}

const TEnumInfo& GaugeNumAlignmentNames() {
  static const TEnumInfo names{"TGaugeNumAlignment", {"naLeftJustify", "naCenter", "naRightJustify"}};
  return names;
}

TNumStyleGlyphs NumStyleGlyphs(TGaugeNumStyle style) noexcept {
  switch (style) {
    case ns11x20: return {"NUM11x20", "CLOCKSEP2", "AMPM11x20"};
    case ns7x13: return {"NUM7x13", "CLOCKSEP3", "AMPM7x13"};
    case ns12x17: return {"NUM12x17", "CLOCKSEP4", "AMPM12x17"};
    case ns5x7: return {"NUM5x7", "CLOCKSEP5", "AMPM5x7"};
    case ns13x24:
    default: return {"NUM13x24", "CLOCKSEP1", "AMPM13x24"};
  }
}

std::string NumText(int32_t value, int32_t digits, bool leadingZero, bool zeroBlank) {
  digits = std::clamp(digits, kNumMinDigits, kNumMaxDigits);
  // The magnitude in 64 bits, so the smallest 32-bit value has one too.
  uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-int64_t{value}) : static_cast<uint64_t>(value);
  char buffer[kNumMaxDigits];
  int32_t length = 0;
  if (!(value == 0 && zeroBlank)) {
    do {
      buffer[length++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
  }
  // Padding comes after the blanking, so ZeroBlank with LeadingZero still
  // shows zeros.
  while (length < digits) buffer[length++] = leadingZero ? '0' : ' ';
  std::string text;
  text.reserve(static_cast<size_t>(length));
  for (int32_t i = length - 1; i >= 0; --i) text.push_back(buffer[i]);
  return text;
}

int32_t NumRowWidth(int32_t cells, int32_t cellWidth, int32_t spacing) {
  return CheckedAdd(CheckedMul(cells, cellWidth), CheckedMul(CheckedSub(cells, 1), spacing));
}

int32_t NumRowStart(TGaugeNumAlignment alignment, int32_t clientWidth, int32_t rowWidth) {
  switch (alignment) {
    case naLeftJustify: return 0;
    case naRightJustify: return CheckedSub(clientWidth, rowWidth);
    case naCenter:
    default: return CheckedDiv(CheckedSub(clientWidth, rowWidth), 2);
  }
}

TNumCells NumCellsFor(const TNumLayoutInput& in) {
  TNumCells cells;
  const int32_t digits = std::clamp(in.Digits, kNumMinDigits, kNumMaxDigits);
  const int32_t count = in.SignCell ? digits + 1 : digits;
  int32_t x = NumRowStart(in.Alignment, in.ClientWidth, NumRowWidth(count, in.CellWidth, in.Spacing));
  cells.Y = CheckedDiv(CheckedSub(in.ClientHeight, in.CellHeight), 2);
  const int32_t step = CheckedAdd(in.CellWidth, in.Spacing);
  auto add = [&](int32_t cell) {
    cells.Items[static_cast<size_t>(cells.Count++)] = {cell, x};
    x = CheckedAdd(x, step);
  };
  if (in.SignCell) add(in.Value < 0 ? kNumMinusCell : kNumUnlitSignCell);
  const std::string text = NumText(in.Value, digits, in.LeadingZero, in.ZeroBlank);
  for (char ch : text) add(ch == ' ' ? kNumBlankCell : ch - '0');
  return cells;
}

// ---- TGaugeCustomNum ---------------------------------------------------------------------

const TClassInfo& TGaugeCustomNum::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeCustomNum>("TGaugeCustomNum", &TGaugeGraphicImageControl::StaticClass()).Build();
  return info;
}

TGaugeCustomNum::TGaugeCustomNum(TComponent* owner)
    : TGaugeGraphicImageControl(owner),
      FPalette(std::make_unique<TGaugePalette>()),
      FDigitBitmap(std::make_unique<TBitmap>()) {
  ControlStyle().Include(csOpaque);
  SetBounds(0, 0, 100, 26);
  SetColor(clBlack);
  SetParentColor(false);
  FPalette->SetOnChange([this](TObject*) { PaletteChanged(); });
  LoadBitmaps();
}

TGaugeCustomNum::~TGaugeCustomNum() = default;

void TGaugeCustomNum::SetDigits(int32_t value) {
  value = std::clamp(value, kNumMinDigits, kNumMaxDigits);
  if (value == FDigits) return;
  FDigits = static_cast<uint8_t>(value);
  AdjustControlSize();
}

void TGaugeCustomNum::SetValue(int32_t value) {
  value = std::clamp(value, FMin, FMax);
  if (value == FValue) return;
  FValue = value;
  UpdateControlCanvas();
  Change();
}

void TGaugeCustomNum::SetSpacing(int32_t value) {
  if (value == FSpacing) return;
  FSpacing = value;
  AdjustControlSize();
}

void TGaugeCustomNum::SetStyle(TGaugeNumStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  LoadBitmaps();
  AdjustControlSize();
}

void TGaugeCustomNum::SetLeadingZero(bool value) {
  if (value == FLeadingZero) return;
  FLeadingZero = value;
  UpdateControlCanvas();
}

void TGaugeCustomNum::SetAlignment(TGaugeNumAlignment value) {
  if (value == FAlignment) return;
  FAlignment = value;
  UpdateControlCanvas();
}

void TGaugeCustomNum::SetMax(int32_t value) {
  if (value == FMax || value <= FMin) return;
  FMax = value;
}

void TGaugeCustomNum::SetMin(int32_t value) {
  if (value == FMin || value >= FMax) return;
  FMin = value;
  FSignCell = value < 0;
  UpdateControlCanvas();
}

void TGaugeCustomNum::SetZeroBlank(bool value) {
  if (value == FZeroBlank) return;
  FZeroBlank = value;
  UpdateControlCanvas();
}

void TGaugeCustomNum::LoadGlyph(TBitmap& bitmap, const char* name) const {
  bitmap.LoadFromBytes(FindGlyphResource(name));
  FPalette->ApplyToBitmap(bitmap, clGray, clSilver);
}

void TGaugeCustomNum::LoadBitmaps() {
  LoadGlyph(*FDigitBitmap, NumStyleGlyphs(FStyle).Digits);
  FCellWidth = FDigitBitmap->Width() / kNumStripCells;
  FCellHeight = FDigitBitmap->Height();
}

int32_t TGaugeCustomNum::GetDigitsWidth() { return NumRowWidth(FDigits, FCellWidth, FSpacing); }

bool TGaugeCustomNum::CanAutoSize(int& newWidth, int& newHeight) {
  const TAlign align = Align();
  if (align == alNone || align == alLeft || align == alRight) newWidth = GetDigitsWidth();
  if (align == alNone || align == alTop || align == alBottom) newHeight = FCellHeight;
  return true;
}

void TGaugeCustomNum::SysColorChange() { LoadBitmaps(); }

void TGaugeCustomNum::PaletteChanged() {
  LoadBitmaps();
  UpdateControlCanvas();
}

void TGaugeCustomNum::Change() {
  if (OnChange) OnChange(this);
}

void TGaugeCustomNum::DrawDigit(int32_t cell, int32_t x, int32_t y) {
  const TRect source = Bounds(CheckedMul(cell, FCellWidth), 0, FCellWidth, FCellHeight);
  BitmapCanvas().CopyPixelsTransparent(Bounds(x, y, FCellWidth, FCellHeight), FDigitBitmap->View(), source, clBlack);
}

void TGaugeCustomNum::Paint() {
  ClearBitmapCanvas();
  TNumLayoutInput input;
  input.Value = FValue;
  input.Digits = FDigits;
  input.LeadingZero = FLeadingZero;
  input.ZeroBlank = FZeroBlank;
  input.SignCell = FSignCell;
  input.Alignment = FAlignment;
  input.ClientWidth = Width();
  input.ClientHeight = Height();
  input.CellWidth = FCellWidth;
  input.CellHeight = FCellHeight;
  input.Spacing = FSpacing;
  const TNumCells cells = NumCellsFor(input);
  for (const TNumCell& cell : cells.Cells()) DrawDigit(cell.Cell, cell.X, cells.Y);
  DrawDesignFrame(BitmapCanvas());
  TGaugeGraphicImageControl::Paint();
}

// ---- TGaugeNum ---------------------------------------------------------------------------

const TClassInfo& TGaugeNum::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeNum>("TGaugeNum", &TGaugeCustomNum::StaticClass())
          .Integer("Digits", &TGaugeNum::Digits, &TGaugeNum::SetDigits)
          .Integer("Value", &TGaugeNum::Value, &TGaugeNum::SetValue)
          .Integer("Spacing", &TGaugeNum::Spacing, &TGaugeNum::SetSpacing)
          .Enum("Style", GaugeNumStyleNames(), &TGaugeNum::Style, &TGaugeNum::SetStyle)
          .Boolean("LeadingZero", &TGaugeNum::LeadingZero, &TGaugeNum::SetLeadingZero)
          .Object("Palette", &TGaugeNum::Palette)
          .Enum("Alignment", GaugeNumAlignmentNames(), &TGaugeNum::Alignment, &TGaugeNum::SetAlignment)
          .Integer("Max", &TGaugeNum::Max, &TGaugeNum::SetMax)
          .Integer("Min", &TGaugeNum::Min, &TGaugeNum::SetMin)
          .Boolean("ZeroBlank", &TGaugeNum::ZeroBlank, &TGaugeNum::SetZeroBlank)
          .Boolean("Transparent", &TGaugeNum::Transparent, &TGaugeNum::SetTransparent)
          // Hint is published by TControl itself, at its place there.
          .Import(TControl::StandardProperties(),
                  {"Align", "Anchors", "AutoSize", "Constraints", "Color", "DragCursor", "DragKind", "DragMode",
                   "ParentColor", "ParentShowHint", "PopupMenu", "ShowHint", "Visible"})
          .Event("OnChange", "TNotifyEvent", &TGaugeNum::SetOnChange)
          .Import(TControl::StandardProperties(),
                  {"OnClick", "OnContextPopup", "OnDblClick", "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag",
                   "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeNum::TGaugeNum(TComponent* owner) : TGaugeCustomNum(owner) {}
