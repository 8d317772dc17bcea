// THostProcess on Windows: CreateProcessW, WaitForSingleObject, and an end
// asked for by closing the child's windows.
//
// Texts arrive in UTF-8 and go to the wide-character calls, so that a skin
// or folder name outside the ANSI code page still reaches the child intact.
#include "../HostLaunch.h"
#include "os/WinApi.h"

namespace {

// What a POSIX host reads for a child ended by SIGTERM (128 + 15); a child
// ended by force here reports the same.
constexpr UINT kTerminatedExitCode = 128 + 15;
// What a POSIX host reads for a child ended by SIGKILL (128 + 9).
constexpr UINT kKilledExitCode = 128 + 9;

// A path with a separator is made absolute against the caller's folder
// (the child runs elsewhere); a bare name is left to the system's search.
std::wstring AbsoluteProgram(const std::wstring& program) {
  if (program.find_first_of(L"/\\") == std::wstring::npos) return program;
  const DWORD length = ::GetFullPathNameW(program.c_str(), 0, nullptr, nullptr);
  if (length == 0) return program;
  std::wstring full(length, L'\0');
  const DWORD written = ::GetFullPathNameW(program.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) return program;
  full.resize(written);
  return full;
}

// One argument as the C runtime's and CommandLineToArgvW's parsers read it
// back: in quotes, with each quote escaped and the backslashes before a
// quote (or before the closing quote) doubled.
std::wstring QuoteArgument(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++backslashes;
      ++i;
    }
    if (i == argument.size()) {
      quoted.append(backslashes * 2, L'\\');
      break;
    }
    if (argument[i] == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    quoted.push_back(argument[i]);
  }
  quoted.push_back(L'"');
  return quoted;
}

struct TCloseRequest {
  DWORD ProcessId;
  bool Posted;
};

BOOL CALLBACK CloseWindowOfProcess(HWND window, LPARAM request) {
  auto& close = *reinterpret_cast<TCloseRequest*>(request);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == close.ProcessId && ::PostMessageW(window, WM_CLOSE, 0, 0)) close.Posted = true;
  return TRUE;
}

}  // namespace

THostProcess::THostProcess(const std::string& program, const std::string& skin, const std::string& workDir) {
  // The program's name is not parsed for escapes (a path holds no quote);
  // the skin name is an ordinary argument.
  std::wstring commandLine = L"\"" + AbsoluteProgram(Utf8ToWide(program)) + L"\" " + QuoteArgument(Utf8ToWide(skin));
  const std::wstring folder = Utf8ToWide(workDir);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      throw EHostProgramMissing("Cannot start " + program + ": no such program");
    throw EHostLaunchError("Cannot start " + program + ": " + SysErrorMessage(static_cast<int>(error)));
  }
  ::CloseHandle(info.hThread);
  FProcess = info.hProcess;
  FPid = static_cast<pid_t>(info.dwProcessId);
}

THostProcess::~THostProcess() {
  Stop(kDefaultStopMs);
  if (FProcess) ::CloseHandle(FProcess);
}

void THostProcess::Kill() noexcept {
  if (FProcess && !FExit) ::TerminateProcess(FProcess, kKilledExitCode);
}

std::optional<int> THostProcess::Wait(int timeoutMs) noexcept {
  if (FExit || !FProcess) return FExit;
  const DWORD waited = ::WaitForSingleObject(FProcess, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (waited == WAIT_TIMEOUT) return std::nullopt;
  DWORD code = 0;
  // A handle that cannot be waited on or read tells nothing more: the end
  // is taken as it comes, its code lost, as with a child reaped elsewhere.
  if (waited != WAIT_OBJECT_0 || !::GetExitCodeProcess(FProcess, &code)) {
    FExit = -1;
    return FExit;
  }
  FExit = static_cast<int>(code);
  return FExit;
}

void THostProcess::Terminate() noexcept {
  if (!FProcess || FExit || ::WaitForSingleObject(FProcess, 0) == WAIT_OBJECT_0) return;
  // Closing its windows ends the dashboard the way its user would, so it
  // writes what it writes at the end (its frame statistics).
  TCloseRequest request{static_cast<DWORD>(FPid), false};
  ::EnumWindows(CloseWindowOfProcess, reinterpret_cast<LPARAM>(&request));
  if (!request.Posted) ::TerminateProcess(FProcess, kTerminatedExitCode);
}
