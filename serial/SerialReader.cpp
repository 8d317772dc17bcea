#include "SerialReader.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace serialkvl {

namespace {

constexpr uint32_t kIdlePauseMs = 1;
constexpr uint32_t kBusyPauseMs = 20;
constexpr int kMaxWriteFailures = 5;
constexpr int kSendRetries = 2;     // 3 attempts in all
constexpr int kReceiveRetries = 3;  // 4 waits, 3 re-sends

void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool Running(const PortSlot& slot) { return slot.FRunning.load(std::memory_order_acquire); }
bool Open(const PortSlot& slot) { return slot.FOpen.load(std::memory_order_acquire); }

// The write step: the request is copied out under its mutex, so a host that
// gave up waiting may prepare the next request while this one is still being
// written. The copy is also the request the recogniser compares replies with.
void WriteStep(PortSlot& slot, SerialDevice& device) {
  ReceiveState& rx = slot.FReceive;
  {
    std::lock_guard<std::mutex> lock(slot.FTxMutex);
    std::memcpy(rx.FRequest, slot.FTxBuffer, kTransmitBufferSize);
    rx.FRequestLength = slot.FTxLength;
  }
  const uint32_t total = static_cast<uint32_t>(rx.FRequestLength);
  uint32_t sent = 0;
  int failures = 0;
  int status = 0;

  // Whatever came in before the request belongs to no reply to it.
  device.Purge(kPurgeInput);
  do {
    uint32_t written = 0;
    status = device.Write(rx.FRequest + sent, total - sent, slot.FTimeout.load(), written);
    if (status == 0 && written == 0 && sent < total) status = ETIMEDOUT;  // no progress
    if (status == 0) {
      sent += written;
      failures = 0;
    } else {
      device.Purge(kPurgeOutput);
      ++failures;
    }
    // A closing port stops retrying so ClosePort waits for one write at most.
  } while (sent < total && failures < kMaxWriteFailures && Running(slot));

  slot.FWriteStatus.store(status, std::memory_order_release);
  slot.FWriteRequested.store(false, std::memory_order_release);
  rx.FWindowCount = 0;  // everything before and during the request is dropped
  slot.FWriteDone.Set();
  Sleep(kBusyPauseMs);
}

int WaitForEvent(PortSlot& slot, ManualResetEvent& event, std::atomic<int32_t>& status,
                 std::atomic<bool>& requested) {
  event.Reset();
  status.store(0, std::memory_order_release);
  requested.store(true, std::memory_order_release);
  const bool signalled = event.Wait(slot.FTimeout.load());
  requested.store(false, std::memory_order_release);
  if (!signalled) return CODE_COMM_TIMEOUT;
  return status.load(std::memory_order_acquire);
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

    int32_t bytesRead = 0;
    uint32_t pause = kIdlePauseMs;

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
    }

    // Result step.
    if (slot.FReadStatus.load(std::memory_order_acquire) != 0) {
      // A failed read (an unplugged device among them) keeps failing until
      // the host's next receive clears the status; meanwhile drop everything
      // and back off instead of spinning.
      device.Purge(kPurgeAll);
      rx.FWindowStart = rx.FWindowCount = 0;
      pause = kBusyPauseMs;
    } else if (bytesRead > 0) {
      AppendToWindow(rx, bytesRead);
      if (slot.FReadRequested.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(slot.FDeliveryMutex);
        // Lowering the request with the delivery makes sure one receive gets
        // exactly one frame, however slowly the host collects it.
        if (slot.FReadRequested.load(std::memory_order_acquire) && slot.FRecognizer &&
            slot.FRecognizer(rx)) {
          slot.FReadRequested.store(false, std::memory_order_release);
          slot.FFrameReady.Set();
          pause = kBusyPauseMs;
        }
      } else {
        pause = kBusyPauseMs;
      }
    }

    if (pause == kIdlePauseMs) {
      // Wake early when input arrives; same pass structure, less latency.
      device.WaitInput(kIdlePauseMs);
    } else {
      Sleep(pause);
    }
  }
  device.Purge(kPurgeAll);
}

int WaitWriteDone(PortSlot& slot) {
  return WaitForEvent(slot, slot.FWriteDone, slot.FWriteStatus, slot.FWriteRequested);
}

int WaitFrame(PortSlot& slot) {
  return WaitForEvent(slot, slot.FFrameReady, slot.FReadStatus, slot.FReadRequested);
}

int SendWithRetry(int32_t port, const uint8_t* bytes, int32_t length) {
  if (!ValidPort(port)) return EBADF;
  PortSlot& slot = Slot(port);
  if (!Open(slot)) return EBADF;
  if (length < 0 || (length > 0 && bytes == nullptr)) return EINVAL;
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
  return Open(slot) ? status : EBADF;
}

int ReceiveWithRetry(int32_t port, uint8_t* frame, int32_t& length) {
  if (!ValidPort(port)) return EBADF;
  PortSlot& slot = Slot(port);
  if (!Open(slot)) return EBADF;

  int status = 0;
  for (int retry = 0;; ++retry) {
    slot.FReadRequested.store(false, std::memory_order_release);
    status = WaitFrame(slot);
    if (status == 0) {
      std::lock_guard<std::mutex> lock(slot.FDeliveryMutex);
      const int32_t count = std::clamp(slot.FReceive.FFrameLength, 0, kFrameBufferSize);
      if (frame != nullptr) std::memcpy(frame, slot.FReceive.FFrame, static_cast<size_t>(count));
      length = count;
      return 0;
    }
    if (retry >= kReceiveRetries || !Open(slot)) break;
    int32_t transmitLength;
    {
      std::lock_guard<std::mutex> lock(slot.FTxMutex);
      transmitLength = slot.FTxLength;
    }
    // Re-asking is how a missed or early reply is recovered: the write step
    // empties the window and the device answers afresh.
    if (transmitLength > 0) WaitWriteDone(slot);
  }
  return Open(slot) ? status : EBADF;
}

int ClosePort(int32_t port) {
  if (!ValidPort(port)) return 0;
  PortSlot& slot = Slot(port);
  if (!slot.FDevice) return 0;

  slot.FDevice->SetModemLine(ModemCommand::mcClrDtr);
  slot.FDevice->SetModemLine(ModemCommand::mcClrRts);

  // The reader finishes its current pass (at most one write time-out plus a
  // 20 ms pause) and is joined, so a slot is never handed out again while its
  // old thread still runs.
  slot.FRunning.store(false, std::memory_order_release);
  if (slot.FThread.joinable()) slot.FThread.join();

  const int closeStatus = slot.FDevice->Close();
  slot.FDevice.reset();
  slot.FOpen.store(false, std::memory_order_release);

  // Wake a host thread still waiting on this port; it sees the slot closed.
  slot.FWriteStatus.store(EBADF, std::memory_order_release);
  slot.FReadStatus.store(EBADF, std::memory_order_release);
  slot.FWriteDone.Set();
  slot.FFrameReady.Set();
  return closeStatus == 0 ? 1 : 0;
}

}  // namespace serialkvl
