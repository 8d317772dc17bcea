// The port table, line profiles and port opening of serialKVL.
//
// Purpose: four process-wide port slots; LineProfile and the four fixed
// profiles (KVLv1, KVLv2, LOG2A0, ZT2); InitialiserRS232, which opens a port
// into the lowest free slot, applies the profile and starts the slot's reader
// thread (SerialReader).
//
// Thread rules: the host opens and closes ports from one thread at a time and
// drives each port from one thread at a time; a close may come from another
// host thread while a send or receive waits. Fields that the host thread and
// the reader thread both touch are atomics, manual-reset events or guarded by
// the slot's mutexes; everything else belongs to one side (marked below).
//
// Errors: statuses, never exceptions: 0, CODE_OPEN_FAILED when every slot is
// in use, kSysAccessDenied (EACCES, on Windows ERROR_ACCESS_DENIED) for a
// device this process already holds (refused before any open, so its modem
// lines are not touched), or a system error code. A step that fails after
// the device was opened is also reported through ReportOpenFailure (an error
// box on Windows, nothing on Linux, where the status and ExpliciteLastError
// carry everything the host is told).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "SerialRecognizers.h"
#include "os/SerialDevice.h"

namespace serialkvl {

inline constexpr int32_t CODE_COMM_TIMEOUT = 100301;
inline constexpr int32_t CODE_OPEN_FAILED = 100302;
inline constexpr int32_t kPortCount = 4;
inline constexpr int32_t kPortNameSize = 12;  // 11 characters and the terminator

// A manual-reset event: stays signalled until reset; Wait gives up after a
// time-out. Built on a mutex and condition variable so that everything the
// setter wrote before Set is visible to the waiter after Wait.
class ManualResetEvent {
 public:
  void Set();
  void Reset();
  // True when signalled within timeoutMs.
  bool Wait(uint32_t timeoutMs);

 private:
  std::mutex FMutex;
  std::condition_variable FCondition;
  bool FSignalled = false;
};

struct LineProfile {
  char FPortName[kPortNameSize] = {};  // zero-terminated; no terminator = name too long
  uint32_t FBaudRate = 0;
  uint8_t FParity = 0;
  uint8_t FByteSize = 8;
  uint8_t FStopBits = 0;
  uint32_t FRtsControl = 0;
  uint32_t FDtrControl = 0;
  uint32_t FTimeout = 0;
  FrameRecognizer FRecognizer = nullptr;
};

LineProfile ProfileKVLv1(uint32_t baudRate, const char* portName);
LineProfile ProfileKVLv2(const char* portName);
LineProfile ProfileLOG2A0(const char* portName);
LineProfile ProfileZT2(const char* portName);

struct PortSlot {
  // Host thread only.
  char FName[kPortNameSize] = {};
  std::string FIdentity;       // the device behind the open port (backend's identity)
  bool FEventsCreated = false;  // opening got as far as creating the two events
  std::thread FThread;

  // Null while the slot is free. Set and reset by the host thread that opens
  // or closes, under FDeviceMutex, so that a host thread waking the reader
  // never sees a device being destroyed.
  std::mutex FDeviceMutex;
  std::unique_ptr<SerialDevice> FDevice;

  // Shared.
  std::atomic<bool> FOpen{false};     // mirrors FDevice for other threads
  std::atomic<bool> FRunning{false};  // the reader runs while set
  ManualResetEvent FWriteDone;
  ManualResetEvent FFrameReady;
  std::atomic<int32_t> FWriteStatus{0};
  std::atomic<int32_t> FReadStatus{0};
  std::atomic<uint32_t> FTimeout{0};
  std::atomic<bool> FWriteRequested{false};
  std::atomic<bool> FReadRequested{false};
  FrameRecognizer FRecognizer = nullptr;  // set before the reader starts

  // The request: written by the host, snapshotted by the reader's write step.
  // Each raised write request gets a new ticket; the reader completes a
  // request only while its ticket is current, so a write that ends after the
  // host gave up never answers the next request.
  std::mutex FTxMutex;
  uint8_t FTxBuffer[kTransmitBufferSize] = {};
  int32_t FTxLength = 0;
  uint32_t FWriteTicket = 0;      // under FTxMutex
  uint32_t FCompletedTicket = 0;  // under FTxMutex: the last request the reader finished

  // Receive side: the reader's, except FReceive.FFrame/FFrameLength, which
  // are written and copied out under FDeliveryMutex. A frame counts for the
  // receive whose ticket it carries, and for no other.
  std::mutex FDeliveryMutex;
  ReceiveState FReceive;
  uint32_t FReadTicket = 0;       // under FDeliveryMutex
  uint32_t FDeliveredTicket = 0;  // under FDeliveryMutex
};

bool ValidPort(int32_t port);
// The slot table; never destroyed, so reader threads of ports the host left
// open keep valid memory until the process ends.
PortSlot& Slot(int32_t port);

// Opens a port with the profile into the lowest free slot. The slot number
// (or 4 when none is free) is written to port before anything can fail.
// A device already open in another slot is refused with kSysAccessDenied
// without being opened again. Failures up to and including the open leave
// the slot free; later ones leave it holding the open device until ClosePort.
int InitialiserRS232(const LineProfile& profile, int32_t& port);

// The name of the slot's last successful open ("" if none, or out of range).
const char* SlotPortName(int32_t port);

}  // namespace serialkvl
