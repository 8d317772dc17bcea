// TGaugeAngularMeter: a round needle gauge. A dial with up to three coloured
// zones on a ring, tick marks, numeric scale labels and a caption, and a
// triangular needle whose angle follows the real-valued Position between
// MinValue and MaxValue.
//
// Angles are degrees, 0 pointing up and growing clockwise on screen (90
// right, 180 down, 270 left). The scale starts at Start = Angle + 180 and
// sweeps AngleOffset degrees clockwise to End; with the initial Angle 40 and
// AngleOffset 280 it runs from 220 (lower left) over the top to 500 = 140
// (lower right), leaving an 80-degree gap at the bottom.
//
// The dial (everything but the needle) is rendered once into DialBitmap and
// kept: a frame blits it (or, transparent, brush-copies it with Color left
// out so the captured background shows through) and draws one filled
// triangle. BuildDial runs after Loaded, after SetBounds, after changes of
// the caption, Font, Color and LabelsFont, and from the setters of the
// properties that shape the dial; Position, ReverseMotion and the needle's
// own properties never rebuild it. The scale labels use the user's
// decimal separator, read once per process from the environment's locale
// (the process's own numeric locale is never switched).
//
// The geometry lives in the pure functions below (CalcPolarPoint with its
// exact rounding, the dial layout, zone sectors, ticks, labels, the needle
// angle and triangle) so that tests can check it without drawing.
//
// Thread rules: user-interface thread only.
// Errors: MinValue above MaxValue (or MaxValue below MinValue) outside
// loading raises EGaugeException "Value out of range." and changes nothing.
// The geometry uses checked arithmetic: a size or point that does not fit
// 32 bits raises EIntOverflow / ERangeError from the setter that rebuilt the
// dial or from the paint.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "GaugeClasses.h"
#include "GaugeControls.h"

// ---- geometry ----------------------------------------------------------------------------

// The point at distance r and angle a (degrees) from the centre
// (dw div 2, dh div 2): X = dw div 2 + Trunc(r sin t), Y = dh div 2 -
// Trunc(r cos t), where t = a x pi / 180 is computed with an 80-bit pi and
// rounded to a 64-bit real before sin and cos. The rounding of t is part of
// the result: it is what puts a mark exactly on its pixel. Trunc rounds
// toward zero; ERangeError when a coordinate does not fit 32 bits.
TPoint CalcPolarPoint(int32_t dw, int32_t dh, int32_t r, double a);

// The layout of a dial of a control width x height.
struct TMeterDial {
  int32_t FDW = 0, FDH = 0;  // the dial box: the control, or 2 x Radius square
  int32_t FCX = 0, FCY = 0;  // its centre (FDW div 2, FDH div 2)
  int32_t FR = 0;            // the tick-circle radius (ScaleRadius); may be negative
  int32_t FStart = 0;        // Angle + 180
  int32_t FEnd = 0;          // Start + AngleOffset
  double FZ1 = 0, FZ2 = 0;   // zone ends: Start + the shares of the sweep
  bool operator==(const TMeterDial&) const = default;
};

// radius < 0: the dial fills the control and R = min(width div 2, height
// div 2) - spacing; otherwise the dial is 2 x radius square and R = radius -
// spacing. Z1 = angleOffset x (percent1 x 0.01) + Start and Z2 =
// angleOffset x (percent2 x 0.01) + Z1, in extended precision, stored as
// 64-bit reals. EIntOverflow when a sum does not fit 32 bits.
TMeterDial MeterDialGeometry(int32_t width, int32_t height, int32_t radius, int32_t spacing, int32_t angle,
                             int32_t angleOffset, int32_t percent1, int32_t percent2);

// One coloured sector of the zone ring: a pie on FBox drawn
// counter-clockwise from FStartRadial to FEndRadial, which covers the
// clockwise sector from FFrom to FTo degrees.
struct TMeterZone {
  int32_t FZone = 0;  // 1, 2 or 3
  double FFrom = 0, FTo = 0;
  TRect FBox;
  TPoint FStartRadial, FEndRadial;
  bool operator==(const TMeterZone&) const = default;
};

