#include "HostLaunch.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::string AbsoluteProgram(const std::string& program) {
  if (program.find('/') == std::string::npos || program.front() == '/') return program;
  char here[PATH_MAX];
  if (!::getcwd(here, sizeof here)) return program;
  return std::string(here) + "/" + program;
}

int ExitCode(int status) noexcept {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

THostProcess::THostProcess(const std::string& program, const std::string& skin, const std::string& workDir) {
  const std::string path = AbsoluteProgram(program);
  posix_spawn_file_actions_t actions;
  if (int error = ::posix_spawn_file_actions_init(&actions))
    throw EHostLaunchError("Cannot start " + program + ": " + SysErrorMessage(error));
  if (!workDir.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  std::vector<char*> argv{const_cast<char*>(path.c_str()), const_cast<char*>(skin.c_str()), nullptr};
  const int error = ::posix_spawnp(&FPid, path.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    FPid = -1;
    if (error == ENOENT) throw EHostProgramMissing("Cannot start " + program + ": no such program");
    throw EHostLaunchError("Cannot start " + program + ": " + SysErrorMessage(error));
  }
}

THostProcess::~THostProcess() { Stop(kDefaultStopMs); }

std::optional<int> THostProcess::Wait(int timeoutMs) noexcept {
  if (FExit || FPid < 0) return FExit;
  // waitpid has no time-out; a short poll keeps this free of signals and
  // of threads (the host's own SIGCHLD handling stays untouched).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(FPid, &status, timeoutMs < 0 ? 0 : WNOHANG);
    if (done == FPid) {
      FExit = ExitCode(status);
      return FExit;
    }
    if (done < 0 && errno != EINTR) {
      // Reaped elsewhere (the host ignores SIGCHLD, or waited itself): the
      // exit code is lost, but the process has ended.
      FExit = -1;
      return FExit;
    }
    if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    if (timeoutMs >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void THostProcess::Terminate() noexcept {
  if (FPid > 0 && !FExit) ::kill(FPid, SIGTERM);
}

void THostProcess::Kill() noexcept {
  if (FPid > 0 && !FExit) ::kill(FPid, SIGKILL);
}
