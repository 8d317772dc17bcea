// Controls: TControl (bounds, visibility, colour, font, caption, mouse),
// TGraphicControl (windowless, painted by its form through a shared canvas)
// and TWinControl (the container that paints its controls: the form).
//
// Painting is the classic cycle: invalid regions accumulate on the form;
// painting a region paints the form's background and then each visible
// control that meets it, in creation order, each through a canvas whose
// origin is the control's position and whose clip is the region. Repaint of
// an opaque control paints it at once over what the buffer holds beneath
// it, followed by the later visible controls that overlap it (clipped to
// its area, so they stay on top); of any other control it invalidates its
// area and has the form paint it now, beneath first.
//
// Thread rules: user-interface thread only.
// Errors: handlers' exceptions propagate to the caller (the message loop
// reports them).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Graphics.h"
#include "Types.h"

class TWinControl;
class TForm;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TControlStyleFlag {
  csAcceptsControls, csCaptureMouse, csDesignInteractive, csClickEvents, csFramed, csSetCaption, csOpaque,
  csDoubleClicks, csFixedWidth, csFixedHeight, csNoDesignVisible, csReplicatable, csNoStdEvents,
  csDisplayDragImage, csReflector, csActionClient, csMenuEvents
};
using TControlStyle = TSet<TControlStyleFlag>;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateFlag>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

// Cursor numbers (TCursor) and their identifiers.
constexpr int crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crHandPoint = -21;
std::optional<int64_t> IdentToCursor(std::string_view ident);

// Value names of the standard enumerations, for property tables.
const TEnumInfo& AlignNames();

// Size limits of a control: kept so that skins may set them.
class TSizeConstraints : public TPersistent {
  VELQ_CLASS(TSizeConstraints)
};

class TControl : public TComponent {
  VELQ_CLASS(TControl)
public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  // ---- placement ----
  TWinControl* Parent() const noexcept { return FParent; }
  virtual void SetParent(TWinControl* parent);
  bool HasParent() const override { return true; }
  void SetParentComponent(TComponent* parent) override;
  TComponent* GetParentComponent() const override;

  int Left() const noexcept { return FLeft; }
  int Top() const noexcept { return FTop; }
  int Width() const noexcept { return FWidth; }
  int Height() const noexcept { return FHeight; }
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  // Moves and sizes the control; with AutoSize (outside loading) the size
  // first goes through CanAutoSize. Invalidates the old and the new area.
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const noexcept { return Bounds(FLeft, FTop, FWidth, FHeight); }
  TRect ClientRect() const noexcept { return Rect(0, 0, FWidth, FHeight); }
  TAlign Align() const noexcept { return FAlign; }
  void SetAlign(TAlign value);
  bool AutoSize() const noexcept { return FAutoSize; }
  virtual void SetAutoSize(bool value);
  // May change the size that SetBounds is about to apply; true to accept.
  virtual bool CanAutoSize(int& newWidth, int& newHeight);
  // Re-applies the bounds so that an automatic size takes effect.
  virtual void AdjustSize();

  // ---- appearance ----
  bool Visible() const noexcept { return FVisible; }
  virtual void SetVisible(bool value);
  bool Enabled() const noexcept { return FEnabled; }
  virtual void SetEnabled(bool value);
  TColor Color() const noexcept { return FColor; }
  void SetColor(TColor value);
  bool ParentColor() const noexcept { return FParentColor; }
  void SetParentColor(bool value);
  TFont* Font() const noexcept { return FFont.get(); }
  void SetFont(TFont* value) { FFont->Assign(*value); }
  bool ParentFont() const noexcept { return FParentFont; }
  void SetParentFont(bool value);
  const std::string& Caption() const noexcept { return FText; }
  void SetCaption(const std::string& value) { SetText(value); }
  const std::string& Text() const noexcept { return FText; }
  virtual void SetText(const std::string& value);
  int Cursor() const noexcept { return FCursor; }
  void SetCursor(int value) { FCursor = value; }
  const std::string& Hint() const noexcept { return FHint; }
  void SetHint(const std::string& value) { FHint = value; }
  bool ShowHint() const noexcept { return FShowHint; }
  void SetShowHint(bool value) { FShowHint = value; }
  bool ParentShowHint() const noexcept { return FParentShowHint; }
  void SetParentShowHint(bool value) { FParentShowHint = value; }

  TSizeConstraints* ConstraintsObject() const noexcept { return FConstraints.get(); }

