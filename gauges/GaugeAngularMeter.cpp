#include "GaugeAngularMeter.h"

#include <algorithm>
#include <cmath>

#include "GaugeSysUtils.h"

// ---- geometry ----------------------------------------------------------------------------

TPoint CalcPolarPoint(int32_t dw, int32_t dh, int32_t r, double a) {
  // pi in 80 bits, the product and quotient in extended, then t rounded to
  // a 64-bit real: marks at 90, 180, 270 degrees land one pixel differently
  // if any of these roundings changes.
  constexpr long double kPi = 3.14159265358979323846264338327950288L;
  const double t = static_cast<double>(static_cast<long double>(a) * kPi / 180.0L);
  const long double radius = r;
  const int32_t dx = CheckedTrunc(radius * std::sin(static_cast<long double>(t)));
  const int32_t dy = CheckedTrunc(radius * std::cos(static_cast<long double>(t)));
  return {CheckedAdd(dw / 2, dx), CheckedSub(dh / 2, dy)};
}

TMeterDial MeterDialGeometry(int32_t width, int32_t height, int32_t radius, int32_t spacing, int32_t angle,
                             int32_t angleOffset, int32_t percent1, int32_t percent2) {
  TMeterDial d;
  if (radius < 0) {
    d.FDW = width;
    d.FDH = height;
    d.FR = CheckedSub(IntMin(width / 2, height / 2), spacing);
  } else {
    d.FDW = CheckedMul(2, radius);
    d.FDH = d.FDW;
    d.FR = CheckedSub(radius, spacing);
  }
  d.FCX = d.FDW / 2;
  d.FCY = d.FDH / 2;
  d.FStart = CheckedAdd(angle, 180);
  d.FEnd = CheckedAdd(d.FStart, angleOffset);
  // The share is taken of the constant 0.01 in extended (slightly below a
  // hundredth), like every percentage of the library.
  constexpr long double kHundredth = 0.01L;
  const long double z1 = static_cast<long double>(angleOffset) * (percent1 * kHundredth) + d.FStart;
  d.FZ1 = static_cast<double>(z1);
  d.FZ2 = static_cast<double>(static_cast<long double>(angleOffset) * (percent2 * kHundredth) + d.FZ1);
  return d;
}

TRect MeterRingBox(const TMeterDial& dial, int32_t ticksMax) {
  const int32_t reach = CheckedAdd(dial.FR, ticksMax);
  return Rect(CheckedSub(dial.FCX, reach), CheckedSub(dial.FCY, reach), CheckedAdd(dial.FCX, reach),
              CheckedAdd(dial.FCY, reach));
}

std::vector<TMeterZone> MeterZones(const TMeterDial& dial, int32_t ticksMax, int32_t percent1, int32_t percent2) {
  const TRect box = MeterRingBox(dial, ticksMax);
  // The radials only give directions; reaching past the ring keeps them
  // well clear of the centre whatever the ring's size.
  const int32_t reach = CheckedSub(CheckedSub(box.Bottom, box.Top), ticksMax);
  auto sector = [&](int32_t zone, double from, double to) {
    // Pie runs counter-clockwise from its start radial: starting at the far
    // end makes it cover the clockwise sector from `from` to `to`.
    return TMeterZone{zone, from, to, box, CalcPolarPoint(dial.FDW, dial.FDH, reach, to),
                      CalcPolarPoint(dial.FDW, dial.FDH, reach, from)};
  };
  std::vector<TMeterZone> zones;
  double z1 = dial.FZ1, z2 = dial.FZ2;
  if (percent1 > 0) zones.push_back(sector(1, dial.FStart, z1));
  else z1 = dial.FStart;
  if (percent2 > 0) zones.push_back(sector(2, z1, z2));
  else z2 = z1;
  if (percent1 + percent2 < 100) zones.push_back(sector(3, z2, dial.FEnd));
  return zones;
}

