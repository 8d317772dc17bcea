#include "Forms.h"

#include <algorithm>

namespace {
const TEnumInfo kBorderStyleNames{"TFormBorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}};
const TEnumInfo kBorderIconNames{"TBorderIcon", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}};
const TEnumInfo kPositionNames{"TPosition", {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                             "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"}};
const TEnumInfo kFormStyleNames{"TFormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"}};
const TEnumInfo kWindowStateNames{"TWindowState", {"wsNormal", "wsMinimized", "wsMaximized"}};
const TEnumInfo kDefaultMonitorNames{"TDefaultMonitor", {"dmDesktop", "dmPrimary", "dmMainForm", "dmActiveForm"}};
const TEnumInfo kPrintScaleNames{"TPrintScale", {"poNone", "poProportional", "poPrintToFit"}};
const TEnumInfo kScrollBarStyleNames{"TScrollBarStyle", {"ssRegular", "ssFlat", "ssHotTrack"}};
const TEnumInfo kNoNames{"", {}};
}  // namespace

const TClassInfo& TControlScrollBar::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TControlScrollBar>("TControlScrollBar", &TPersistent::StaticClass())
          .Stored("ButtonSize", TPropKind::Integer, "Integer", nullptr, int64_t{0})
          .Stored("Color", TPropKind::Color, "TColor", nullptr, int64_t{clBtnHighlight})
          .Stored("Increment", TPropKind::Integer, "TScrollBarInc", nullptr, int64_t{8})
          .Stored("Margin", TPropKind::Integer, "Word", nullptr, int64_t{0})
          .Stored("ParentColor", TPropKind::Boolean, "Boolean", nullptr, true)
          .Stored("Position", TPropKind::Integer, "Integer", nullptr, int64_t{0})
          .Stored("Range", TPropKind::Integer, "Integer", nullptr, int64_t{0})
          .Stored("Smooth", TPropKind::Boolean, "Boolean", nullptr, false)
          .Stored("Size", TPropKind::Integer, "Integer", nullptr, int64_t{0})
          .Stored("Style", TPropKind::Enumeration, "TScrollBarStyle", &kScrollBarStyleNames, int64_t{0})
          .Stored("ThumbSize", TPropKind::Integer, "Integer", nullptr, int64_t{0})
          .Stored("Tracking", TPropKind::Boolean, "Boolean", nullptr, false)
          .Stored("Visible", TPropKind::Boolean, "Boolean", nullptr, true)
          .Build();
  return info;
}

TPoint NonClientSize(TFormBorderStyle style) {
  switch (style) {
    case bsNone: return {0, 0};
    case bsSingle:
    case bsDialog: return {6, 25};
    case bsSizeable: return {8, 27};
    case bsToolWindow: return {6, 21};
    case bsSizeToolWin: return {8, 23};
  }
  return {0, 0};
}

