// Wide pens through Cairo (Linux): the stroke is Cairo's, without
// anti-aliasing, with round caps and joins, drawn straight into the mask's
// memory (an A8 image surface over the TSurface's rows).
#include <cairo.h>

#include "GraphicsBase.h"
#include "StrokeMask.h"
#include "SysUtils.h"

TSurfacePtr RasteriseWideStroke(std::span<const TPoint> points, bool closed, int width, const TRect& box) {
  TSurfacePtr mask = NewSurface(box.Width(), box.Height(), TSurface::sfA8);
  if (points.empty()) return mask;
  // The surface's rows are 16-byte aligned, which Cairo's A8 stride rule
  // (a multiple of 4) accepts as they are.
  cairo_surface_t* surface = cairo_image_surface_create_for_data(mask->Bytes(), CAIRO_FORMAT_A8, mask->Width(),
                                                                 mask->Height(), mask->Stride());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    throw EOutOfResources(Format("Ressources insuffisantes (%dx%d)", box.Width(), box.Height()));
  }
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  // A point names the pixel whose centre it is.
  cairo_translate(cr, -box.Left + 0.5, -box.Top + 0.5);
  cairo_move_to(cr, points[0].X, points[0].Y);
  for (size_t i = 1; i < points.size(); ++i) cairo_line_to(cr, points[i].X, points[i].Y);
  if (closed) cairo_close_path(cr);
  // One point: a line of no length, which the round caps make a dot.
  if (points.size() == 1) cairo_line_to(cr, points[0].X, points[0].Y);
  cairo_stroke(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  return mask;
}
