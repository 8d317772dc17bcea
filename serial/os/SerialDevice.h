// SerialDevice: the only door from the serial core to the operating system.
//
// Purpose: one open serial device (open exclusively, line settings, RTS/DTR,
// queued-input count, bounded reads, writes that end once the bytes have
// left the port, separate input/output purges, an interruptible wait for
// input, close), plus the backend that identifies, opens and probes devices
// by port name. The core never calls the OS itself, so the same logic runs
// over a real tty, a pseudo-terminal or a scripted fake in tests.
//
// Thread rules: a port's reader thread makes every call except three, which
// host threads may make while the reader runs: SetModemLine (ClosePort lowers
// the lines), Wake (a request or a close ends the reader's wait early) and
// EnableWake (called once by the opener before the reader starts). Close is
// called only after the reader thread has ended. Backend functions may be
// called from any host thread.
//
// Errors: every operation returns 0 or a system error code (errno values on
// POSIX, Win32 error codes on Windows; os/SystemCodes.h names the ones the
// core makes up itself). Nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace serialkvl {

// Purge flags, combinable; values as the host-side contract numbers them.
enum PurgeFlag : uint32_t {
  pfTxAbort = 0x1,
  pfRxAbort = 0x2,
  pfTxClear = 0x4,
  pfRxClear = 0x8,
};
constexpr uint32_t kPurgeAll = pfTxAbort | pfRxAbort | pfTxClear | pfRxClear;
constexpr uint32_t kPurgeInput = pfRxAbort | pfRxClear;
constexpr uint32_t kPurgeOutput = pfTxAbort | pfTxClear;

// Modem-line functions (escape codes 3..6 of the original driver interface).
enum class ModemCommand : uint8_t {
  mcSetRts = 3,
  mcClrRts = 4,
  mcSetDtr = 5,
  mcClrDtr = 6,
};

// The line settings record. Field meanings follow the classic device control
// block so that a profile can be applied field by field; a backend maps what
// its platform supports and keeps the rest as read.
struct LineSettings {
  uint32_t FBaudRate = 0;
  uint8_t FByteSize = 8;
  uint8_t FParity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t FStopBits = 0;  // 0 one, 1 one and a half, 2 two
  bool FBinary = true;
  bool FParityCheck = false;
  bool FOutxCtsFlow = false;
  bool FOutxDsrFlow = false;
  bool FDsrSensitivity = false;
  bool FTXContinueOnXoff = false;
  bool FOutX = false;
  bool FInX = false;
  bool FErrorChar = false;
  bool FNull = false;
  bool FAbortOnError = false;
  uint8_t FDtrControl = 0;  // 0 disable, 1 enable, 2 handshake
  uint8_t FRtsControl = 0;  // 0 disable, 1 enable, 2 handshake, 3 toggle
};

// Time-out rules in milliseconds, as the profiles state them.
struct LineTimeouts {
  uint32_t FReadIntervalTimeout = 0;
  uint32_t FReadTotalMultiplier = 0;
  uint32_t FReadTotalConstant = 0;
  uint32_t FWriteTotalMultiplier = 0;
  uint32_t FWriteTotalConstant = 0;
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Driver queue sizes; a platform with fixed buffers accepts and ignores them.
  virtual int SetQueueSizes(uint32_t inBytes, uint32_t outBytes) = 0;
  virtual int Purge(uint32_t flags) = 0;
  virtual int ReadSettings(LineSettings& settings) = 0;
  virtual int WriteSettings(const LineSettings& settings) = 0;
  virtual int SetModemLine(ModemCommand command) = 0;
  virtual int SetTimeouts(const LineTimeouts& timeouts) = 0;
  // Bytes the driver holds for reading now. A vanished device is an error.
  virtual int QueuedInput(uint32_t& count) = 0;
  // Reads up to size queued bytes; returns at once with what is there
  // (waiting at most the read-total constant for a first byte).
  virtual int Read(uint8_t* buffer, uint32_t size, uint32_t& got) = 0;
  // Hands all size bytes to the driver or fails; gives up after timeoutMs (or
  // the write time-out rule, whichever is shorter) with kSysTimedOut.
  virtual int Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs, uint32_t& written) = 0;
  // Waits until everything written has left the port (driver queue and
  // transmitter empty), at most timeoutMs; kSysTimedOut when it has not.
  virtual int Drain(uint32_t timeoutMs) = 0;
  // Prepares Wake and Wait (an eventfd on POSIX, events on Windows). Called
  // once, before the reader starts; until then Wake does nothing.
  virtual int EnableWake() = 0;
  // Ends the reader's current or next Wait early. Safe from any thread.
  virtual void Wake() = 0;
  // Waits up to timeoutUs microseconds (a platform may round up to its
  // timer's step), ending early on Wake, and, when forInput is set, also
  // when input becomes readable or the device fails. Returns 0, or a system
  // error code when the wait itself could not be made.
  virtual int Wait(uint32_t timeoutUs, bool forInput) = 0;
  // Releases the device; returns 0 when the close succeeded.
  virtual int Close() = 0;
};

// How devices are found and opened. A port name is the host's name ("COM4").
struct SerialBackend {
  // Opens the named port exclusively; on failure returns null and sets status.
  std::unique_ptr<SerialDevice> (*FOpen)(const char* portName, int& status);
  // True when the named port exists and is a serial line. Never opens the
  // device: opening a serial tty raises its modem lines.
  bool (*FIsPresent)(const char* portName);
  // Names the device behind a port name without opening it, so that two
  // names of one device compare equal; 0, or the error opening would give.
  int (*FIdentify)(const char* portName, std::string& identity);
};

// The backend of this platform.
const SerialBackend& PlatformSerialBackend();

// The system's text for a system error code, copied into buffer (size
// bytes, zero-terminated) as the system gives it, line end included. False,
// with buffer untouched, when the system has no text for the code.
bool SystemErrorMessage(int32_t code, char* buffer, uint32_t size);

// Tells the user that port opening failed at the named step: a modal error
// box captioned "InitialiserRS232" where the platform has a desktop to show
// it on (Windows); nothing elsewhere, where the status says it all.
void ReportOpenFailure(const char* text);
// The backend in use; tests install a fake one (null restores the platform's).
// Swap it only while no port is open.
const SerialBackend& ActiveSerialBackend();
void SetSerialBackend(const SerialBackend* backend);

}  // namespace serialkvl