const TClassInfo& TForm::StaticClass() {
  auto& std = TControl::StandardProperties();
  static const TClassInfo info =
      TClassBuilder<TForm>("TForm", &TWinControl::StaticClass())
          .Object("HorzScrollBar", &TForm::HorzScrollBarObject)
          .Object("VertScrollBar", &TForm::VertScrollBarObject)
          .Stored("Action", TPropKind::Enumeration, "TBasicAction", &kNoNames, int64_t{0})
          .Stored("ActiveControl", TPropKind::Enumeration, "TWinControl", &kNoNames, int64_t{0})
          .Import(std, {"Align"})
          .Boolean("AlphaBlend", &TForm::AlphaBlend, &TForm::SetAlphaBlend)
          .Integer("AlphaBlendValue", &TForm::AlphaBlendValue, &TForm::SetAlphaBlendValue)
          .Import(std, {"Anchors"})
          .Stored("AutoScroll", TPropKind::Boolean, "Boolean", nullptr, true)
          .Import(std, {"AutoSize", "BiDiMode"})
          .Set("BorderIcons", kBorderIconNames, "TBorderIcons", &TForm::BorderIcons, &TForm::SetBorderIcons)
          .Enum("BorderStyle", kBorderStyleNames, &TForm::BorderStyle, &TForm::SetBorderStyle)
          .Stored("BorderWidth", TPropKind::Integer, "TBorderWidth", nullptr, int64_t{0})
          .Import(std, {"Caption"})
          .Integer("ClientHeight", &TForm::ClientHeight, &TForm::SetClientHeight)
          .Integer("ClientWidth", &TForm::ClientWidth, &TForm::SetClientWidth)
          .Import(std, {"Color"})
          .Boolean("TransparentColor", &TForm::TransparentColor, &TForm::SetTransparentColor)
          .Color("TransparentColorValue", &TForm::TransparentColorValue, &TForm::SetTransparentColorValue)
          .Import(std, {"Constraints"})
          .Stored("Ctl3D", TPropKind::Boolean, "Boolean", nullptr, true)
          .Stored("UseDockManager", TPropKind::Boolean, "Boolean", nullptr, false)
          .Stored("DefaultMonitor", TPropKind::Enumeration, "TDefaultMonitor", &kDefaultMonitorNames, int64_t{3})
          .Stored("DockSite", TPropKind::Boolean, "Boolean", nullptr, false)
          .Import(std, {"DragKind", "DragMode", "Enabled", "ParentFont", "Font"})
          .Stored("FormStyle", TPropKind::Enumeration, "TFormStyle", &kFormStyleNames, int64_t{0})
          .Stored("HelpFile", TPropKind::String, "string", nullptr, std::string())
          .Object("Icon", &TForm::IconObject)
          .Stored("KeyPreview", TPropKind::Boolean, "Boolean", nullptr, false)
          .Stored("Menu", TPropKind::Enumeration, "TMainMenu", &kNoNames, int64_t{0})
          .Boolean("OldCreateOrder", &TForm::OldCreateOrder, &TForm::SetOldCreateOrder)
          .Stored("ObjectMenuItem", TPropKind::Enumeration, "TMenuItem", &kNoNames, int64_t{0})
          .Import(std, {"ParentBiDiMode"})
          .Stored("PixelsPerInch", TPropKind::Integer, "Integer", nullptr, int64_t{96})
          .Import(std, {"PopupMenu"})
          .Enum("Position", kPositionNames, &TForm::Position, &TForm::SetPosition)
          .Stored("PrintScale", TPropKind::Enumeration, "TPrintScale", &kPrintScaleNames, int64_t{1})
          .Stored("Scaled", TPropKind::Boolean, "Boolean", nullptr, true)
          .Stored("ScreenSnap", TPropKind::Boolean, "Boolean", nullptr, false)
          .Import(std, {"ShowHint"})
          .Stored("SnapBuffer", TPropKind::Integer, "Integer", nullptr, int64_t{10})
          .Import(std, {"Visible"})
          .Enum("WindowState", kWindowStateNames, &TForm::WindowState, &TForm::SetWindowState)
          .Stored("WindowMenu", TPropKind::Enumeration, "TMenuItem", &kNoNames, int64_t{0})
          .Event("OnActivate", "TNotifyEvent", &TForm::SetOnActivate)
          .Stored("OnCanResize", TPropKind::Event, "TCanResizeEvent")
          .Import(std, {"OnClick"})
          .Event("OnClose", "TCloseEvent", &TForm::SetOnClose)
          .Event("OnCloseQuery", "TCloseQueryEvent", &TForm::SetOnCloseQuery)
          .Stored("OnConstrainedResize", TPropKind::Event, "TConstrainedResizeEvent")
          .Import(std, {"OnContextPopup"})
          .Event("OnCreate", "TNotifyEvent", &TForm::SetOnCreate)
          .Import(std, {"OnDblClick"})
          .Event("OnDestroy", "TNotifyEvent", &TForm::SetOnDestroy)
          .Event("OnDeactivate", "TNotifyEvent", &TForm::SetOnDeactivate)
          .Stored("OnDockDrop", TPropKind::Event, "TDockDropEvent")
          .Stored("OnDockOver", TPropKind::Event, "TDockOverEvent")
          .Import(std, {"OnDragDrop", "OnDragOver", "OnEndDock"})
          .Stored("OnGetSiteInfo", TPropKind::Event, "TGetSiteInfoEvent")
          .Event("OnHide", "TNotifyEvent", &TForm::SetOnHide)
          .Stored("OnHelp", TPropKind::Event, "THelpEvent")
          .Stored("OnKeyDown", TPropKind::Event, "TKeyEvent")
          .Stored("OnKeyPress", TPropKind::Event, "TKeyPressEvent")
          .Stored("OnKeyUp", TPropKind::Event, "TKeyEvent")
          .Import(std, {"OnMouseDown", "OnMouseMove", "OnMouseUp"})
          .Stored("OnMouseWheel", TPropKind::Event, "TMouseWheelEvent")
          .Stored("OnMouseWheelDown", TPropKind::Event, "TMouseWheelUpDownEvent")
          .Stored("OnMouseWheelUp", TPropKind::Event, "TMouseWheelUpDownEvent")
          .Event("OnPaint", "TNotifyEvent", &TForm::SetOnPaint)
          .Event("OnResize", "TNotifyEvent", &TForm::SetOnResize)
          .Stored("OnShortCut", TPropKind::Event, "TShortCutEvent")
          .Event("OnShow", "TNotifyEvent", &TForm::SetOnShow)
          .Import(std, {"OnStartDock"})
          .Stored("OnUnDock", TPropKind::Event, "TUnDockEvent")
          // Written by the classic designer after the published properties.
          .Stored("TextHeight", TPropKind::Integer, "Integer", nullptr, int64_t{13})
          .Build();
  return info;
}

