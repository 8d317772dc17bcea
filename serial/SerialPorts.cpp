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

const char* SlotPortName(int32_t port) {
  return ValidPort(port) ? Slot(port).FName : "";
}

namespace {

bool SlotHoldsDevice(PortSlot& slot) {
  std::lock_guard<std::mutex> lock(slot.FDeviceMutex);
  return slot.FDevice != nullptr;
}

}  // namespace

int InitialiserRS232(const LineProfile& profile, int32_t& port) {
  // 1. Lowest free slot, reported before anything else can fail.
  int32_t index = 0;
  while (index < kPortCount && SlotHoldsDevice(Slot(index))) ++index;
  port = index;
  if (index == kPortCount) return CODE_OPEN_FAILED;
  PortSlot& slot = Slot(index);

  // 2. The name must fit its field whole.
  if (std::memchr(profile.FPortName, 0, kPortNameSize) == nullptr) return kSysNameTooLong;

  // 3. A device this process holds already is refused without opening it
  // again: an open raises DTR and RTS, and as root even a refused open gets
  // that far on a port this library keeps with its lines low.
  const SerialBackend& backend = ActiveSerialBackend();
  std::string identity;
  int status = backend.FIdentify(profile.FPortName, identity);
  if (status != 0) return status;
  for (int32_t other = 0; other < kPortCount; ++other) {
    if (other != index && SlotHoldsDevice(Slot(other)) && Slot(other).FIdentity == identity) {
      return kSysAccessDenied;
    }
  }

  // Exclusive open; the slot stays free when it fails.
  std::unique_ptr<SerialDevice> device = backend.FOpen(profile.FPortName, status);
  if (!device) return status != 0 ? status : kSysDeviceFailed;
  {
    std::lock_guard<std::mutex> lock(slot.FDeviceMutex);
    slot.FDevice = std::move(device);
  }
  slot.FIdentity = identity;
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

  // 13. Remember the name, and give the reader time for its first passes
  // before the host's first request.
  std::memcpy(slot.FName, profile.FPortName, kPortNameSize);
  Pause(100);
  return 0;
}

}  // namespace serialkvl