std::vector<TMeterTick> MeterTicks(const TMeterDial& dial, int32_t angleOffset, int32_t ticks, int32_t ticksMin,
                                   int32_t ticksMax, int32_t ticksEnlarge) {
  std::vector<TMeterTick> marks;
  if (ticks < 1) return marks;
  const int32_t count = CheckedAdd(ticks, 1);
  const double step = static_cast<double>(angleOffset) / ticks;
  double a = dial.FStart;
  int32_t counter = ticksEnlarge;
  marks.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    // With TicksEnlarge 0 there is no "every n-th" mark to lengthen.
    const bool isLong = ticksEnlarge != 0 && CheckedMod(counter, ticksEnlarge) == 0;
    const int32_t length = isLong ? ticksMax : ticksMin;
    counter = CheckedAdd(counter, 1);
    marks.push_back({a, length, CalcPolarPoint(dial.FDW, dial.FDH, dial.FR, a),
                     CalcPolarPoint(dial.FDW, dial.FDH, CheckedAdd(dial.FR, length), a)});
    a += step;
  }
  return marks;
}

std::string FormatMeterLabel(double value, int32_t decimals, std::string_view separator) {
  return FormatFixed(value, std::clamp(decimals, 0, 64), separator);
}

std::vector<TMeterLabel> MeterLabels(const TMeterDial& dial, int32_t angleOffset, int32_t labels,
                                     int32_t labelsOffset, double minValue, double maxValue, int32_t decimals,
                                     std::string_view separator) {
  std::vector<TMeterLabel> result;
  if (labels < 1) return result;
  const int32_t count = CheckedAdd(labels, 1);
  const int32_t radius = CheckedAdd(dial.FR, labelsOffset);
  const double valueStep = (maxValue - minValue) / labels;
  const double angleStep = static_cast<double>(angleOffset) / labels;
  double a = dial.FStart;
  double value = minValue;
  result.reserve(static_cast<size_t>(count));
  for (int32_t k = 1; k <= count; ++k) {
    result.push_back({CalcPolarPoint(dial.FDW, dial.FDH, radius, a), FormatMeterLabel(value, decimals, separator)});
    a += angleStep;
    value = k * valueStep + minValue;
  }
  return result;
}

std::vector<std::string> MeterCaptionLines(const std::string& caption) {
  std::vector<std::string> lines;
  std::string rest = caption;
  while (!rest.empty()) lines.push_back(NextToken(rest, '|'));
  return lines;
}

double NeedleAngle(double minValue, double maxValue, double position, int32_t angle, int32_t angleOffset,
                   bool reverseMotion) {
  // Reversed, the scale is walked from its top end: negating the three
  // values turns "distance from the minimum" into "distance from the
  // maximum", and the needle starts half a turn further on.
  const long double lo = reverseMotion ? -maxValue : minValue;
  const long double hi = reverseMotion ? -minValue : maxValue;
  const long double p = reverseMotion ? -position : position;
  const long double start = static_cast<long double>(angle) + (reverseMotion ? 360.0L : 180.0L);
  const long double span = hi - lo;
  if (span == 0.0L) return static_cast<double>(start);
  const long double swept = (p - lo) * angleOffset / span;
  if (!std::isfinite(swept)) return static_cast<double>(start);
  return static_cast<double>(start + swept);
}

TMeterNeedle MeterNeedle(const TMeterDial& dial, int32_t needleLength, int32_t baseWidth, double angle) {
  const int32_t length = needleLength >= 0 ? needleLength : dial.FR;
  const int32_t halfBase = baseWidth / 2;
  return {CalcPolarPoint(dial.FDW, dial.FDH, length, angle), CalcPolarPoint(dial.FDW, dial.FDH, halfBase, angle - 90),
          CalcPolarPoint(dial.FDW, dial.FDH, halfBase, angle + 90)};
}

void DrawLine(TCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor color, int32_t width) {
  canvas.Pen().SetColor(color);
  canvas.Pen().SetWidth(width);
  canvas.MoveTo(x1, y1);
  canvas.LineTo(x2, y2);
}

// ---- TGaugeAngularMeter ------------------------------------------------------------------

