// The base classes of the gauge widgets and the library's start-up.
//
// TGaugeComponent is the base of the non-visual parts (the widget timer).
// TGaugeGraphicControl is the base of every widget: the library version,
// the repaint request that is ignored while a skin is being read
// (UpdateControlCanvas), re-applying the automatic size or the bounds
// (AdjustControlSize, UpdateControlBounds), and four notifications (mouse
// enter/leave, font and caption changes) that widgets may override.
// TGaugeGraphicImageControl composes each frame in an off-screen image and
// presents it with one block copy, so a gauge updated many times a second
// does not flicker.
//
// Transparency: a transparent widget shows what lies beneath it. A paint
// that the window system starts (the form repaints the area: first show,
// uncovering, moving) captures the parent's pixels under the widget into a
// snapshot and composes the frame over it; a repaint after a property
// change paints the widget alone over that stored snapshot (the widget is
// made opaque for that one repaint), so the form is not repainted for every
// new value. A transparent widget that has never been painted has no
// snapshot and repaints through its parent.
//
// Widget pattern: setters compare, store, then call UpdateControlCanvas
// (or AdjustControlSize / UpdateControlBounds); Paint calls
// ClearBitmapCanvas, draws into BitmapCanvas(), then calls the inherited
// Paint, which presents the image.
//
// Thread rules: user-interface thread only. RegisterGaugeCursors runs once
// at start-up; GaugeCursor may be called from any thread afterwards.
// Errors: Paint's errors (checked-arithmetic errors among them) propagate
// out of the paint message after the canvases are released; the frame is
// then not presented. RegisterGaugeCursors raises EInvalidGraphic when the
// built-in cursor cannot be decoded.
#pragma once

#include <memory>
#include <string>

#include "Controls.h"
#include "Graphics.h"

// The library's version, published by the base classes.
inline constexpr const char* GaugeLibraryVersion = "1.3";

// ---- TGaugeComponent ---------------------------------------------------------------------

class TGaugeComponent : public TComponent {
  VELQ_CLASS(TGaugeComponent)
public:
  explicit TGaugeComponent(TComponent* owner);
  const std::string& Version() const noexcept { return FVersion; }
  // The version is the library's: a write (never stored in skins) is ignored.
  void SetVersion(const std::string& value) { (void)value; }

private:
  std::string FVersion;
};

// ---- TGaugeGraphicControl ----------------------------------------------------------------

class TGaugeGraphicControl : public TGraphicControl {
  VELQ_CLASS(TGaugeGraphicControl)
public:
  explicit TGaugeGraphicControl(TComponent* owner);

  const std::string& Version() const noexcept { return FVersion; }
  void SetVersion(const std::string& value) { (void)value; }

  // Unpublished notifications, each fired after the framework's own handling.
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnFontChanged;
  TNotifyEvent OnTextChanged;

  // The repaint request: repaint now unless a skin is being read.
  virtual void UpdateControlCanvas();
  // With AutoSize and Align none/top/bottom/left/right: re-applies the
  // bounds (outside loading) so that CanAutoSize can snap the size, and
  // repaints when the bounds did not change (a changed size repaints by
  // itself). Otherwise just repaints.
  virtual void AdjustControlSize();
  // Re-applies the bounds (so an overriding SetBounds can snap them) and
  // repaints when they did not change; nothing while loading.
  virtual void UpdateControlBounds();

  // The component is in design state / is being read from a skin.
  using TControl::Designing;
  using TControl::Loading;
  // A dotted black frame around the client area, in design state only.
  void DrawDesignFrame(TCanvas& canvas);

  void MouseEnter() override;
  void MouseLeave() override;

protected:
  virtual void DoMouseEnter();
  virtual void DoMouseLeave();
  virtual void DoFontChanged();
  virtual void DoTextChanged();
  void FontChanged() override;
  void TextChanged() override;

private:
  std::string FVersion;
};

// ---- TGaugeGraphicImageControl -----------------------------------------------------------

class TGaugeGraphicImageControl : public TGaugeGraphicControl {
  VELQ_CLASS(TGaugeGraphicImageControl)
public:
  explicit TGaugeGraphicImageControl(TComponent* owner);
  ~TGaugeGraphicImageControl() override;

  // The drawing surface of the off-screen image (Width x Height during a paint).
  TCanvas& BitmapCanvas() { return FBitmap->Canvas(); }
  TBitmap& ImageBitmap() { return *FBitmap; }
  // What lay under the control the last time it was captured (empty until
  // the first transparent paint).
  const TBitmap& BackgroundSnapshot() const { return *FBackground; }
  bool CaptureNeeded() const noexcept { return FCaptureNeeded; }

  // Not published here; widgets that offer transparency publish it.
  bool Transparent() const noexcept { return FTransparent; }
  void SetTransparent(bool value);

  // The paint message: sizes the image, attaches the device context, runs
  // Paint, and releases everything also when Paint fails. Without a device
  // context nothing happens. The image is drawn only where the device
  // context's clip lets the result show; the rest of it is not kept up to
  // date (only the shown part of an image ever reaches the screen).
  void PaintMessage(TCanvas* dc) override;
  // After a property change: a transparent control with a snapshot repaints
  // alone over it; then the base request.
  void UpdateControlCanvas() override;
  // The same for a change that touches only `part` (client coordinates):
  // the paint, and the image work within it, stay inside that part.
  void UpdateControlCanvasPart(const TRect& part);

protected:
  // Starts a frame: the image filled with Color, or (Transparent) holding
  // the background snapshot, captured first when a capture is due.
  virtual void ClearBitmapCanvas();
  // Presents the image on the control; a transparent control then asks for
  // a fresh capture at the next paint the window system starts.
  void Paint() override;

private:
  // Copies the part of the control canvas being painted (its clip
  // rectangle, where the parent has just painted) into the snapshot.
  void CaptureBackground();

  std::unique_ptr<TBitmap> FBitmap;
  std::unique_ptr<TBitmap> FBackground;
  bool FCaptureNeeded = true;
  bool FTransparent = false;
};

// ---- library start-up --------------------------------------------------------------------

// The cursor number under which the hand-point cursor is registered.
inline constexpr int crGaugeHandPoint = 99;

// A registered cursor picture and its hot spot.
struct TGaugeCursorImage {
  std::shared_ptr<const TIcon> Image;
  TPoint HotSpot;
};

// Loads the built-in cursor GAUGECURSORHANDPOINT and registers it as cursor
// 99 in the process-wide cursor table. Idempotent.
void RegisterGaugeCursors();
// The registered cursor of that number, or an empty record.
TGaugeCursorImage GaugeCursor(int number);
