#include "os/SerialDeviceWin32.h"

#include <windows.h>
#include <timeapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "os/SerialDevice.h"
#include "os/SystemCodes.h"

namespace serialkvl {

namespace {

// Reads ask only for bytes the driver already holds and the time-outs let a
// read wait at most 1 ms for a first byte, so a read that still goes
// pending is a driver that is stuck; it is given this long, then cancelled.
constexpr DWORD kReadCompletionMs = 1000;

// After a receive wait (WaitCommEvent) fails, the reader polls every
// millisecond for a while and then asks again, waiting twice as long after
// each failure in a row, up to a second: a driver that refuses once is not
// polled for good, and one that always refuses costs one failed call a
// second on top of the polling.
constexpr ULONGLONG kFirstRetryMs = 16;
constexpr ULONGLONG kLastRetryMs = 1000;

int LastError() {
  const DWORD code = GetLastError();
  return code != 0 ? static_cast<int>(code) : kSysDeviceFailed;
}

class Win32SerialDevice final : public SerialDevice {
 public:
  Win32SerialDevice(HANDLE comm, HANDLE ioEvent) : FComm(comm), FIoEvent(ioEvent) {
    // The reader's pauses (20 ms between request and reply, 1 ms polls)
    // and the drain's sleeps would end up to 15.6 ms late at the system's
    // default timer step. The finer step is asked for only while a port is
    // open; the system counts the requests of every program.
    FFineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
  }
  ~Win32SerialDevice() override { Close(); }
  Win32SerialDevice(const Win32SerialDevice&) = delete;
  Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

  int SetQueueSizes(uint32_t inBytes, uint32_t outBytes) override {
    return SetupComm(FComm, inBytes, outBytes) ? 0 : LastError();
  }

  int Purge(uint32_t flags) override {
    // The flag values are PurgeComm's own (PURGE_TXABORT 1, PURGE_RXABORT 2,
    // PURGE_TXCLEAR 4, PURGE_RXCLEAR 8).
    return PurgeComm(FComm, flags) ? 0 : LastError();
  }

  int ReadSettings(LineSettings& settings) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(FComm, &dcb)) return LastError();
    FDcb = dcb;
    FHaveDcb = true;
    settings.FBaudRate = dcb.BaudRate;
    settings.FByteSize = dcb.ByteSize;
    settings.FParity = dcb.Parity;
    settings.FStopBits = dcb.StopBits;
    settings.FBinary = dcb.fBinary;
    settings.FParityCheck = dcb.fParity;
    settings.FOutxCtsFlow = dcb.fOutxCtsFlow;
    settings.FOutxDsrFlow = dcb.fOutxDsrFlow;
    settings.FDsrSensitivity = dcb.fDsrSensitivity;
    settings.FTXContinueOnXoff = dcb.fTXContinueOnXoff;
    settings.FOutX = dcb.fOutX;
    settings.FInX = dcb.fInX;
    settings.FErrorChar = dcb.fErrorChar;
    settings.FNull = dcb.fNull;
    settings.FAbortOnError = dcb.fAbortOnError;
    settings.FDtrControl = static_cast<uint8_t>(dcb.fDtrControl);
    settings.FRtsControl = static_cast<uint8_t>(dcb.fRtsControl);
    return 0;
  }

  int WriteSettings(const LineSettings& settings) override {
    if (!FHaveDcb) {
      LineSettings scratch;
      if (int status = ReadSettings(scratch)) return status;
    }
    // Every field the record does not name (XON/XOFF limits and characters,
    // the event character, ...) stays as the driver reported it.
    DCB dcb = FDcb;
    dcb.BaudRate = settings.FBaudRate;
    dcb.ByteSize = settings.FByteSize;
    dcb.Parity = settings.FParity;
    dcb.StopBits = settings.FStopBits;
    dcb.fBinary = settings.FBinary;
    dcb.fParity = settings.FParityCheck;
    dcb.fOutxCtsFlow = settings.FOutxCtsFlow;
    dcb.fOutxDsrFlow = settings.FOutxDsrFlow;
    dcb.fDsrSensitivity = settings.FDsrSensitivity;
    dcb.fTXContinueOnXoff = settings.FTXContinueOnXoff;
    dcb.fOutX = settings.FOutX;
    dcb.fInX = settings.FInX;
    dcb.fErrorChar = settings.FErrorChar;
    dcb.fNull = settings.FNull;
    dcb.fAbortOnError = settings.FAbortOnError;
    dcb.fDtrControl = settings.FDtrControl & 3;
    dcb.fRtsControl = settings.FRtsControl & 3;
    if (!SetCommState(FComm, &dcb)) return LastError();
    FDcb = dcb;
    return 0;
  }

