#include "GaugeControls.h"

#include <map>
#include <mutex>

#include "GaugeResources.h"
#include "GaugeSysUtils.h"

// ---- TGaugeComponent ---------------------------------------------------------------------

const TClassInfo& TGaugeComponent::StaticClass() {
  static const TClassInfo info = TClassBuilder<TGaugeComponent>("TGaugeComponent", &TComponent::StaticClass())
                                     .String("Version", &TGaugeComponent::Version, &TGaugeComponent::SetVersion)
                                     .Build();
  return info;
}

TGaugeComponent::TGaugeComponent(TComponent* owner) : TComponent(owner), FVersion(GaugeLibraryVersion) {}

// ---- TGaugeGraphicControl ----------------------------------------------------------------

const TClassInfo& TGaugeGraphicControl::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeGraphicControl>("TGaugeGraphicControl", &TGraphicControl::StaticClass())
          .String("Version", &TGaugeGraphicControl::Version, &TGaugeGraphicControl::SetVersion)
          .Build();
  return info;
}

TGaugeGraphicControl::TGaugeGraphicControl(TComponent* owner) : TGraphicControl(owner), FVersion(GaugeLibraryVersion) {}

void TGaugeGraphicControl::UpdateControlCanvas() {
  // A skin being read sets many properties; the widget is painted once the
  // form shows it.
  if (!Loading()) Repaint();
}

void TGaugeGraphicControl::AdjustControlSize() {
  const TAlign align = Align();
  const bool sizable = align == alNone || align == alTop || align == alBottom || align == alLeft || align == alRight;
  if (AutoSize() && sizable) {
    const TRect before = BoundsRect();
    // SetBounds runs the size through CanAutoSize; a new size invalidates
    // the areas and so repaints by itself.
    if (!Loading()) SetBounds(Left(), Top(), Width(), Height());
    if (SameRect(before, BoundsRect())) UpdateControlCanvas();
  } else {
    UpdateControlCanvas();
  }
}

void TGaugeGraphicControl::UpdateControlBounds() {
  const TRect before = BoundsRect();
  if (Loading()) return;
  SetBounds(Left(), Top(), Width(), Height());
  if (SameRect(before, BoundsRect())) UpdateControlCanvas();
}

void TGaugeGraphicControl::DrawDesignFrame(TCanvas& canvas) {
  if (!Designing()) return;
  canvas.Pen().SetStyle(psDot);
  canvas.Pen().SetColor(clBlack);
  canvas.Brush().SetStyle(bsClear);
  canvas.Rectangle(0, 0, Width(), Height());
}

void TGaugeGraphicControl::MouseEnter() {
  TGraphicControl::MouseEnter();
  DoMouseEnter();
}

void TGaugeGraphicControl::MouseLeave() {
  TGraphicControl::MouseLeave();
  DoMouseLeave();
}

void TGaugeGraphicControl::FontChanged() {
  TGraphicControl::FontChanged();
  DoFontChanged();
}

void TGaugeGraphicControl::TextChanged() {
  TGraphicControl::TextChanged();
  DoTextChanged();
}

void TGaugeGraphicControl::DoMouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TGaugeGraphicControl::DoMouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TGaugeGraphicControl::DoFontChanged() {
  if (OnFontChanged) OnFontChanged(this);
}

void TGaugeGraphicControl::DoTextChanged() {
  if (OnTextChanged) OnTextChanged(this);
}

// ---- TGaugeGraphicImageControl -----------------------------------------------------------

const TClassInfo& TGaugeGraphicImageControl::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGaugeGraphicImageControl>("TGaugeGraphicImageControl", &TGaugeGraphicControl::StaticClass())
          .Build();
  return info;
}

TGaugeGraphicImageControl::TGaugeGraphicImageControl(TComponent* owner)
    : TGaugeGraphicControl(owner), FBitmap(std::make_unique<TBitmap>()), FBackground(std::make_unique<TBitmap>()) {}

TGaugeGraphicImageControl::~TGaugeGraphicImageControl() = default;

