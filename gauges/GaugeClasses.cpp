#include "GaugeClasses.h"

#include "GaugeSysUtils.h"

// ---- enumeration names -------------------------------------------------------------------

const TEnumInfo& GaugeOrientationNames() {
  static const TEnumInfo names{"TGaugeOrientation", {"voVertical", "voHorizontal"}};
  return names;
}
const TEnumInfo& GaugeProgressStyleNames() {
  static const TEnumInfo names{"TGaugeProgressStyle", {"psBottomLeft", "psTopRight"}};
  return names;
}
const TEnumInfo& GaugeAlignmentNames() {
  static const TEnumInfo names{"TGaugeAlignment", {"vaLeftJustify", "vaRightJustify", "vaCenter"}};
  return names;
}
const TEnumInfo& GaugeTransparentModeNames() {
  static const TEnumInfo names{"TGaugeTransparentMode", {"tmPixel", "tmColor"}};
  return names;
}
const TEnumInfo& GaugeImageTextLayoutNames() {
  static const TEnumInfo names{"TGaugeImageTextLayout", {"ImageLeft", "ImageRight", "ImageTop", "ImageBottom"}};
  return names;
}
const TEnumInfo& GaugeBevelStyleNames() {
  static const TEnumInfo names{"TGaugeBevelStyle", {"bsNone", "bsLowered", "bsRaised"}};
  return names;
}
const TEnumInfo& GaugeBevelOutlineStyleNames() {
  static const TEnumInfo names{"TGaugeBevelOutlineStyle", {"osOuter", "osInner", "osNone"}};
  return names;
}

// ---- TGaugePersistent --------------------------------------------------------------------

const TClassInfo& TGaugePersistent::StaticClass() {
  static const TClassInfo info = TClassBuilder<TGaugePersistent>("TGaugePersistent", &TPersistent::StaticClass()).Build();
  return info;
}

void TGaugePersistent::Changed() {
  if (OnChange && FUpdateCount == 0) OnChange(this);
}

void TGaugePersistent::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  Changed();
}

// ---- TGaugeBevel -------------------------------------------------------------------------

const TClassInfo& TGaugeBevel::StaticClass() {
  using B = TGaugeBevel;
  static const TClassInfo info = TClassBuilder<B>("TGaugeBevel", &TGaugePersistent::StaticClass())
                                     .Integer("BorderWidth", &B::BorderWidth, &B::SetBorderWidth)
                                     .Color("BorderColor", &B::BorderColor, &B::SetBorderColor)
                                     .Color("InnerShadow", &B::InnerShadow, &B::SetInnerShadow)
                                     .Color("InnerHighlight", &B::InnerHighlight, &B::SetInnerHighlight)
                                     .Integer("InnerWidth", &B::InnerWidth, &B::SetInnerWidth)
                                     .Enum("InnerStyle", GaugeBevelStyleNames(), &B::InnerStyle, &B::SetInnerStyle)
                                     .Enum("InnerOutline", GaugeBevelOutlineStyleNames(), &B::InnerOutline, &B::SetInnerOutline)
                                     .Integer("InnerSpace", &B::InnerSpace, &B::SetInnerSpace)
                                     .Color("InnerColor", &B::InnerColor, &B::SetInnerColor)
                                     .Color("OuterShadow", &B::OuterShadow, &B::SetOuterShadow)
                                     .Color("OuterHighlight", &B::OuterHighlight, &B::SetOuterHighlight)
                                     .Integer("OuterWidth", &B::OuterWidth, &B::SetOuterWidth)
                                     .Enum("OuterStyle", GaugeBevelStyleNames(), &B::OuterStyle, &B::SetOuterStyle)
                                     .Enum("OuterOutline", GaugeBevelOutlineStyleNames(), &B::OuterOutline, &B::SetOuterOutline)
                                     .Integer("OuterSpace", &B::OuterSpace, &B::SetOuterSpace)
                                     .Color("OuterColor", &B::OuterColor, &B::SetOuterColor)
                                     .Boolean("Visible", &B::Visible, &B::SetVisible)
                                     .Build();
  return info;
}

void TGaugeBevel::SetBorderWidth(TGaugeBorderWidth value) { Store(FBorderWidth, value); }
void TGaugeBevel::SetBorderColor(TColor value) { Store(FBorderColor, value); }
void TGaugeBevel::SetInnerShadow(TColor value) { Store(FInnerShadow, value); }
void TGaugeBevel::SetInnerHighlight(TColor value) { Store(FInnerHighlight, value); }
void TGaugeBevel::SetInnerWidth(TGaugeBevelWidth value) { Store(FInnerWidth, value); }
void TGaugeBevel::SetInnerStyle(TGaugeBevelStyle value) { Store(FInnerStyle, value); }
void TGaugeBevel::SetInnerOutline(TGaugeBevelOutlineStyle value) { Store(FInnerOutline, value); }
void TGaugeBevel::SetInnerSpace(TGaugeBevelSpace value) { Store(FInnerSpace, value); }
void TGaugeBevel::SetInnerColor(TColor value) { Store(FInnerColor, value); }
void TGaugeBevel::SetOuterShadow(TColor value) { Store(FOuterShadow, value); }
void TGaugeBevel::SetOuterHighlight(TColor value) { Store(FOuterHighlight, value); }
void TGaugeBevel::SetOuterWidth(TGaugeBevelWidth value) { Store(FOuterWidth, value); }
void TGaugeBevel::SetOuterStyle(TGaugeBevelStyle value) { Store(FOuterStyle, value); }
void TGaugeBevel::SetOuterOutline(TGaugeBevelOutlineStyle value) { Store(FOuterOutline, value); }
void TGaugeBevel::SetOuterSpace(TGaugeBevelSpace value) { Store(FOuterSpace, value); }
void TGaugeBevel::SetOuterColor(TColor value) { Store(FOuterColor, value); }
void TGaugeBevel::SetVisible(bool value) { Store(FVisible, value); }

