#include "ProcessUsage.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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

std::optional<TProcessUsage> ReadProcessUsage(int pid) noexcept {
  try {
    const std::string directory = pid == 0 ? std::string("/proc/self/") : "/proc/" + std::to_string(pid) + "/";
    const std::optional<std::string> stat = ReadText(directory + "stat");
    const std::optional<std::string> status = ReadText(directory + "status");
    if (!stat || !status) return std::nullopt;
    const std::optional<uint64_t> ticks = ParseStatCpuTicks(*stat);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (!ticks || ticksPerSecond <= 0) return std::nullopt;
    TProcessUsage usage;
    usage.CpuSeconds = static_cast<double>(*ticks) / static_cast<double>(ticksPerSecond);
    // A process that has ended (a zombie) has no memory figures any more.
    usage.PeakRssKiB = ParseStatusKiB(*status, "VmHWM").value_or(0);
    usage.RssKiB = ParseStatusKiB(*status, "VmRSS").value_or(0);
    return usage;
  } catch (...) {
    return std::nullopt;
  }
}