// The ring box (the tick circle grown by ticksMax on every side).
TRect MeterRingBox(const TMeterDial& dial, int32_t ticksMax);
// The sectors to draw, in drawing order: zone 1 when percent1 > 0, zone 2
// when percent2 > 0, zone 3 when percent1 + percent2 < 100. A zone left out
// takes no room: the next starts where the previous one ended.
std::vector<TMeterZone> MeterZones(const TMeterDial& dial, int32_t ticksMax, int32_t percent1, int32_t percent2);

// One tick mark: a line from FInner (on the tick circle) to FOuter.
struct TMeterTick {
  double FAngle = 0;
  int32_t FLength = 0;  // ticksMax for a long mark, ticksMin for a short one
  TPoint FInner, FOuter;
  bool operator==(const TMeterTick&) const = default;
};

// ticks + 1 marks (none when ticks < 1) from Start, step angleOffset /
// ticks. Every ticksEnlarge-th mark, starting with the first, is long;
// ticksEnlarge 0 makes every mark short (there is no "every 0th").
std::vector<TMeterTick> MeterTicks(const TMeterDial& dial, int32_t angleOffset, int32_t ticks, int32_t ticksMin,
                                   int32_t ticksMax, int32_t ticksEnlarge);

// A scale label's text: the value in fixed notation with `decimals` digits
// after `separator`, halves rounded away from zero on the exact value
// (FormatFixed: 2.5 gives "3" with no decimals, a value that rounds to zero
// has no "-"). Decimals below 0 count as 0 and above 64 as 64 (more digits
// say nothing about a gauge and would only cost memory). The meter passes
// the user's decimal separator (UserDecimalSeparator).
std::string FormatMeterLabel(double value, int32_t decimals, std::string_view separator);

// One scale label, centred on FCenter.
struct TMeterLabel {
  TPoint FCenter;
  std::string FText;
  bool operator==(const TMeterLabel&) const = default;
};

// labels + 1 labels (none when labels < 1) at radius R + labelsOffset, from
// Start in steps of angleOffset / labels. Label k (from 0) reads k x
// ((maxValue - minValue) / labels) + minValue, computed afresh for each
// label rather than accumulated, so rounding errors do not add up along the
// scale; its text is FormatMeterLabel's with `separator`.
std::vector<TMeterLabel> MeterLabels(const TMeterDial& dial, int32_t angleOffset, int32_t labels,
                                     int32_t labelsOffset, double minValue, double maxValue, int32_t decimals,
                                     std::string_view separator);

// The caption cut into lines at each "|"; an empty caption has none, and a
// trailing "|" adds no empty line.
std::vector<std::string> MeterCaptionLines(const std::string& caption);

// The needle's angle in degrees.
//   normal:  (Angle + 180) + (p - MinValue) x AngleOffset / (MaxValue - MinValue)
//   reverse: (Angle + 360) + (MaxValue - p) x AngleOffset / (MaxValue - MinValue)
// so the normal needle runs from Start (MinValue) to End (MaxValue), and the
// reversed one starts half a turn further on, at Angle + 360, for MaxValue.
// When MinValue equals MaxValue there is no scale to divide: the needle
// rests at its start (Angle + 180, or Angle + 360 reversed). It rests there
// too when the quotient is not a number (a NaN position or infinite ends),
// so no value can make the paint fail.
double NeedleAngle(double minValue, double maxValue, double position, int32_t angle, int32_t angleOffset,
                   bool reverseMotion);

// The needle triangle: the tip at `length` from the centre (the tick-circle
// radius R when length < 0), the base points at baseWidth div 2 on either
// side, 90 degrees off the needle.
struct TMeterNeedle {
  TPoint FTip, FBase1, FBase2;
  bool operator==(const TMeterNeedle&) const = default;
};
TMeterNeedle MeterNeedle(const TMeterDial& dial, int32_t needleLength, int32_t baseWidth, double angle);

// Pen colour and width, then a line from (x1, y1) to (x2, y2) (the last
// point left out, as every 1-pixel line).
void DrawLine(TCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor color, int32_t width);

// ---- TGaugeAngularMeter ------------------------------------------------------------------

class TGaugeAngularMeter : public TGaugeGraphicImageControl {
  VELQ_CLASS(TGaugeAngularMeter)
public:
  // 250 x 250, Color clBlack, Font and LabelsFont white, transparent; the
  // other values are those of the property table (see the setters).
  explicit TGaugeAngularMeter(TComponent* owner);
  ~TGaugeAngularMeter() override;

