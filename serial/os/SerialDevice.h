// SerialDevice: the only door from the serial core to the operating system.
//
// Purpose: one open serial device (open exclusively, line settings, RTS/DTR,
// queued-input count, bounded reads and writes, separate input/output purges,
// close), plus the backend that opens devices by port name and probes for
// their presence. The core never calls the OS itself, so the same logic runs
// over a real tty, a pseudo-terminal or a scripted fake in tests.
//
// Thread rules: a port's reader thread makes every call except two: the host
// thread lowers the modem lines in ClosePort while the reader may still be
// polling, so SetModemLine must be safe beside the other calls. Close is
// called only after the reader thread has ended.
//
// Errors: every operation returns 0 or a system error code (errno values on
// POSIX). Nothing throws.
#pragma once

#include <cstdint>
#include <memory>

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
  // Writes all size bytes or fails; gives up after timeoutMs (or the write
  // time-out rule, whichever is shorter) with ETIMEDOUT.
  virtual int Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs, uint32_t& written) = 0;
  // Waits up to ms for input to become readable (or the device to fail);
  // an idle reader uses it instead of a blind sleep.
  virtual int WaitInput(uint32_t ms) = 0;
  // Releases the device; returns 0 when the close succeeded.
  virtual int Close() = 0;
};

// How devices are found and opened. A port name is the host's name ("COM4").
struct SerialBackend {
  // Opens the named port exclusively; on failure returns null and sets status.
  std::unique_ptr<SerialDevice> (*FOpen)(const char* portName, int& status);
  // True when the named port exists and answers as a serial line.
  bool (*FIsPresent)(const char* portName);
};

// The backend of this platform.
const SerialBackend& PlatformSerialBackend();
// The backend in use; tests install a fake one (null restores the platform's).
// Swap it only while no port is open.
const SerialBackend& ActiveSerialBackend();
void SetSerialBackend(const SerialBackend* backend);

}  // namespace serialkvl
