#include "GaugeProgressBar.h"

#include "GaugeSysUtils.h"

const TEnumInfo& GaugeProgressBarFillNames() {
  static const TEnumInfo names{"TGaugeProgressBarFill", {"pfPlain", "pfGradient", "pfBitmap"}};
  return names;
}

// ---- geometry ----------------------------------------------------------------------------

int32_t ProgressSegmentSize(int32_t thickness) { return CheckedMul(CheckedDiv(thickness, 3), 2); }

TProgressBlockWalk::TProgressBlockWalk(const TRect& area, int32_t fill, bool smooth, TGaugeOrientation orientation)
    : FArea(area), FHorizontal(orientation == TGaugeOrientation::voHorizontal) {
  if (FHorizontal) {
    const int32_t h = CheckedSub(area.Bottom, area.Top);
    const int32_t s = ProgressSegmentSize(h);
    const int32_t left = CheckedAdd(area.Left, smooth ? 1 : 0);
    // One pixel stays free above and below; segments also keep a pixel on
    // either side, which makes the 2-pixel gaps.
    FBlock = Rect(left, CheckedAdd(area.Top, 1), CheckedAdd(left, s), CheckedSub(area.Bottom, 1));
    if (!smooth) {
      FBlock.Left = CheckedAdd(FBlock.Left, 1);
      FBlock.Right = CheckedSub(FBlock.Right, 1);
    }
    FEnd = CheckedAdd(area.Left, fill);
    if (smooth) FBlock.Right = FEnd;
  } else {
    const int32_t w = CheckedSub(area.Right, area.Left);
    const int32_t s = ProgressSegmentSize(w);
    FBlock = Rect(CheckedAdd(area.Left, 1), CheckedSub(area.Bottom, s), CheckedSub(area.Right, 1), area.Bottom);
    if (!smooth) {
      FBlock.Top = CheckedAdd(FBlock.Top, 1);
      FBlock.Bottom = CheckedSub(FBlock.Bottom, 1);
    }
    FEnd = CheckedSub(area.Bottom, fill);
    if (smooth) FBlock.Top = FEnd;
  }
}

bool TProgressBlockWalk::Next(TProgressBlock& block) {
  while (!FDone) {
    // A segment is drawn whole as soon as the fill end passes its leading
    // edge; only the last one is cut, one pixel inside the area.
    if (FHorizontal ? !(FEnd > FBlock.Left) : !(FEnd < FBlock.Bottom)) break;
    int32_t advance = 0;
    if (FHorizontal) {
      if (FBlock.Right >= FArea.Right) FBlock.Right = CheckedSub(FArea.Right, 1);
      const int32_t w = CheckedSub(FBlock.Right, FBlock.Left), h = CheckedSub(FBlock.Bottom, FBlock.Top);
      block = {FBlock, Bounds(CheckedSub(FBlock.Left, FArea.Left), 0, w, h)};
      advance = CheckedAdd(w, 2);
      FBlock = Rect(CheckedAdd(FBlock.Left, advance), FBlock.Top, CheckedAdd(FBlock.Right, advance), FBlock.Bottom);
    } else {
      if (FBlock.Top <= FArea.Top) FBlock.Top = CheckedAdd(FArea.Top, 1);
      const int32_t h = CheckedSub(FBlock.Bottom, FBlock.Top);
      block = {FBlock, Bounds(0, CheckedSub(CheckedSub(FBlock.Top, FArea.Top), 1), CheckedSub(FArea.Right, FArea.Left), h)};
      advance = CheckedAdd(h, 2);
      FBlock = Rect(FBlock.Left, CheckedSub(FBlock.Top, advance), FBlock.Right, CheckedSub(FBlock.Bottom, advance));
    }
    // An area too thin for a segment would never move the block on.
    if (advance <= 0) FDone = true;
    if (!IsRectEmpty(block.Dest)) return true;
  }
  FDone = true;
  return false;
}

std::vector<TProgressBlock> ProgressBarBlocks(const TRect& area, int32_t fill, bool smooth,
                                              TGaugeOrientation orientation) {
  std::vector<TProgressBlock> blocks;
  TProgressBlockWalk walk(area, fill, smooth, orientation);
  for (TProgressBlock block; walk.Next(block);) blocks.push_back(block);
  return blocks;
}

// ---- TGaugeProgressBar -------------------------------------------------------------------

const TClassInfo& TGaugeProgressBar::StaticClass() {
  using P = TGaugeProgressBar;
  static const TClassInfo info =
      TClassBuilder<P>("TGaugeProgressBar", &TGaugeCustomBar::StaticClass())
          .Object("Bevel", &P::Bevel)
          .Integer("MaxValue", &P::MaxValue, &P::SetMaxValue)
          .Integer("MinValue", &P::MinValue, &P::SetMinValue)
          .Integer("Position", &P::Position, &P::SetPosition)
          .Color("StartColor", &P::StartColor, &P::SetStartColor)
          .Color("EndColor", &P::EndColor, &P::SetEndColor)
          .Boolean("Smooth", &P::Smooth, &P::SetSmooth)
          .Enum("Orientation", GaugeOrientationNames(), &P::Orientation, &P::SetOrientation)
          .Integer("Step", &P::Step, &P::SetStep)
          .Object("Bitmap", &P::Bitmap)
          .Enum("FillType", GaugeProgressBarFillNames(), &P::FillType, &P::SetFillType)
          .Event("OnChange", "TNotifyEvent", &P::SetOnChange)
          .Import(TControl::StandardProperties(),
                  {"Align", "Anchors", "Constraints", "Color", "DragCursor", "DragKind", "DragMode", "ParentColor",
                   "ParentShowHint", "PopupMenu", "ShowHint", "Visible", "OnClick", "OnContextPopup", "OnDblClick",
                   "OnDragDrop", "OnDragOver", "OnEndDock", "OnEndDrag", "OnMouseDown", "OnMouseMove", "OnMouseUp",
                   "OnStartDock", "OnStartDrag"})
          .Creatable()
          .Build();
  return info;
}

