#include "GaugeLevelBar.h"

#include "GaugeSysUtils.h"

// ---- layout ------------------------------------------------------------------------------

TLevelBarLayout CalcLevelBarLayout(const TRect& client, int32_t bevelWidth, TGaugeOrientation orientation,
                                   int32_t tickHeight, int32_t spacing) {
  TLevelBarLayout layout;
  layout.TickStep = CheckedAdd(tickHeight, spacing);
  layout.BarArea = Rect(CheckedAdd(client.Left, bevelWidth), CheckedAdd(client.Top, bevelWidth),
                        CheckedSub(client.Right, bevelWidth), CheckedSub(client.Bottom, bevelWidth));
  const bool vertical = orientation == TGaugeOrientation::voVertical;
  const int32_t clientLength = vertical ? RectHeight(client) : RectWidth(client);
  if (layout.TickStep <= 0) {
    // No tick size to divide by: no ticks, and the length stays as it is.
    layout.Length = clientLength;
    return layout;
  }
  const int32_t areaLength = vertical ? RectHeight(layout.BarArea) : RectWidth(layout.BarArea);
  const int32_t areaStart = vertical ? layout.BarArea.Top : layout.BarArea.Left;
  layout.TickCount = CheckedDiv(CheckedAdd(areaLength, spacing), layout.TickStep);
  // The ticks plus the bevel on both ends, without the gap after the last tick.
  layout.Length = CheckedSub(CheckedAdd(CheckedMul(areaStart, 2), CheckedMul(layout.TickCount, layout.TickStep)), spacing);
  return layout;
}

TLevelBarCounts LevelBarCounts(int32_t position, int32_t minValue, int32_t maxValue, int32_t percent1,
                               int32_t percent2, int32_t tickCount) {
  return {BarFillCount(position, minValue, maxValue, tickCount), PercentOf(percent1, tickCount),
          PercentOf(percent2, tickCount)};
}

int32_t LevelTickZone(int32_t k, int32_t n1, int32_t n2) noexcept {
  if (k < n1) return 0;
  // k - n1 < n2 without forming n1 + n2, which may not fit.
  if (int64_t(k) - n1 < n2) return 1;
  return 2;
}

TRect LevelTickRect(const TLevelBarLayout& layout, int32_t tickHeight, TGaugeOrientation orientation,
                    TGaugeProgressStyle style, int32_t k) {
  const TRect& area = layout.BarArea;
  const bool fromStart = style == TGaugeProgressStyle::psBottomLeft;
  if (orientation == TGaugeOrientation::voVertical) {
    // Ticks are placed from the top of the area down; k = 0 is the bottom
    // one for psBottomLeft and the top one for psTopRight.
    const int32_t offset = CheckedMul(CheckedSub(CheckedSub(layout.TickCount, 1), k), layout.TickStep);
    const int32_t top = fromStart ? CheckedAdd(area.Top, offset)
                                  : CheckedSub(CheckedSub(area.Bottom, tickHeight), offset);
    return Rect(area.Left, top, area.Right, CheckedAdd(top, tickHeight));
  }
  const int32_t offset = CheckedMul(k, layout.TickStep);
  const int32_t left = fromStart ? CheckedAdd(area.Left, offset) : CheckedSub(CheckedSub(area.Right, tickHeight), offset);
  return Rect(left, area.Top, CheckedAdd(left, tickHeight), area.Bottom);
}

// ---- TGaugeLevelBar ----------------------------------------------------------------------