  // ---- placement ----
  // The dial centre in the parent; setting it moves the control so that
  // Left = value - Width div 2 (Top likewise), also while loading.
  int32_t NeedleCenterX() const noexcept { return FNeedleCenterX; }
  void SetNeedleCenterX(int32_t value);
  int32_t NeedleCenterY() const noexcept { return FNeedleCenterY; }
  void SetNeedleCenterY(int32_t value);
  // Outside loading also keeps NeedleCenterX/Y on the new centre and
  // rebuilds the dial.
  void SetBounds(int left, int top, int width, int height) override;

  // ---- value model ----
  // The needle runs from the other end (see NeedleAngle). Stored only: the
  // next repaint shows it.
  bool ReverseMotion() const noexcept { return FReverseMotion; }
  void SetReverseMotion(bool value);
  // Ends of the scale. Outside loading a minimum above the maximum (or a
  // maximum below the minimum) raises "Value out of range."; while a skin
  // is read any order is accepted. A Position left outside is pulled in
  // without OnChange; the dial is rebuilt (its labels show the ends).
  double MaxValue() const noexcept { return FMaxValue; }
  void SetMaxValue(double value);
  double MinValue() const noexcept { return FMinValue; }
  void SetMinValue(double value);
  // Clamped silently into [MinValue, MaxValue]; a new value repaints (the
  // cached dial plus the needle) and then fires OnChange.
  double Position() const noexcept { return FPosition; }
  void SetPosition(double value);
  // Share of the sweep taken by zone 1 / zone 2 (zone 3 takes the rest).
  // Outside loading the two are kept from summing above 100 by cutting the
  // one being set.
  TGaugePercentInt Percent1() const noexcept { return FPercent1; }
  void SetPercent1(TGaugePercentInt value);
  TGaugePercentInt Percent2() const noexcept { return FPercent2; }
  void SetPercent2(TGaugePercentInt value);

  // ---- dial (each change rebuilds it) ----
  TGaugeWordInt Decimals() const noexcept { return FDecimals; }
  void SetDecimals(TGaugeWordInt value);
  int32_t Angle() const noexcept { return FAngle; }
  void SetAngle(int32_t value);
  TGaugeDegrees AngleOffset() const noexcept { return FAngleOffset; }
  void SetAngleOffset(TGaugeDegrees value);
  // Negative: the dial fills the control; otherwise its radius in pixels,
  // centred at (Radius, Radius).
  int32_t Radius() const noexcept { return FRadius; }
  void SetRadius(int32_t value);
  // From the dial radius inward to the tick circle.
  int32_t Spacing() const noexcept { return FSpacing; }
  void SetSpacing(int32_t value);
  TGaugeWordInt Ticks() const noexcept { return FTicks; }
  void SetTicks(TGaugeWordInt value);
  int32_t TicksMin() const noexcept { return FTicksMin; }
  void SetTicksMin(int32_t value);
  // Long tick length, and the width of the zone ring.
  int32_t TicksMax() const noexcept { return FTicksMax; }
  void SetTicksMax(int32_t value);
  TGaugeWordInt TicksEnlarge() const noexcept { return FTicksEnlarge; }
  void SetTicksEnlarge(TGaugeWordInt value);
  TColor TicksColor() const noexcept { return FTicksColor; }
  void SetTicksColor(TColor value);
  // The zone colours rebuild even when set to their current value.
  TColor ColorZone1() const noexcept { return FColorZone1; }
  void SetColorZone1(TColor value);
  TColor ColorZone2() const noexcept { return FColorZone2; }
  void SetColorZone2(TColor value);
  TColor ColorZone3() const noexcept { return FColorZone3; }
  void SetColorZone3(TColor value);
  int32_t Labels() const noexcept { return FLabels; }
  void SetLabels(int32_t value);
  int32_t LabelsOffset() const noexcept { return FLabelsOffset; }
  void SetLabelsOffset(int32_t value);
  // The meter's own font; assigning copies into it. Any change of it
  // rebuilds the dial.
  TFont* LabelsFont() const noexcept { return FLabelsFont.get(); }
  void SetLabelsFont(const TFont& value);

