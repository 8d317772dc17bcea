#include "GaugeBitmapButton.h"

#include <algorithm>

#include "GaugeSysUtils.h"

// ---- geometry ----------------------------------------------------------------------------

int32_t ButtonImageIndex(bool hover, bool down, bool enabled, int32_t numGlyphs) noexcept {
  int32_t index = kButtonImageNormal;
  if (hover) index = kButtonImageHover;
  if (down) index = kButtonImagePressed;
  if (!enabled) index = kButtonImageDisabled;
  return index + 1 > numGlyphs ? kButtonImageNormal : index;
}

TRect ButtonImageRect(int32_t clientWidth, int32_t clientHeight, int32_t imageWidth, int32_t imageHeight, bool down,
                      int32_t hIndent, int32_t vIndent) {
  int32_t x = CheckedDiv(CheckedSub(clientWidth, imageWidth), 2);
  int32_t y = CheckedDiv(CheckedSub(clientHeight, imageHeight), 2);
  if (down) {
    x = CheckedAdd(x, hIndent);
    y = CheckedAdd(y, vIndent);
  }
  return {x, y, CheckedAdd(x, imageWidth), CheckedAdd(y, imageHeight)};
}

TRect ButtonGlyphRect(int32_t index, int32_t imageWidth, int32_t imageHeight) {
  const int32_t left = CheckedMul(index, imageWidth);
  return {left, 0, CheckedAdd(left, imageWidth), imageHeight};
}

void ButtonAutoSize(int32_t imageWidth, int32_t imageHeight, int32_t hIndent, int32_t vIndent, int& newWidth,
                    int& newHeight) {
  newWidth = CheckedAdd(CheckedAdd(imageWidth, hIndent), 1);
  newHeight = CheckedAdd(CheckedAdd(imageHeight, vIndent), 1);
}

// ---- TGaugeBitmapButton ------------------------------------------------------------------

