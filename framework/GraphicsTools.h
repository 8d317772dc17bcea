// The pen and brush of a canvas.
//
// TPen draws outlines and lines: Color, Mode (the binary raster operation
// between the pen and the destination), Style (solid, dashed and dotted
// patterns, clear = no outline, inside-frame = a wide outline kept inside
// the figure) and Width in pixels. TBrush fills interiors: Color and Style
// (solid, clear = no fill, or one of the 8x8 hatch patterns). Both fire
// OnChange after a change of value.
//
// Thread rules: user-interface thread. Errors: Assign from another class
// raises EConvertError.
#pragma once

#include "Classes.h"
#include "Colors.h"

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TPen : public TPersistent {
  VELQ_CLASS(TPen)
public:
  TColor Color() const noexcept { return FColor; }
  void SetColor(TColor value);
  TPenMode Mode() const noexcept { return FMode; }
  void SetMode(TPenMode value);
  TPenStyle Style() const noexcept { return FStyle; }
  void SetStyle(TPenStyle value);
  int Width() const noexcept { return FWidth; }
  // Widths below 1 draw as 1, as a cosmetic pen does.
  void SetWidth(int value);
  void Assign(const TPersistent& source) override;

  TNotifyEvent OnChange;

private:
  void Changed();
  TColor FColor = clBlack;
  TPenMode FMode = pmCopy;
  TPenStyle FStyle = psSolid;
  int FWidth = 1;
};

class TBrush : public TPersistent {
  VELQ_CLASS(TBrush)
public:
  TColor Color() const noexcept { return FColor; }
  // Also turns a clear brush solid.
  void SetColor(TColor value);
  TBrushStyle Style() const noexcept { return FStyle; }
  void SetStyle(TBrushStyle value);
  void Assign(const TPersistent& source) override;

  TNotifyEvent OnChange;

private:
  void Changed();
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
};

// The binary raster operation of a pen mode applied to a pen colour and a
// destination pixel (both 0x00RRGGBB-style words; only the low 24 bits count).
uint32_t ApplyPenMode(TPenMode mode, uint32_t pen, uint32_t dest) noexcept;
