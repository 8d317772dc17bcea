// Windows metafiles (WMF) become enhanced metafiles (EMF), so that both
// kinds are drawn by the same EMF renderer. libUEMF reads each WMF record
// (with its own bounds checks) and writes the EMF record that does the same:
// object creation, selection and deletion (the WMF object table's
// lowest-free-slot rule is kept), drawing, text, bitmaps, map mode, window
// and viewport, clipping rectangles, DC save and restore. Other records are
// skipped.
//
// Only placeable metafiles (with the 22-byte bounding-box header and a
// correct checksum) are accepted: the box, in units of 1/inch, is the
// picture's frame, mapped onto the picture as the player's window.
//
// Thread rules: a pure function.
// Errors: EInvalidGraphic(kInvalidMetafile) for a file without a valid
// placeable header, a record that does not fit its size or the file, or a
// file that ends before its end record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

std::vector<uint8_t> WmfToEmf(std::span<const uint8_t> wmf);

// Whether a text record's string of `length` bytes (padded to a whole word),
// starting at byte `stringAt` of the record and followed by `after` more
// bytes, fits a record of `size` bytes. libUEMF's text readers trust the
// length, so records that fail this are skipped before they are read.
bool WmfTextFits(int16_t length, size_t stringAt, size_t size, size_t after);
