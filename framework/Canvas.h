// TCanvas: GDI-style drawing on a bitmap, or on an external Cairo image
// surface (a form's back buffer) through an origin and a clip rectangle, so
// that a control paints at its own (0, 0).
//
// Semantics (those of the classic Windows device context):
// - rectangles are (Left, Top, Right, Bottom) with Right and Bottom
//   exclusive; FillRect(0, 0, 4, 4) paints 4 x 4 pixels, and so does
//   Rectangle(0, 0, 4, 4) (a 1-pixel pen outline on its outer pixels, the
//   brush inside). With a clear pen, Rectangle, Ellipse and Pie fill one
//   pixel less to the right and bottom.
// - no anti-aliasing: a pixel belongs to a filled shape when its centre does
//   (polygons use the alternate fill rule; an ellipse always keeps its centre
//   row and column, so that thin ones still reach their box); outlines of ellipses and pies are
//   the shape's edge pixels; wide pens (Width > 1) are round-capped;
//   psInsideFrame and the dash styles are honoured by 1-pixel lines and
//   rectangle frames, other figures draw those pens solid; the wide outline
//   of an ellipse or pie lies inside the figure.
// - 1-pixel lines leave out their last point (LineTo, Polyline); Polygon and
//   Rectangle outlines are closed.
// - Pie(x1, y1, x2, y2, x3, y3, x4, y4): the bounding box, then the start and
//   end radial points; the sector runs counter-clockwise (on screen) from the
//   start radial to the end radial; equal radials give the whole ellipse.
// - hatched brushes paint their 8 x 8 lines (aligned to the target's
//   pixels) and leave the gaps as they were.
// - the pen mode combines pen and brush colours with the destination; text
//   and FillRect always paint plainly.
// - TextOut draws at the top-left of the text cell, rotated counter-clockwise
//   about that point by the font's Orientation; with a solid brush the cell
//   is first filled with the brush colour, with a clear brush only the glyphs
//   are drawn. It moves PenPos to the end of the text.
// - CopyRect/Draw/StretchDraw stretch by nearest pixel and combine source,
//   destination and the brush colour (the pattern) through CopyMode, any
//   ternary raster operation code (cmSrcCopy, cmSrcInvert, cmSrcAnd,
//   cmMaskPattern 0xE20746: destination where the source is black, brush
//   where it is white, ...).
// - a monochrome bitmap target receives only black and white: pen, brush and
//   font colours of 50 % brightness or more become white, copied pixels
//   become white when they are white and black otherwise.
//
// Text is UTF-8.
//
// Thread rules: a canvas belongs to one thread at a time; Lock/Unlock
// serialise threads that share one (a recursive lock).
// Errors: none of its own; drawing outside the target is clipped.
#pragma once


#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

#include "Font.h"
#include "GraphicsBase.h"
#include "GraphicsTools.h"

class TBitmap;

using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = 0x00000042, cmDstInvert = 0x00550009, cmMergeCopy = 0x00C000CA,
                    cmMergePaint = 0x00BB0226, cmNotSrcCopy = 0x00330008, cmNotSrcErase = 0x001100A6,
                    cmPatCopy = 0x00F00021, cmPatInvert = 0x005A0049, cmPatPaint = 0x00FB0A09,
                    cmSrcAnd = 0x008800C6, cmSrcCopy = 0x00CC0020, cmSrcErase = 0x00440328,
                    cmSrcInvert = 0x00660046, cmSrcPaint = 0x00EE0086, cmWhiteness = 0x00FF0062,
                    cmMaskPattern = 0x00E20746;

// Text format flags of DrawText.
constexpr unsigned DT_TOP = 0x0, DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4,
                   DT_BOTTOM = 0x8, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40,
                   DT_NOCLIP = 0x100, DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800;

// The ternary raster operation `rop` (a copy mode) on one pixel: pattern,
// source and destination words; only the low 24 bits of the result count.
uint32_t ApplyRop3(TCopyMode rop, uint32_t pattern, uint32_t source, uint32_t dest) noexcept;

class TCanvas : public TPersistent {
public:
  // A canvas without a target (draws nothing until SetTarget).
  TCanvas();
  // A canvas on a bitmap (TBitmap::Canvas() makes this one); it follows the
  // bitmap's size.
  explicit TCanvas(TBitmap& bitmap);
  // A canvas on an image surface (RGB24 or ARGB32): canvas point (0, 0) is
  // surface point `origin`, and nothing is drawn outside `clip`, given in
  // surface coordinates (and never outside the surface).
  TCanvas(TSurfacePtr surface, TPoint origin, const TRect& clip);
  ~TCanvas() override;

  // Points the canvas at another surface, origin and clip (reuse for the
  // next control of a paint cycle).
  void SetTarget(TSurfacePtr surface, TPoint origin, const TRect& clip);
  // Limits a bitmap canvas's drawing to `clip` (bitmap pixels), or lifts the
  // limit; a widget repainting part of its image touches only that part.
  void SetBitmapClip(const std::optional<TRect>& clip) noexcept { FBitmapClip = clip; }

  TPen& Pen() noexcept { return FPen; }
  TBrush& Brush() noexcept { return FBrush; }
  TFont& Font() noexcept { return FFont; }
  TCopyMode CopyMode() const noexcept { return FCopyMode; }
  void SetCopyMode(TCopyMode mode) noexcept { FCopyMode = mode; }

