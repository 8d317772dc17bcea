// The system error codes that the serial core reports on its own account.
//
// Purpose: statuses the core makes up itself (a bad port number, a refused
// argument, a device already held, a write that made no progress) are the
// system's own codes, so that ErrorText finds the system's text for them and
// the host sees the same numbers a failed system call would give. Each
// platform names them in its own numbering: errno values on POSIX, Win32
// error codes on Windows. This is the one place that chooses.
//
// Thread rules and errors: constants only.
#pragma once

#ifdef _WIN32

namespace serialkvl {
inline constexpr int kSysNotFound = 2;            // ERROR_FILE_NOT_FOUND
inline constexpr int kSysAccessDenied = 5;        // ERROR_ACCESS_DENIED
inline constexpr int kSysBadPort = 6;             // ERROR_INVALID_HANDLE
inline constexpr int kSysNoMemory = 8;            // ERROR_NOT_ENOUGH_MEMORY
inline constexpr int kSysInvalidArgument = 87;    // ERROR_INVALID_PARAMETER
inline constexpr int kSysNameTooLong = 206;       // ERROR_FILENAME_EXCED_RANGE
inline constexpr int kSysTimedOut = 258;          // WAIT_TIMEOUT, what a timed-out wait answers
inline constexpr int kSysDeviceFailed = 1117;     // ERROR_IO_DEVICE
inline constexpr int kSysTryAgain = 1450;         // ERROR_NO_SYSTEM_RESOURCES
}  // namespace serialkvl

#else

#include <cerrno>

namespace serialkvl {
inline constexpr int kSysNotFound = ENOENT;
inline constexpr int kSysAccessDenied = EACCES;
inline constexpr int kSysBadPort = EBADF;
inline constexpr int kSysNoMemory = ENOMEM;
inline constexpr int kSysInvalidArgument = EINVAL;
inline constexpr int kSysNameTooLong = ENAMETOOLONG;
inline constexpr int kSysTimedOut = ETIMEDOUT;
inline constexpr int kSysDeviceFailed = EIO;
inline constexpr int kSysTryAgain = EAGAIN;
}  // namespace serialkvl

#endif
