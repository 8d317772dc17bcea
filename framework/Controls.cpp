#include "Controls.h"

#include <algorithm>

namespace {
const TEnumInfo kAlignNames{"TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"}};
const TEnumInfo kHelpTypeNames{"THelpType", {"htKeyword", "htContext"}};
const TEnumInfo kAnchorNames{"TAnchorKind", {"akLeft", "akTop", "akRight", "akBottom"}};
const TEnumInfo kDragKindNames{"TDragKind", {"dkDrag", "dkDock"}};
const TEnumInfo kDragModeNames{"TDragMode", {"dmManual", "dmAutomatic"}};
const TEnumInfo kBiDiModeNames{"TBiDiMode", {"bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly"}};

struct CursorName {
  int Value;
  const char* Name;
};
constexpr CursorName kCursorNames[] = {
    {0, "crDefault"},     {-1, "crNone"},      {-2, "crArrow"},      {-3, "crCross"},       {-4, "crIBeam"},
    {-22, "crSizeAll"},   {-6, "crSizeNESW"},  {-7, "crSizeNS"},     {-8, "crSizeNWSE"},    {-9, "crSizeWE"},
    {-10, "crUpArrow"},   {-11, "crHourGlass"}, {-12, "crDrag"},     {-13, "crNoDrop"},     {-14, "crHSplit"},
    {-15, "crVSplit"},    {-16, "crMultiDrag"}, {-17, "crSQLWait"},  {-18, "crNo"},         {-19, "crAppStart"},
    {-20, "crHelp"},      {-21, "crHandPoint"}, {-5, "crSize"},
};
}  // namespace

std::optional<int64_t> IdentToCursor(std::string_view ident) {
  for (const auto& c : kCursorNames)
    if (SameText(c.Name, ident)) return c.Value;
  return std::nullopt;
}

const TEnumInfo& AlignNames() { return kAlignNames; }

// ---- TControl ----------------------------------------------------------------------

const TClassInfo& TSizeConstraints::StaticClass() {
  static const TClassInfo info = TClassBuilder<TSizeConstraints>("TSizeConstraints", &TPersistent::StaticClass())
                                     .Stored("MaxHeight", TPropKind::Integer, "TConstraintSize", nullptr, int64_t{0})
                                     .Stored("MaxWidth", TPropKind::Integer, "TConstraintSize", nullptr, int64_t{0})
                                     .Stored("MinHeight", TPropKind::Integer, "TConstraintSize", nullptr, int64_t{0})
                                     .Stored("MinWidth", TPropKind::Integer, "TConstraintSize", nullptr, int64_t{0})
                                     .Build();
  return info;
}

const TClassInfo& TControl::StaticClass() {
  static const TClassInfo info = TClassBuilder<TControl>("TControl", &TComponent::StaticClass())
                                     .Integer("Left", &TControl::Left, &TControl::SetLeft)
                                     .Integer("Top", &TControl::Top, &TControl::SetTop)
                                     .Integer("Width", &TControl::Width, &TControl::SetWidth)
                                     .Integer("Height", &TControl::Height, &TControl::SetHeight)
                                     .Integer("Cursor", &TControl::Cursor, &TControl::SetCursor)
                                     .WithIdents(IdentToCursor)
                                     .String("Hint", &TControl::Hint, &TControl::SetHint)
                                     .Stored("HelpType", TPropKind::Enumeration, "THelpType", &kHelpTypeNames, int64_t{0})
                                     .Stored("HelpKeyword", TPropKind::String, "string", nullptr, std::string())
                                     .Stored("HelpContext", TPropKind::Integer, "Integer", nullptr, int64_t{0})
                                     .Build();
  return info;
}