TForm::TForm(TComponent* owner)
    : TWinControl(owner),
      FHorzScrollBar(std::make_unique<TControlScrollBar>()),
      FVertScrollBar(std::make_unique<TControlScrollBar>()),
      FIcon(std::make_unique<TIcon>()) {
  // A form starts hidden, at the framework's default place and size.
  TControl::SetVisible(false);
  SetColor(clBtnFace);
  TWinControl::SetBounds(0, 0, 320, 240);
  if (Application) Application->AddForm(this);
}

TForm::~TForm() {
  Destroying();
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (const std::exception& e) {
      if (Application) Application->HandleException(e);
    }
  }
  if (Application) Application->RemoveForm(this);
  // Children go before the window and the buffer they paint into.
  DestroyComponents();
  FWindow.reset();
  FCanvas.reset();
}

int TForm::ClientWidth() const { return std::max(0, Width() - NonClientSize(FBorderStyle).X); }
int TForm::ClientHeight() const { return std::max(0, Height() - NonClientSize(FBorderStyle).Y); }
void TForm::SetClientWidth(int value) { SetBounds(Left(), Top(), value + NonClientSize(FBorderStyle).X, Height()); }
void TForm::SetClientHeight(int value) { SetBounds(Left(), Top(), Width(), value + NonClientSize(FBorderStyle).Y); }

void TForm::SetBorderStyle(TFormBorderStyle value) {
  if (value == FBorderStyle) return;
  // The client area keeps its size; the frame around it changes.
  const int cw = ClientWidth(), ch = ClientHeight();
  FBorderStyle = value;
  SetBounds(Left(), Top(), cw + NonClientSize(value).X, ch + NonClientSize(value).Y);
  ApplyWindowProperties();
}