const TClassInfo& TGaugeAngularMeter::StaticClass() {
  using M = TGaugeAngularMeter;
  static const TClassInfo info =
      TClassBuilder<M>("TGaugeAngularMeter", &TGaugeGraphicImageControl::StaticClass())
          .Integer("NeedleCenterX", &M::NeedleCenterX, &M::SetNeedleCenterX)
          .Integer("NeedleCenterY", &M::NeedleCenterY, &M::SetNeedleCenterY)
          .Boolean("ReverseMotion", &M::ReverseMotion, &M::SetReverseMotion)
          .Real("MaxValue", &M::MaxValue, &M::SetMaxValue)
          .Real("MinValue", &M::MinValue, &M::SetMinValue)
          .Real("Position", &M::Position, &M::SetPosition)
          .Integer("Decimals", &M::Decimals, &M::SetDecimals)
          .Integer("Angle", &M::Angle, &M::SetAngle)
          .Integer("AngleOffset", &M::AngleOffset, &M::SetAngleOffset)
          .Integer("Radius", &M::Radius, &M::SetRadius)
          .Integer("Spacing", &M::Spacing, &M::SetSpacing)
          .Integer("Ticks", &M::Ticks, &M::SetTicks)
          .Integer("TicksMin", &M::TicksMin, &M::SetTicksMin)
          .Integer("TicksMax", &M::TicksMax, &M::SetTicksMax)
          .Integer("TicksEnlarge", &M::TicksEnlarge, &M::SetTicksEnlarge)
          .Color("TicksColor", &M::TicksColor, &M::SetTicksColor)
          .Color("ColorZone1", &M::ColorZone1, &M::SetColorZone1)
          .Color("ColorZone2", &M::ColorZone2, &M::SetColorZone2)
          .Color("ColorZone3", &M::ColorZone3, &M::SetColorZone3)
          .Integer("Percent1", &M::Percent1, &M::SetPercent1)
          .Integer("Percent2", &M::Percent2, &M::SetPercent2)
          .Integer("Labels", &M::Labels, &M::SetLabels)
          .Integer("LabelsOffset", &M::LabelsOffset, &M::SetLabelsOffset)
          .Integer("NeedleLength", &M::NeedleLength, &M::SetNeedleLength)
          .Integer("NeedleBaseWidth", &M::NeedleBaseWidth, &M::SetNeedleBaseWidth)
          .Color("NeedleColor", &M::NeedleColor, &M::SetNeedleColor)
          .Color("CenterDotColor", &M::CenterDotColor, &M::SetCenterDotColor)
          .Integer("CenterDotWidth", &M::CenterDotWidth, &M::SetCenterDotWidth)
          .Object("LabelsFont", &M::LabelsFont)
          .Boolean("Transparent", &M::Transparent, &M::SetTransparent)
          .Event("OnChange", "TNotifyEvent", &M::SetOnChange)
          .Import(TControl::StandardProperties(),
                  {"Anchors", "Constraints", "Caption", "Color", "DragCursor", "DragKind", "DragMode", "Font",
                   "ParentColor", "ParentShowHint", "PopupMenu", "ShowHint", "Visible", "OnClick",
                   "OnContextPopup", "OnDblClick", "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag",
                   "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeAngularMeter::TGaugeAngularMeter(TComponent* owner)
    : TGaugeGraphicImageControl(owner), FLabelsFont(std::make_unique<TFont>()), FDialBitmap(std::make_unique<TBitmap>()) {
  FLabelsFont->SetColor(clWhite);
  FLabelsFont->OnChange = [this](TObject*) { BuildDial(); };
  // The meter shows no name as caption, and in design state starts without one.
  ControlStyle().Exclude(csSetCaption);
  ControlStyle().Include(csOpaque);
  Font()->SetColor(clWhite);
  SetColor(clBlack);
  SetParentColor(false);
  SetTransparent(true);
  FConstructed = true;
  // Sets the centres and renders the first dial. A reader creates the meter
  // while its owner loads and renders the dial at Loaded, once every
  // property is known: a default dial first would be thrown away.
  FDialDeferred = owner && owner->ComponentState().Contains(csLoading);
  SetBounds(Left(), Top(), 250, 250);
  FDialDeferred = false;
}

TGaugeAngularMeter::~TGaugeAngularMeter() {
  // The font's hook must not reach a meter that is going away.
  FLabelsFont->OnChange = nullptr;
}

// ---- placement ----

void TGaugeAngularMeter::SetNeedleCenterX(int32_t value) {
  if (value == FNeedleCenterX) return;
  FNeedleCenterX = value;
  // A skin may place the meter by its centre; that works while loading too,
  // with the width known at that moment.
  SetLeft(CheckedSub(value, Width() / 2));
  BuildDial();
}

void TGaugeAngularMeter::SetNeedleCenterY(int32_t value) {
  if (value == FNeedleCenterY) return;
  FNeedleCenterY = value;
  SetTop(CheckedSub(value, Height() / 2));
  BuildDial();
}

void TGaugeAngularMeter::SetBounds(int left, int top, int width, int height) {
  TGaugeGraphicImageControl::SetBounds(left, top, width, height);
  if (!FConstructed || Loading()) return;
  FNeedleCenterX = CheckedAdd(Left(), Width() / 2);
  FNeedleCenterY = CheckedAdd(Top(), Height() / 2);
  BuildDial();
}

// ---- value model ----

void TGaugeAngularMeter::SetReverseMotion(bool value) { FReverseMotion = value; }

void TGaugeAngularMeter::SetMinValue(double value) {
  if (value == FMinValue) return;
  if (value > FMaxValue && !Loading()) throw EGaugeException("Value out of range.");
  FMinValue = value;
  // Pulled in silently: the rebuild below repaints the needle as well.
  if (value > FPosition) FPosition = value;
  BuildDial();
}

void TGaugeAngularMeter::SetMaxValue(double value) {
  if (value == FMaxValue) return;
  if (value < FMinValue && !Loading()) throw EGaugeException("Value out of range.");
  FMaxValue = value;
  if (value < FPosition) FPosition = value;
  BuildDial();
}

void TGaugeAngularMeter::SetPosition(double value) {
  if (value < FMinValue) value = FMinValue;
  else if (value > FMaxValue) value = FMaxValue;
  if (value == FPosition) return;
  // Only the needle moves over the cached dial: where needles show now
  // (drawn before, perhaps under settings since changed without a repaint)
  // and the new place is all that is drawn again, a fraction of a large
  // gauge.
  FPosition = value;
  UpdateControlCanvasPart(UnionRect(FShownNeedle, NeedleBounds()));
  Change();
}

TRect TGaugeAngularMeter::NeedleBounds() const {
  const double angle = NeedleAngle(FMinValue, FMaxValue, FPosition, FAngle, FAngleOffset, FReverseMotion);
  const TMeterNeedle needle = MeterNeedle(DialGeometry(), FNeedleLength, FNeedleBaseWidth, angle);
  const TPoint points[] = {needle.FTip, needle.FBase1, needle.FBase2};
  TRect box{points[0].X, points[0].Y, points[0].X + 1, points[0].Y + 1};
  for (const TPoint& p : points) box = UnionRect(box, TRect{p.X, p.Y, p.X + 1, p.Y + 1});
  // The outline's pen and rounding may reach a pixel beyond the corners.
  return InflateRect(box, 2, 2);
}

void TGaugeAngularMeter::SetPercent1(TGaugePercentInt value) {
  if (value == FPercent1) return;
  // While a skin is read the partner may not be set yet, so the sum is
  // checked only afterwards.
  if (!Loading() && value + FPercent2 > 100) value = CheckedNarrow<TGaugePercentInt>(100 - FPercent2);
  FPercent1 = value;
  BuildDial();
}

void TGaugeAngularMeter::SetPercent2(TGaugePercentInt value) {
  if (value == FPercent2) return;
  if (!Loading() && value + FPercent1 > 100) value = CheckedNarrow<TGaugePercentInt>(100 - FPercent1);
  FPercent2 = value;
  BuildDial();
}

void TGaugeAngularMeter::Change() {
  if (OnChange) OnChange(this);
}

// ---- dial properties ----

void TGaugeAngularMeter::SetDecimals(TGaugeWordInt value) { StoreAndRebuild(FDecimals, value); }
void TGaugeAngularMeter::SetAngle(int32_t value) { StoreAndRebuild(FAngle, value); }
void TGaugeAngularMeter::SetAngleOffset(TGaugeDegrees value) { StoreAndRebuild(FAngleOffset, value); }
void TGaugeAngularMeter::SetRadius(int32_t value) { StoreAndRebuild(FRadius, value); }
void TGaugeAngularMeter::SetSpacing(int32_t value) { StoreAndRebuild(FSpacing, value); }
void TGaugeAngularMeter::SetTicks(TGaugeWordInt value) { StoreAndRebuild(FTicks, value); }
void TGaugeAngularMeter::SetTicksMin(int32_t value) { StoreAndRebuild(FTicksMin, value); }
void TGaugeAngularMeter::SetTicksMax(int32_t value) { StoreAndRebuild(FTicksMax, value); }
void TGaugeAngularMeter::SetTicksEnlarge(TGaugeWordInt value) { StoreAndRebuild(FTicksEnlarge, value); }
void TGaugeAngularMeter::SetTicksColor(TColor value) { StoreAndRebuild(FTicksColor, value); }
void TGaugeAngularMeter::SetLabels(int32_t value) { StoreAndRebuild(FLabels, value); }
void TGaugeAngularMeter::SetLabelsOffset(int32_t value) { StoreAndRebuild(FLabelsOffset, value); }

void TGaugeAngularMeter::SetColorZone1(TColor value) {
  FColorZone1 = value;
  BuildDial();
}

void TGaugeAngularMeter::SetColorZone2(TColor value) {
  FColorZone2 = value;
  BuildDial();
}

void TGaugeAngularMeter::SetColorZone3(TColor value) {
  FColorZone3 = value;
  BuildDial();
}

void TGaugeAngularMeter::SetLabelsFont(const TFont& value) { FLabelsFont->Assign(value); }

// ---- needle properties ----

void TGaugeAngularMeter::SetNeedleLength(int32_t value) { StoreAndRepaint(FNeedleLength, value); }
void TGaugeAngularMeter::SetNeedleBaseWidth(int32_t value) { StoreAndRepaint(FNeedleBaseWidth, value); }
void TGaugeAngularMeter::SetNeedleColor(TColor value) { StoreAndRepaint(FNeedleColor, value); }
void TGaugeAngularMeter::SetCenterDotColor(TColor value) { StoreAndRepaint(FCenterDotColor, value); }
void TGaugeAngularMeter::SetCenterDotWidth(int32_t value) { StoreAndRepaint(FCenterDotWidth, value); }

// ---- notifications drawn into the dial ----

void TGaugeAngularMeter::TextChanged() {
  TGaugeGraphicImageControl::TextChanged();
  BuildDial();
}

void TGaugeAngularMeter::FontChanged() {
  TGaugeGraphicImageControl::FontChanged();
  BuildDial();
}

void TGaugeAngularMeter::ColorChanged() {
  TGaugeGraphicImageControl::ColorChanged();
  BuildDial();
}

void TGaugeAngularMeter::Loaded() {
  TGaugeGraphicImageControl::Loaded();
  // Reading a skin built nothing; the dial is rendered once, now that every
  // property is known.
  BuildDial();
}

// ---- rendering ----

int32_t TGaugeAngularMeter::ScaleRadius() const { return DialGeometry().FR; }

TMeterDial TGaugeAngularMeter::DialGeometry() const {
  return MeterDialGeometry(Width(), Height(), FRadius, FSpacing, FAngle, FAngleOffset, FPercent1, FPercent2);
}

void TGaugeAngularMeter::BuildDial() {
  if (!FConstructed || FDialDeferred || Loading()) return;
  const TMeterDial dial = DialGeometry();
  FDialBitmap->SetSize(Width(), Height());
  TCanvas& canvas = FDialBitmap->Canvas();
  canvas.Pen().SetStyle(psSolid);
  canvas.Pen().SetWidth(1);
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(Color());
  canvas.FillRect(Rect(0, 0, Width(), Height()));

  // The zones are whole sectors; the disc drawn over them in Color leaves
  // only the ring from R - 2 out to R + TicksMax.
  const TColor zoneColors[] = {FColorZone1, FColorZone2, FColorZone3};
  for (const TMeterZone& zone : MeterZones(dial, FTicksMax, FPercent1, FPercent2)) {
    const TColor color = zoneColors[zone.FZone - 1];
    canvas.Pen().SetColor(color);
    canvas.Brush().SetColor(color);
    canvas.Pie(zone.FBox.Left, zone.FBox.Top, zone.FBox.Right, zone.FBox.Bottom, zone.FStartRadial.X,
               zone.FStartRadial.Y, zone.FEndRadial.X, zone.FEndRadial.Y);
  }
  const int32_t shrink = CheckedAdd(FTicksMax, 2);
  const TRect ring = MeterRingBox(dial, FTicksMax);
  canvas.Pen().SetColor(Color());
  canvas.Brush().SetColor(Color());
  canvas.Ellipse(CheckedAdd(ring.Left, shrink), CheckedAdd(ring.Top, shrink), CheckedSub(ring.Right, shrink),
                 CheckedSub(ring.Bottom, shrink));

  for (const TMeterTick& tick : MeterTicks(dial, FAngleOffset, FTicks, FTicksMin, FTicksMax, FTicksEnlarge))
    DrawLine(canvas, tick.FInner.X, tick.FInner.Y, tick.FOuter.X, tick.FOuter.Y, FTicksColor, 1);

  // The brush is still solid Color: each label's cell is filled with it, so
  // labels stay readable over the ring.
  const std::vector<TMeterLabel> labels =
      MeterLabels(dial, FAngleOffset, FLabels, FLabelsOffset, FMinValue, FMaxValue, FDecimals, UserDecimalSeparator());
  if (!labels.empty()) canvas.Font().Assign(*FLabelsFont);
  for (const TMeterLabel& label : labels) {
    const TPoint size = canvas.TextExtent(label.FText);
    canvas.TextOut(CheckedSub(label.FCenter.X, size.X / 2), CheckedSub(label.FCenter.Y, size.Y / 2), label.FText);
  }

  // The caption sits below the needle's base, one centred line per "|" part.
  canvas.Font().Assign(*Font());
  canvas.Brush().SetStyle(bsClear);
  int32_t y = CheckedAdd(Height() / 2, FNeedleBaseWidth);
  for (const std::string& line : MeterCaptionLines(Caption())) {
    // An empty line still takes the height of a line of text.
    const TPoint size = canvas.TextExtent(line.empty() ? std::string_view("gW") : std::string_view(line));
    canvas.TextOut(CheckedSub(dial.FCX, size.X / 2), y, line);
    y = CheckedAdd(y, size.Y);
  }

  ++FDialBuildCount;
  UpdateControlCanvas();
}

void TGaugeAngularMeter::Paint() {
  // An opaque dial of the control's size covers every pixel of the image,
  // so clearing the image first (at every frame) would only be overwritten.
  const bool dialCoversImage = !Transparent() && !FDialBitmap->Transparent() && FDialBitmap->Width() == Width() &&
                               FDialBitmap->Height() == Height();
  if (!dialCoversImage) ClearBitmapCanvas();
  TCanvas& image = BitmapCanvas();
  const TRect client = Rect(0, 0, Width(), Height());
  // The needles on screen after this paint: those outside its clip stay.
  const TRect clip = Canvas()->ClipRect();
  const bool coversShown = IsRectEmpty(FShownNeedle) || IntersectRect(clip, FShownNeedle) == FShownNeedle;
  FShownNeedle = UnionRect(coversShown ? TRect{} : FShownNeedle, IntersectRect(NeedleBounds(), clip));
  if (Transparent()) {
    // The dial's background (Color) is left out, so what the snapshot
    // captured shows through around and between the marks.
    image.Brush().SetColor(Color());
    image.Brush().SetStyle(bsClear);
    image.BrushCopy(client, *FDialBitmap, BitmapRect(*FDialBitmap), Color());
  } else {
    image.Draw(0, 0, *FDialBitmap);
  }
  DrawNeedle();
  TGaugeGraphicImageControl::Paint();
}

void TGaugeAngularMeter::DrawNeedle() {
  const TMeterDial dial = DialGeometry();
  const double angle = NeedleAngle(FMinValue, FMaxValue, FPosition, FAngle, FAngleOffset, FReverseMotion);
  const TMeterNeedle needle = MeterNeedle(dial, FNeedleLength, FNeedleBaseWidth, angle);
  TCanvas& image = BitmapCanvas();
  image.Pen().SetStyle(psSolid);
  image.Pen().SetWidth(1);
  image.Pen().SetColor(FNeedleColor);
  image.Brush().SetStyle(bsSolid);
  image.Brush().SetColor(FNeedleColor);
  const TPoint triangle[] = {needle.FTip, needle.FBase1, needle.FBase2};
  image.Polygon(triangle);
  // The centre dot's colour is taken up, but no dot is drawn: skins that
  // set CenterDotColor/CenterDotWidth look as they always did.
  image.Pen().SetColor(FCenterDotColor);
  image.Brush().SetColor(FCenterDotColor);
}