// Properties every control has but each class publishes in its own order.
const TClassInfo& TControl::StandardProperties() {
  static const TClassInfo info =
      TClassBuilder<TControl>("TControl standard properties", nullptr)
          .Enum("Align", kAlignNames, &TControl::Align, &TControl::SetAlign)
          .Stored("Anchors", TPropKind::Set, "TAnchors", &kAnchorNames, TSetBits{0b0011})
          .Boolean("AutoSize", &TControl::AutoSize, &TControl::SetAutoSize)
          .Stored("BiDiMode", TPropKind::Enumeration, "TBiDiMode", &kBiDiModeNames, int64_t{0})
          .Object("Constraints", &TControl::ConstraintsObject)
          .String("Caption", &TControl::Caption, &TControl::SetCaption)
          .Color("Color", &TControl::Color, &TControl::SetColor)
          .Stored("DragCursor", TPropKind::Integer, "TCursor", nullptr, int64_t{-12})
          .WithIdents(IdentToCursor)
          .Stored("DragKind", TPropKind::Enumeration, "TDragKind", &kDragKindNames, int64_t{0})
          .Stored("DragMode", TPropKind::Enumeration, "TDragMode", &kDragModeNames, int64_t{0})
          .Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled)
          .Object("Font", &TControl::Font)
          .Stored("ParentBiDiMode", TPropKind::Boolean, "Boolean", nullptr, true)
          .Boolean("ParentColor", &TControl::ParentColor, &TControl::SetParentColor)
          .Boolean("ParentFont", &TControl::ParentFont, &TControl::SetParentFont)
          .Boolean("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint)
          .Stored("PopupMenu", TPropKind::Enumeration, "TPopupMenu", nullptr, int64_t{0})
          .Boolean("ShowHint", &TControl::ShowHint, &TControl::SetShowHint)
          .Boolean("Visible", &TControl::Visible, &TControl::SetVisible)
          .Event("OnClick", "TNotifyEvent", &TControl::SetOnClick)
          .Stored("OnContextPopup", TPropKind::Event, "TContextPopupEvent")
          .Event("OnDblClick", "TNotifyEvent", &TControl::SetOnDblClick)
          .Stored("OnDragDrop", TPropKind::Event, "TDragDropEvent")
          .Stored("OnDragOver", TPropKind::Event, "TDragOverEvent")
          .Stored("OnEndDock", TPropKind::Event, "TEndDragEvent")
          .Stored("OnEndDrag", TPropKind::Event, "TEndDragEvent")
          .Event("OnMouseDown", "TMouseEvent", &TControl::SetOnMouseDown)
          .Event("OnMouseMove", "TMouseMoveEvent", &TControl::SetOnMouseMove)
          .Event("OnMouseUp", "TMouseEvent", &TControl::SetOnMouseUp)
          .Stored("OnStartDock", TPropKind::Event, "TStartDockEvent")
          .Stored("OnStartDrag", TPropKind::Event, "TStartDragEvent")
          .Build();
  return info;
}

TControl::TControl(TComponent* owner)
    : TComponent(owner), FFont(std::make_unique<TFont>()), FConstraints(std::make_unique<TSizeConstraints>()) {
  FFont->OnChange = [this](TObject*) {
    if (FUpdatingFont) return;
    FParentFont = false;
    FontChanged();
  };
}

TControl::~TControl() {
  if (FParent) FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == FParent) return;
  if (FParent) FParent->RemoveControl(this);
  if (parent) parent->InsertControl(this);
}

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* win = dynamic_cast<TWinControl*>(parent)) SetParent(win);
}

TComponent* TControl::GetParentComponent() const { return FParent; }

void TControl::SetBounds(int left, int top, int width, int height) {
  if (FAutoSize && !Loading()) {
    int w = width, h = height;
    if (CanAutoSize(w, h)) {
      width = w;
      height = h;
    }
  }
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  if (FVisible && FParent) FParent->InvalidateRect(BoundsRect());
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  if (FVisible && FParent) {
    FParent->InvalidateRect(BoundsRect());
    if (FAlign != alNone) FParent->AlignControls();
  }
}

void TControl::SetAlign(TAlign value) {
  if (value == FAlign) return;
  FAlign = value;
  if (FParent && !Loading()) FParent->AlignControls();
}

void TControl::SetAutoSize(bool value) {
  if (value == FAutoSize) return;
  FAutoSize = value;
  if (value) AdjustSize();
}

bool TControl::CanAutoSize(int&, int&) { return true; }

void TControl::AdjustSize() {
  if (!Loading()) SetBounds(FLeft, FTop, FWidth, FHeight);
}

void TControl::SetVisible(bool value) {
  if (value == FVisible) return;
  if (FParent) FParent->InvalidateRect(BoundsRect());
  FVisible = value;
  if (FParent) FParent->InvalidateRect(BoundsRect());
  VisibleChanged();
}

void TControl::SetEnabled(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  Invalidate();
}

void TControl::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  FParentColor = false;
  ColorChanged();
}

void TControl::SetParentColor(bool value) {
  if (value == FParentColor) return;
  FParentColor = value;
  if (value && FParent) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!FParentColor || !FParent) return;
  FColor = FParent->Color();
  ColorChanged();
}

void TControl::SetParentFont(bool value) {
  if (value == FParentFont) return;
  FParentFont = value;
  if (value && FParent) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!FParentFont || !FParent) return;
  FUpdatingFont = true;
  FFont->Assign(*FParent->Font());
  FUpdatingFont = false;
  FontChanged();
}