// A new colour key reshapes the whole window at the next present: the
// whole client area is presented again with it.
void TForm::SetTransparentColor(bool value) {
  if (value != FTransparentColor) InvalidateRect(Rect(0, 0, ClientWidth(), ClientHeight()));
  FTransparentColor = value;
  ApplyWindowProperties();
}
void TForm::SetTransparentColorValue(TColor value) {
  if (value != FTransparentColorValue) InvalidateRect(Rect(0, 0, ClientWidth(), ClientHeight()));
  FTransparentColorValue = value;
  ApplyWindowProperties();
}
void TForm::SetAlphaBlend(bool value) {
  FAlphaBlend = value;
  ApplyWindowProperties();
}
void TForm::SetAlphaBlendValue(int value) {
  FAlphaBlendValue = std::clamp(value, 0, 255);
  ApplyWindowProperties();
}

void TForm::SetBounds(int left, int top, int width, int height) {
  const bool resized = width != Width() || height != Height();
  TControl::SetBounds(left, top, width, height);
  if (FWindow) FWindow->SetBounds(Left(), Top(), ClientWidth(), ClientHeight());
  if (resized) {
    InvalidateRect(Rect(0, 0, ClientWidth(), ClientHeight()));
    AlignControls();
    if (OnResize && !Loading()) OnResize(this);
  }
}

void TForm::ColorChanged() {
  TWinControl::ColorChanged();
  InvalidateRect(Rect(0, 0, ClientWidth(), ClientHeight()));
}

void TForm::TextChanged() {
  if (FWindow) FWindow->SetCaption(Caption());
}

void TForm::ReadingStarted() { FOldCreateOrder = true; }

void TForm::Loaded() {
  TWinControl::Loaded();
  AlignControls();
  if (Visible()) SetVisible(true);
}

void TForm::AfterConstruction() {
  if (FOldCreateOrder || !OnCreate) return;
  try {
    OnCreate(this);
  } catch (const std::exception& e) {
    // A failed creation handler is reported; the form lives on.
    if (Application) Application->HandleException(e);
  }
}

void TForm::HandleNeeded() {
  if (FWindow || !Application) return;
  FWindow = Application->WindowSystem().CreateWindow(WindowClassName(),
                                                     [this](const TWindowEvent& e) { HandleWindowEvent(e); });
  FWindow->SetCaption(Caption());
  ApplyWindowProperties();
  FWindow->SetBounds(Left(), Top(), ClientWidth(), ClientHeight());
}

void TForm::ApplyWindowProperties() {
  if (!FWindow) return;
  FWindow->SetBorderless(FBorderStyle == bsNone);
  FWindow->SetColorKey(FTransparentColor, static_cast<uint32_t>(ColorToRGB(FTransparentColorValue)));
  FWindow->SetOpacity(static_cast<uint8_t>(FAlphaBlend ? FAlphaBlendValue : 255));
}

void TForm::ApplyPosition() {
  if (!Application) return;
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
    case poMainFormCenter:
    case poOwnerFormCenter: {
      const TRect desk = Application->WindowSystem().DesktopRect();
      TControl::SetBounds(desk.Left + (desk.Width() - Width()) / 2, desk.Top + (desk.Height() - Height()) / 2, Width(),
                          Height());
      break;
    }
    default:
      break;
  }
}

void TForm::SetVisible(bool value) {
  TControl::SetVisible(value);
  if (Loading()) return;  // shown when loading ends
  if (value == FOnScreen) return;
  FOnScreen = value;
  if (value) {
    HandleNeeded();
    ApplyPosition();
    FWindow->SetBounds(Left(), Top(), ClientWidth(), ClientHeight());
    InvalidateRect(Rect(0, 0, ClientWidth(), ClientHeight()));
    // The first image is ready before the window maps, so it never shows
    // an empty frame.
    PaintAndPresent();
    FWindow->SetVisible(true);
    if (OnShow) OnShow(this);
  } else if (FWindow) {
    FWindow->SetVisible(false);
    if (OnHide) OnHide(this);
  }
}

