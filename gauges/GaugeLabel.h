// TGaugeLabel: a caption drawn as decorated text - plain, raised, lowered
// (engraved) or with a drop shadow - rotated by any whole angle, aligned
// horizontally and vertically inside the control, and optionally filled
// with a picture (the letters show `Bitmap` stretched over the control).
//
// Each paint fills the off-screen image (Color, or the background when
// Transparent), measures the caption unrotated in the label's font (tw x th;
// line breaks in the caption add lines), rotates the font by `Angle`
// (counter-clockwise, about the top-left corner of the unrotated text box),
// places the text with CalcTextPos and draws it in the chosen style. The
// picture fill comes last, so the raised, lowered or shadow edges stay
// visible around picture-filled letters.
//
// The placement and automatic-size arithmetic live in the pure functions
// below (LabelAngleRadians, CalcTextPos, LabelAutoSize) so that tests can
// check them without drawing. They compute in double, as the angle's
// radians value is kept, and truncate every real toward zero when it
// becomes pixels.
//
// Thread rules: user-interface thread only; the pure functions may run on
// any thread.
// Errors: a pixel position or size that does not fit 32 bits raises
// ERangeError or EIntOverflow (the checked arithmetic of GaugeSysUtils)
// instead of wrapping; during a paint the frame is then not presented.
// Assigning a bitmap raises what TBitmap raises. Out-of-range property
// values are clamped, never refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "GaugeClasses.h"
#include "GaugeControls.h"

// ---- enumerations (the stored value is the ordinal) --------------------------------------

enum class TGaugeLabelStyle : uint8_t { lsNone, lsRaised, lsLowered, lsShadow };
// Horizontal placement.
enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
// Vertical placement.
enum class TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };

// Value names for property tables, in ordinal order.
const TEnumInfo& GaugeLabelStyleNames();
const TEnumInfo& AlignmentNames();
const TEnumInfo& TextLayoutNames();

constexpr int32_t kLabelMaxAngle = 359;

// ---- placement arithmetic ----------------------------------------------------------------

// degrees x pi / 180.
double LabelAngleRadians(int32_t degrees) noexcept;

// The origin of the rotated text (the top-left corner of the unrotated text
// box, about which the text turns) for a caption of textSize (tw, th,
// measured unrotated) at `angle` degrees (0..359) in a client area of
// clientWidth x clientHeight. The horizontal origin never lies left of the
// left-justified one, so a caption too wide for the control starts there
// whatever the alignment; the vertical origin is not limited.
TPoint CalcTextPos(TAlignment alignment, TTextLayout layout, int32_t angle, TPoint textSize, int32_t clientWidth,
                   int32_t clientHeight);

// The automatic size: with Align none, left or right the width becomes
// trunc(|cos a| tw + |sin a| th) + 4; with Align none, top or bottom the
// height becomes trunc(|cos a| th + |sin a| tw) + 4. Other aligns keep both.
void LabelAutoSize(TAlign align, int32_t angle, TPoint textSize, int& newWidth, int& newHeight);

// ---- TGaugeLabel -------------------------------------------------------------------------

class TGaugeLabel : public TGaugeGraphicImageControl {
  VELQ_CLASS(TGaugeLabel)
public:
  // 100 x 25, Color clBtnFace, font "Arial" 14 points, raised style,
  // centred both ways, highlight white, shadow grey, shadow depth 2, angle 0,
  // no picture, not transparent.
  explicit TGaugeLabel(TComponent* owner);
  ~TGaugeLabel() override;

  // Every setter below does nothing for the value already held, otherwise
  // stores it and repaints (Angle: re-applies the automatic size, which
  // repaints).
  TAlignment Alignment() const noexcept { return FAlignment; }
  void SetAlignment(TAlignment value);
  TColor ColorHighlight() const noexcept { return FColorHighlight; }
  void SetColorHighlight(TColor value);
  TColor ColorShadow() const noexcept { return FColorShadow; }
  void SetColorShadow(TColor value);
  TGaugeLabelStyle Style() const noexcept { return FStyle; }
  void SetStyle(TGaugeLabelStyle value);
  TTextLayout Layout() const noexcept { return FLayout; }
  void SetLayout(TTextLayout value);
  // Offset of the drop shadow, right and down (lsShadow); may be negative.
  int32_t ShadowDepth() const noexcept { return FShadowDepth; }
  void SetShadowDepth(int32_t value);
  // The picture filling the letters, owned by the label; empty for none.
  // Changing it in place (a skin's Bitmap.Data) repaints.
  TBitmap* Bitmap() const noexcept { return FBitmap.get(); }
  // Copies `value` into the owned picture (which repaints).
  void SetBitmap(const TBitmap& value);
  // Counter-clockwise rotation in degrees, clamped to 0..359.
  int32_t Angle() const noexcept { return FAngle; }
  void SetAngle(int32_t value);
  // The angle in radians, kept equal to Angle x pi / 180.
  double AngleRadians() const noexcept { return FAngleRadians; }

  // The caption's unrotated extent as the last paint or automatic size
  // measured it.
  TPoint TextSize() const noexcept { return {FTextWidth, FTextHeight}; }

  // Measures the caption in the label's font and applies LabelAutoSize;
  // always accepts.
  bool CanAutoSize(int& newWidth, int& newHeight) override;

protected:
  void Paint() override;
  // A new font or caption re-applies the automatic size first, then fires
  // the notification.
  void DoFontChanged() override;
  void DoTextChanged() override;

private:
  // Gives BitmapCanvas the label's font (unrotated) and measures the caption.
  void MeasureCaption();

  TAlignment FAlignment = TAlignment::taCenter;
  TTextLayout FLayout = TTextLayout::tlCenter;
  TColor FColorHighlight = clWhite;
  TColor FColorShadow = clGray;
  TGaugeLabelStyle FStyle = TGaugeLabelStyle::lsRaised;
  int32_t FShadowDepth = 2;
  std::unique_ptr<TBitmap> FBitmap;
  uint16_t FAngle = 0;
  double FAngleRadians = 0.0;
  int32_t FTextWidth = 0;
  int32_t FTextHeight = 0;
};