void TGaugeGraphicImageControl::PaintMessage(TCanvas* dc) {
  if (!dc) return;
  // Both canvases stay locked for the whole paint so that nothing reclaims
  // the device context in between.
  TCanvas& controlCanvas = *Canvas();
  controlCanvas.Lock();
  try {
    FBitmap->SetSize(Width(), Height());
    TCanvas& image = BitmapCanvas();
    image.Lock();
    // The image's pixels outside the clip would be drawn for nothing.
    image.SetBitmapClip(dc->ClipRect());
    try {
      TGaugeGraphicControl::PaintMessage(dc);  // attaches dc, Paint, detaches (also on failure)
    } catch (...) {
      image.SetBitmapClip(std::nullopt);
      image.Unlock();
      throw;
    }
    image.SetBitmapClip(std::nullopt);
    image.Unlock();
  } catch (...) {
    controlCanvas.Unlock();
    throw;
  }
  controlCanvas.Unlock();
}

void TGaugeGraphicImageControl::ClearBitmapCanvas() {
  TCanvas& image = BitmapCanvas();
  image.Brush().SetStyle(bsSolid);
  if (!FTransparent) {
    image.Brush().SetColor(Color());
    image.FillRect(Rect(0, 0, Width(), Height()));
    return;
  }
  if (FCaptureNeeded) CaptureBackground();
  image.CopyPixels(Rect(0, 0, Width(), Height()), FBackground->View(), Rect(0, 0, Width(), Height()), cmSrcCopy);
}

void TGaugeGraphicImageControl::CaptureBackground() {
  FBackground->SetSize(Width(), Height());
  TCanvas& controlCanvas = *Canvas();
  // Only the clip rectangle holds fresh pixels of the parent; the rest of
  // the snapshot keeps what an earlier capture saw there.
  const TRect clip = controlCanvas.ClipRect();
  const TPoint origin = controlCanvas.Origin();
  FBackground->Canvas().CopyPixels(clip, controlCanvas.View(), OffsetRect(clip, origin.X, origin.Y), cmSrcCopy);
}

void TGaugeGraphicImageControl::Paint() {
  Canvas()->CopyPixels(Rect(0, 0, Width(), Height()), FBitmap->View(), Rect(0, 0, Width(), Height()), cmSrcCopy);
  if (FTransparent) {
    // The next paint the window system starts (parent repainted, control
    // uncovered or moved) must capture the background afresh.
    FCaptureNeeded = true;
    ControlStyle().Exclude(csOpaque);
  }
}

void TGaugeGraphicImageControl::UpdateControlCanvas() { UpdateControlCanvasPart(ClientRect()); }

void TGaugeGraphicImageControl::UpdateControlCanvasPart(const TRect& part) {
  if (!Designing() && FTransparent && !FBackground->Empty()) {
    // Paint alone over the stored snapshot instead of having the parent
    // repaint beneath for every new value.
    FCaptureNeeded = false;
    ControlStyle().Include(csOpaque);
  }
  if (!Loading()) RepaintPart(part);
}

void TGaugeGraphicImageControl::SetTransparent(bool value) {
  if (value == FTransparent) return;
  FTransparent = value;
  if (value) ControlStyle().Exclude(csOpaque);
  else ControlStyle().Include(csOpaque);
  if (Designing()) Invalidate();
  else UpdateControlCanvas();
}

// ---- cursors -----------------------------------------------------------------------------

namespace {
std::mutex& CursorLock() {
  static std::mutex lock;
  return lock;
}
std::map<int, TGaugeCursorImage>& CursorTable() {
  static std::map<int, TGaugeCursorImage> table;
  return table;
}
}  // namespace

void RegisterGaugeCursors() {
  const std::span<const uint8_t> bytes = FindGlyphResource("GAUGECURSORHANDPOINT");
  // A cursor file is an icon file of type 2 whose directory entry keeps the
  // hot spot where an icon keeps its planes and bit count; the icon decoder
  // takes the depth from the bitmap header, so it reads the cursor as is.
  if (bytes.size() < 6 + 16) throw EInvalidGraphic("Image icône incorrecte");
  auto image = std::make_shared<TIcon>();
  image->LoadFromBytes(bytes);
  const TPoint hotSpot{bytes[10] | (bytes[11] << 8), bytes[12] | (bytes[13] << 8)};
  std::lock_guard<std::mutex> guard(CursorLock());
  CursorTable()[crGaugeHandPoint] = {std::move(image), hotSpot};
}

TGaugeCursorImage GaugeCursor(int number) {
  std::lock_guard<std::mutex> guard(CursorLock());
  const auto it = CursorTable().find(number);
  return it == CursorTable().end() ? TGaugeCursorImage{} : it->second;
}
