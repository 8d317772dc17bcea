// TForm: a top-level window through the window-system interface, with its
// back buffer and paint cycle, mouse dispatch to its controls, border and
// position handling, colour-key transparency and whole-window opacity, and
// the form events (create, show, close with a close action, ...).
//
// The back buffer is the size of the client area. Invalid regions collect
// until the loop paints them (background, OnPaint, then controls in creation
// order, each clipped); what was painted reaches the screen once per batch
// of handled messages, never per control.
//
// Thread rules: user-interface thread only (other threads use
// Application->PostMessage).
// Errors: window-system failures raise Exception; event handlers' errors
// propagate to the loop's reporting, except OnCreate's, which are reported
// at once so that the form is still shown.
#pragma once

#include <memory>
#include <string>

#include "Application.h"
#include "Controls.h"
#include "RectList.h"
#include "Messages.h"

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
enum TPosition {
  poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter, poMainFormCenter,
  poOwnerFormCenter
};
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// The frame that a border style adds around the client area (left + right,
// top + bottom), in the classic metrics, so that Width/Height and
// ClientWidth/ClientHeight relate as skins expect.
TPoint NonClientSize(TFormBorderStyle style);

// A form's scroll bars: kept so that skins may set them.
class TControlScrollBar : public TPersistent {
  VELQ_CLASS(TControlScrollBar)
};

class TForm : public TWinControl {
  VELQ_CLASS(TForm)
public:
  // A new, empty, hidden form (nothing is read). It registers itself with
  // the application.
  explicit TForm(TComponent* owner);
  ~TForm() override;

  // ---- window properties ----
  TFormBorderStyle BorderStyle() const noexcept { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle value);
  TBorderIcons BorderIcons() const noexcept { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons value) { FBorderIcons = value; }
  TPosition Position() const noexcept { return FPosition; }
  void SetPosition(TPosition value) { FPosition = value; }
  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int value);
  void SetClientHeight(int value);
  bool TransparentColor() const noexcept { return FTransparentColor; }
  void SetTransparentColor(bool value);
  TColor TransparentColorValue() const noexcept { return FTransparentColorValue; }
  void SetTransparentColorValue(TColor value);
  bool AlphaBlend() const noexcept { return FAlphaBlend; }
  void SetAlphaBlend(bool value);
  int AlphaBlendValue() const noexcept { return FAlphaBlendValue; }
  void SetAlphaBlendValue(int value);
  bool OldCreateOrder() const noexcept { return FOldCreateOrder; }
  void SetOldCreateOrder(bool value) { FOldCreateOrder = value; }
  bool DoubleBuffered() const noexcept { return FDoubleBuffered; }
  void SetDoubleBuffered(bool value) { FDoubleBuffered = value; }
  TWindowState WindowState() const noexcept { return FWindowState; }
  void SetWindowState(TWindowState value) { FWindowState = value; }
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool value) override;
  TControlScrollBar* HorzScrollBarObject() const noexcept { return FHorzScrollBar.get(); }
  TControlScrollBar* VertScrollBarObject() const noexcept { return FVertScrollBar.get(); }
  TIcon* IconObject() const noexcept { return FIcon.get(); }

  // ---- events ----
  TNotifyEvent OnCreate, OnDestroy, OnShow, OnHide, OnPaint, OnActivate, OnDeactivate, OnResize;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  void SetOnCreate(TNotifyEvent e) { OnCreate = std::move(e); }
  void SetOnDestroy(TNotifyEvent e) { OnDestroy = std::move(e); }
  void SetOnShow(TNotifyEvent e) { OnShow = std::move(e); }
  void SetOnHide(TNotifyEvent e) { OnHide = std::move(e); }
  void SetOnPaint(TNotifyEvent e) { OnPaint = std::move(e); }
  void SetOnActivate(TNotifyEvent e) { OnActivate = std::move(e); }
  void SetOnDeactivate(TNotifyEvent e) { OnDeactivate = std::move(e); }
  void SetOnResize(TNotifyEvent e) { OnResize = std::move(e); }
  void SetOnClose(TCloseEvent e) { OnClose = std::move(e); }
  void SetOnCloseQuery(TCloseQueryEvent e) { OnCloseQuery = std::move(e); }

  // ---- life ----
  // Completes construction after a form's description has been read: runs
  // OnCreate when OldCreateOrder is false (errors reported, not raised).
  void AfterConstruction();
  // Reading a form's description starts by setting OldCreateOrder to true,
  // so a description that leaves it out keeps the old creation order.
  void ReadingStarted() override;
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Asks OnCloseQuery, then OnClose with the action; the main form's close
  // ends the application, others hide (or are freed later on caFree).
  void Close();
  bool CloseQuery();

  // ---- messages ----
  // Delivers a message: the framework's handling, then DefaultHandler.
  virtual void Dispatch(TMessage& message);
  // Messages nobody else handled; the base does nothing.
  virtual void DefaultHandler(TMessage& message) { (void)message; }

  // ---- painting ----
  void InvalidateRect(const TRect& r) override;
  void PaintControlNow(TControl* control) override;
  void PaintControlNow(TControl* control, const TRect& area) override;
  void Update() override;
  // Paints what is invalid, then presents the rectangles that changed since
  // the last present. True when something was presented.
  virtual bool PaintAndPresent();
  // The back buffer (client size, RGB24); null before the first paint.
  const TSurfacePtr& BackBuffer() const noexcept { return FBackBuffer; }
  // Paints the whole client area into the back buffer now (off-screen use).
  void PaintAll();
  // The canvas of the form itself, valid during OnPaint.
  TCanvas* Canvas() const noexcept { return FCanvas.get(); }

  // ---- platform ----
  IPlatformWindow* PlatformWindow() const noexcept { return FWindow.get(); }
  // The window class name given to the window system (the class name).
  virtual std::string WindowClassName() const { return ClassName(); }
  void HandleWindowEvent(const TWindowEvent& event);

  void Loaded() override;

protected:
  void ColorChanged() override;
  void TextChanged() override;

private:
  void HandleNeeded();
  void ApplyWindowProperties();
  void ApplyPosition();
  void EnsureBackBuffer();
  void PaintRegion(const TRect& region);
  void PaintControlClipped(TControl* control, const TRect& region);
  void SetMouseControl(TControl* control);
  TShiftState ShiftFor(int button) const;

  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  TPosition FPosition = poDefaultPosOnly;
  bool FTransparentColor = false;
  TColor FTransparentColorValue = clBlack;
  bool FAlphaBlend = false;
  int FAlphaBlendValue = 255;
  bool FOldCreateOrder = false;
  bool FDoubleBuffered = false;
  TWindowState FWindowState = wsNormal;
  bool FFreePending = false;
  bool FOnScreen = false;  // the platform window is shown
  std::unique_ptr<TControlScrollBar> FHorzScrollBar;
  std::unique_ptr<TControlScrollBar> FVertScrollBar;
  std::unique_ptr<TIcon> FIcon;

  std::unique_ptr<IPlatformWindow> FWindow;
  TSurfacePtr FBackBuffer;
  std::unique_ptr<TCanvas> FCanvas;
  TRectList FInvalid;   // to repaint
  TRectList FPainting;  // being repainted (kept to reuse its storage)
  TRectList FDirty;     // repainted, not yet presented
  TControl* FMouseControl = nullptr;
  TControl* FCaptureControl = nullptr;
  int FButtons = 0;
};