bool TForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) Application->Terminate();
  else if (action == caHide) Hide();
  else if (action == caMinimize) FWindowState = wsMinimized;
  else if (!FFreePending && Application) {
    FFreePending = true;
    TForm* self = this;
    Application->Post([self] {
      if (Application && Application->IsLiveForm(self)) delete self;
    });
  }
}

void TForm::Dispatch(TMessage& message) { DefaultHandler(message); }

// ---- painting ----------------------------------------------------------------------------

void TForm::InvalidateRect(const TRect& r) {
  FInvalid.Add(IntersectRect(r, Rect(0, 0, ClientWidth(), ClientHeight())));
}

void TForm::EnsureBackBuffer() {
  const int w = std::max(1, ClientWidth()), h = std::max(1, ClientHeight());
  if (FBackBuffer && FBackBuffer->Width() == w && FBackBuffer->Height() == h) return;
  FCanvas.reset();
  FBackBuffer = NewSurface(w, h, TSurface::sfRgb24);
  FCanvas = std::make_unique<TCanvas>(FBackBuffer, Point(0, 0), Rect(0, 0, w, h));
  FInvalid.Clear();
  FInvalid.Add(Rect(0, 0, ClientWidth(), ClientHeight()));
}

void TForm::Update() {
  EnsureBackBuffer();
  // Taken first: a paint that fails is not retried forever. (A paint that
  // invalidates again lands in the emptied list, for the next update.)
  FPainting.Clear();
  FPainting.Swap(FInvalid);
  for (const TRect& r : FPainting.Rects()) {
    FDirty.Add(r);
    PaintRegion(r);
  }
}

void TForm::PaintRegion(const TRect& region) {
  FCanvas->SetTarget(FBackBuffer, Point(0, 0), region);
  FCanvas->Brush().SetColor(Color());
  FCanvas->Brush().SetStyle(bsSolid);
  FCanvas->FillRect(region);
  if (OnPaint) OnPaint(this);
  const std::vector<TControl*> controls = ControlList();
  for (TControl* c : controls)
    if (c->Visible() && !IsRectEmpty(IntersectRect(c->BoundsRect(), region))) PaintControlClipped(c, region);
}

void TForm::PaintControlClipped(TControl* control, const TRect& region) {
  const TRect bounds = control->BoundsRect();
  const TRect clip = IntersectRect(region, bounds);
  if (IsRectEmpty(clip)) return;
  TCanvas dc(FBackBuffer, bounds.TopLeft(), clip);
  control->PaintMessage(&dc);
}

void TForm::PaintControlNow(TControl* control) { PaintControlNow(control, control->BoundsRect()); }

void TForm::PaintControlNow(TControl* control, const TRect& part) {
  if (!FBackBuffer) {
    InvalidateRect(control->BoundsRect());
    return;
  }
  const TRect area = IntersectRect(IntersectRect(part, control->BoundsRect()), Rect(0, 0, ClientWidth(), ClientHeight()));
  if (IsRectEmpty(area)) return;
  FDirty.Add(area);
  PaintControlClipped(control, area);
  // What lies above the control in the paint order (a read-out on a gauge
  // face) was just painted over: paint it again within the same area, in
  // order, so that it stays on top. The list is walked in place (by index,
  // in case a paint changes it): a frame that repaints many widgets
  // allocates nothing here.
  const std::vector<TControl*>& controls = ControlList();
  const auto self = std::find(controls.begin(), controls.end(), control);
  for (size_t i = static_cast<size_t>(self - controls.begin()) + 1; i < controls.size(); ++i) {
    TControl* c = controls[i];
    if (c->Visible() && !IsRectEmpty(IntersectRect(c->BoundsRect(), area))) PaintControlClipped(c, area);
  }
}

