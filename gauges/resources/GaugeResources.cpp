#include "GaugeResources.h"

#include "GaugeResourceTable.h"

namespace {

constexpr char AsciiUpper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Names are pure ASCII, so a plain ASCII fold is the whole of the
// case-insensitive match; no locale is involved.
constexpr bool SameNameIgnoringCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

}  // namespace

std::span<const uint8_t> FindGlyphResource(std::string_view name) noexcept {
  // A couple of dozen entries: a linear scan is cheaper than any index.
  const std::span<const TEmbeddedGlyphResource> table = EmbeddedGlyphResources();
  for (const TEmbeddedGlyphResource& entry : table)
    if (SameNameIgnoringCase(entry.FName, name)) return entry.FData;
  return {};
}

std::span<const std::string_view> GlyphResourceNames() noexcept { return EmbeddedGlyphResourceNames(); }