void TControl::ColorChanged() { Invalidate(); }
void TControl::FontChanged() { Invalidate(); }
void TControl::TextChanged() { Invalidate(); }

void TControl::SetText(const std::string& value) {
  if (value == FText) return;
  FText = value;
  TextChanged();
}

void TControl::SetName(const std::string& name) {
  const std::string old = TComponent::Name();
  // Controls that show their name as caption keep following it while the
  // caption still equals the name (design-time behaviour).
  const bool followName = FControlStyle.Contains(csSetCaption) && FText == old && Designing();
  TComponent::SetName(name);
  if (followName) SetText(name);
}

void TControl::Repaint() {
  if (!FVisible || !FParent) return;
  RepaintArea(BoundsRect());
}

void TControl::RepaintPart(const TRect& part) {
  if (!FVisible || !FParent) return;
  const TRect area = OffsetRect(IntersectRect(part, ClientRect()), Left(), Top());
  if (IsRectEmpty(area)) return;
  RepaintArea(area);
}

void TControl::RepaintArea(const TRect& area) {
  if (FControlStyle.Contains(csOpaque)) {
    FParent->PaintControlNow(this, area);
  } else {
    FParent->InvalidateRect(area);
    FParent->Update();
  }
}

void TControl::Invalidate() {
  if (FVisible && FParent) FParent->InvalidateRect(BoundsRect());
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

// ---- TGraphicControl -----------------------------------------------------------------

const TClassInfo& TGraphicControl::StaticClass() {
  static const TClassInfo info = TClassBuilder<TGraphicControl>("TGraphicControl", &TControl::StaticClass()).Build();
  return info;
}

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner),
      FScratch(NewSurface(1, 1, TSurface::sfRgb24)),
      FCanvas(std::make_unique<TCanvas>(FScratch, Point(0, 0), Rect(0, 0, 1, 1))) {}

TGraphicControl::~TGraphicControl() { FCanvas.reset(); }

void TGraphicControl::PaintMessage(TCanvas* dc) {
  if (!dc) return;
  TSurfacePtr surface = dc->Surface();
  if (!surface) return;
  const TPoint origin = dc->Origin();
  FCanvas->SetTarget(std::move(surface), origin, OffsetRect(dc->ClipRect(), origin.X, origin.Y));
  try {
    Paint();
  } catch (...) {
    FCanvas->SetTarget(FScratch, Point(0, 0), Rect(0, 0, 1, 1));
    throw;
  }
  FCanvas->SetTarget(FScratch, Point(0, 0), Rect(0, 0, 1, 1));
}

// ---- TWinControl ---------------------------------------------------------------------

const TClassInfo& TWinControl::StaticClass() {
  static const TClassInfo info = TClassBuilder<TWinControl>("TWinControl", &TControl::StaticClass()).Build();
  return info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  for (TControl* c : FControls) c->FParent = nullptr;
}

void TWinControl::InsertControl(TControl* control) {
  FControls.push_back(control);
  control->FParent = this;
  control->ParentColorChanged();
  control->ParentFontChanged();
  control->Invalidate();
  if (control->Align() != alNone) AlignControls();
}

void TWinControl::RemoveControl(TControl* control) {
  control->Invalidate();
  FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
  control->FParent = nullptr;
}

TControl* TWinControl::ControlAtPos(TPoint p) const {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* c = *it;
    if (c->Visible() && c->Enabled() && PtInRect(c->BoundsRect(), p)) return c;
  }
  return nullptr;
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* c : FControls) c->ParentColorChanged();
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* c : FControls) c->ParentFontChanged();
}

// The classic docking order: top, bottom, left, right, then client, each
// taking its strip from what remains of the client area.
void TWinControl::AlignControls() {
  if (FAligning || ComponentState().Contains(csLoading)) return;
  FAligning = true;
  TRect rest = Rect(0, 0, ClientWidth(), ClientHeight());
  for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* c : FControls) {
      if (c->Align() != pass || !c->Visible()) continue;
      switch (pass) {
        case alTop:
          c->SetBounds(rest.Left, rest.Top, rest.Width(), c->Height());
          rest.Top += c->Height();
          break;
        case alBottom:
          c->SetBounds(rest.Left, rest.Bottom - c->Height(), rest.Width(), c->Height());
          rest.Bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(rest.Left, rest.Top, c->Width(), rest.Height());
          rest.Left += c->Width();
          break;
        case alRight:
          c->SetBounds(rest.Right - c->Width(), rest.Top, c->Width(), rest.Height());
          rest.Right -= c->Width();
          break;
        default:
          c->SetBounds(rest.Left, rest.Top, rest.Width(), rest.Height());
          break;
      }
    }
  }
  FAligning = false;
}
