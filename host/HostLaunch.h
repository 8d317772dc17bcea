// Starting the dashboard for a host, and learning when it ends.
//
// The child is started with posix_spawn (no fork of a possibly large,
// many-threaded host such as a JVM) in the given working folder, with the
// host's environment. On Windows (win32/HostLaunchWin32.cpp) it is
// started with CreateProcessW, the program and the skin name each quoted
// on its command line, and asked to end by closing its windows.
//
// Thread rules: one THostProcess is used by one thread at a time.
// Errors: the constructor raises EHostLaunchError with the system's text,
// or EHostProgramMissing when the program cannot be found.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "SysUtils.h"

class EHostLaunchError : public Exception { using Exception::Exception; };
class EHostProgramMissing : public EHostLaunchError { using EHostLaunchError::EHostLaunchError; };

class THostProcess {
public:
  // Starts `program` with the single argument `skin` in `workDir` (empty:
  // the current directory). A program name without '/' is looked up in
  // PATH; one with '/' is made absolute against the caller's directory
  // first, so that it does not depend on workDir. On Windows '\' counts
  // as '/', and a bare name is looked up as the system does (the host's
  // own folder, the current one, the system's, then PATH; ".exe" added).
  THostProcess(const std::string& program, const std::string& skin, const std::string& workDir);
  // How long Stop waits, by default, for the process to end by itself.
  static constexpr int kDefaultStopMs = 2000;

  // Stop(kDefaultStopMs): no child is left behind, and a stopped or hung one
  // costs the host at most that long.
  ~THostProcess();
  THostProcess(const THostProcess&) = delete;
  THostProcess& operator=(const THostProcess&) = delete;

  pid_t Id() const noexcept { return FPid; }
  // Waits up to timeoutMs (negative: no limit) for the end. The exit code,
  // or 128 + the ending signal; nothing while the process runs.
  std::optional<int> Wait(int timeoutMs) noexcept;
  // SIGTERM, unless it has already ended (and been reaped). On Windows:
  // WM_CLOSE posted to each of its top-level windows, so that it ends as
  // when its user closes it; a process without a window is ended at once
  // (TerminateProcess, exit code 143, what a POSIX host sees for SIGTERM).
  void Terminate() noexcept;
  // Ends it at once (SIGKILL; TerminateProcess with exit code 137, what a
  // POSIX host sees for SIGKILL); harmless once it has ended.
  void Kill() noexcept;
  // Terminate, wait up to timeoutMs, then Kill and reap: the process has
  // ended when this returns. Its exit code as Wait gives it.
  std::optional<int> Stop(int timeoutMs) noexcept {
    Terminate();
    if (auto code = Wait(timeoutMs)) return code;
    Kill();
    return Wait(-1);
  }

private:
  pid_t FPid = -1;
  std::optional<int> FExit;
#ifdef _WIN32
  // The process's handle, kept until destruction so that the exit code
  // stays readable and the id is not reused meanwhile.
  void* FProcess = nullptr;
#endif
};
