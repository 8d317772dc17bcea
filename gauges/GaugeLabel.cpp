#include "GaugeLabel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "GaugeSysUtils.h"

// ---- enumeration names -------------------------------------------------------------------

const TEnumInfo& GaugeLabelStyleNames() {
  static const TEnumInfo names{"TGaugeLabelStyle", {"lsNone", "lsRaised", "lsLowered", "lsShadow"}};
  return names;
}
const TEnumInfo& AlignmentNames() {
  static const TEnumInfo names{"TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}};
  return names;
}
const TEnumInfo& TextLayoutNames() {
  static const TEnumInfo names{"TTextLayout", {"tlTop", "tlCenter", "tlBottom"}};
  return names;
}

// ---- placement arithmetic ----------------------------------------------------------------

double LabelAngleRadians(int32_t degrees) noexcept { return degrees * std::numbers::pi / 180.0; }

namespace {
// Reals become pixels by truncation toward zero, refused when they do not
// fit 32 bits.
int32_t Pixels(double value) { return CheckedTrunc(value); }

// What the rotation adds to the left-justified or top origin so that the
// rotated text still starts inside: the text box turns about its top-left
// corner, so a text running leftward (90 < A < 270) needs its width on the
// left, one turned below the baseline (A > 180) its height, and one turned
// upward (A < 180) its width above.
struct TRotationShift {
  int32_t Left = 0;
  int32_t Top = 0;
};
TRotationShift RotationShift(int32_t angle, double absCos, double absSin, double tw, double th) {
  TRotationShift shift;
  const bool leftward = 90 < angle && angle < 270;
  if (leftward) shift.Left = CheckedAdd(shift.Left, Pixels(absCos * tw));
  if (angle > 180) shift.Left = CheckedAdd(shift.Left, Pixels(absSin * th));
  if (angle < 180) shift.Top = CheckedAdd(shift.Top, Pixels(absSin * tw));
  if (leftward) shift.Top = CheckedAdd(shift.Top, Pixels(absCos * th));
  return shift;
}
}  // namespace

TPoint CalcTextPos(TAlignment alignment, TTextLayout layout, int32_t angle, TPoint textSize, int32_t clientWidth,
                   int32_t clientHeight) {
  const double a = LabelAngleRadians(angle);
  const double c = std::cos(a), s = std::sin(a);
  const double absCos = std::fabs(c), absSin = std::fabs(s);
  const double tw = textSize.X, th = textSize.Y;
  const TRotationShift shift = RotationShift(angle, absCos, absSin, tw, th);

  const int32_t leftOrigin = CheckedAdd(2, shift.Left);
  int32_t x = leftOrigin;
  switch (alignment) {
    case TAlignment::taLeftJustify:
      break;
    case TAlignment::taRightJustify:
      x = CheckedAdd(CheckedSub(clientWidth, CheckedAdd(Pixels(absCos * tw + absSin * th), 2)), shift.Left);
      break;
    case TAlignment::taCenter:
      x = Pixels(clientWidth / 2.0 - c * tw / 2.0 - s * th / 2.0);
      break;
  }
  // A caption wider than the control starts at the left-justified origin.
  x = std::max(leftOrigin, x);

  int32_t y = CheckedAdd(2, shift.Top);
  switch (layout) {
    case TTextLayout::tlTop:
      break;
    case TTextLayout::tlCenter:
      y = Pixels(clientHeight / 2.0 - c * th / 2.0 + s * tw / 2.0);
      break;
    case TTextLayout::tlBottom:
      y = CheckedAdd(CheckedSub(clientHeight, CheckedAdd(Pixels(absCos * th + absSin * tw), 2)), shift.Top);
      break;
  }
  return {x, y};
}

void LabelAutoSize(TAlign align, int32_t angle, TPoint textSize, int& newWidth, int& newHeight) {
  const double a = LabelAngleRadians(angle);
  const double absCos = std::fabs(std::cos(a)), absSin = std::fabs(std::sin(a));
  const double tw = textSize.X, th = textSize.Y;
  if (align == alNone || align == alLeft || align == alRight)
    newWidth = CheckedAdd(Pixels(absCos * tw + absSin * th), 4);
  if (align == alNone || align == alTop || align == alBottom)
    newHeight = CheckedAdd(Pixels(absCos * th + absSin * tw), 4);
}

// ---- TGaugeLabel -------------------------------------------------------------------------

const TClassInfo& TGaugeLabel::StaticClass() {
  using L = TGaugeLabel;
  static const TClassInfo info =
      TClassBuilder<L>("TGaugeLabel", &TGaugeGraphicImageControl::StaticClass())
          .Enum("Alignment", AlignmentNames(), &L::Alignment, &L::SetAlignment)
          .Color("ColorHighlight", &L::ColorHighlight, &L::SetColorHighlight)
          .Color("ColorShadow", &L::ColorShadow, &L::SetColorShadow)
          .Enum("Style", GaugeLabelStyleNames(), &L::Style, &L::SetStyle)
          .Enum("Layout", TextLayoutNames(), &L::Layout, &L::SetLayout)
          .Integer("ShadowDepth", &L::ShadowDepth, &L::SetShadowDepth)
          .Object("Bitmap", &L::Bitmap)
          .Integer("Angle", &L::Angle, &L::SetAngle)
          .Boolean("Transparent", &L::Transparent, &L::SetTransparent)
          .Import(TControl::StandardProperties(),
                  {"Align", "Anchors", "AutoSize", "BiDiMode", "Constraints", "Color", "Caption", "Font",
                   "DragCursor", "DragMode", "DragKind", "ParentColor", "ParentFont", "ParentShowHint",
                   "ParentBiDiMode", "PopupMenu", "ShowHint", "Visible", "OnClick", "OnContextPopup", "OnDblClick",
                   "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag", "OnMouseDown", "OnMouseMove", "OnMouseUp",
                   "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeLabel::TGaugeLabel(TComponent* owner) : TGaugeGraphicImageControl(owner), FBitmap(std::make_unique<TBitmap>()) {
  SetBounds(0, 0, 100, 25);
  SetColor(clBtnFace);
  Font()->SetName("Arial");
  Font()->SetSize(14);
  // Anything that changes the picture in place (a skin's Bitmap.Data)
  // repaints through this handler.
  FBitmap->OnChange = [this](TObject*) { UpdateControlCanvas(); };
}

TGaugeLabel::~TGaugeLabel() = default;

void TGaugeLabel::SetAlignment(TAlignment value) {
  if (value == FAlignment) return;
  FAlignment = value;
  UpdateControlCanvas();
}

void TGaugeLabel::SetColorHighlight(TColor value) {
  if (value == FColorHighlight) return;
  FColorHighlight = value;
  UpdateControlCanvas();
}

void TGaugeLabel::SetColorShadow(TColor value) {
  if (value == FColorShadow) return;
  FColorShadow = value;
  UpdateControlCanvas();
}

void TGaugeLabel::SetStyle(TGaugeLabelStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  UpdateControlCanvas();
}

void TGaugeLabel::SetLayout(TTextLayout value) {
  if (value == FLayout) return;
  FLayout = value;
  UpdateControlCanvas();
}

void TGaugeLabel::SetShadowDepth(int32_t value) {
  if (value == FShadowDepth) return;
  FShadowDepth = value;
  UpdateControlCanvas();
}

void TGaugeLabel::SetBitmap(const TBitmap& value) { FBitmap->Assign(value); }

void TGaugeLabel::SetAngle(int32_t value) {
  value = std::clamp(value, 0, kLabelMaxAngle);
  if (value == FAngle) return;
  FAngle = static_cast<uint16_t>(value);
  FAngleRadians = LabelAngleRadians(value);
  AdjustControlSize();
}

void TGaugeLabel::MeasureCaption() {
  TCanvas& canvas = BitmapCanvas();
  // Assigning the whole font also takes back any rotation of the last paint.
  canvas.Font().Assign(*Font());
  const TPoint size = GetTextSize(canvas, Caption());
  FTextWidth = size.X;
  FTextHeight = size.Y;
}

bool TGaugeLabel::CanAutoSize(int& newWidth, int& newHeight) {
  MeasureCaption();
  LabelAutoSize(Align(), FAngle, TextSize(), newWidth, newHeight);
  return true;
}

void TGaugeLabel::DoFontChanged() {
  AdjustControlSize();
  TGaugeGraphicImageControl::DoFontChanged();
}

void TGaugeLabel::DoTextChanged() {
  AdjustControlSize();
  TGaugeGraphicImageControl::DoTextChanged();
}

void TGaugeLabel::Paint() {
  ClearBitmapCanvas();
  TCanvas& canvas = BitmapCanvas();
  MeasureCaption();
  SetFontAngle(canvas, FAngle);
  const TPoint origin = CalcTextPos(FAlignment, FLayout, FAngle, TextSize(), Width(), Height());
  const std::string& caption = Caption();

  switch (FStyle) {
    case TGaugeLabelStyle::lsNone:
      // The colour goes first: giving a clear brush a colour makes it solid.
      canvas.Brush().SetColor(Color());
      canvas.Brush().SetStyle(Transparent() ? bsClear : bsSolid);
      canvas.TextOut(origin.X, origin.Y, caption);
      break;
    case TGaugeLabelStyle::lsRaised:
      DrawEmbossedText(canvas, origin.X, origin.Y, caption, FColorHighlight, FColorShadow);
      break;
    case TGaugeLabelStyle::lsLowered:
      DrawEmbossedText(canvas, origin.X, origin.Y, caption, FColorShadow, FColorHighlight);
      break;
    case TGaugeLabelStyle::lsShadow:
      DrawShadowText(canvas, origin.X, origin.Y, caption, FColorShadow, FShadowDepth, FShadowDepth);
      break;
  }
  // After the style step: the picture fills the letters themselves and the
  // decoration stays visible around them.
  if (!FBitmap->Empty()) DrawTexturedText(canvas, ClientRect(), origin.X, origin.Y, caption, *FBitmap, FAngle);

  TGaugeGraphicImageControl::Paint();
}
