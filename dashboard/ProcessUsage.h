// What a process costs the machine: CPU time used so far and resident set
// size (peak and current), read from the system's process accounting. The
// dashboard puts its own in its frame statistics; skinhost --report reads
// the dashboard's and its own.
//
// Thread rules: none (each call reads afresh).
// Errors: nothing raises; a process that cannot be read gives nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

struct TProcessUsage {
  double CpuSeconds = 0;    // user + system
  uint64_t PeakRssKiB = 0;  // high-water mark of the resident set
  uint64_t RssKiB = 0;      // resident set now
};

// The usage of process `pid`, or of this process when pid is 0; nothing
// when it does not exist (any more) or cannot be read.
std::optional<TProcessUsage> ReadProcessUsage(int pid = 0) noexcept;

// The parsers behind it, for /proc/PID/stat and /proc/PID/status texts.
// User plus system CPU time in clock ticks (fields 14 and 15, counted after
// the command name, which may hold spaces and parentheses).
std::optional<uint64_t> ParseStatCpuTicks(std::string_view stat) noexcept;
// The KiB figure of a "Name:   1234 kB" line of a status text.
std::optional<uint64_t> ParseStatusKiB(std::string_view status, std::string_view name) noexcept;
