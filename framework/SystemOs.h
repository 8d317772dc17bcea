// The few operating-system services the framework's portable units need:
// opening a file by a UTF-8 name, the last system error of such a call, the
// system's text for an error code, and a locale's decimal separator.
// os/SystemPosix.cpp and os/SystemWin32.cpp implement them.
//
// Error codes are the platform's own: errno values on POSIX, Win32 error
// codes (GetLastError) on Windows; SysErrorMessage (SysUtils.h) takes them.
//
// Thread rules: all thread-safe. Errors: nothing throws but allocation.
#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

// fopen of a UTF-8 path (Windows converts it to UTF-16 first, so any name
// opens, whatever the ANSI code page); null on failure, with the reason in
// LastFileError().
std::FILE* OpenFileUtf8(const std::string& path, const char* mode) noexcept;

// The local time of `seconds` (the thread-safe localtime of the platform).
void LocalTime(std::time_t seconds, std::tm& local) noexcept;

// The system error code that the last failed OpenFileUtf8 or stdio call on
// this thread left.
int LastFileError() noexcept;
