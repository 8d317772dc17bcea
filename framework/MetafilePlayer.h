// Metafile playback: an enhanced metafile (EMF) is translated to SVG by
// libemf2svg and the SVG drawn by librsvg onto a Cairo image; a Windows
// metafile (WMF) is first turned into an EMF (WmfConverter). The libraries
// do the record parsing; this unit checks the EMF record chain with libUEMF
// before libemf2svg sees it, reads the picture size from the header and
// places the drawing in the target.
//
// Picture size at 96 dots per inch: an EMF's frame (0.01 mm units), a
// placeable WMF's bounding box (units of 1/inch as its header says). A WMF
// without the placeable header carries no size and is not accepted.
//
// Thread rules: a player is immutable once built; Render may run on any
// thread, one call at a time per player (librsvg handles are not shared
// between threads).
// Errors: the constructor raises EInvalidGraphic(kInvalidMetafile) for bytes
// that are not a whole, well-formed metafile; Render raises EOutOfResources
// when the image cannot be allocated.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <span>

#include "GraphicsBase.h"

enum TMetafileKind { mkNone, mkEnhanced, mkWindows };

extern const char* const kInvalidMetafile;

// Picture size in pixels at 96 dots per inch (rounded to nearest).
int HundredthsMmToPixels(int64_t hundredthsMm) noexcept;
int MetafileUnitsToPixels(int64_t units, int unitsPerInch) noexcept;

// The kind a file's first bytes announce (mkNone for neither).
TMetafileKind MetafileKindOf(std::span<const uint8_t> bytes) noexcept;

struct _RsvgHandle;

class TMetafilePlayer {
public:
  explicit TMetafilePlayer(std::span<const uint8_t> bytes);
  ~TMetafilePlayer();
  TMetafilePlayer(const TMetafilePlayer&) = delete;
  TMetafilePlayer& operator=(const TMetafilePlayer&) = delete;

  TMetafileKind Kind() const noexcept { return FKind; }
  int Width() const noexcept { return FWidth; }
  int Height() const noexcept { return FHeight; }

  // A new ARGB32 surface of width x height (both > 0) with the whole picture
  // scaled onto it; pixels the metafile does not draw stay transparent. The
  // caller owns the surface.
  cairo_surface_t* Render(int width, int height) const;

private:
  void LoadEnhanced(std::span<const uint8_t> bytes);
  void LoadWindows(std::span<const uint8_t> bytes);
  void ParseSvg(const char* svg, size_t length);

  TMetafileKind FKind = mkNone;
  int FWidth = 0;
  int FHeight = 0;
  _RsvgHandle* FSvg = nullptr;
  // The picture's area in the SVG's user space: Render maps it onto the
  // target image.
  double FLeft = 0, FTop = 0, FSpanX = 1, FSpanY = 1;
  // The SVG's own size (its viewport; nothing outside it is drawn).
  double FSvgWidth = 0, FSvgHeight = 0;
};
