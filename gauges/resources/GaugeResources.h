// The built-in pictures of the gauge library, found by name.
//
// The files of this directory (digit strips, colon and AM/PM glyphs, the
// counter strip, lamp strips, matrix cells as Windows bitmaps, and the
// hand-point pointer as a Windows cursor file) are compiled into the program
// at build time; a resource's name is its file name without the extension,
// for example "NUM13x24", "LI_RND" or "GAUGECURSORHANDPOINT". The bytes are
// the whole file, so a bitmap decoder reads them as it would read the file.
//
// Thread rules: constant data, safe from any thread.
// Errors: none; a name that is not built in gives an empty span.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The bytes of the named resource; ASCII case is ignored in the name.
std::span<const uint8_t> FindGlyphResource(std::string_view name) noexcept;

// The names of all built-in resources, in the spelling of the code, sorted.
std::span<const std::string_view> GlyphResourceNames() noexcept;
