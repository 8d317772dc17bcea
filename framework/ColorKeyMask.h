// Which pixels of a colour-keyed window its key cuts out, as last sent to
// the window system. A present whose area changed no cut pixel (a needle
// moving over an opaque dial) then costs no shape request, and the server
// no reshaping.
//
// Thread rules: one thread at a time (the user-interface thread).
// Errors: none, but allocation when the window's size changes.
#pragma once

#include <cstdint>
#include <vector>

#include "Types.h"

class TColorKeyMask {
public:
  // Records which pixels of `area` (clipped to the image) are cut: those
  // whose low 24 bits equal keyXrgb, in a 32-bit xRGB image of
  // width x height with a row stride in pixels. True when any of them
  // differs from the record, or when there was none for them (after Reset,
  // or for a new size or key, which start the record afresh).
  bool Update(const uint32_t* pixels, int width, int height, int stride, const TRect& area, uint32_t keyXrgb);
  // Forgets the record: the next update of any area reports a change.
  void Reset() noexcept;

private:
  static constexpr uint8_t kUnknown = 2;
  std::vector<uint8_t> FCut;  // per pixel: 0 kept, 1 cut, kUnknown
  int FWidth = 0, FHeight = 0;
  uint32_t FKey = 0;
};
