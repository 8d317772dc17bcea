#include "DataChannel.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "DataChannelOs.h"

namespace {

constexpr size_t kSlotBytes = 4;
static_assert(sizeof(float) == kSlotBytes && std::numeric_limits<float>::is_iec559,
              "slots are IEEE-754 singles");
static_assert(std::endian::native == std::endian::little, "slots are little-endian");

std::string WithSuffix(std::string_view name) {
  std::string result(name);
  if (const char* suffix = std::getenv(kChannelSuffixVariable)) result += suffix;
  return result;
}

// The slots are shared with another process (or, in tests and the renderer,
// another thread) that writes them without a lock. A relaxed atomic access
// compiles to the same single 32-bit move as a plain one, and keeps this
// process free of data races in the language's sense.
float LoadSlot(const void* base, size_t position) noexcept {
  const auto* word = static_cast<const uint32_t*>(base) + position;
  return std::bit_cast<float>(__atomic_load_n(word, __ATOMIC_RELAXED));
}

void StoreSlot(void* base, size_t position, float value) noexcept {
  auto* word = static_cast<uint32_t*>(base) + position;
  __atomic_store_n(word, std::bit_cast<uint32_t>(value), __ATOMIC_RELAXED);
}

// MapHandle and MapView of the skin window's unit: one per process.
TDataBlockView& ProcessView() noexcept {
  static TDataBlockView view;
  return view;
}

}  // namespace

