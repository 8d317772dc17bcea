#include "ExtCtrls.h"

#include <algorithm>

// ---- TTimer -----------------------------------------------------------------------------

const TClassInfo& TTimer::StaticClass() {
  static const TClassInfo info = TClassBuilder<TTimer>("TTimer", &TComponent::StaticClass())
                                     .Boolean("Enabled", &TTimer::Enabled, &TTimer::SetEnabled)
                                     .Integer("Interval", &TTimer::Interval, &TTimer::SetInterval)
                                     .Event("OnTimer", "TNotifyEvent", &TTimer::SetOnTimer)
                                     // Design-time position of the non-visual component.
                                     .Stored("Left", TPropKind::Integer, "Integer", nullptr, int64_t{0})
                                     .Stored("Top", TPropKind::Integer, "Integer", nullptr, int64_t{0})
                                     .Creatable()
                                     .Build();
  return info;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

TTimer::~TTimer() {
  if (FTimerId && Application) Application->KillTimer(FTimerId);
}

void TTimer::SetEnabled(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  UpdateTimer();
}

void TTimer::SetInterval(int value) {
  if (value == FInterval) return;
  FInterval = value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent e) {
  OnTimer = std::move(e);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (!Application) return;
  if (FTimerId) Application->KillTimer(FTimerId);
  FTimerId = 0;
  if (FEnabled && FInterval > 0 && OnTimer && !ComponentState().Contains(csDesigning))
    FTimerId = Application->SetTimer(FInterval, [this] {
      if (OnTimer) OnTimer(this);
    });
}

// ---- TImage -----------------------------------------------------------------------------

const TClassInfo& TImage::StaticClass() {
  auto& std = TControl::StandardProperties();
  static const TClassInfo info = TClassBuilder<TImage>("TImage", &TGraphicControl::StaticClass())
                                     .Import(std, {"Align", "Anchors", "AutoSize"})
                                     .Boolean("Center", &TImage::Center, &TImage::SetCenter)
                                     .Import(std, {"Constraints", "DragCursor", "DragKind", "DragMode", "Enabled"})
                                     .Stored("IncrementalDisplay", TPropKind::Boolean, "Boolean", nullptr, false)
                                     .Import(std, {"ParentShowHint"})
                                     .Object("Picture", &TImage::Picture)
                                     .Import(std, {"PopupMenu"})
                                     .Boolean("Proportional", &TImage::Proportional, &TImage::SetProportional)
                                     .Import(std, {"ShowHint"})
                                     .Boolean("Stretch", &TImage::Stretch, &TImage::SetStretch)
                                     .Boolean("Transparent", &TImage::Transparent, &TImage::SetTransparent)
                                     .Import(std, {"Visible", "OnClick", "OnContextPopup", "OnDblClick", "OnDragDrop",
                                                   "OnDragOver", "OnEndDock", "OnEndDrag", "OnMouseDown", "OnMouseMove",
                                                   "OnMouseUp"})
                                     .Stored("OnProgress", TPropKind::Event, "TProgressEvent")
                                     .Import(std, {"OnStartDock", "OnStartDrag"})
                                     .Creatable()
                                     .Build();
  return info;
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner), FPicture(std::make_unique<TPicture>()) {
  ControlStyle().Include(csReplicatable);
  SetBounds(0, 0, 105, 105);
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() = default;

void TImage::SetStretch(bool value) {
  if (value == FStretch) return;
  FStretch = value;
  Invalidate();
}

void TImage::SetCenter(bool value) {
  if (value == FCenter) return;
  FCenter = value;
  Invalidate();
}

void TImage::SetProportional(bool value) {
  if (value == FProportional) return;
  FProportional = value;
  Invalidate();
}

void TImage::SetTransparent(bool value) {
  if (value == FTransparent) return;
  FTransparent = value;
  if (TGraphic* g = FPicture->Graphic()) g->SetTransparent(value);
  Invalidate();
}

bool TImage::CanAutoSize(int& newWidth, int& newHeight) {
  if (FPicture->Width() > 0 && FPicture->Height() > 0) {
    newWidth = FPicture->Width();
    newHeight = FPicture->Height();
  }
  return true;
}

void TImage::PictureChanged() {
  if (TGraphic* g = FPicture->Graphic()) {
    if (FTransparent) g->SetTransparent(true);
    // An opaque picture that covers the control needs nothing painted beneath.
    if (!g->Transparent() && (FStretch || (g->Width() >= Width() && g->Height() >= Height())))
      ControlStyle().Include(csOpaque);
    else
      ControlStyle().Exclude(csOpaque);
  }
  if (AutoSize() && FPicture->Width() > 0 && FPicture->Height() > 0) SetBounds(Left(), Top(), FPicture->Width(), FPicture->Height());
  Invalidate();
}

TRect TImage::DestRect() const {
  int w = FPicture->Width(), h = FPicture->Height();
  const int cw = Width(), ch = Height();
  if (FStretch || (FProportional && (w > cw || h > ch))) {
    if (FProportional && w > 0 && h > 0) {
      // Keep the aspect ratio inside the control.
      if (int64_t(cw) * h > int64_t(ch) * w) {
        w = static_cast<int>(int64_t(ch) * w / h);
        h = ch;
      } else {
        h = static_cast<int>(int64_t(cw) * h / w);
        w = cw;
      }
    } else {
      w = cw;
      h = ch;
    }
  }
  TRect r = Rect(0, 0, w, h);
  if (FCenter) r = OffsetRect(r, (cw - w) / 2, (ch - h) / 2);
  return r;
}

void TImage::Paint() {
  if (TGraphic* g = FPicture->Graphic(); g && !g->Empty()) Canvas()->StretchDraw(DestRect(), *g);
}
