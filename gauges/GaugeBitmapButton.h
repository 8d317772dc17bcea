// TGaugeBitmapButton: a push button drawn entirely from a glyph bitmap that
// holds up to four images side by side - normal, hovered, pressed and
// disabled. The button tracks the mouse itself: a press on the image pushes
// it down (shifted right by HIndent and down by VIndent), moving off the
// image lets it spring up and moving back pushes it again, and only a
// release while it is down completes the press (OnMouseUp, then OnClick when
// the release lies in the control). With Transparent on, only the opaque
// pixels of the glyph take presses, so a button of any shape can sit on a
// skin.
//
// Which pixels are opaque is decided by a monochrome mask built from the
// glyph with the button's Color (pixels of Color are holes) when loading
// ends and at every Glyph assignment; a later change of Color does not
// rebuild it. The mask is indexed from its left edge, so the first image's
// shape decides for every state. The colour left out when painting is Color
// (tmColor) or the glyph's top-left pixel (tmPixel), independently of the
// mask.
//
// The geometry lives in pure functions (ButtonImageIndex, ButtonImageRect,
// ButtonGlyphRect, ButtonAutoSize) so that tests can check it without
// drawing.
//
// Thread rules: user-interface thread only; the pure functions may run on
// any thread.
// Errors: sizes and positions use the checked arithmetic of GaugeSysUtils,
// so a glyph or indent whose rectangle overflows 32 bits raises EIntOverflow
// instead of wrapping. Assigning a glyph raises what TBitmap raises.
// NumGlyphs is clamped to 1..4; negative indents are ignored.
#pragma once

#include <cstdint>
#include <memory>

#include "GaugeClasses.h"
#include "GaugeControls.h"

using TGaugeNumGlyphs = uint8_t;  // 1..4

constexpr int32_t kButtonMinGlyphs = 1;
constexpr int32_t kButtonMaxGlyphs = 4;

// Image index of each state in the glyph.
constexpr int32_t kButtonImageNormal = 0, kButtonImageHover = 1, kButtonImagePressed = 2, kButtonImageDisabled = 3;

// ---- geometry ----------------------------------------------------------------------------

// The image shown: normal; hovered over normal; pressed over both (hovered
// or not); disabled over everything. A state whose image the glyph does not
// hold (index + 1 > numGlyphs) shows the normal image.
int32_t ButtonImageIndex(bool hover, bool down, bool enabled, int32_t numGlyphs) noexcept;

// Where the image goes in the client area: centred with divisions
// truncating toward zero, then moved right by hIndent and down by vIndent
// while the button is down.
TRect ButtonImageRect(int32_t clientWidth, int32_t clientHeight, int32_t imageWidth, int32_t imageHeight, bool down,
                      int32_t hIndent, int32_t vIndent);

// Image `index` in the glyph: Bounds(index x imageWidth, 0, imageWidth, imageHeight).
TRect ButtonGlyphRect(int32_t index, int32_t imageWidth, int32_t imageHeight);

// The automatic size, whatever the Align: the image plus the indents plus 1.
void ButtonAutoSize(int32_t imageWidth, int32_t imageHeight, int32_t hIndent, int32_t vIndent, int& newWidth,
                    int& newHeight);

// ---- TGaugeBitmapButton ------------------------------------------------------------------

class TGaugeBitmapButton : public TGaugeGraphicImageControl {
  VELQ_CLASS(TGaugeBitmapButton)
public:
  // 50 x 50 at (0, 0), opaque, Color clBtnFace (not the parent's), empty
  // glyph, one image, indents 2, transparent colour from Color.
  explicit TGaugeBitmapButton(TComponent* owner);
  ~TGaugeBitmapButton() override;

  // The glyph, owned by the button. Changing it in place (a skin's
  // Glyph.Data) re-sizes the images and re-applies the automatic size; it
  // does not rebuild the mask (loading's end does).
  TBitmap* Glyph() const noexcept { return FGlyph.get(); }
  // Copies `value` into the glyph and rebuilds the mask from it with the
  // current Color; always assigns, even an equal picture.
  void SetGlyph(const TBitmap& value);
  // Images in the glyph, clamped to 1..4; a new value re-sizes the images,
  // then re-applies the automatic size.
  int32_t NumGlyphs() const noexcept { return FNumGlyphs; }
  void SetNumGlyphs(int32_t value);
  // Shift while pressed; a negative value is ignored, a new one re-applies
  // the automatic size.
  int32_t VIndent() const noexcept { return FVIndent; }
  void SetVIndent(int32_t value);
  int32_t HIndent() const noexcept { return FHIndent; }
  void SetHIndent(int32_t value);
  // tmColor: the glyph's pixels of Color are left out when painting;
  // tmPixel: those of the glyph's top-left pixel. A new value repaints.
  TGaugeTransparentMode TransparentMode() const noexcept { return FTransparentMode; }
  void SetTransparentMode(TGaugeTransparentMode value);

  // The hit mask: white where the glyph had Color when it was built, black
  // elsewhere.
  const TBitmap& Mask() const noexcept { return *FMask; }
  int32_t ImageWidth() const noexcept { return FImageWidth; }
  int32_t ImageHeight() const noexcept { return FImageHeight; }
  bool Hover() const noexcept { return FHover; }
  bool Down() const noexcept { return FDown; }
  bool Tracking() const noexcept { return FTracking; }

  // Image `index` in the glyph.
  TRect GetGlyphRect(int32_t index) const;
  // The image's place in the client area now (shifted while down).
  TRect GetImageRect() const;
  // The colour left out when the glyph is painted: Color when the glyph is
  // empty or with tmColor, else the glyph's pixel (0, 0).
  TColor GetTransparentColor() const;
  // Whether a press at client point (x, y) lands on the button: inside the
  // image (right and bottom exclusive) and, with Transparent, on a black
  // pixel of the mask.
  bool HitTest(int32_t x, int32_t y) const;

  bool CanAutoSize(int& newWidth, int& newHeight) override;
  // Images re-sized and the mask built, now that the skin has set Glyph and Color.
  void Loaded() override;
  void SetEnabled(bool value) override;

  // The left button: a press that hits starts tracking; moves toggle the
  // pushed look as the pointer leaves and re-enters the image; a release
  // completes the press only while pushed. Other buttons keep the control's
  // ordinary handling.
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;

protected:
  void Paint() override;

private:
  // Image width (glyph width div count) and height; 0 for an empty glyph.
  void UpdateGlyphSize();
  // The glyph's change handler: re-size the images, re-apply the size.
  void GlyphChanged();
  // The mask from the glyph and the current Color.
  void BuildMask();
  // Starts tracking when (x, y) hits the button.
  void PressAt(int32_t x, int32_t y);

  std::unique_ptr<TBitmap> FGlyph;
  std::unique_ptr<TBitmap> FMask;
  TGaugeNumGlyphs FNumGlyphs = 1;
  int32_t FImageWidth = 0;
  int32_t FImageHeight = 0;
  int32_t FVIndent = 2;
  int32_t FHIndent = 2;
  bool FHover = false;
  TGaugeTransparentMode FTransparentMode = TGaugeTransparentMode::tmColor;
  bool FDown = false;
  bool FTracking = false;
};
