// ReadProcessUsage on Windows: CPU time from GetProcessTimes, the working
// set (the resident set's counterpart) from GetProcessMemoryInfo (psapi),
// read afresh at every call through a handle opened for it.
#include <windows.h>

#include <psapi.h>

#include "../ProcessUsage.h"

namespace {

// FILETIME durations count 100-nanosecond units.
double Seconds(const FILETIME& time) noexcept {
  ULARGE_INTEGER value{};
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<double>(value.QuadPart) / 1e7;
}

// A handle that may query the process; another user's process may allow
// only the limited right, which still gives its times.
HANDLE OpenForQuery(int pid) noexcept {
  const auto id = static_cast<DWORD>(pid);
  if (HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id)) return process;
  return ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
}

}  // namespace

std::optional<TProcessUsage> ReadProcessUsage(int pid) noexcept {
  if (pid < 0) return std::nullopt;
  // The pseudo-handle of this process needs no closing.
  HANDLE process = pid == 0 ? ::GetCurrentProcess() : OpenForQuery(pid);
  if (!process) return std::nullopt;
  FILETIME created{}, ended{}, kernel{}, user{};
  const bool timed = ::GetProcessTimes(process, &created, &ended, &kernel, &user) != FALSE;
  // A process that has ended keeps its times while a handle to it is held,
  // but no memory any more: its figures are 0, as for a zombie on Linux.
  DWORD exitCode = 0;
  const bool running = ::GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  const bool measured = running && ::GetProcessMemoryInfo(process, &counters, sizeof counters);
  if (pid != 0) ::CloseHandle(process);
  if (!timed) return std::nullopt;
  TProcessUsage usage;
  usage.CpuSeconds = Seconds(kernel) + Seconds(user);
  if (measured) {
    usage.PeakRssKiB = static_cast<uint64_t>(counters.PeakWorkingSetSize) / 1024;
    usage.RssKiB = static_cast<uint64_t>(counters.WorkingSetSize) / 1024;
  }
  return usage;
}