uint64_t MonotonicNanoseconds() noexcept {
  // The standard steady clock is CLOCK_MONOTONIC on Linux and the
  // performance counter on Windows; this file stays free of system calls
  // (they live behind channel_os).
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

uint64_t NotificationSendTime(std::span<const unsigned char> payload) noexcept {
  uint64_t sendNs = 0;
  if (payload.size() == sizeof sendNs) std::memcpy(&sendNs, payload.data(), sizeof sendNs);
  return sendNs;
}

std::string DataReadyMessageName() { return WithSuffix(kDataReadyMessageName); }
std::string MapFileName() { return WithSuffix(kMapFileName); }

// ---- TDataBlockView -------------------------------------------------------------

TDataBlockView::TDataBlockView() : FBlock(std::make_unique<channel_os::TOsBlock>()) {}

TDataBlockView::~TDataBlockView() { Release(); }

void TDataBlockView::Open(const std::string& name) {
  Release();
  switch (channel_os::OpenBlockReadOnly(name, *FBlock)) {
    case channel_os::TOsOpenResult::orOpened:
      FLiveSize = FBlock->FSize;
      FFaultsSeen = channel_os::BlockFaults(*FBlock);
      return;
    case channel_os::TOsOpenResult::orOpenFailed:
      throw EDataChannelError("Error");
    case channel_os::TOsOpenResult::orMapFailed:
      throw EDataChannelError("Unable to map view of buffer");
  }
}

void TDataBlockView::Release() noexcept {
  channel_os::CloseBlock(*FBlock);
  FLiveSize = 0;
  FFaultsSeen = 0;
}

bool TDataBlockView::Mapped() const noexcept { return FBlock->FAddress != nullptr; }

size_t TDataBlockView::Size() const noexcept { return Mapped() ? FBlock->FSize : 0; }

int32_t TDataBlockView::SlotCount() const noexcept {
  const size_t slots = (Mapped() ? FLiveSize : 0) / kSlotBytes;
  if (slots <= 1) return 0;
  // Far more slots than any skin can use; the clamp only keeps the count in
  // range for an absurdly large block.
  return static_cast<int32_t>(std::min<size_t>(slots - 1, INT32_MAX));
}

void TDataBlockView::Refresh() noexcept {
  if (!Mapped()) return;
  if (channel_os::BlockFaults(*FBlock) != FFaultsSeen) {
    // Pages were lost to a shrink and now read as zeros: map the block
    // afresh, so that where it has grown back it is read again.
    channel_os::RemapBlock(*FBlock);
    FFaultsSeen = channel_os::BlockFaults(*FBlock);
  }
  FLiveSize = std::min(FBlock->FSize, channel_os::BlockLiveSize(*FBlock));
}

std::optional<float> TDataBlockView::ReadSlot(int32_t position) const noexcept {
  if (position < 1 || position > SlotCount()) return std::nullopt;
  const float value = LoadSlot(FBlock->FAddress, static_cast<size_t>(position));
  // A fault during that load means the block shrank under it: the value is
  // a zero that the host never wrote.
  if (channel_os::BlockFaults(*FBlock) != FFaultsSeen) return std::nullopt;
  return value;
}

// ---- the process's view ---------------------------------------------------------

void OpenDataBlock() { ProcessView().Open(MapFileName()); }
void RefreshDataBlock() noexcept { ProcessView().Refresh(); }
void ReleaseDataBlock() noexcept { ProcessView().Release(); }
bool DataBlockMapped() noexcept { return ProcessView().Mapped(); }
std::optional<float> ReadDataSlot(int32_t position) noexcept { return ProcessView().ReadSlot(position); }
const TDataBlockView& DataBlock() noexcept { return ProcessView(); }

// ---- TDataReadyListener ---------------------------------------------------------

TDataReadyListener::TDataReadyListener(TCallback onDataReady, std::string name)
    : FName(std::move(name)), FOnDataReady(std::move(onDataReady)) {
  if (channel_os::NotificationsAreWindowMessages()) {
    // The window system hands the messages to the skin window: there is
    // nothing to bind or watch, and the window is what listens.
    FListening = true;
    return;
  }
  FReceiver = channel_os::BindReceiver(FName, FBindError);
  if (FReceiver) {
    FListening = true;
    FWatcher = std::thread([this] { Watch(); });
  }
}

TDataReadyListener::TDataReadyListener(std::function<void()> onDataReady, std::string name)
    : TDataReadyListener(TCallback([onDataReady = std::move(onDataReady)](uint64_t) {
                           if (onDataReady) onDataReady();
                         }),
                         std::move(name)) {}

TDataReadyListener::~TDataReadyListener() { Stop(); }

bool TDataReadyListener::Listening() const noexcept { return FListening.load(); }

std::string TDataReadyListener::BindErrorText() const {
  return FBindError == 0 ? std::string() : SysErrorMessage(FBindError);
}

namespace {
// The listener whose watcher runs on this thread, so that Stop can tell a
// call from its own callback (which must not wait for itself).
thread_local const TDataReadyListener* GThreadWatchedListener = nullptr;
}  // namespace

void TDataReadyListener::Watch() {
  GThreadWatchedListener = this;
  // FReceiver is only reset by Stop after this thread has been joined, so
  // the watcher may use it without the lock.
  channel_os::TOsNotifyReceiver& receiver = *FReceiver;
  // A burst is taken in batches of this many; the rest waits in the queue.
  uint64_t sendTimes[64];
  for (;;) {
    const size_t count = receiver.Receive(sendTimes);
    if (count == 0) break;
    for (size_t i = 0; i < count && FListening.load(); ++i) {
      try {
        if (FOnDataReady) FOnDataReady(sendTimes[i]);
      } catch (...) {
        // Nothing on this thread can report it; the next notification
        // deserves its callback all the same.
      }
    }
  }
  GThreadWatchedListener = nullptr;
}

void TDataReadyListener::Stop() noexcept {
  if (GThreadWatchedListener == this) {
    // From the callback: the receiver stays until the watcher has been
    // joined, so waking it here is safe; the watcher ends after this call.
    FListening = false;
    FReceiver->Wake();
    return;
  }
  std::lock_guard<std::mutex> lock(FStopLock);
  FListening = false;
  if (!FReceiver) return;
  FReceiver->Wake();
  if (FWatcher.joinable()) FWatcher.join();
  FReceiver.reset();  // closes the endpoint and frees the name
}

// ---- TDataChannelHost -----------------------------------------------------------

TDataChannelHost::TDataChannelHost(int32_t sensorCount, std::string blockName, std::string messageName,
                                   std::chrono::milliseconds notifyTimeout, TNotifyDelivery delivery)
    : FSensorCount(sensorCount), FBlockName(std::move(blockName)), FBlock(std::make_unique<channel_os::TOsBlock>()) {
  if (sensorCount < 0) throw EDataChannelError("Invalid sensor count " + std::to_string(sensorCount));
  const size_t size = kSlotBytes * (static_cast<size_t>(sensorCount) + 1);
  if (int error = channel_os::CreateBlock(FBlockName, size, *FBlock)) {
    if (error == channel_os::kBlockOwned)
      throw EDataChannelOwned("Shared block " + FBlockName + " is owned by another host that is still running");
    throw EDataChannelError("Cannot create shared block " + FBlockName + ": " + SysErrorMessage(error));
  }
  FNameChecked = std::chrono::steady_clock::now();
  int error = 0;
  FSender = channel_os::OpenSender(messageName, notifyTimeout, delivery, error);
  if (!FSender) {
    Remove();
    throw EDataChannelError("Cannot create notification sender for " + messageName + ": " +
                            SysErrorMessage(error));
  }
}

TDataChannelHost::~TDataChannelHost() { Remove(); }

size_t TDataChannelHost::BlockSize() const noexcept { return FRemoved ? 0 : FBlock->FSize; }

void TDataChannelHost::WriteSlot(int32_t slot, float value) {
  if (FRemoved) throw EDataChannelError("Shared block " + FBlockName + " has been removed");
  if (slot < 0 || slot > FSensorCount)
    throw EDataChannelError("Slot " + std::to_string(slot) + " outside 0.." + std::to_string(FSensorCount));
  StoreSlot(FBlock->FAddress, static_cast<size_t>(slot), value);
}

TNotifyResult TDataChannelHost::NotifyFrame() noexcept {
  if (FRemoved) return TNotifyResult::nrRemoved;
  if (!FSender) return TNotifyResult::nrNoDashboard;
  // The send time rides along, so that the dashboard side can measure
  // delivery latency; receivers that do not care ignore it.
  const uint64_t sentAt = MonotonicNanoseconds();
  const channel_os::TOsSendResult sent = FSender->Send(&sentAt, sizeof sentAt);
  // The name is checked on a clock rather than on every call: it costs two
  // system calls, and a host that lost its name needs to learn it within a
  // second, not within a frame. The notification still goes out: a
  // dashboard that already maps this block keeps showing its values.
  if (!FNameLost) {
    const auto now = std::chrono::steady_clock::now();
    if (now - FNameChecked >= kNameCheckInterval) {
      FNameChecked = now;
      FNameLost = !channel_os::BlockStillNamed(FBlockName, *FBlock);
    }
  }
  if (FNameLost) return TNotifyResult::nrDetached;
  switch (sent) {
    case channel_os::TOsSendResult::osSent: return TNotifyResult::nrDelivered;
    case channel_os::TOsSendResult::osQueueFull: return TNotifyResult::nrBusy;
    case channel_os::TOsSendResult::osNoReceiver: break;
  }
  return TNotifyResult::nrNoDashboard;
}

void TDataChannelHost::SetNotifyTimeout(std::chrono::milliseconds timeout) {
  if (!FSender) return;
  if (!FSender->SetTimeout(timeout))
    throw EDataChannelError("Cannot set the notify time-out: " + SysErrorMessage(errno));
}

void TDataChannelHost::Remove() noexcept {
  if (FRemoved) return;
  FRemoved = true;
  channel_os::RemoveOwnBlock(FBlockName, *FBlock);
  channel_os::CloseBlock(*FBlock);
}