int32_t TGaugeBevel::TotalWidth() const {
  if (!FVisible) return 0;
  int32_t w = FBorderWidth;
  if (FInnerOutline != TGaugeBevelOutlineStyle::osNone) w = CheckedAdd(w, 1);
  if (FOuterOutline != TGaugeBevelOutlineStyle::osNone) w = CheckedAdd(w, 1);
  w = CheckedAdd(CheckedAdd(w, FInnerSpace), FOuterSpace);
  if (FInnerStyle != TGaugeBevelStyle::bsNone) w = CheckedAdd(w, FInnerWidth);
  if (FOuterStyle != TGaugeBevelStyle::bsNone) w = CheckedAdd(w, FOuterWidth);
  return w;
}

void TGaugeBevel::GetVisibleArea(TRect& rect) const {
  const int32_t w = TotalWidth();
  rect = Rect(CheckedAdd(rect.Left, w), CheckedAdd(rect.Top, w), CheckedSub(rect.Right, w), CheckedSub(rect.Bottom, w));
}

void TGaugeBevel::DrawBevel(TCanvas& canvas, TRect& rect) const {
  if (!FVisible) return;
  // A raised bevel is lit from the top-left, a lowered one the other way.
  auto bevel = [&](TGaugeBevelStyle style, TColor highlight, TColor shadow, int32_t width) {
    if (style == TGaugeBevelStyle::bsNone) return;
    if (style == TGaugeBevelStyle::bsRaised) DrawFrame3D(canvas, rect, highlight, shadow, width);
    else DrawFrame3D(canvas, rect, shadow, highlight, width);
  };
  if (FBorderWidth > 0) DrawFrame3D(canvas, rect, FBorderColor, FBorderColor, FBorderWidth);
  if (FOuterOutline == TGaugeBevelOutlineStyle::osOuter) DrawFrame3D(canvas, rect, clBlack, clBlack, 1);
  bevel(FOuterStyle, FOuterHighlight, FOuterShadow, FOuterWidth);
  if (FOuterOutline == TGaugeBevelOutlineStyle::osInner) DrawFrame3D(canvas, rect, clBlack, clBlack, 1);
  DrawFrame3D(canvas, rect, FOuterColor, FOuterColor, FOuterSpace);
  if (FInnerOutline == TGaugeBevelOutlineStyle::osOuter) DrawFrame3D(canvas, rect, clBlack, clBlack, 1);
  bevel(FInnerStyle, FInnerHighlight, FInnerShadow, FInnerWidth);
  if (FInnerOutline == TGaugeBevelOutlineStyle::osInner) DrawFrame3D(canvas, rect, clBlack, clBlack, 1);
  DrawFrame3D(canvas, rect, FInnerColor, FInnerColor, FInnerSpace);
}

void TGaugeBevel::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TGaugeBevel*>(&source);
  if (!other) return TGaugePersistent::Assign(source);
  if (other == this) return;
  // One notification for the whole copy, also when a setter fails.
  BeginUpdate();
  try {
    SetBorderWidth(other->FBorderWidth);
    SetBorderColor(other->FBorderColor);
    SetInnerShadow(other->FInnerShadow);
    SetInnerHighlight(other->FInnerHighlight);
    SetInnerWidth(other->FInnerWidth);
    SetInnerStyle(other->FInnerStyle);
    SetInnerOutline(other->FInnerOutline);
    SetInnerSpace(other->FInnerSpace);
    SetInnerColor(other->FInnerColor);
    SetOuterShadow(other->FOuterShadow);
    SetOuterHighlight(other->FOuterHighlight);
    SetOuterWidth(other->FOuterWidth);
    SetOuterStyle(other->FOuterStyle);
    SetOuterOutline(other->FOuterOutline);
    SetOuterSpace(other->FOuterSpace);
    SetOuterColor(other->FOuterColor);
    SetVisible(other->FVisible);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// ---- TGaugePalette -----------------------------------------------------------------------

const TClassInfo& TGaugePalette::StaticClass() {
  using P = TGaugePalette;
  static const TClassInfo info = TClassBuilder<P>("TGaugePalette", &TGaugePersistent::StaticClass())
                                     .Color("Low", &P::Low, &P::SetLow)
                                     .Color("High", &P::High, &P::SetHigh)
                                     .Build();
  return info;
}

void TGaugePalette::SetLow(TColor value) {
  if (value == FLow) return;
  FLow = value;
  Changed();
}

void TGaugePalette::SetHigh(TColor value) {
  if (value == FHigh) return;
  FHigh = value;
  Changed();
}

TColor TGaugePalette::GetColor(int32_t index) const { return index <= 0 ? FLow : FHigh; }

void TGaugePalette::ApplyToBitmap(TBitmap& bitmap, TColor lowKey, TColor highKey) const {
  if (bitmap.Empty()) return;
  TBitmap original;
  original.Assign(bitmap);
  original.SetHandleType(bmDIB);
  MaskedRecolor(bitmap, original, lowKey, FLow);
  MaskedRecolor(bitmap, original, highKey, FHigh);
}

void TGaugePalette::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TGaugePalette*>(&source);
  if (!other) return TGaugePersistent::Assign(source);
  if (other == this) return;
  BeginUpdate();
  SetLow(other->FLow);
  SetHigh(other->FHigh);
  EndUpdate();
}
