// The port table, line profiles and port opening of serialKVL.
//
// Purpose: four process-wide port slots; LineProfile and the four fixed
// profiles (KVLv1, KVLv2, LOG2A0, ZT2); InitialiserRS232, which opens a port
// into the lowest free slot, applies the profile and starts the slot's reader
// thread (SerialReader).
//
// Thread rules: any host thread may call anything at any time. Claiming a
// slot for an open and taking it back for a close are atomic under one
// table-wide lock, held only for the claim itself (never across a device
// call, a read, a write or a wait), so two opens never share a slot and two
// closes of one port never both tear it down. Fields that host threads and
// the reader thread both touch are atomics, manual-reset events or guarded by
// the slot's mutexes; everything else belongs to whoever holds the claim
// (marked below).
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

// Where a slot is in its life. Changed only under the table lock.
enum class SlotState : uint8_t {
  ssFree,     // nothing open; may be claimed
  ssOpening,  // claimed by an open that is still running
  ssHeld,     // holds an open device (a complete open, or one that failed
              // after the device opened and waits for ClosePort)
  ssClosing,  // a close is tearing it down
};

struct PortSlot {
  // Under the table lock.
  SlotState FState = SlotState::ssFree;
  char FName[kPortNameSize] = {};
  std::string FIdentity;  // the device behind the claim (backend's identity)

  // The claim holder's (the opening or closing host thread).
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
  // The first read failure the reader saw (a vanished device): 0 while the
  // line is sound. Kept until the port closes; every receive returns it.
  std::atomic<int32_t> FLineError{0};
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
// A device already open (or being opened) in another slot is refused with
// kSysAccessDenied without being opened again. Failures up to and including
// the open leave the slot free; later ones leave it holding the open device
// until ClosePort.
int InitialiserRS232(const LineProfile& profile, int32_t& port);

// The close's claim: true, with the slot now closing, for exactly one caller
// while the slot holds a device; false for a free slot, one still being
// opened, one another close has already claimed, or a number out of range.
bool BeginClose(int32_t port);
// Ends a claimed close: the slot is free again.
void EndClose(int32_t port);

// The name of the slot's last successful open ("" if none, or out of range).
std::string SlotPortName(int32_t port);

}  // namespace serialkvl