const TClassInfo& TGaugeLevelBar::StaticClass() {
  using L = TGaugeLevelBar;
  static const TClassInfo info =
      TClassBuilder<L>("TGaugeLevelBar", &TGaugeCustomBar::StaticClass())
          .Integer("MaxValue", &L::MaxValue, &L::SetMaxValue)
          .Integer("MinValue", &L::MinValue, &L::SetMinValue)
          .Integer("Position", &L::Position, &L::SetPosition)
          .Integer("Percent1", &L::Percent1, &L::SetPercent1)
          .Integer("Percent2", &L::Percent2, &L::SetPercent2)
          .Object("Palette1", &L::Palette1)
          .Object("Palette2", &L::Palette2)
          .Object("Palette3", &L::Palette3)
          .Object("Bevel", &L::Bevel)
          .Enum("Orientation", GaugeOrientationNames(), &L::Orientation, &L::SetOrientation)
          .Integer("Spacing", &L::Spacing, &L::SetSpacing)
          .Integer("TickHeight", &L::TickHeight, &L::SetTickHeight)
          .Enum("Style", GaugeProgressStyleNames(), &L::Style, &L::SetStyle)
          .Integer("Step", &L::Step, &L::SetStep)
          .Event("OnChange", "TNotifyEvent", &L::SetOnChange)
          .Event("OnMinValue", "TNotifyEvent", &L::SetOnMinValue)
          .Event("OnMaxValue", "TNotifyEvent", &L::SetOnMaxValue)
          .Import(TControl::StandardProperties(),
                  {"Anchors", "Constraints", "Color", "DragCursor", "DragKind", "DragMode", "ParentColor",
                   "ParentShowHint", "PopupMenu", "ShowHint", "Visible", "OnClick", "OnContextPopup", "OnDblClick",
                   "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag", "OnMouseDown", "OnMouseMove", "OnMouseUp",
                   "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeLevelBar::TGaugeLevelBar(TComponent* owner)
    : TGaugeCustomBar(owner, TGaugeOrientation::voVertical, 0), FBevel(std::make_unique<TGaugeBevel>()) {
  ControlStyle().Include(csOpaque);
  SetBounds(Left(), Top(), 20, 170);
  SetColor(clBlack);
  SetParentColor(false);
  for (auto& palette : FPalettes) palette = std::make_unique<TGaugePalette>();
  FPalettes[1]->SetLow(clOlive);
  FPalettes[1]->SetHigh(clYellow);
  FPalettes[2]->SetLow(clMaroon);
  FPalettes[2]->SetHigh(clRed);
  // A black band inside a deeper inner bevel: the ticks sit in a dark well.
  FBevel->SetInnerWidth(2);
  FBevel->SetInnerColor(clBlack);
  // Hooked only now, so the colours and widths above trigger nothing.
  for (auto& palette : FPalettes) palette->OnChange = [this](TObject*) { UpdateControlCanvas(); };
  FBevel->OnChange = [this](TObject*) { BevelChanged(); };
}

TGaugeLevelBar::~TGaugeLevelBar() = default;

void TGaugeLevelBar::SetPercent1(TGaugePercentInt value) {
  if (value == FPercent1) return;
  // While a skin is read, Percent2 may still be on its way; the pair is
  // only kept within 100 % at run time.
  if (!Loading() && int32_t(value) + FPercent2 > 100) value = TGaugePercentInt(100 - FPercent2);
  FPercent1 = value;
  UpdateControlCanvas();
}

void TGaugeLevelBar::SetPercent2(TGaugePercentInt value) {
  if (value == FPercent2) return;
  if (int32_t(value) + FPercent1 > 100) return;
  FPercent2 = value;
  UpdateControlCanvas();
}

void TGaugeLevelBar::SetSpacing(int32_t value) {
  if (value == FSpacing) return;
  FSpacing = value;
  UpdateControlCanvas();
}

void TGaugeLevelBar::SetTickHeight(int32_t value) {
  if (value == FTickHeight || value <= 0) return;
  FTickHeight = value;
  UpdateControlCanvas();
}

void TGaugeLevelBar::SetStyle(TGaugeProgressStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  UpdateControlCanvas();
}

void TGaugeLevelBar::Change() {
  TGaugeCustomBar::Change();
  if (Position() == MinValue() && OnMinValue) OnMinValue(this);
  if (Position() == MaxValue() && OnMaxValue) OnMaxValue(this);
}

void TGaugeLevelBar::BevelChanged() {
  // The ticks keep their area and the control grows or shrinks around it.
  // Before the first layout there is no tick area to keep: the first paint
  // then snaps the length for the new bevel.
  if (!Loading() && FLaidOut) {
    const TRect outer = InflateRect(FLayout.BarArea, FBevel->TotalWidth(), FBevel->TotalWidth());
    SetBounds(Left(), Top(), RectWidth(outer), RectHeight(outer));
  }
  UpdateControlCanvas();
}

void TGaugeLevelBar::CalcLayout() {
  const bool vertical = Orientation() == TGaugeOrientation::voVertical;
  FLayout = CalcLevelBarLayout(ClientRect(), FBevel->TotalWidth(), Orientation(), FTickHeight, FSpacing);
  FLaidOut = true;
  // A new length resizes the control, which paints it again at that size.
  if (vertical && FLayout.Length != Height()) SetBounds(Left(), Top(), Width(), FLayout.Length);
  else if (!vertical && FLayout.Length != Width()) SetBounds(Left(), Top(), FLayout.Length, Height());
}

void TGaugeLevelBar::Paint() {
  CalcLayout();
  ClearBitmapCanvas();
  TCanvas& image = BitmapCanvas();
  TRect client = ClientRect();
  FBevel->DrawBevel(image, client);
  const TLevelBarCounts counts =
      LevelBarCounts(Position(), MinValue(), MaxValue(), FPercent1, FPercent2, FLayout.TickCount);
  image.Brush().SetStyle(bsSolid);
  for (int32_t k = 0; k < FLayout.TickCount; ++k) {
    const TGaugePalette& palette = *FPalettes[size_t(LevelTickZone(k, counts.N1, counts.N2))];
    image.Brush().SetColor(palette.GetColor(k < counts.Lit ? 1 : 0));
    image.FillRect(LevelTickRect(FLayout, FTickHeight, Orientation(), FStyle, k));
  }
  TGaugeCustomBar::Paint();
}
