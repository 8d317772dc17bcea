#include "GaugeBar.h"

#include "GaugeSysUtils.h"

int32_t BarFillCount(int32_t position, int32_t minValue, int32_t maxValue, int32_t total) {
  const int32_t percent = ToPercent(CheckedSub(position, minValue), CheckedSub(maxValue, minValue));
  return PercentOf(percent, total);
}

const TClassInfo& TGaugeCustomBar::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeCustomBar>("TGaugeCustomBar", &TGaugeGraphicImageControl::StaticClass()).Build();
  return info;
}

TGaugeCustomBar::TGaugeCustomBar(TComponent* owner, TGaugeOrientation orientation, int32_t position)
    : TGaugeGraphicImageControl(owner), FPosition(position), FOrientation(orientation) {}

void TGaugeCustomBar::SetMinValue(int32_t value) {
  if (value == FMinValue || value >= FMaxValue) return;
  FMinValue = value;
  if (FPosition < value) SetPosition(value);
  else UpdateControlCanvas();
}

void TGaugeCustomBar::SetMaxValue(int32_t value) {
  if (value == FMaxValue || value <= FMinValue) return;
  FMaxValue = value;
  if (FPosition > value) SetPosition(value);
  else UpdateControlCanvas();
}

void TGaugeCustomBar::SetPosition(int32_t value) {
  ClampInt(value, FMinValue, FMaxValue);
  if (value == FPosition) return;
  FPosition = value;
  UpdateControlCanvas();
  Change();
}

void TGaugeCustomBar::SetOrientation(TGaugeOrientation value) {
  if (value == FOrientation) return;
  FOrientation = value;
  OrientationChanged();
  // A skin states the size it wants for its orientation; only a change made
  // at run time turns the control on its side.
  if (!Loading()) SetBounds(Left(), Top(), Height(), Width());
  UpdateControlCanvas();
}

void TGaugeCustomBar::Change() {
  if (OnChange) OnChange(this);
}
