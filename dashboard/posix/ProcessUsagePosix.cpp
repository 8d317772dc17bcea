// ReadProcessUsage on Linux: the process's stat and status texts under
// /proc, read afresh at every call.
#include "ProcessUsage.h"

#include <unistd.h>

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

}  // namespace

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
