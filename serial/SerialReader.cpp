#include "SerialReader.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "os/SystemCodes.h"

namespace serialkvl {

namespace {

constexpr uint32_t kBusyPauseMs = 20;
constexpr int kMaxWriteFailures = 5;
constexpr int kSendRetries = 2;     // 3 attempts in all
constexpr int kReceiveRetries = 3;  // 4 waits, 3 re-sends

using Clock = std::chrono::steady_clock;

void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint32_t MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

// Rounded up, so that a pause never ends early.
uint32_t MicrosecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

bool Running(const PortSlot& slot) { return slot.FRunning.load(std::memory_order_acquire); }

// The longest the reader sleeps between passes when nothing asks it to
// wake: the port's time-out (at least 1 ms, at most an hour).
uint32_t IdleBoundUs(const PortSlot& slot) { return std::clamp<uint32_t>(slot.FTimeout.load(), 1, 3600 * 1000) * 1000; }
bool Open(const PortSlot& slot) { return slot.FOpen.load(std::memory_order_acquire); }

// Rings the reader's doorbell from a host thread. The device may be going
// away under a close from another thread; the mutex keeps it alive for the
// call, and a closed slot needs no waking.
void WakeReader(PortSlot& slot) {
  std::lock_guard<std::mutex> lock(slot.FDeviceMutex);
  if (slot.FDevice) slot.FDevice->Wake();
}

// The fixed pauses of a pass (after a write, a delivery, an error, or input
// that nobody asked for) keep their full length whatever the host raises,
// so that requests still meet the rhythm the devices were built for; only a
// close cuts them short.
void Pause(PortSlot& slot, SerialDevice& device, uint32_t ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (Running(slot)) {
    const uint32_t left = MicrosecondsLeft(deadline);
    if (left == 0) return;
    if (device.Wait(left, false) != 0) {
      std::this_thread::sleep_until(deadline);
      return;
    }
  }
}

// The write step. The request is copied out under its mutex together with
// its ticket, so a host that gave up waiting may prepare the next request
// while this one is still being written. The copy is also the request the
// recogniser compares replies with.
void WriteStep(PortSlot& slot, SerialDevice& device) {
  ReceiveState& rx = slot.FReceive;
  uint32_t ticket;
  {
    std::lock_guard<std::mutex> lock(slot.FTxMutex);
    std::memcpy(rx.FRequest, slot.FTxBuffer, kTransmitBufferSize);
    rx.FRequestLength = slot.FTxLength;
    ticket = slot.FWriteTicket;
  }
  const uint32_t timeout = slot.FTimeout.load();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
  const uint32_t total = static_cast<uint32_t>(rx.FRequestLength);
  uint32_t sent = 0;
  int failures = 0;
  int status = 0;

  // Whatever came in before the request belongs to no reply to it.
  device.Purge(kPurgeInput);
  do {
    uint32_t written = 0;
    status = device.Write(rx.FRequest + sent, total - sent, timeout, written);
    if (status == 0 && written == 0 && sent < total) status = kSysTimedOut;  // no progress
    if (status == 0) {
      sent += written;
      failures = 0;
    } else {
      device.Purge(kPurgeOutput);
      ++failures;
    }
    // A closing port stops retrying so ClosePort waits for one write at most.
  } while (sent < total && failures < kMaxWriteFailures && Running(slot));

  // A write is done when its bytes have left the port, not when the driver
  // has queued them: otherwise a close right after the send drops the lines
  // and the rest of the request, and the reply's time-out starts early. The
  // drain shares the request's time-out; what has not left by then is
  // dropped so that a retry does not queue behind it.
  if (status == 0 && sent == total) {
    status = device.Drain(MsLeft(deadline));
    if (status != 0) {
      device.Purge(kPurgeOutput);
      if (status == kSysTimedOut) status = CODE_COMM_TIMEOUT;
    }
  }

  rx.FWindowCount = 0;  // everything before and during the request is dropped
  {
    std::lock_guard<std::mutex> lock(slot.FTxMutex);
    if (slot.FWriteTicket == ticket) {
      slot.FWriteStatus.store(status, std::memory_order_release);
      slot.FCompletedTicket = ticket;
      slot.FWriteRequested.store(false, std::memory_order_release);
      slot.FWriteDone.Set();
    }
  }
  Pause(slot, device, kBusyPauseMs);
}

}  // namespace

int32_t ReadRoom(const ReceiveState& state) {
  const int32_t end = state.FWindowStart + state.FWindowCount;
  return std::min<int32_t>(2047 - end, kTransmitBufferSize);
}

void AppendToWindow(ReceiveState& state, int32_t bytesRead) {
  const int32_t end = state.FWindowStart + state.FWindowCount;
  if (end + bytesRead < 2047) {
    state.FWindowCount += bytesRead;
  } else if (state.FWindowCount + bytesRead < 100) {
    std::memmove(state.FRx, state.FRx + state.FWindowStart,
                 static_cast<size_t>(state.FWindowCount + bytesRead));
    state.FWindowStart = 0;
    state.FWindowCount += bytesRead;
  } else {
    // Too much unconsumed data to keep: start again empty.
    state.FWindowStart = 0;
    state.FWindowCount = 0;
  }
}

void ReaderThread(PortSlot& slot, SerialDevice& device) {
  ReceiveState& rx = slot.FReceive;
  device.Purge(kPurgeAll);

  while (Running(slot)) {
    if (slot.FWriteRequested.load(std::memory_order_acquire)) WriteStep(slot, device);

    if (slot.FLineError.load(std::memory_order_acquire) != 0) {
      // The line is gone for good: there is nothing left to read, and a
      // failed descriptor would end every wait for input at once. Only a
      // request (whose write fails on its own) or the close wakes the thread.
      if (!slot.FWriteRequested.load(std::memory_order_acquire) && device.Wait(IdleBoundUs(slot), false) != 0) {
        Sleep(kBusyPauseMs);
      }
      continue;
    }

    int32_t bytesRead = 0;
    bool idle = true;  // nothing happened that asks for a fixed pause

    // Read step: only what the driver already holds, bounded by the room.
    // Reads complete at once here, so no read is ever left pending.
    const int32_t end = rx.FWindowStart + rx.FWindowCount;
    uint32_t queued = 0;
    int status = device.QueuedInput(queued);
    if (status == 0 && queued > 0) {
      uint32_t room = std::min<uint32_t>(static_cast<uint32_t>(ReadRoom(rx)), queued);
      uint32_t got = 0;
      status = device.Read(rx.FRx + end, room, got);
      if (status == 0) bytesRead = static_cast<int32_t>(got);
    }
    if (status != 0) {
      slot.FReadStatus.store(status, std::memory_order_release);
      device.Purge(kPurgeInput);
      rx.FWindowStart = rx.FWindowCount = 0;
      bytesRead = 0;
      // A read that fails means the line failed (an unplugged adapter, a
      // closed pseudo-terminal): no frame will ever come, so a waiting
      // receive is woken with the error instead of timing out for ever.
      int32_t sound = 0;
      if (slot.FLineError.compare_exchange_strong(sound, status, std::memory_order_acq_rel)) {
        std::lock_guard<std::mutex> lock(slot.FDeliveryMutex);
        slot.FFrameReady.Set();
      }
    }

    // Result step.
    if (slot.FReadStatus.load(std::memory_order_acquire) != 0) {
      // A failed read (an unplugged device among them) keeps failing until
      // the host's next receive clears the status; meanwhile drop everything
      // and back off instead of spinning.
      device.Purge(kPurgeAll);
      rx.FWindowStart = rx.FWindowCount = 0;
      idle = false;
    } else if (bytesRead > 0) {
      AppendToWindow(rx, bytesRead);
      if (slot.FReadRequested.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(slot.FDeliveryMutex);
        // Lowering the request with the delivery makes sure one receive gets
        // exactly one frame, however slowly the host collects it; the ticket
        // says which receive it was for.
        if (slot.FReadRequested.load(std::memory_order_acquire) && slot.FRecognizer &&
            slot.FRecognizer(rx)) {
          slot.FDeliveredTicket = slot.FReadTicket;
          slot.FReadRequested.store(false, std::memory_order_release);
          slot.FFrameReady.Set();
          idle = false;
        }
      } else {
        idle = false;
      }
    }

    if (idle) {
      // Instead of polling every millisecond: sleep until input arrives, the
      // host raises a request or closes, bounded by the port's time-out. A
      // request raised during this pass's pause has already had its wake-up
      // eaten by that pause, so the flag itself is looked at first.
      if (!slot.FWriteRequested.load(std::memory_order_acquire) && device.Wait(IdleBoundUs(slot), true) != 0) {
        Sleep(1);  // never spin on a failing wait
      }
    } else {
      Pause(slot, device, kBusyPauseMs);
    }
  }
  device.Purge(kPurgeAll);
}

int WaitWriteDone(PortSlot& slot) {
  uint32_t ticket;
  bool open;
  {
    std::lock_guard<std::mutex> lock(slot.FTxMutex);
    slot.FWriteDone.Reset();
    slot.FWriteStatus.store(0, std::memory_order_release);
    ticket = ++slot.FWriteTicket;
    slot.FWriteRequested.store(true, std::memory_order_release);
    open = Open(slot);
  }
  if (!open) {
    slot.FWriteRequested.store(false, std::memory_order_release);
    return kSysBadPort;
  }
  WakeReader(slot);
  slot.FWriteDone.Wait(slot.FTimeout.load());

  std::lock_guard<std::mutex> lock(slot.FTxMutex);
  if (slot.FCompletedTicket == ticket) return slot.FWriteStatus.load(std::memory_order_acquire);
  // Not finished in time (or the port closed). The flag goes down only if it
  // is still this request's: the reader may already have lowered it.
  if (slot.FWriteTicket == ticket) slot.FWriteRequested.store(false, std::memory_order_release);
  return Open(slot) ? CODE_COMM_TIMEOUT : kSysBadPort;
}

int WaitFrame(PortSlot& slot, uint8_t* frame, int32_t& length) {
  uint32_t ticket;
  bool open;
  int32_t lineError;
  {
    std::lock_guard<std::mutex> lock(slot.FDeliveryMutex);
    slot.FFrameReady.Reset();
    slot.FReadStatus.store(0, std::memory_order_release);
    ticket = ++slot.FReadTicket;
    slot.FReadRequested.store(true, std::memory_order_release);
    open = Open(slot);
    // Read under the lock the reader sets the event under: a failure it
    // reports after this point still wakes the wait below.
    lineError = slot.FLineError.load(std::memory_order_acquire);
  }
  if (!open || lineError != 0) {
    slot.FReadRequested.store(false, std::memory_order_release);
    return open ? lineError : kSysBadPort;
  }
  WakeReader(slot);
  slot.FFrameReady.Wait(slot.FTimeout.load());

  // Lowered under the delivery lock: a frame recognised at the last moment
  // is either delivered to this receive or left in the window, never lost.
  std::lock_guard<std::mutex> lock(slot.FDeliveryMutex);
  slot.FReadRequested.store(false, std::memory_order_release);
  if (slot.FDeliveredTicket == ticket) {
    const int32_t count = std::clamp(slot.FReceive.FFrameLength, 0, kFrameBufferSize);
    if (frame != nullptr) std::memcpy(frame, slot.FReceive.FFrame, static_cast<size_t>(count));
    length = count;
    return 0;
  }
  // No frame for this receive: a time-out, a failed line or a close. The
  // frame buffer still holds an older frame, which must not pass as a reply.
  if (!Open(slot)) return kSysBadPort;
  lineError = slot.FLineError.load(std::memory_order_acquire);
  return lineError != 0 ? lineError : CODE_COMM_TIMEOUT;
}

int SendWithRetry(int32_t port, const uint8_t* bytes, int32_t length) {
  if (!ValidPort(port)) return kSysBadPort;
  PortSlot& slot = Slot(port);
  if (!Open(slot)) return kSysBadPort;
  if (length < 0 || (length > 0 && bytes == nullptr)) return kSysInvalidArgument;
  // The transmit buffer holds 255 bytes; a longer request is cut there
  // rather than written past it.
  const int32_t kept = std::min(length, kTransmitBufferSize);

  int status = 0;
  for (int attempt = 0;; ++attempt) {
    slot.FWriteRequested.store(false, std::memory_order_release);
    {
      std::lock_guard<std::mutex> lock(slot.FTxMutex);
      if (kept > 0) std::memcpy(slot.FTxBuffer, bytes, static_cast<size_t>(kept));
      slot.FTxLength = kept;
    }
    status = WaitWriteDone(slot);
    if (status == 0 || attempt >= kSendRetries || !Open(slot)) break;
  }
  return Open(slot) ? status : kSysBadPort;
}

int ReceiveWithRetry(int32_t port, uint8_t* frame, int32_t& length) {
  if (!ValidPort(port)) return kSysBadPort;
  PortSlot& slot = Slot(port);
  if (!Open(slot)) return kSysBadPort;

  int status = 0;
  for (int retry = 0;; ++retry) {
    slot.FReadRequested.store(false, std::memory_order_release);
    status = WaitFrame(slot, frame, length);
    if (status == 0) return 0;
    // A failed line fails every retry the same way; say so at once.
    if (retry >= kReceiveRetries || !Open(slot) || slot.FLineError.load(std::memory_order_acquire) != 0) break;
    int32_t transmitLength;
    {
      std::lock_guard<std::mutex> lock(slot.FTxMutex);
      transmitLength = slot.FTxLength;
    }
    // Re-asking is how a missed or early reply is recovered: the write step
    // empties the window and the device answers afresh.
    if (transmitLength > 0) WaitWriteDone(slot);
  }
  return Open(slot) ? status : kSysBadPort;
}

int ClosePort(int32_t port) {
  // Exactly one of several concurrent closes gets the slot; the others, like
  // a close of a free slot (or of one still being opened), change nothing.
  if (!BeginClose(port)) return 0;
  PortSlot& slot = Slot(port);
  // Only the claim holder resets the device, so it may be used unlocked here.
  slot.FDevice->SetModemLine(ModemCommand::mcClrDtr);
  slot.FDevice->SetModemLine(ModemCommand::mcClrRts);

  // A host thread still waiting on this port is woken at once and sees the
  // port closed: its request counts as not done, whatever it finds.
  slot.FOpen.store(false, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(slot.FTxMutex);
    slot.FWriteStatus.store(kSysBadPort, std::memory_order_release);
    slot.FWriteDone.Set();
  }
  {
    std::lock_guard<std::mutex> lock(slot.FDeliveryMutex);
    slot.FReadStatus.store(kSysBadPort, std::memory_order_release);
    slot.FFrameReady.Set();
  }

  // The reader leaves its wait at once and finishes its pass (at most one
  // write time-out) and is joined, so a slot is never handed out again while
  // its old thread still runs.
  slot.FRunning.store(false, std::memory_order_release);
  WakeReader(slot);
  if (slot.FThread.joinable()) slot.FThread.join();

  {
    std::lock_guard<std::mutex> lock(slot.FDeviceMutex);
    slot.FDevice->Close();
    slot.FDevice.reset();
  }
  // Success means the frame event existed to be closed: a port whose
  // opening failed before the events were created reports 0.
  const int result = slot.FEventsCreated ? 1 : 0;
  slot.FEventsCreated = false;
  EndClose(port);
  return result;
}

}  // namespace serialkvl
