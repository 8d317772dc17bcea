// The parsers of the process accounting texts that Linux publishes under
// /proc. They are pure (text in, figures out), so every platform builds
// them and the tests exercise them anywhere; only the POSIX backend feeds
// them real files.
#include <algorithm>
#include <charconv>

#include "ProcessUsage.h"

namespace {

std::optional<uint64_t> Number(std::string_view text) noexcept {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end == text.data()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<uint64_t> ParseStatCpuTicks(std::string_view stat) noexcept {
  // "pid (comm) state ppid ...": comm may hold anything, so the fields are
  // counted from its last closing parenthesis; state is field 3.
  const size_t close = stat.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view rest = stat.substr(close + 1);
  std::optional<uint64_t> user, system;
  for (int field = 3; field <= 15; ++field) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) return std::nullopt;
    rest = rest.substr(start);
    const size_t end = std::min(rest.find(' '), rest.size());
    if (field == 14) user = Number(rest.substr(0, end));
    if (field == 15) system = Number(rest.substr(0, end));
    rest = rest.substr(end);
  }
  if (!user || !system) return std::nullopt;
  return *user + *system;
}

std::optional<uint64_t> ParseStatusKiB(std::string_view status, std::string_view name) noexcept {
  size_t at = 0;
  while (at < status.size()) {
    const size_t end = std::min(status.find('\n', at), status.size());
    const std::string_view line = status.substr(at, end - at);
    at = end + 1;
    if (line.size() <= name.size() || line.substr(0, name.size()) != name || line[name.size()] != ':') continue;
    std::string_view value = line.substr(name.size() + 1);
    const size_t start = value.find_first_not_of(" \t");
    if (start == std::string_view::npos) return std::nullopt;
    value = value.substr(start);
    return Number(value.substr(0, value.find(' ')));
  }
  return std::nullopt;
}