  TPoint PenPos() const noexcept { return FPenPos; }
  void SetPenPos(TPoint p) noexcept { FPenPos = p; }
  void MoveTo(int x, int y) noexcept { FPenPos = {x, y}; }
  void LineTo(int x, int y);

  void FillRect(const TRect& rect);
  // A 1-pixel frame in the brush colour, as the classic FrameRect.
  void FrameRect(const TRect& rect);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& rect) { Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom); }
  void Ellipse(int x1, int y1, int x2, int y2);
  void Ellipse(const TRect& rect) { Ellipse(rect.Left, rect.Top, rect.Right, rect.Bottom); }
  void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  void Polygon(std::span<const TPoint> points);
  void Polyline(std::span<const TPoint> points);

  void TextOut(int x, int y, std::string_view text);
  // TextOut clipped to `rect`; a solid brush fills the whole rectangle first.
  void TextRect(const TRect& rect, int x, int y, std::string_view text);
  int TextWidth(std::string_view text) { return TextExtent(text).X; }
  int TextHeight(std::string_view text) { return TextExtent(text).Y; }
  // Width (X) and height (Y) of the unrotated text cell.
  TPoint TextExtent(std::string_view text);
  // Lines broken at CR, LF or CR LF, and with DT_WORDBREAK also between words
  // to fit rect's width; '&' marks an underlined accelerator unless
  // DT_NOPREFIX ("&&" is a plain '&'). With DT_CALCRECT nothing is drawn and
  // rect's Right and Bottom are set to hold the text; otherwise the lines are
  // drawn aligned in rect (brush as for TextOut). Returns the text height.
  int DrawText(std::string_view text, TRect& rect, unsigned format);

  void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);
  void Draw(int x, int y, const TGraphic& graphic);
  void StretchDraw(const TRect& dest, const TGraphic& graphic);
  // Copies `source` of `bitmap` stretched onto `dest`. Pixels of
  // transparentColor are left out (clear brush) or take the brush colour.
  void BrushCopy(const TRect& dest, TBitmap& bitmap, const TRect& source, TColor transparentColor);

  // The clip rectangle in canvas coordinates.
  TRect ClipRect() const;
  // -1 (an invalid colour) outside the target.
  TColor Pixels(int x, int y) const;
  void SetPixels(int x, int y, TColor color);

  void Lock();
  void Unlock();
  bool TryLock();
  int LockCount() const noexcept { return FLockCount; }

  // ---- for graphics drawing themselves ----
  // The target's pixels (flushed); empty for an empty bitmap.
  TPixelView View() const;
  TPoint Origin() const noexcept;
  // `src` (its `srcRect`) stretched onto `dest` (canvas coordinates):
  // through a copy mode; leaving out one colour; or alpha-blended
  // (premultiplied sources).
  void CopyPixels(const TRect& dest, const TPixelView& src, const TRect& srcRect, TCopyMode rop);
  void CopyPixelsTransparent(const TRect& dest, const TPixelView& src, const TRect& srcRect, TColor transparentColor);
  void BlendPixels(const TRect& dest, const TPixelView& src, const TRect& srcRect);
  // The surface drawn on (the device-context handle).
  TSurfacePtr Surface() const noexcept;

  // Fired after each drawing operation.
  TNotifyEvent OnChange;

private:
  struct TTarget {
    TPixelView View;
    TPoint Origin;
    TRect Clip;  // device coordinates, within the view
    bool Monochrome = false;
  };
  TTarget Target() const;
  void Changed(const TTarget& target);
  uint32_t DrawColor(TColor color, const TTarget& t) const;

  // Device-space painting, clipped.
  void Plot(const TTarget& t, int x, int y, uint32_t pixel, TPenMode mode) const;
  void Span(const TTarget& t, int y, int x0, int x1, uint32_t pixel, TPenMode mode) const;
  void BrushSpan(const TTarget& t, int y, int x0, int x1, TPenMode mode) const;
  // A figure given by a pixel predicate over `box` (device coordinates): its
  // edge pixels take the pen (when drawn), the others the brush.
  template <class Inside> void DrawRegion(const TTarget& t, const TRect& box, Inside inside) const;
  // An ellipse, or with two radial points a pie.
  void EllipticFigure(int x1, int y1, int x2, int y2, const TPoint* radials);
  void PenLine(const TTarget& t, TPoint a, TPoint b, bool lastPoint, int& patternPos) const;
  void WideLines(const TTarget& t, std::span<const TPoint> points, bool closed) const;
  void PaintMask(const TTarget& t, const uint8_t* mask, int stride, const TRect& box, uint32_t pixel,
                 TPenMode mode) const;
  void DrawTextBlock(const TTarget& t, int x, int y, const TTextBlock& layout, const TRect* clip, bool opaque);
  template <class Op> void Blit(const TRect& dest, const TPixelView& src, const TRect& srcRect, Op op);

  TBitmap* FBitmap = nullptr;
  TSurfacePtr FSurface;
  TPoint FOrigin;
  TRect FClip;
  std::optional<TRect> FBitmapClip;
  TPen FPen;
  TBrush FBrush;
  TFont FFont;
  TCopyMode FCopyMode = cmSrcCopy;
  TPoint FPenPos;
  std::recursive_mutex FLock;
  int FLockCount = 0;
};
