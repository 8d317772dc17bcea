// The wide pen's figure: a polyline stroked `width` pixels wide with round
// caps and round joins, without anti-aliasing, as an 8-bit coverage mask.
// Pen widths above one pixel are the only strokes the canvas does not draw
// itself; the platform's rasteriser draws them (Cairo on Linux, GDI on
// Windows: backend/cairo and backend/gdi), so they look as that platform's
// own wide lines do.
//
// Thread rules: none (each call works on its own memory).
// Errors: EOutOfResources when the mask cannot be allocated.
#pragma once

#include <span>

#include "Surface.h"
#include "Types.h"

// The mask covers `box` (device pixels): mask pixel (0, 0) is device pixel
// (box.Left, box.Top). Points are device pixel positions (a point names the
// pixel whose centre it is); `closed` joins the last point to the first.
// One point draws a dot of the pen's width. `box` is not empty.
TSurfacePtr RasteriseWideStroke(std::span<const TPoint> points, bool closed, int width, const TRect& box);