bool TForm::PaintAndPresent() {
  if (!Visible() && !FBackBuffer) return false;
  if (!FInvalid.Empty() || !FBackBuffer) Update();
  if (!FWindow || !Visible()) return false;
  const bool presenting = !FDirty.Empty();
  // Only what changed goes to the screen, rectangle by rectangle: widgets
  // spread over a large window change a small part of it.
  if (presenting) FWindow->Present(*FBackBuffer, FDirty.Rects());
  FDirty.Clear();
  return presenting;
}

void TForm::PaintAll() {
  InvalidateRect(Rect(0, 0, ClientWidth(), ClientHeight()));
  Update();
}

// ---- mouse -----------------------------------------------------------------------------------

TShiftState TForm::ShiftFor(int buttons) const {
  TShiftState s;
  if (buttons & 1) s.Include(ssLeft);
  if (buttons & 2) s.Include(ssMiddle);
  if (buttons & 4) s.Include(ssRight);
  return s;
}

void TForm::SetMouseControl(TControl* control) {
  if (control == FMouseControl) return;
  TControl* old = FMouseControl;
  FMouseControl = control;
  if (old) old->MouseLeave();
  if (control) control->MouseEnter();
}

void TForm::HandleWindowEvent(const TWindowEvent& event) {
  try {
    const TPoint p{event.X, event.Y};
    const TMouseButton button = event.Button == 3 ? mbRight : event.Button == 2 ? mbMiddle : mbLeft;
    const int bit = event.Button == 3 ? 4 : event.Button == 2 ? 2 : 1;
    switch (event.Kind) {
      case TWindowEvent::MouseMove: {
        TControl* target = FCaptureControl ? FCaptureControl : ControlAtPos(p);
        if (!FCaptureControl) SetMouseControl(target);
        if (target) target->MouseMove(ShiftFor(FButtons), p.X - target->Left(), p.Y - target->Top());
        else MouseMove(ShiftFor(FButtons), p.X, p.Y);
        break;
      }
      case TWindowEvent::MouseDown: {
        FButtons |= bit;
        TControl* target = ControlAtPos(p);
        SetMouseControl(target);
        if (target) {
          if (button == mbLeft && target->ControlStyle().Contains(csCaptureMouse)) FCaptureControl = target;
          target->MouseDown(button, ShiftFor(FButtons), p.X - target->Left(), p.Y - target->Top());
        } else {
          MouseDown(button, ShiftFor(FButtons), p.X, p.Y);
        }
        break;
      }
      case TWindowEvent::MouseUp: {
        FButtons &= ~bit;
        TControl* target = FCaptureControl ? FCaptureControl : ControlAtPos(p);
        if (button == mbLeft) FCaptureControl = nullptr;
        if (target) {
          const TPoint local{p.X - target->Left(), p.Y - target->Top()};
          target->MouseUp(button, ShiftFor(FButtons), local.X, local.Y);
          // A click needs the button released over the control it went down on.
          if (button == mbLeft && target->ControlStyle().Contains(csClickEvents) &&
              PtInRect(target->ClientRect(), local) && Application && Application->IsLiveForm(this))
            target->Click();
        } else {
          MouseUp(button, ShiftFor(FButtons), p.X, p.Y);
          if (button == mbLeft) Click();
        }
        break;
      }
      case TWindowEvent::MouseLeave:
        if (!FCaptureControl) SetMouseControl(nullptr);
        break;
      case TWindowEvent::CloseRequest:
        Close();
        break;
      case TWindowEvent::Expose:
        InvalidateRect(Rect(0, 0, ClientWidth(), ClientHeight()));
        break;
      case TWindowEvent::Message: {
        // Handled before the platform's call returns, so that a host that
        // sends (rather than posts) finds the work done.
        TMessage message{event.Msg, event.WParam, event.LParam, 0};
        Dispatch(message);
        break;
      }
    }
  } catch (const std::exception& e) {
    if (Application) Application->HandleException(e);
  }
}