  int SetModemLine(ModemCommand command) override {
    // The command values are EscapeCommFunction's codes (SETRTS 3, CLRRTS 4,
    // SETDTR 5, CLRDTR 6).
    return EscapeCommFunction(FComm, static_cast<DWORD>(command)) ? 0 : LastError();
  }

  int SetTimeouts(const LineTimeouts& timeouts) override {
    COMMTIMEOUTS rules{};
    rules.ReadIntervalTimeout = timeouts.FReadIntervalTimeout;
    rules.ReadTotalTimeoutMultiplier = timeouts.FReadTotalMultiplier;
    rules.ReadTotalTimeoutConstant = timeouts.FReadTotalConstant;
    rules.WriteTotalTimeoutMultiplier = timeouts.FWriteTotalMultiplier;
    rules.WriteTotalTimeoutConstant = timeouts.FWriteTotalConstant;
    return SetCommTimeouts(FComm, &rules) ? 0 : LastError();
  }

  int QueuedInput(uint32_t& count) override {
    count = 0;
    COMSTAT state{};
    DWORD errors = 0;
    // Also clears the driver's error state, which would otherwise stop
    // further input after a framing or overrun error.
    if (!ClearCommError(FComm, &errors, &state)) return LastError();
    count = state.cbInQue;
    return 0;
  }

  int Read(uint8_t* buffer, uint32_t size, uint32_t& got) override {
    got = 0;
    if (size == 0) return 0;
    OVERLAPPED request{};
    request.hEvent = FIoEvent;
    ResetEvent(FIoEvent);
    DWORD count = 0;
    if (ReadFile(FComm, buffer, size, &count, &request)) {
      got = count;
      return 0;
    }
    if (GetLastError() != ERROR_IO_PENDING) return LastError();
    const DWORD waited = WaitForSingleObject(FIoEvent, kReadCompletionMs);
    if (waited == WAIT_OBJECT_0) {
      if (!GetOverlappedResult(FComm, &request, &count, FALSE)) return LastError();
      got = count;
      return 0;
    }
    // The buffer belongs to the caller: the read must be over before this
    // returns. What arrived before the cancel still counts.
    const int status = waited == WAIT_FAILED ? LastError() : 0;
    CancelIoEx(FComm, &request);
    if (GetOverlappedResult(FComm, &request, &count, TRUE)) got = count;
    return status;
  }

