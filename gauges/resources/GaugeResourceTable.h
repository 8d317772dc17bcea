// The table of embedded resources, generated at build time from the files of
// this directory by EmbedResources.cmake. Internal to the glyph library.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct TEmbeddedGlyphResource {
  std::string_view FName;
  std::span<const uint8_t> FData;
};

std::span<const TEmbeddedGlyphResource> EmbeddedGlyphResources() noexcept;
std::span<const std::string_view> EmbeddedGlyphResourceNames() noexcept;
