#include "GraphicsTools.h"

#include <algorithm>

namespace {
const TEnumInfo kPenStyleNames{"TPenStyle",
                               {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame"}};
const TEnumInfo kPenModeNames{"TPenMode",
                              {"pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot",
                               "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask",
                               "pmNotMask", "pmXor", "pmNotXor"}};
const TEnumInfo kBrushStyleNames{"TBrushStyle", {"bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
                                                 "bsBDiagonal", "bsCross", "bsDiagCross"}};

// Truth tables of the pen modes, bit (pen * 2 + dest) giving the result
// for one bit of pen and destination (the binary raster operation codes
// minus one).
constexpr uint8_t kPenModeTable[] = {
    0x0,  // black
    0xF,  // white
    0xA,  // nop: dest
    0x5,  // not dest
    0xC,  // copy: pen
    0x3,  // not pen
    0xD,  // pen | ~dest
    0x4,  // pen & ~dest
    0xB,  // ~pen | dest
    0x2,  // ~pen & dest
    0xE,  // pen | dest
    0x1,  // ~(pen | dest)
    0x8,  // pen & dest
    0x7,  // ~(pen & dest)
    0x6,  // pen ^ dest
    0x9,  // ~(pen ^ dest)
};
}  // namespace

uint32_t ApplyPenMode(TPenMode mode, uint32_t pen, uint32_t dest) noexcept {
  const unsigned table = kPenModeTable[unsigned(mode) & 0xF];
  uint32_t r = 0;
  if (table & 1) r |= ~pen & ~dest;
  if (table & 2) r |= ~pen & dest;
  if (table & 4) r |= pen & ~dest;
  if (table & 8) r |= pen & dest;
  return r;
}

const TClassInfo& TPen::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPen>("TPen", &TPersistent::StaticClass())
                                     .Color("Color", &TPen::Color, &TPen::SetColor)
                                     .Enum("Mode", kPenModeNames, &TPen::Mode, &TPen::SetMode)
                                     .Enum("Style", kPenStyleNames, &TPen::Style, &TPen::SetStyle)
                                     .Integer("Width", &TPen::Width, &TPen::SetWidth)
                                     .Build();
  return info;
}

void TPen::Changed() {
  if (OnChange) OnChange(this);
}
void TPen::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Changed();
}
void TPen::SetMode(TPenMode value) {
  if (value == FMode) return;
  FMode = value;
  Changed();
}
void TPen::SetStyle(TPenStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  Changed();
}
void TPen::SetWidth(int value) {
  value = std::max(value, 1);
  if (value == FWidth) return;
  FWidth = value;
  Changed();
}
void TPen::Assign(const TPersistent& source) {
  const auto* pen = dynamic_cast<const TPen*>(&source);
  if (!pen) return TPersistent::Assign(source);
  FColor = pen->FColor;
  FMode = pen->FMode;
  FStyle = pen->FStyle;
  FWidth = pen->FWidth;
  Changed();
}

const TClassInfo& TBrush::StaticClass() {
  static const TClassInfo info = TClassBuilder<TBrush>("TBrush", &TPersistent::StaticClass())
                                     .Color("Color", &TBrush::Color, &TBrush::SetColor)
                                     .Enum("Style", kBrushStyleNames, &TBrush::Style, &TBrush::SetStyle)
                                     .Build();
  return info;
}

void TBrush::Changed() {
  if (OnChange) OnChange(this);
}
// Giving a clear brush a colour makes it solid again: code that clears the
// brush for one figure and then picks a colour for the next expects a fill.
void TBrush::SetColor(TColor value) {
  if (value == FColor && FStyle != bsClear) return;
  FColor = value;
  if (FStyle == bsClear) FStyle = bsSolid;
  Changed();
}
void TBrush::SetStyle(TBrushStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  Changed();
}
void TBrush::Assign(const TPersistent& source) {
  const auto* brush = dynamic_cast<const TBrush*>(&source);
  if (!brush) return TPersistent::Assign(source);
  FColor = brush->FColor;
  FStyle = brush->FStyle;
  Changed();
}