  // ---- needle (repaint only; the dial is not rebuilt) ----
  // Negative: the tick-circle radius.
  int32_t NeedleLength() const noexcept { return FNeedleLength; }
  void SetNeedleLength(int32_t value);
  // Also shifts the caption down, but only from the next rebuild on.
  int32_t NeedleBaseWidth() const noexcept { return FNeedleBaseWidth; }
  void SetNeedleBaseWidth(int32_t value);
  TColor NeedleColor() const noexcept { return FNeedleColor; }
  void SetNeedleColor(TColor value);
  // Stored for skins; no centre dot is drawn.
  TColor CenterDotColor() const noexcept { return FCenterDotColor; }
  void SetCenterDotColor(TColor value);
  int32_t CenterDotWidth() const noexcept { return FCenterDotWidth; }
  void SetCenterDotWidth(int32_t value);

  // Published for this widget (the base class keeps it unpublished).
  using TGaugeGraphicImageControl::SetTransparent;
  using TGaugeGraphicImageControl::Transparent;

  // Fired after Position changed.
  TNotifyEvent OnChange;
  void SetOnChange(TNotifyEvent handler) { OnChange = std::move(handler); }

  // ---- rendering ----
  // The tick-circle radius R (may be negative: the initial Spacing 1000 is
  // meant to be set by skins).
  int32_t ScaleRadius() const;
  // The dial's layout from the current properties.
  TMeterDial DialGeometry() const;
  // Renders the dial into DialBitmap, then asks for a repaint. Nothing
  // while loading.
  void BuildDial();
  const TBitmap& DialBitmap() const noexcept { return *FDialBitmap; }
  // How many times the dial has been rendered; lets callers check that a
  // frame did not rebuild it.
  uint64_t DialBuildCount() const noexcept { return FDialBuildCount; }

  void Loaded() override;

protected:
  // Fires OnChange when set.
  virtual void Change();
  // The cached dial, then the needle, then present.
  void Paint() override;
  // Draws the needle into the off-screen image.
  void DrawNeedle();
  // The pixels the needle covers at the current position, with a margin.
  TRect NeedleBounds() const;
  // The caption, Font and Color are drawn into the dial.
  void TextChanged() override;
  void FontChanged() override;
  void ColorChanged() override;

private:
  // Where needles show on screen (client coordinates): the last one drawn,
  // and older ones a clipped paint left in place.
  TRect FShownNeedle;
  // Stores a dial property and rebuilds when it changed.
  template <class T> void StoreAndRebuild(T& field, T value) {
    if (field == value) return;
    field = value;
    BuildDial();
  }
  // Stores a needle property and repaints when it changed.
  template <class T> void StoreAndRepaint(T& field, T value) {
    if (field == value) return;
    field = value;
    UpdateControlCanvas();
  }

  int32_t FNeedleCenterX = 0;
  int32_t FNeedleCenterY = 0;
  bool FReverseMotion = false;
  double FMinValue = 0.0;
  double FMaxValue = 100.0;
  double FPosition = 0.0;
  TGaugeWordInt FDecimals = 2;
  int32_t FSpacing = 1000;
  TGaugeWordInt FTicks = 0;
  int32_t FTicksMin = 5;
  int32_t FTicksMax = 14;
  TGaugeWordInt FTicksEnlarge = 10;
  TColor FTicksColor = clWhite;
  TColor FColorZone1 = clGreen;
  TColor FColorZone2 = clBlue;
  TColor FColorZone3 = clRed;
  TGaugePercentInt FPercent1 = 0;
  TGaugePercentInt FPercent2 = 0;
  int32_t FLabels = 0;
  int32_t FLabelsOffset = 30;
  std::unique_ptr<TFont> FLabelsFont;
  int32_t FAngle = 40;
  TGaugeDegrees FAngleOffset = 280;
  int32_t FRadius = -1;
  int32_t FNeedleLength = 100;
  int32_t FNeedleBaseWidth = 6;
  TColor FNeedleColor = clBlack;
  TColor FCenterDotColor = clRed;
  int32_t FCenterDotWidth = 0;
  std::unique_ptr<TBitmap> FDialBitmap;
  // False until the constructor has set every initial value, so that the
  // framework's notifications during construction do not render
  // half-initialised dials.
  bool FConstructed = false;
  bool FDialDeferred = false;  // created by a reader: the dial waits for Loaded
  uint64_t FDialBuildCount = 0;
};
