// What the two bar widgets (TGaugeProgressBar, TGaugeLevelBar) have in
// common: an integer value inside a range, an orientation whose change turns
// the control on its side, a stored Step, the change event, and the one
// piece of arithmetic that decides how much of a bar is filled.
//
// Value model (identical for both bars, so kept here once):
// - MinValue := v is ignored when v is the current minimum or v >= MaxValue;
//   MaxValue := v is ignored when v is the current maximum or v <= MinValue.
//   A bound that passes the position drags it along through SetPosition (so
//   the change events fire); otherwise the bar just repaints.
// - Position := v is clamped into MinValue..MaxValue; only a different
//   result is stored, repainted, and announced through Change.
// - Orientation := v swaps Width and Height (outside loading), so a 200 x 16
//   horizontal bar becomes a 16 x 200 vertical one.
//
// Thread rules: user-interface thread only.
// Errors: the fill arithmetic is checked: a range whose width does not fit
// 32 bits raises EIntOverflow, a result that does not fit raises ERangeError.
#pragma once

#include <cstdint>

#include "GaugeClasses.h"
#include "GaugeControls.h"

// How many of `total` pixels or ticks are filled for `position` in
// minValue..maxValue: the whole-percent share of the range (truncated), then
// that percentage of total through PercentOf, whose extended-precision
// constant can land one below an exact multiple. An empty range (min = max)
// fills nothing. The bars clamp position into the range before asking.
int32_t BarFillCount(int32_t position, int32_t minValue, int32_t maxValue, int32_t total);

// The shared base of the bar widgets. Not created by skins itself; its
// accessors appear in each bar's own property table, in that bar's order.
class TGaugeCustomBar : public TGaugeGraphicImageControl {
  VELQ_CLASS(TGaugeCustomBar)
public:
  int32_t MinValue() const noexcept { return FMinValue; }
  void SetMinValue(int32_t value);
  int32_t MaxValue() const noexcept { return FMaxValue; }
  void SetMaxValue(int32_t value);
  int32_t Position() const noexcept { return FPosition; }
  void SetPosition(int32_t value);

  TGaugeOrientation Orientation() const noexcept { return FOrientation; }
  void SetOrientation(TGaugeOrientation value);

  // Stored for skins; no effect on drawing.
  int32_t Step() const noexcept { return FStep; }
  void SetStep(int32_t value) { FStep = value; }

  // Fired after every change of Position.
  TNotifyEvent OnChange;
  void SetOnChange(TNotifyEvent handler) { OnChange = std::move(handler); }

protected:
  TGaugeCustomBar(TComponent* owner, TGaugeOrientation orientation, int32_t position);

  // Announces a new Position: fires OnChange when set. The level bar adds
  // its bound events after it.
  virtual void Change();
  // Runs after a new orientation is stored and before the control is turned
  // on its side (the progress bar marks its fill pattern for re-rendering).
  virtual void OrientationChanged() {}

private:
  int32_t FMinValue = 0;
  int32_t FMaxValue = 100;
  int32_t FPosition;
  TGaugeOrientation FOrientation;
  int32_t FStep = 10;
};
