// Starting the dashboard for a host, and learning when it ends.
//
// The child is started with posix_spawn (no fork of a possibly large,
// many-threaded host such as a JVM) in the given working folder, with the
// host's environment.
//
// Thread rules: one THostProcess is used by one thread at a time.
// Errors: Launch raises EHostLaunchError with the system's text.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "SysUtils.h"

class EHostLaunchError : public Exception { using Exception::Exception; };

class THostProcess {
public:
  // Starts `program` with the single argument `skin` in `workDir` (empty:
  // the current directory). A program name without '/' is looked up in
  // PATH; one with '/' is made absolute against the caller's directory
  // first, so that it does not depend on workDir.
  THostProcess(const std::string& program, const std::string& skin, const std::string& workDir);
  ~THostProcess();  // Terminate, then wait: no child is left behind
  THostProcess(const THostProcess&) = delete;
  THostProcess& operator=(const THostProcess&) = delete;

  pid_t Id() const noexcept { return FPid; }
  // Waits up to timeoutMs (negative: no limit) for the end. The exit code,
  // or 128 + the ending signal; nothing while the process runs.
  std::optional<int> Wait(int timeoutMs) noexcept;
  // SIGTERM, unless it has already ended (and been reaped).
  void Terminate() noexcept;

private:
  pid_t FPid = -1;
  std::optional<int> FExit;
};
