// Windows side of SystemOs.h and of SysUtils' system texts.
#include <cwchar>
#include <string>

#include "Messages.h"
#include "SysUtils.h"
#include "SystemOs.h"
#include "WinApi.h"

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) noexcept {
  try {
    // The C runtime opens through CreateFileW, which leaves the reason in
    // the thread's last error; start clean so a success leaves none.
    SetLastError(ERROR_SUCCESS);
    return _wfopen(Utf8ToWide(path).c_str(), Utf8ToWide(mode).c_str());
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

void LocalTime(std::time_t seconds, std::tm& local) noexcept { localtime_s(&local, &seconds); }

int LastFileError() noexcept {
  const DWORD error = GetLastError();
  // A runtime failure that never reached the system (a bad mode) has no
  // system code: report it as an invalid parameter.
  return error != ERROR_SUCCESS ? int(error) : int(ERROR_INVALID_PARAMETER);
}

std::string SysErrorMessage(int errorCode) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      DWORD(errorCode), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || !buffer) return {};
  size_t n = length;
  // The system's texts end with a period and a line break; the callers put
  // the text inside sentences of their own.
  while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' ' || buffer[n - 1] == L'.')) --n;
  std::string text = WideToUtf8(std::wstring_view(buffer, n));
  LocalFree(buffer);
  return text;
}

std::optional<std::string> LocaleDecimalSeparator(const char* localeName) {
  // "" is the user's own setting; a POSIX-style name ("fr_FR.UTF-8") is
  // turned into the system's form ("fr-FR").
  std::wstring name;
  if (localeName && *localeName) {
    std::string posix(localeName);
    posix = posix.substr(0, posix.find_first_of(".@"));
    for (char& c : posix)
      if (c == '_') c = '-';
    name = Utf8ToWide(posix);
    if (!IsValidLocaleName(name.c_str())) return std::nullopt;
  }
  wchar_t separator[8] = {};
  const int n = GetLocaleInfoEx(name.empty() ? LOCALE_NAME_USER_DEFAULT : name.c_str(), LOCALE_SDECIMAL, separator, 8);
  if (n <= 1) return std::string(".");
  return WideToUtf8(std::wstring_view(separator, size_t(n - 1)));
}

// The system's registration: a host process that registers the same name
// gets the same identifier.
uint32_t RegisterWindowMessage(std::string_view name) {
  const std::string text(name);
  return RegisterWindowMessageA(text.c_str());
}
