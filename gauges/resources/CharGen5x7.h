// The 5 x 7 character generator of the LED matrix display.
//
// One entry per 8-bit character code, seven row bytes from the top row down.
// A row holds its five dots in the low five bits, bit 4 being the leftmost
// column and bit 0 the rightmost; the upper three bits are always 0. Codes
// without a glyph (32, 128-137, 139-153, 155-191, 247, ...) are all zero, so
// the display shows them as an empty cell.
//
// Thread rules: constant data, safe from any thread.
// Errors: none; every code 0..255 has an entry.
#pragma once

#include <array>
#include <cstdint>
#include <span>

inline constexpr int CharGenRowCount = 7;
inline constexpr int CharGenColumnCount = 5;

using TCharGenGlyph = std::array<uint8_t, CharGenRowCount>;

// The seven row bytes of one character code.
const TCharGenGlyph& CharGenGlyph(uint8_t code) noexcept;

// The whole table, indexed by character code.
std::span<const TCharGenGlyph, 256> CharGenTable() noexcept;
