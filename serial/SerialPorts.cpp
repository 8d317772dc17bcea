#include "SerialPorts.h"

#include <chrono>
#include <cstring>
#include <string>
#include <system_error>

#include "SerialReader.h"
#include "os/SystemCodes.h"

namespace serialkvl {

void ManualResetEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FSignalled = true;
  }
  FCondition.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(FMutex);
  FSignalled = false;
}

bool ManualResetEvent::Wait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  return FCondition.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FSignalled; });
}

namespace {

// Copies at most the field's 12 bytes: a longer name is left without its
// terminator, which InitialiserRS232 refuses instead of opening a truncated
// name that might be another device.
void CopyPortName(char (&target)[kPortNameSize], const char* portName) {
  std::memset(target, 0, sizeof target);
  if (portName == nullptr) return;
  size_t length = strnlen(portName, kPortNameSize);
  std::memcpy(target, portName, length);
}

LineProfile MakeProfile(const char* portName, uint32_t baud, uint8_t parity, uint32_t dtr,
                        uint32_t timeout, FrameRecognizer recognizer) {
  LineProfile profile;
  CopyPortName(profile.FPortName, portName);
  profile.FBaudRate = baud;
  profile.FParity = parity;
  profile.FByteSize = 8;
  profile.FStopBits = 0;
  profile.FRtsControl = 0;
  profile.FDtrControl = dtr;
  profile.FTimeout = timeout;
  profile.FRecognizer = recognizer;
  return profile;
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

LineProfile ProfileKVLv1(uint32_t baudRate, const char* portName) {
  return MakeProfile(portName, baudRate, 2, 0, 2000, &RecognizeKVLv1);
}
LineProfile ProfileKVLv2(const char* portName) {
  return MakeProfile(portName, 4800, 0, 1, 2000, &RecognizeKVLv2);
}
LineProfile ProfileLOG2A0(const char* portName) {
  return MakeProfile(portName, 19200, 0, 0, 1000, &RecognizeLOG2A0);
}
LineProfile ProfileZT2(const char* portName) {
  return MakeProfile(portName, 9600, 0, 0, 1000, &RecognizeZT2);
}

bool ValidPort(int32_t port) { return port >= 0 && port < kPortCount; }

PortSlot& Slot(int32_t port) {
  static PortSlot* table = new PortSlot[kPortCount];
  return table[port];
}

namespace {

// The lock of the table's claims: slot states, names and identities. Held
// only while those fields are read or changed, never across a device call.
std::mutex& TableMutex() {
  static std::mutex* mutex = new std::mutex;  // outlives reader threads left running at exit
  return *mutex;
}

// Ends an open's claim: held when the device is kept (open, or failed after
// the device opened), free otherwise.
void EndOpen(PortSlot& slot, bool deviceKept) {
  std::lock_guard<std::mutex> lock(TableMutex());
  slot.FState = deviceKept ? SlotState::ssHeld : SlotState::ssFree;
  if (!deviceKept) slot.FIdentity.clear();
}

}  // namespace

std::string SlotPortName(int32_t port) {
  if (!ValidPort(port)) return {};
  std::lock_guard<std::mutex> lock(TableMutex());
  return std::string(Slot(port).FName);
}

bool BeginClose(int32_t port) {
  if (!ValidPort(port)) return false;
  std::lock_guard<std::mutex> lock(TableMutex());
  PortSlot& slot = Slot(port);
  if (slot.FState != SlotState::ssHeld) return false;
  slot.FState = SlotState::ssClosing;
  return true;
}

void EndClose(int32_t port) {
  std::lock_guard<std::mutex> lock(TableMutex());
  PortSlot& slot = Slot(port);
  slot.FState = SlotState::ssFree;
  slot.FIdentity.clear();
}

namespace {

// The open's claim, under the table lock: the lowest free slot (written to
// port whatever happens), refused when naming the device failed or
// when another slot has the same device claimed. 0 with the slot now
// opening, or the status to return with the table unchanged.
int ClaimForOpen(int identifyStatus, const std::string& identity,
                 int32_t& port) {
  std::lock_guard<std::mutex> lock(TableMutex());
  int32_t index = 0;
  while (index < kPortCount && Slot(index).FState != SlotState::ssFree) ++index;
  port = index;
  if (index == kPortCount) return CODE_OPEN_FAILED;
  if (identifyStatus != 0) return identifyStatus;
  // A device this process holds, or is opening, already is refused without
  // opening it again: an open raises DTR and RTS, and as root even a refused
  // open gets that far on a port this library keeps with its lines low.
  for (int32_t other = 0; other < kPortCount; ++other) {
    if (other != index && Slot(other).FState != SlotState::ssFree && Slot(other).FIdentity == identity) {
      return kSysAccessDenied;
    }
  }
  Slot(index).FState = SlotState::ssOpening;
  Slot(index).FIdentity = identity;
  return 0;
}

// Opens the device into a slot this thread has claimed, configures it and
// starts its reader. deviceKept says whether the slot now holds the device
// (from the open on, whatever fails later).
int OpenClaimedSlot(PortSlot& slot, const LineProfile& profile, const SerialBackend& backend,
                    bool& deviceKept) {
  int status = 0;
  // Exclusive open; the slot stays free when it fails.
  std::unique_ptr<SerialDevice> device = backend.FOpen(profile.FPortName, status);
  if (!device) return status != 0 ? status : kSysDeviceFailed;
  {
    std::lock_guard<std::mutex> lock(slot.FDeviceMutex);
    slot.FDevice = std::move(device);
  }
  deviceKept = true;
  slot.FEventsCreated = false;
  slot.FOpen.store(true, std::memory_order_release);
  SerialDevice& dev = *slot.FDevice;

  // From here on a failure leaves the slot occupied; the host releases it
  // with ClosePort on the number it was given.
  if ((status = dev.SetQueueSizes(2048, 1024)) != 0) return status;   // 4
  if ((status = dev.Purge(kPurgeAll)) != 0) return status;            // 5
  LineSettings settings;
  if ((status = dev.ReadSettings(settings)) != 0) {                  // 6
    ReportOpenFailure("Erreur GetCommState");
    return status;
  }

  // 7. Change only the fields the profile governs.
  settings.FBaudRate = profile.FBaudRate;
  settings.FByteSize = profile.FByteSize;
  settings.FParity = profile.FParity;
  settings.FStopBits = profile.FStopBits;
  settings.FBinary = true;
  settings.FParityCheck = true;
  settings.FOutxCtsFlow = false;
  settings.FOutxDsrFlow = false;
  settings.FDsrSensitivity = false;
  settings.FTXContinueOnXoff = true;
  settings.FOutX = false;
  settings.FInX = false;
  settings.FErrorChar = false;
  settings.FNull = false;
  settings.FAbortOnError = false;
  settings.FDtrControl = static_cast<uint8_t>(profile.FDtrControl & 3);
  settings.FRtsControl = static_cast<uint8_t>(profile.FRtsControl & 3);
  if ((status = dev.WriteSettings(settings)) != 0) {                 // 8
    ReportOpenFailure("Erreur SetCommState");
    return status;
  }

  // 9. RTS first, then DTR. Lines a device cannot drive (a pseudo-terminal)
  // are not a reason to refuse the port, so results are not checked.
  if ((profile.FRtsControl & 3) == 1) dev.SetModemLine(ModemCommand::mcSetRts);
  if ((profile.FRtsControl & 3) == 0) dev.SetModemLine(ModemCommand::mcClrRts);
  if ((profile.FDtrControl & 3) == 1) dev.SetModemLine(ModemCommand::mcSetDtr);
  if ((profile.FDtrControl & 3) == 0) dev.SetModemLine(ModemCommand::mcClrDtr);

  // 10. A read returns at once with what is queued (at most 1 ms for a first
  // byte); a write may take 100 ms per byte plus 2 s.
  LineTimeouts timeouts;
  timeouts.FReadIntervalTimeout = 0xFFFFFFFFu;
  timeouts.FReadTotalMultiplier = 0xFFFFFFFFu;
  timeouts.FReadTotalConstant = 1;
  timeouts.FWriteTotalMultiplier = 100;
  timeouts.FWriteTotalConstant = 2000;
  if ((status = dev.SetTimeouts(timeouts)) != 0) {
    ReportOpenFailure("Erreur SetCommTimeouts");
    return status;
  }

  // 11. The two events, fresh; from here on closing reports success.
  slot.FWriteDone.Reset();
  slot.FFrameReady.Reset();
  slot.FEventsCreated = true;

  // 12. Fresh hand-over state, then the reader with its wake-up channel.
  // Everything is set before the thread starts, so the thread sees it
  // without further synchronisation; the recogniser and time-out are only
  // used once the host makes a request.
  slot.FWriteRequested.store(false);
  slot.FReadRequested.store(false);
  slot.FWriteStatus.store(0);
  slot.FReadStatus.store(0);
  slot.FLineError.store(0);
  slot.FTimeout.store(profile.FTimeout);
  slot.FRecognizer = profile.FRecognizer;
  {
    std::lock_guard<std::mutex> lock(slot.FTxMutex);
    slot.FTxLength = 0;
  }
  {
    std::lock_guard<std::mutex> lock(slot.FDeliveryMutex);
    slot.FReceive.FWindowStart = 0;
    slot.FReceive.FWindowCount = 0;
    slot.FReceive.FRequestLength = 0;
    slot.FReceive.FFrameLength = 0;
  }
  if ((status = dev.EnableWake()) != 0) return status;
  slot.FRunning.store(true, std::memory_order_release);
  try {
    slot.FThread = std::thread(&ReaderThread, std::ref(slot), std::ref(dev));
  } catch (const std::system_error&) {
    // The thread library reports in its own numbering, not the system's.
    slot.FRunning.store(false);
    ReportOpenFailure("Erreur CreateThread");
    return kSysTryAgain;
  } catch (...) {
    slot.FRunning.store(false);
    ReportOpenFailure("Erreur CreateThread");
    return kSysNoMemory;
  }

  return 0;
}

}  // namespace

int InitialiserRS232(const LineProfile& profile, int32_t& port) {
  // Naming the device touches the file system, so it happens before the
  // table lock is taken. The name must fit its field whole; one without its
  // terminator is not looked up.
  const SerialBackend& backend = ActiveSerialBackend();
  std::string identity;
  int status = std::memchr(profile.FPortName, 0, kPortNameSize) == nullptr
                   ? kSysNameTooLong
                   : backend.FIdentify(profile.FPortName, identity);
  if ((status = ClaimForOpen(status, identity, port)) != 0) return status;
  PortSlot& slot = Slot(port);
  bool deviceKept = false;
  status = OpenClaimedSlot(slot, profile, backend, deviceKept);
  if (status == 0) {
    std::lock_guard<std::mutex> lock(TableMutex());
    std::memcpy(slot.FName, profile.FPortName, kPortNameSize);
  }
  EndOpen(slot, deviceKept);
  if (status == 0) Pause(100);  // the reader's first passes, before the host's first request
  return status;
}

}  // namespace serialkvl