const TClassInfo& TGaugeBitmapButton::StaticClass() {
  using B = TGaugeBitmapButton;
  static const TClassInfo info =
      TClassBuilder<B>("TGaugeBitmapButton", &TGaugeGraphicImageControl::StaticClass())
          .Object("Glyph", &B::Glyph)
          .Integer("NumGlyphs", &B::NumGlyphs, &B::SetNumGlyphs)
          .Integer("VIndent", &B::VIndent, &B::SetVIndent)
          .Integer("HIndent", &B::HIndent, &B::SetHIndent)
          .Enum("TransparentMode", GaugeTransparentModeNames(), &B::TransparentMode, &B::SetTransparentMode)
          .Boolean("Transparent", &B::Transparent, &B::SetTransparent)
          // Hint is published by TControl itself, at its place there.
          .Import(TControl::StandardProperties(),
                  {"Anchors", "AutoSize", "Constraints", "Color", "DragCursor", "DragKind", "DragMode", "Enabled",
                   "ParentColor", "ParentShowHint", "PopupMenu", "ShowHint", "Visible", "OnClick", "OnContextPopup",
                   "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag", "OnMouseDown", "OnMouseMove", "OnMouseUp",
                   "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeBitmapButton::TGaugeBitmapButton(TComponent* owner)
    : TGaugeGraphicImageControl(owner), FGlyph(std::make_unique<TBitmap>()), FMask(std::make_unique<TBitmap>()) {
  ControlStyle().Include(csOpaque);
  ControlStyle().Include(csReplicatable);
  ControlStyle().Exclude(csSetCaption);
  ControlStyle().Exclude(csDoubleClicks);
  // The form would click any control released over itself; this button
  // clicks only for a completed press, from its own MouseUp.
  ControlStyle().Exclude(csClickEvents);
  SetBounds(0, 0, 50, 50);
  SetColor(clBtnFace);
  SetParentColor(false);
  // Anything that changes the glyph in place (a skin's Glyph.Data, a file
  // loaded into it) re-sizes the images through this handler.
  FGlyph->OnChange = [this](TObject*) { GlyphChanged(); };
}

TGaugeBitmapButton::~TGaugeBitmapButton() = default;

void TGaugeBitmapButton::SetGlyph(const TBitmap& value) {
  FGlyph->Assign(value);
  BuildMask();
}

void TGaugeBitmapButton::SetNumGlyphs(int32_t value) {
  value = std::clamp(value, kButtonMinGlyphs, kButtonMaxGlyphs);
  if (value == FNumGlyphs) return;
  FNumGlyphs = static_cast<TGaugeNumGlyphs>(value);
  UpdateGlyphSize();
  AdjustControlSize();
}

void TGaugeBitmapButton::SetVIndent(int32_t value) {
  if (value < 0 || value == FVIndent) return;
  FVIndent = value;
  AdjustControlSize();
}

void TGaugeBitmapButton::SetHIndent(int32_t value) {
  if (value < 0 || value == FHIndent) return;
  FHIndent = value;
  AdjustControlSize();
}

void TGaugeBitmapButton::SetTransparentMode(TGaugeTransparentMode value) {
  if (value == FTransparentMode) return;
  FTransparentMode = value;
  UpdateControlCanvas();
}

void TGaugeBitmapButton::UpdateGlyphSize() {
  FImageWidth = 0;
  FImageHeight = 0;
  if (FGlyph->Empty()) return;
  FImageWidth = CheckedDiv(FGlyph->Width(), FNumGlyphs);
  FImageHeight = FGlyph->Height();
}

void TGaugeBitmapButton::GlyphChanged() {
  UpdateGlyphSize();
  AdjustControlSize();
}

void TGaugeBitmapButton::BuildMask() {
  FMask->Assign(*FGlyph);
  FMask->SetTransparent(false);
  FMask->Mask(Color());
}

TRect TGaugeBitmapButton::GetGlyphRect(int32_t index) const { return ButtonGlyphRect(index, FImageWidth, FImageHeight); }

TRect TGaugeBitmapButton::GetImageRect() const {
  return ButtonImageRect(Width(), Height(), FImageWidth, FImageHeight, FDown, FHIndent, FVIndent);
}

TColor TGaugeBitmapButton::GetTransparentColor() const {
  if (FGlyph->Empty() || FTransparentMode == TGaugeTransparentMode::tmColor) return Color();
  return FGlyph->Pixels(0, 0);
}

bool TGaugeBitmapButton::HitTest(int32_t x, int32_t y) const {
  const TRect r = GetImageRect();
  const bool inside = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
  if (!Transparent() || !inside) return inside;
  // A mask smaller than the image (the glyph changed in place after it was
  // built) answers -1 beyond its edges, which is not black: no hit.
  return FMask->Pixels(x - r.Left, y - r.Top) == clBlack;
}

bool TGaugeBitmapButton::CanAutoSize(int& newWidth, int& newHeight) {
  ButtonAutoSize(FImageWidth, FImageHeight, FHIndent, FVIndent, newWidth, newHeight);
  return true;
}

void TGaugeBitmapButton::Loaded() {
  TGaugeGraphicImageControl::Loaded();
  UpdateGlyphSize();
  BuildMask();
}

void TGaugeBitmapButton::SetEnabled(bool value) {
  if (value == Enabled()) return;
  TGaugeGraphicImageControl::SetEnabled(value);
  UpdateControlCanvas();
}

void TGaugeBitmapButton::PressAt(int32_t x, int32_t y) {
  if (!HitTest(x, y)) return;
  // The form has captured the mouse for this press already (the control
  // keeps csCaptureMouse), so moves and the release come here.
  FTracking = true;
  FDown = true;
  UpdateControlCanvas();
}

void TGaugeBitmapButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGaugeGraphicImageControl::MouseDown(button, shift, x, y);
  if (button == mbLeft) PressAt(x, y);
}

void TGaugeBitmapButton::MouseMove(TShiftState shift, int x, int y) {
  TGaugeGraphicImageControl::MouseMove(shift, x, y);
  if (FTracking && HitTest(x, y) != FDown) {
    FDown = !FDown;
    UpdateControlCanvas();
  }
}

void TGaugeBitmapButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button != mbLeft) {
    TGaugeGraphicImageControl::MouseUp(button, shift, x, y);
    return;
  }
  // The form has released the capture before handing over the release.
  const bool completed = FTracking && FDown;
  FDown = false;
  FTracking = false;
  if (!completed) return;
  UpdateControlCanvas();
  TGaugeGraphicImageControl::MouseUp(button, shift, x, y);
  if (x >= 0 && x < Width() && y >= 0 && y < Height()) Click();
}

void TGaugeBitmapButton::MouseEnter() {
  TGaugeGraphicImageControl::MouseEnter();
  FHover = true;
  UpdateControlCanvas();
}

void TGaugeBitmapButton::MouseLeave() {
  TGaugeGraphicImageControl::MouseLeave();
  FHover = false;
  UpdateControlCanvas();
}

void TGaugeBitmapButton::Paint() {
  ClearBitmapCanvas();
  TCanvas& canvas = BitmapCanvas();
  if (!FGlyph->Empty()) {
    const int32_t index = ButtonImageIndex(FHover, FDown, Enabled(), FNumGlyphs);
    // The colour goes first: giving a clear brush a colour makes it solid.
    canvas.Brush().SetColor(Color());
    canvas.Brush().SetStyle(Transparent() ? bsClear : bsSolid);
    canvas.BrushCopy(GetImageRect(), *FGlyph, GetGlyphRect(index), GetTransparentColor());
  }
  DrawDesignFrame(canvas);
  TGaugeGraphicImageControl::Paint();
}