TGaugeProgressBar::TGaugeProgressBar(TComponent* owner)
    : TGaugeCustomBar(owner, TGaugeOrientation::voHorizontal, 100),
      FBevel(std::make_unique<TGaugeBevel>()),
      FBitmap(std::make_unique<TBitmap>()),
      FFillBitmap(std::make_unique<TBitmap>()) {
  ControlStyle().Include(csOpaque);
  ControlStyle().Exclude(csSetCaption);
  SetBounds(Left(), Top(), 200, 16);
  SetColor(clBlack);
  SetParentColor(false);
  // A single lowered line: the bar reads as a groove in the panel. Set
  // before the notification is hooked, so it costs nothing.
  FBevel->SetInnerStyle(TGaugeBevelStyle::bsNone);
  FBevel->SetInnerSpace(0);
  FBevel->SetOuterStyle(TGaugeBevelStyle::bsLowered);
  FBevel->SetOuterOutline(TGaugeBevelOutlineStyle::osNone);
  FBevel->OnChange = [this](TObject*) { UpdateControlCanvas(); };
  FBitmap->OnChange = [this](TObject*) { BitmapChanged(); };
}

TGaugeProgressBar::~TGaugeProgressBar() = default;

void TGaugeProgressBar::SetFillInput(TColor& field, TColor value) {
  if (field == value) return;
  field = value;
  FFillDirty = true;
  UpdateControlCanvas();
}

void TGaugeProgressBar::SetStartColor(TColor value) { SetFillInput(FStartColor, value); }
void TGaugeProgressBar::SetEndColor(TColor value) { SetFillInput(FEndColor, value); }

void TGaugeProgressBar::SetFillType(TGaugeProgressBarFill value) {
  if (value == FFillType) return;
  FFillType = value;
  FFillDirty = true;
  UpdateControlCanvas();
}

void TGaugeProgressBar::SetSmooth(bool value) {
  if (value == FSmooth) return;
  FSmooth = value;
  UpdateControlCanvas();
}

void TGaugeProgressBar::SysColorChange() {
  FFillDirty = true;
  UpdateControlCanvas();
}

void TGaugeProgressBar::BitmapChanged() {
  // Under the other fill types the picture is not part of the pattern, so
  // it raises nothing; but a rendering still pending from an earlier change
  // (made while the bar could not paint) stays pending.
  if (FFillType == TGaugeProgressBarFill::pfBitmap) FFillDirty = true;
  UpdateControlCanvas();
}

void TGaugeProgressBar::UpdateFillBitmap(const TRect& r) {
  const int32_t w = RectWidth(r), h = RectHeight(r);
  if (!FFillDirty && FFillBitmap->Width() == w && FFillBitmap->Height() == h) return;
  FFillBitmap->SetSize(w, h);
  ++FFillRenderCount;
  TCanvas& canvas = FFillBitmap->Canvas();
  const TRect all = Rect(0, 0, w, h);
  const bool horizontal = Orientation() == TGaugeOrientation::voHorizontal;
  if (FFillType == TGaugeProgressBarFill::pfGradient) {
    // The start colour sits where the bar starts: left, or bottom.
    if (horizontal) GradientFill(canvas, all, FStartColor, FEndColor, 1, 1);
    else GradientFill(canvas, all, FEndColor, FStartColor, 0, 1);
  } else if (FFillType == TGaugeProgressBarFill::pfBitmap && !FBitmap->Empty()) {
    TileBitmap(canvas, all, *FBitmap);
  } else {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clHighlight);
    canvas.FillRect(all);
  }
  FFillDirty = false;
}

void TGaugeProgressBar::Paint() {
  ClearBitmapCanvas();
  TCanvas& image = BitmapCanvas();
  FBarArea = ClientRect();
  FBevel->DrawBevel(image, FBarArea);
  UpdateFillBitmap(FBarArea);
  const bool horizontal = Orientation() == TGaugeOrientation::voHorizontal;
  const int32_t length = horizontal ? RectWidth(FBarArea) : RectHeight(FBarArea);
  const int32_t fill = BarFillCount(Position(), MinValue(), MaxValue(), length);
  const TPixelView pattern = FFillBitmap->View();
  TProgressBlockWalk walk(FBarArea, fill, FSmooth, Orientation());
  for (TProgressBlock block; walk.Next(block);) image.CopyPixels(block.Dest, pattern, block.Source, cmSrcCopy);
  TGaugeCustomBar::Paint();
}
