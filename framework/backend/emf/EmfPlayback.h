// Plays an enhanced metafile's records onto a TRaster the way GDI plays
// them: the device context's state (mapping mode, window and viewport,
// world transform, saved states, clip region, path, selected pen, brush and
// font, colours and modes), GDI's objects, and each drawing record on the
// raster's aliased figures.
//
// The transform of a point runs world -> page (mapping mode, window,
// viewport) -> reference device (the pixels the metafile was recorded for)
// -> target (the caller's `deviceFromReference`, which places the picture's
// frame on the image). Clip regions in records are in reference-device
// pixels and take only the last step.
//
// Thread rules: Play runs on any thread; the playback object is immutable.
// Errors: none raised for content; the records have been checked for size
// and bounds (libUEMF's record checks, WalkEmfRecords) before they get here,
// and whatever a record asks beyond that (a missing object, a bitmap that
// does not decode, an empty figure) draws nothing.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "EmfRaster.h"

namespace emf {

// An affine transform, in GDI's XFORM order: x' = x M11 + y M21 + Dx,
// y' = x M12 + y M22 + Dy.
struct TXform {
  double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
  TPointD Apply(TPointD p) const noexcept { return {p.X * M11 + p.Y * M21 + Dx, p.X * M12 + p.Y * M22 + Dy}; }
  // This transform, then `next`.
  TXform Then(const TXform& next) const noexcept;
  double Determinant() const noexcept { return M11 * M22 - M12 * M21; }
};

// Window and viewport of a device context. Mapping modes as GDI numbers
// them: MM_TEXT 1 ... MM_ANISOTROPIC 8.
struct TPageSetup {
  int MapMode = 1;
  TPointD WindowOrg, WindowExt{1, 1}, ViewportOrg, ViewportExt{1, 1};
};

// Page space to reference-device pixels. Fixed mapping modes use the
// reference device's resolution (pixels per millimetre) and turn the y axis
// up; MM_ISOTROPIC keeps one scale for both axes, the smaller, with each
// axis keeping the sign its extents give.
TXform PageTransform(const TPageSetup& page, double pixelsPerMmX, double pixelsPerMmY) noexcept;

// The sweep of an arc on the ellipse of centre c and radii rx, ry, from the
// radial through `start` to the radial through `end`, counter-clockwise on
// the device (y down) unless `clockwise`: the points along it, `start`'s
// angle first. Equal radials give the whole ellipse.
std::vector<TPointD> ArcPoints(TPointD c, double rx, double ry, TPointD start, TPointD end, bool clockwise);

// Whether the player reads records of this type (the others it passes over,
// so they need no checking).
bool PlaysRecord(uint32_t type) noexcept;

class TEmfPlayback {
public:
  // `records` is the whole metafile, header first, as checked by the caller;
  // the bytes must stay alive and unchanged while the object lives.
  explicit TEmfPlayback(std::span<const uint8_t> records);
  void Play(TRaster& raster, const TXform& deviceFromReference) const;

  // The reference device's pixels per millimetre (from the header; 96 dots
  // per inch for a header without a sensible device).
  double PixelsPerMmX() const noexcept { return FPixelsPerMmX; }
  double PixelsPerMmY() const noexcept { return FPixelsPerMmY; }

private:
  std::span<const uint8_t> FRecords;
  uint32_t FHandles = 0;
  double FPixelsPerMmX = 96 / 25.4, FPixelsPerMmY = 96 / 25.4;
};

}  // namespace emf