  int Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs, uint32_t& written) override {
    written = 0;
    OVERLAPPED request{};
    request.hEvent = FIoEvent;
    ResetEvent(FIoEvent);
    DWORD count = 0;
    if (WriteFile(FComm, data, size, &count, &request)) {
      written = count;
      return 0;
    }
    if (GetLastError() != ERROR_IO_PENDING) return LastError();
    const DWORD waited = WaitForSingleObject(FIoEvent, timeoutMs);
    if (waited == WAIT_OBJECT_0) {
      if (!GetOverlappedResult(FComm, &request, &count, TRUE)) return LastError();
      written = count;
      return 0;
    }
    // Timed out (WAIT_TIMEOUT is the status) or the wait failed. The write
    // is cancelled and its end awaited, since the bytes are the caller's.
    const int status = waited == WAIT_FAILED ? LastError() : static_cast<int>(waited);
    CancelIoEx(FComm, &request);
    if (GetOverlappedResult(FComm, &request, &count, TRUE)) written = count;
    return status;
  }

  int Drain(uint32_t timeoutMs) override {
    // An overlapped write completes once the driver has the bytes; they have
    // left the port when its output queue is empty.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
      COMSTAT state{};
      DWORD errors = 0;
      if (!ClearCommError(FComm, &errors, &state)) return LastError();
      if (state.cbOutQue == 0) return 0;
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return kSysTimedOut;
      // About as long as the queue needs at the line rate (10 bits a byte),
      // between 1 and 20 ms.
      const ULONGLONG rate = FDcb.BaudRate > 0 ? FDcb.BaudRate : 9600;
      const ULONGLONG need = static_cast<ULONGLONG>(state.cbOutQue) * 10 * 1000 / rate;
      Sleep(static_cast<DWORD>(std::clamp<ULONGLONG>(std::min(need, deadline - now), 1, 20)));
    }
  }

  int EnableWake() override {
    if (FWake.load() != nullptr) return 0;
    // Auto-reset: a ring that comes while nobody waits is kept for the next
    // wait, and one wait consumes it.
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (wake == nullptr) return LastError();
    FInputEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (FInputEvent == nullptr) {
      const int status = LastError();
      CloseHandle(wake);
      return status;
    }
    // Without the receive event the reader still works, polling every
    // millisecond the way the driver interface was first used, and asks
    // for the event again later.
    FMaskSet = SetCommMask(FComm, EV_RXCHAR) != FALSE;
    if (!FMaskSet) InputWaitFailed();
    FWake.store(wake);
    return 0;
  }

  void Wake() override {
    HANDLE wake = FWake.load();
    if (wake != nullptr) SetEvent(wake);
  }

  int Wait(uint32_t timeoutUs, bool forInput) override {
    const DWORD ms = static_cast<DWORD>((static_cast<uint64_t>(timeoutUs) + 999) / 1000);
    HANDLE wake = FWake.load();
    if (!forInput) return WaitWake(wake, ms);
    if (!FInputWaitPending && GetTickCount64() < FPollUntil) {
      // Polling after a failed receive wait: the caller looks at the queue
      // again after at most 1 ms.
      return WaitWake(wake, std::min<DWORD>(ms, 1));
    }
    // Armed before the queue is looked at: a byte that arrives in between
    // completes the wait at once instead of being missed.
    if (!ArmInputWait()) return 0;
    uint32_t queued = 0;
    if (QueuedInput(queued) != 0 || queued > 0) return 0;
    HANDLE handles[2] = {FInputEvent, wake};
    const DWORD result = WaitForMultipleObjects(wake != nullptr ? 2 : 1, handles, FALSE, ms);
    if (result == WAIT_OBJECT_0) FinishInputWait();
    return result == WAIT_FAILED ? LastError() : 0;
  }

  int Close() override {
    if (FFineTimer) timeEndPeriod(1);
    FFineTimer = false;
    if (FComm == INVALID_HANDLE_VALUE) return 0;
    if (FInputWaitPending) {
      // A cleared mask ends the pending receive wait; its record must not
      // be in use when the handle goes.
      SetCommMask(FComm, 0);
      CancelIoEx(FComm, &FInputRequest);
      DWORD count = 0;
      GetOverlappedResult(FComm, &FInputRequest, &count, TRUE);
      FInputWaitPending = false;
    }
    const int status = CloseHandle(FComm) ? 0 : LastError();
    FComm = INVALID_HANDLE_VALUE;
    if (HANDLE wake = FWake.exchange(nullptr)) CloseHandle(wake);
    if (FInputEvent != nullptr) CloseHandle(FInputEvent);
    FInputEvent = nullptr;
    if (FIoEvent != nullptr) CloseHandle(FIoEvent);
    FIoEvent = nullptr;
    return status;
  }

 private:
  // Starts a receive wait unless one is outstanding. False when the wait
  // completed at once (input is there) or could not be made (the reader
  // then reads the queue, and polls for a while).
  bool ArmInputWait() {
    if (FInputWaitPending) return true;
    if (!FMaskSet) {
      if (!SetCommMask(FComm, EV_RXCHAR)) {
        InputWaitFailed();
        return false;
      }
      FMaskSet = true;
    }
    FInputRequest = OVERLAPPED{};
    FInputRequest.hEvent = FInputEvent;
    ResetEvent(FInputEvent);
    FEventMask = 0;
    if (WaitCommEvent(FComm, &FEventMask, &FInputRequest)) {
      FRetryMs = kFirstRetryMs;
      return false;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
      InputWaitFailed();
      return false;
    }
    FInputWaitPending = true;
    return true;
  }

  // A receive wait that was refused or ended without an event: poll, and
  // ask again later. A failing device shows up in the next queue query,
  // which the reader makes at once.
  void InputWaitFailed() {
    FPollUntil = GetTickCount64() + FRetryMs;
    FRetryMs = std::min(FRetryMs * 2, kLastRetryMs);
  }

  static int WaitWake(HANDLE wake, DWORD ms) {
    if (wake == nullptr) {
      Sleep(ms);
      return 0;
    }
    return WaitForSingleObject(wake, ms) == WAIT_FAILED ? LastError() : 0;
  }

  void FinishInputWait() {
    DWORD count = 0;
    FInputWaitPending = false;
    // A wait that ends without an event (Wine aborts them on a
    // pseudo-terminal, again and again) is no use to wait on for a while.
    if (GetOverlappedResult(FComm, &FInputRequest, &count, FALSE)) {
      FRetryMs = kFirstRetryMs;
    } else {
      InputWaitFailed();
    }
  }

  HANDLE FComm;
  HANDLE FIoEvent;  // the reader's own event: completion of reads and writes
  DCB FDcb{};
  bool FHaveDcb = false;
  // Rung by host threads while the reader waits on it, hence atomic.
  std::atomic<HANDLE> FWake{nullptr};
  // The receive wait (WaitCommEvent): the reader's alone.
  HANDLE FInputEvent = nullptr;
  OVERLAPPED FInputRequest{};
  DWORD FEventMask = 0;
  bool FInputWaitPending = false;
  bool FMaskSet = false;
  ULONGLONG FPollUntil = 0;  // tick count before which input is polled for
  ULONGLONG FRetryMs = kFirstRetryMs;
  bool FFineTimer = false;  // timeBeginPeriod(1) holds for this device
};

