#include "GaugeLed.h"

#include "GaugeResources.h"
#include "GaugeSysUtils.h"

// ---- enumerations ------------------------------------------------------------------------

const TEnumInfo& GaugeLedTypeNames() {
  static const TEnumInfo names{"TGaugeLedType", {"ltRounded", "ltRectangle", "ltLargeRect", "ltCustom"}};
  return names;
}

const TEnumInfo& GaugeLedActiveNames() {
  static const TEnumInfo names{"TGaugeLedActive", {"la1", "la2", "la3"}};
  return names;
}

const TEnumInfo& GaugeLedStateNames() {
  static const TEnumInfo names{"TGaugeLedState", {"ls2", "ls3"}};
  return names;
}

// ---- cell arithmetic ---------------------------------------------------------------------

std::string LedStripResource(TGaugeLedType type) {
  const char* suffix = nullptr;
  switch (type) {
    case TGaugeLedType::ltRounded: suffix = "RND"; break;
    case TGaugeLedType::ltRectangle: suffix = "RECT"; break;
    case TGaugeLedType::ltLargeRect: suffix = "BIG"; break;
    case TGaugeLedType::ltCustom: return {};
  }
  if (!suffix) return {};
  return Format("LI_%s", suffix);
}

int32_t LedCellCount(TGaugeLedState states) noexcept { return states == TGaugeLedState::ls2 ? 2 : 3; }

TPoint LedCellSize(int32_t stripWidth, int32_t stripHeight, TGaugeLedState states) {
  return {CheckedDiv(stripWidth, LedCellCount(states)), stripHeight};
}

TRect LedCellSource(TPoint cellSize, TGaugeLedActive active) {
  const int32_t left = CheckedMul(cellSize.X, static_cast<int32_t>(active));
  return Rect(left, 0, CheckedAdd(left, cellSize.X), cellSize.Y);
}

TLedCellCopy LedCellCopy(int32_t stripWidth, int32_t stripHeight, TGaugeLedState states, TGaugeLedActive active,
                         TPoint lampPos) {
  const TRect cell = LedCellSource(LedCellSize(stripWidth, stripHeight, states), active);
  const TRect inside = IntersectRect(cell, Rect(0, 0, stripWidth, stripHeight));
  if (IsRectEmpty(inside)) return {};
  // The part keeps its offset inside the cell, so a cut cell is not stretched.
  const int32_t x = CheckedAdd(lampPos.X, CheckedSub(inside.Left, cell.Left));
  const int32_t y = CheckedAdd(lampPos.Y, CheckedSub(inside.Top, cell.Top));
  return {inside, Rect(x, y, CheckedAdd(x, RectWidth(inside)), CheckedAdd(y, RectHeight(inside)))};
}

// ---- TGaugeCustomLed ---------------------------------------------------------------------

const TClassInfo& TGaugeCustomLed::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeCustomLed>("TGaugeCustomLed", &TGaugeGraphicImageControl::StaticClass()).Build();
  return info;
}

TGaugeCustomLed::TGaugeCustomLed(TComponent* owner)
    : TGaugeGraphicImageControl(owner),
      FPalette(std::make_unique<TGaugePalette>()),
      FGlyphs(std::make_unique<TBitmap>()),
      FStrip(std::make_unique<TBitmap>()) {
  // The lamp fills its whole area (Color around the lamp), so a repaint
  // never needs the parent beneath it until Transparent says otherwise.
  ControlStyle().Include(csOpaque);
  // The lamp takes no double-clicks: a quick second click is a click.
  ControlStyle().Exclude(csDoubleClicks);
  SetBounds(Left(), Top(), 25, 25);
  SetColor(clBlack);
  SetParentColor(false);
  Font()->SetColor(clWhite);
  FPalette->SetLow(kLedOffKey);
  FPalette->SetHigh(kLedOnKey);
  FPalette->OnChange = [this](TObject*) { ReloadAndRepaint(); };
  // Anything that changes the custom strip in place (a skin's Glyphs.Data,
  // a file loaded into it) comes through here.
  FGlyphs->OnChange = [this](TObject*) { ReloadAndRepaint(); };
  LoadBitmaps();
}

TGaugeCustomLed::~TGaugeCustomLed() = default;

void TGaugeCustomLed::SetActive(TGaugeLedActive value) {
  if (FStates == TGaugeLedState::ls2 && value == TGaugeLedActive::la3) value = TGaugeLedActive::la2;
  if (value == FActive) return;
  FActive = value;
  UpdateControlCanvas();
  Change();
}

void TGaugeCustomLed::SetLedType(TGaugeLedType value) {
  if (value == FLedType) return;
  FLedType = value;
  ReloadAndRepaint();
}