  TControlStyle& ControlStyle() noexcept { return FControlStyle; }
  const TControlStyle& ControlStyle() const noexcept { return FControlStyle; }
  void SetName(const std::string& name) override;

  // ---- painting ----
  // Paints now: over the buffer when opaque, otherwise beneath first; the
  // controls above it are painted again where they overlap (see above).
  virtual void Repaint();
  // Repaints only `part` (client coordinates) of the control, the same way:
  // for a change that touches a small part of a large control.
  void RepaintPart(const TRect& part);
  // Marks the control's area for the next paint.
  virtual void Invalidate();
  void Refresh() { Repaint(); }
  // The paint message of the form's paint cycle, with the canvas the
  // control paints on (null: nothing to paint on, ignored).
  virtual void PaintMessage(TCanvas* dc) { (void)dc; }

  // ---- mouse ----
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  void SetOnClick(TNotifyEvent e) { OnClick = std::move(e); }
  void SetOnDblClick(TNotifyEvent e) { OnDblClick = std::move(e); }
  void SetOnMouseDown(TMouseEvent e) { OnMouseDown = std::move(e); }
  void SetOnMouseUp(TMouseEvent e) { OnMouseUp = std::move(e); }
  void SetOnMouseMove(TMouseMoveEvent e) { OnMouseMove = std::move(e); }
  virtual void Click();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  // The pointer entered or left the control.
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}

  // The catalogue of standard properties that derived classes publish in
  // their own orders (TClassBuilder::Import).
  static const TClassInfo& StandardProperties();

protected:
  // The font or caption changed (after the parent-font/colour bookkeeping).
  virtual void FontChanged();
  virtual void TextChanged();
  virtual void ColorChanged();
  virtual void VisibleChanged() {}
  // The parent's colour or font changed.
  virtual void ParentColorChanged();
  virtual void ParentFontChanged();
  bool Loading() const noexcept { return ComponentState().Contains(csLoading); }
  bool Designing() const noexcept { return ComponentState().Contains(csDesigning); }

private:
  // Paints `area` (parent coordinates) now when opaque, else beneath first.
  void RepaintArea(const TRect& area);
  friend class TWinControl;
  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  bool FAutoSize = false;
  bool FVisible = true;
  bool FEnabled = true;
  TColor FColor = clWindow;
  bool FParentColor = true;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TSizeConstraints> FConstraints;
  bool FParentFont = true;
  std::string FText;
  int FCursor = crDefault;
  std::string FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TControlStyle FControlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  bool FUpdatingFont = false;
};

// A control without a window of its own: its form paints it on a shared
// canvas (`Canvas()`), attached for the duration of one paint.
class TGraphicControl : public TControl {
  VELQ_CLASS(TGraphicControl)
public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  // Outside a paint the canvas draws into a private 1 x 1 scratch surface,
  // so text measurement works at any time.
  TCanvas* Canvas() const noexcept { return FCanvas.get(); }
  // Points Canvas() at `dc`'s surface, origin and clip, calls Paint, and
  // points it back at the scratch surface (also when Paint fails).
  void PaintMessage(TCanvas* dc) override;

protected:
  virtual void Paint() {}

private:
  TSurfacePtr FScratch;
  std::unique_ptr<TCanvas> FCanvas;
};

// A container of controls; the form is the only one here.
class TWinControl : public TControl {
  VELQ_CLASS(TWinControl)
public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  int ControlCount() const noexcept { return static_cast<int>(FControls.size()); }
  TControl* Controls(int index) const { return FControls.at(static_cast<size_t>(index)); }
  // The topmost visible, enabled control at a client point, or null.
  TControl* ControlAtPos(TPoint p) const;

  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }

  // The painting services controls use.
  virtual void InvalidateRect(const TRect& r) = 0;
  // Paints a control now, over whatever the buffer holds beneath it, then
  // the later visible controls that overlap it, each clipped to its area.
  virtual void PaintControlNow(TControl* control) = 0;
  // The same within `area` (parent coordinates) only.
  virtual void PaintControlNow(TControl* control, const TRect& area) = 0;
  // Paints every invalid region now.
  virtual void Update() = 0;
  // Lays out the aligned controls (alTop ... alClient).
  void AlignControls();

protected:
  void ColorChanged() override;
  void FontChanged() override;
  const std::vector<TControl*>& ControlList() const noexcept { return FControls; }

private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  std::vector<TControl*> FControls;
  bool FAligning = false;
};