std::unique_ptr<SerialDevice> Win32Open(const char* portName, int& status) {
  const std::string path = Win32DevicePath(portName);
  if (path.empty()) {
    status = kSysNameTooLong;
    return nullptr;
  }
  HANDLE comm = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (comm == INVALID_HANDLE_VALUE) {
    status = LastError();
    return nullptr;
  }
  HANDLE ioEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (ioEvent == nullptr) {
    status = LastError();
    CloseHandle(comm);
    return nullptr;
  }
  status = 0;
  return std::make_unique<Win32SerialDevice>(comm, ioEvent);
}

bool Win32IsPresent(const char* portName) {
  // Only the two Win32 families know the serial API this library uses.
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version) ||
      (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS && version.dwPlatformId != VER_PLATFORM_WIN32_NT)) {
    SetLastError(ERROR_OLD_WIN_VERSION);
    return false;
  }
  // A port the driver has a default configuration for exists, open or not;
  // asking opens nothing.
  COMMCONFIG config{};
  DWORD size = sizeof config;
  config.dwSize = size;
  return GetDefaultCommConfigA(portName, &config, &size) != FALSE;
}

int Win32Identify(const char* portName, std::string& identity) {
  // The device a DOS name leads to, so that two names of one port compare
  // equal; a name without a target is its own identity and CreateFileA says
  // what is wrong with it.
  char target[1024];
  if (QueryDosDeviceA(portName, target, sizeof target) != 0) {
    identity = target;
  } else {
    identity = portName;
    std::transform(identity.begin(), identity.end(), identity.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  }
  return 0;
}

const SerialBackend kWin32Backend{&Win32Open, &Win32IsPresent, &Win32Identify};

}  // namespace

std::string Win32DevicePath(const char* portName) {
  std::string path = std::string("\\\\.\\") + (portName != nullptr ? portName : "");
  return path.size() <= 15 ? path : std::string();
}

const SerialBackend& PlatformSerialBackend() { return kWin32Backend; }

bool SystemErrorMessage(int32_t code, char* buffer, uint32_t size) {
  // From the system's message table, inserts ignored, default language. The
  // wide form: the ANSI one would pass accented text in the code page of the
  // day, which no Java string reads right. UTF-8 here, UTF-16 for Java.
  wchar_t wide[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(code), 0, wide, 512, nullptr);
  if (length == 0 || size == 0) return false;
  // A text longer than the buffer is cut at a whole character.
  for (DWORD take = length; take > 0; --take) {
    if (take < length && wide[take] >= 0xDC00 && wide[take] <= 0xDFFF) continue;  // inside a pair
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(take), buffer,
                                          static_cast<int>(size - 1), nullptr, nullptr);
    if (bytes > 0) {
      buffer[bytes] = '\0';
      return true;
    }
  }
  return false;
}

void ReportOpenFailure(const char* text) {
  MessageBoxA(nullptr, text, "InitialiserRS232", MB_OK | MB_ICONERROR);
}

}  // namespace serialkvl