void TGaugeCustomLed::SetLayout(TGaugeImageTextLayout value) {
  if (value == FLayout) return;
  FLayout = value;
  UpdateControlCanvas();
}

void TGaugeCustomLed::SetMargin(int32_t value) {
  if (value == FMargin) return;
  FMargin = value;
  UpdateControlCanvas();
}

void TGaugeCustomLed::SetSpacing(int32_t value) {
  if (value == FSpacing) return;
  FSpacing = value;
  UpdateControlCanvas();
}

void TGaugeCustomLed::SetStates(TGaugeLedState value) {
  if (value == FStates) return;
  FStates = value;
  UpdateControlCanvas();
  Change();
}

void TGaugeCustomLed::LoadBitmaps() {
  if (FLedType == TGaugeLedType::ltCustom) {
    FStrip->Assign(*FGlyphs);
    return;
  }
  FStrip->LoadFromBytes(FindGlyphResource(LedStripResource(FLedType)));
  FPalette->ApplyToBitmap(*FStrip, kLedOffKey, kLedOnKey);
}

void TGaugeCustomLed::Change() {
  if (OnChange) OnChange(this);
}

void TGaugeCustomLed::ReloadAndRepaint() {
  LoadBitmaps();
  UpdateControlCanvas();
}

void TGaugeCustomLed::TextChanged() {
  TGaugeGraphicImageControl::TextChanged();
  UpdateControlCanvas();
}

void TGaugeCustomLed::CalcLayout() {
  TCanvas& canvas = *Canvas();
  canvas.Font().Assign(*Font());
  const TPoint cellSize = LedCellSize(FStrip->Width(), FStrip->Height(), FStates);
  TPoint lampPos;
  CalcImageTextLayout(canvas, ClientRect(), Caption(), static_cast<int32_t>(FLayout) + 1, FMargin, FSpacing,
                      cellSize, lampPos, FCaptionRect);
  FLampRect = Rect(lampPos.X, lampPos.Y, CheckedAdd(lampPos.X, cellSize.X), CheckedAdd(lampPos.Y, cellSize.Y));
}

void TGaugeCustomLed::Paint() {
  ClearBitmapCanvas();
  CalcLayout();
  TCanvas& image = BitmapCanvas();

  // The lamp, one colour left out: what lies beneath shows through there.
  const TLedCellCopy copy = LedCellCopy(FStrip->Width(), FStrip->Height(), FStates, FActive,
                                        {FLampRect.Left, FLampRect.Top});
  if (!IsRectEmpty(copy.Source)) {
    image.Brush().SetStyle(bsClear);
    const TColor transparent = FLedType == TGaugeLedType::ltCustom ? Color() : clBlack;
    image.BrushCopy(copy.Dest, *FStrip, copy.Source, transparent);
  }

  // The caption on one line, vertically centred, over what is there.
  if (!Caption().empty()) {
    image.Font().Assign(*Font());
    image.Brush().SetStyle(bsClear);
    TRect captionRect = FCaptionRect;
    image.DrawText(Caption(), captionRect, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  }

  TGaugeGraphicImageControl::Paint();
}

// ---- TGaugeLed ---------------------------------------------------------------------------

const TClassInfo& TGaugeLed::StaticClass() {
  using L = TGaugeLed;
  static const TClassInfo info =
      TClassBuilder<L>("TGaugeLed", &TGaugeCustomLed::StaticClass())
          .Enum("Active", GaugeLedActiveNames(), &L::Active, &L::SetActive)
          .Object("Palette", &L::Palette)
          .Enum("LedType", GaugeLedTypeNames(), &L::LedType, &L::SetLedType)
          .Enum("Layout", GaugeImageTextLayoutNames(), &L::Layout, &L::SetLayout)
          .Integer("Margin", &L::Margin, &L::SetMargin)
          .Integer("Spacing", &L::Spacing, &L::SetSpacing)
          .Boolean("Transparent", &L::Transparent, &L::SetTransparent)
          .Object("Glyphs", &L::Glyphs)
          .Event("OnChange", "TNotifyEvent", &L::SetOnChange)
          // Hint is published by TControl itself, at its place there.
          .Import(TControl::StandardProperties(),
                  {"Align", "Anchors", "BiDiMode", "Constraints", "Caption", "Color", "DragCursor", "DragKind",
                   "DragMode", "Font", "ParentBiDiMode", "ParentColor", "ParentFont", "ParentShowHint",
                   "PopupMenu", "ShowHint", "Visible"})
          .Enum("States", GaugeLedStateNames(), &L::States, &L::SetStates)
          // No OnDblClick: the lamp takes no double-clicks.
          .Import(TControl::StandardProperties(),
                  {"OnClick", "OnContextPopup", "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag",
                   "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}
