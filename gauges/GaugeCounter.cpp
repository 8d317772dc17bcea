#include "GaugeCounter.h"

#include <algorithm>
#include <limits>

#include "GaugeResources.h"
#include "GaugeSysUtils.h"

// ---- layout arithmetic -------------------------------------------------------------------

TCounterLayout CounterLayout(int32_t stripWidth, int32_t stripHeight, int32_t digits, int32_t spacing) {
  TCounterLayout layout;
  layout.FCellWidth = CheckedDiv(stripWidth, 10);
  layout.FCellHeight = stripHeight;
  layout.FRowWidth =
      CheckedAdd(CheckedMul(digits, layout.FCellWidth), CheckedMul(CheckedSub(digits, 1), spacing));
  layout.FRowHeight = stripHeight;
  return layout;
}

std::string CounterText(int32_t value, int32_t digits) {
  value = std::max(value, 0);
  digits = std::clamp(digits, kCounterMinDigits, kCounterMaxDigits);
  std::string text;
  // Written backwards into a fixed buffer: no allocation beyond the string's
  // inline one, and no locale involved.
  char buffer[kCounterMaxCells];
  int32_t length = 0;
  do {
    buffer[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (length < digits) buffer[length++] = '0';
  text.reserve(static_cast<std::size_t>(length));
  for (int32_t i = length - 1; i >= 0; --i) text.push_back(buffer[i]);
  return text;
}

TCounterCells CounterCells(std::string_view text, const TCounterLayout& layout, int32_t spacing) {
  TCounterCells cells;
  const int64_t step = int64_t{layout.FCellWidth} + spacing;
  int64_t x = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') continue;
    const bool meetsRow = x + layout.FCellWidth > 0 && x < layout.FRowWidth;
    if (meetsRow && cells.FCount < kCounterMaxCells) {
      // Inside the row's extent, so x fits 32 bits.
      const int32_t left = static_cast<int32_t>(x);
      const int32_t digit = ch - '0';
      cells.FItems[static_cast<std::size_t>(cells.FCount++)] = {
          digit, Bounds(CheckedMul(digit, layout.FCellWidth), 0, layout.FCellWidth, layout.FCellHeight),
          Bounds(left, 0, layout.FCellWidth, layout.FCellHeight)};
    }
    x += step;
  }
  return cells;
}

TPoint CounterRowOrigin(int32_t clientWidth, int32_t clientHeight, int32_t rowWidth, int32_t rowHeight) {
  return {CheckedDiv(CheckedSub(clientWidth, rowWidth), 2), CheckedDiv(CheckedSub(clientHeight, rowHeight), 2)};
}

void CounterAutoSize(TAlign align, int32_t rowWidth, int32_t rowHeight, int& newWidth, int& newHeight) {
  if ((align == alNone || align == alLeft || align == alRight) && rowWidth > 0) newWidth = rowWidth;
  if ((align == alNone || align == alTop || align == alBottom) && rowHeight > 0) newHeight = rowHeight;
}

// ---- TGaugeCounter -----------------------------------------------------------------------

const TClassInfo& TGaugeCounter::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeCounter>("TGaugeCounter", &TGaugeGraphicImageControl::StaticClass())
          .Integer("Value", &TGaugeCounter::Value, &TGaugeCounter::SetValue)
          .Integer("Digits", &TGaugeCounter::Digits, &TGaugeCounter::SetDigits)
          .Object("Bitmap", &TGaugeCounter::Bitmap)
          .Integer("Spacing", &TGaugeCounter::Spacing, &TGaugeCounter::SetSpacing)
          .Boolean("Stretch", &TGaugeCounter::Stretch, &TGaugeCounter::SetStretch)
          .Event("OnChange", "TNotifyEvent", &TGaugeCounter::SetOnChange)
          .Boolean("Transparent", &TGaugeCounter::Transparent, &TGaugeCounter::SetTransparent)
          // Hint is published by TControl itself, at its place there.
          .Import(TControl::StandardProperties(),
                  {"Align", "Anchors", "AutoSize", "Constraints", "Color", "DragCursor", "DragKind", "DragMode",
                   "ParentColor", "ParentShowHint", "PopupMenu", "ShowHint", "Visible", "OnClick",
                   "OnContextPopup", "OnDblClick", "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag",
                   "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeCounter::TGaugeCounter(TComponent* owner)
    : TGaugeGraphicImageControl(owner),
      FDigitBitmap(std::make_unique<TBitmap>()),
      FRowBitmap(std::make_unique<TBitmap>()) {
  // The counter always covers its whole area, so a repaint never needs the
  // parent beneath it (until Transparent says otherwise).
  ControlStyle().Include(csOpaque);
  SetBounds(0, 0, 150, 25);
  SetColor(clBtnFace);
  SetParentColor(false);
  SetTransparent(false);
  // Anything that changes the strip in place (a skin's Bitmap.Data, a file
  // loaded into it) re-lays the row out through this handler.
  FDigitBitmap->OnChange = [this](TObject*) { BitmapChanged(); };
  LoadDefaultBitmap();
}

TGaugeCounter::~TGaugeCounter() = default;

void TGaugeCounter::SetValue(int32_t value) {
  value = std::max(value, 0);
  if (value == FValue) return;
  FValue = value;
  UpdateControlCanvas();
  Change();
}

void TGaugeCounter::SetDigits(int32_t value) {
  value = std::clamp(value, kCounterMinDigits, kCounterMaxDigits);
  if (value == FDigits) return;
  // Sized before storing, so a row that cannot be sized leaves the counter
  // as it was.
  (void)CounterLayout(FDigitBitmap->Width(), FDigitBitmap->Height(), value, FSpacing);
  FDigits = static_cast<TGaugeCounterDigits>(value);
  UpdateLayout();
}

void TGaugeCounter::SetBitmap(const TBitmap& value) { FDigitBitmap->Assign(value); }

void TGaugeCounter::SetSpacing(int32_t value) {
  if (value == FSpacing) return;
  (void)CounterLayout(FDigitBitmap->Width(), FDigitBitmap->Height(), FDigits, value);  // as in SetDigits
  FSpacing = value;
  UpdateLayout();
}

void TGaugeCounter::SetStretch(bool value) {
  if (value == FStretch) return;
  FStretch = value;
  UpdateControlCanvas();
}

bool TGaugeCounter::CanAutoSize(int& newWidth, int& newHeight) {
  CounterAutoSize(Align(), FRowBitmap->Width(), FRowBitmap->Height(), newWidth, newHeight);
  return true;
}

void TGaugeCounter::LoadDefaultBitmap() { FDigitBitmap->LoadFromBytes(FindGlyphResource(kCounterStripResource)); }

void TGaugeCounter::Change() {
  if (OnChange) OnChange(this);
}

void TGaugeCounter::BitmapChanged() {
  // Loading the built-in strip notifies again and lays out from there; the
  // second layout below is then a no-op for the sizes and only repaints.
  if (FDigitBitmap->Empty()) LoadDefaultBitmap();
  UpdateLayout();
}

void TGaugeCounter::UpdateLayout() {
  FLayout = CounterLayout(FDigitBitmap->Width(), FDigitBitmap->Height(), FDigits, FSpacing);
  FRowBitmap->SetSize(FLayout.FRowWidth, FLayout.FRowHeight);
  AdjustControlSize();
}

void TGaugeCounter::Paint() {
  ClearBitmapCanvas();
  const TColor color = Color();

  // Compose the row: Color everywhere, then the cells. Strip pixels of
  // Color take the (solid) brush, which is Color again.
  TCanvas& row = FRowBitmap->Canvas();
  row.Brush().SetStyle(bsSolid);
  row.Brush().SetColor(color);
  const TRect rowRect = BitmapRect(*FRowBitmap);
  row.FillRect(rowRect);
  if (!FDigitBitmap->Empty()) {
    const TCounterCells cells = CounterCells(CounterText(FValue, FDigits), FLayout, FSpacing);
    for (const TCounterCell& cell : cells.Cells()) row.BrushCopy(cell.FDest, *FDigitBitmap, cell.FSource, color);
  }

  // Place it: a clear brush lets the background through where the row has
  // Color, a solid one paints Color there. The colour goes first, because
  // giving a clear brush a colour makes it solid again.
  TCanvas& image = BitmapCanvas();
  image.Brush().SetColor(color);
  image.Brush().SetStyle(Transparent() ? bsClear : bsSolid);
  if (FStretch && !AutoSize()) {
    image.BrushCopy(ClientRect(), *FRowBitmap, rowRect, color);
  } else {
    const TPoint origin = CounterRowOrigin(Width(), Height(), rowRect.Right, rowRect.Bottom);
    image.BrushCopy(Bounds(origin.X, origin.Y, rowRect.Right, rowRect.Bottom), *FRowBitmap, rowRect, color);
  }

  DrawDesignFrame(image);
  TGaugeGraphicImageControl::Paint();
}
