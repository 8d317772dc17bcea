// The data channel between the host and the dashboard: a named shared block
// of 32-bit float slots that the host writes and the dashboard maps
// read-only, and a named notification ("a new frame is in the block") that
// the host sends once per frame.
//
// Slot 0 is unused; slot p (byte offset 4*p) carries the sensor at 1-based
// position p of the sorted sensor list. On Linux the block is the POSIX
// shared-memory object "/" + MapFileName() and the notification is a
// datagram to the abstract Unix socket named DataReadyMessageName(), bound by
// the dashboard; each datagram is one data-ready message. Its payload is
// optional: the host's CLOCK_MONOTONIC send time in nanoseconds, 8 bytes in
// native byte order (TDataChannelHost and libvelqhost send it, for latency
// figures). A datagram without it, or with any other payload, still
// triggers a frame.
//
// On Windows the block is the named file mapping MapFileName() and the
// notification is the window message registered under
// DataReadyMessageName(), delivered by the window system to the skin window
// (class "TSkinForm"); the host's send time, when the message carries one,
// is its WPARAM (64-bit Windows only; 0 otherwise).
//
// Dashboard side:
// - TDataReadyListener binds the notification and runs a watcher thread that
//   calls a callback once per notification (the skin window's callback
//   posts a message to the user-interface thread). On Windows it has
//   nothing to do: the message reaches the skin window directly.
// - TDataBlockView maps the block read-only and reads slots. The process's
//   own view (MapHandle/MapView of the skin window) is reached through
//   OpenDataBlock / ReadDataSlot / ReleaseDataBlock.
// Host side: TDataChannelHost creates the block, writes slots, notifies and
// removes the block when it ends (the skinhost tool and tests use it).
//
// Thread rules: a TDataBlockView, the process's view and a TDataChannelHost
// are used by one thread at a time (the dashboard's user-interface thread;
// the host's frame loop). A listener's callback runs on its watcher thread;
// Stop may be called from any thread, the destructor from any but that one.
// Errors: EDataChannelError. Opening the process's view raises exactly
// "Error" (the block cannot be opened) or "Unable to map view of buffer"
// (it cannot be mapped); the host's failures carry the system's text. The
// listener never raises for a name it cannot bind (see below).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "SysUtils.h"

namespace channel_os {
struct TOsBlock;
class TOsNotifyReceiver;
class TOsNotifySender;
}  // namespace channel_os

class EDataChannelError : public Exception { using Exception::Exception; };
// Raised by TDataChannelHost when another live host owns the block's name.
class EDataChannelOwned : public EDataChannelError { using EDataChannelError::EDataChannelError; };

// The fixed names; both end in the same identifier, byte for byte.
inline constexpr std::string_view kDataReadyMessageName =
    "UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}";
inline constexpr std::string_view kMapFileName = "Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}";

// When set, this environment variable's value is appended to both names, so
// that test runs (and a host with the dashboard it launches, which inherits
// the environment) get a channel of their own. Unset or empty: the fixed
// names. Read at every call; set it before any channel object exists.
inline constexpr const char* kChannelSuffixVariable = "VELQ_CHANNEL_SUFFIX";

std::string DataReadyMessageName();
std::string MapFileName();

// The steady clock now, in nanoseconds: the notification's payload. It is
// CLOCK_MONOTONIC on Linux and the performance counter on Windows, both
// shared by every process of the machine, so a send time taken by the
// host can be compared with the dashboard's clock.
uint64_t MonotonicNanoseconds() noexcept;

// The send time a notification's payload carries: its 8 bytes as a native
// 64-bit integer when it has exactly 8, else 0 (not timed).
uint64_t NotificationSendTime(std::span<const unsigned char> payload) noexcept;

// How a host hands a window message to the dashboard: posted to the
// window of class "TSkinForm" (the default), sent to it (the host waits
// until the dashboard has run the frame pass, at most its notify
// time-out), or posted to every top-level window. The dashboard handles
// them alike. Where notifications are datagrams (Linux) all three are the
// same datagram.
enum TNotifyDelivery : uint8_t { ndPost, ndSend, ndBroadcast };

// ---- dashboard: the read-only view -------------------------------------------

// A read-only mapping of the whole block. A block shorter than the skin
// needs is still opened: the slots that lie wholly inside it are read, the
// others are absent (ReadSlot returns nothing), so no byte beyond the block
// is ever touched and the components whose slots are missing are skipped.
//
// The host may shrink the block (or truncate it before removing it) while
// the view maps it. Refresh, once per frame pass, learns the block's present
// size, and the slots beyond it are absent like those of a short block. A
// shrink that lands in the middle of a pass cannot crash the reader either:
// the lost pages read as zeros (see DataChannelOs.h) and a read that met one
// reports the slot absent. A block removed by name keeps its last values.
class TDataBlockView {
public:
  TDataBlockView();
  ~TDataBlockView();
  TDataBlockView(const TDataBlockView&) = delete;
  TDataBlockView& operator=(const TDataBlockView&) = delete;

  // Opens the named block (releasing any view held before) and maps it
  // whole. Raises EDataChannelError("Error") when it cannot be opened and
  // EDataChannelError("Unable to map view of buffer") when it cannot be
  // mapped (an empty block cannot be); the view stays unset after either.
  void Open(const std::string& name);

  // Unmaps the view and closes the handle; afterwards nothing reads the
  // block and ReadSlot returns nothing. Harmless when nothing is open.
  void Release() noexcept;

  bool Mapped() const noexcept;
  size_t Size() const noexcept;  // bytes mapped, 0 when unset
  // Sensor slots present: positions 1..SlotCount() can be read (those
  // inside both the mapping and the block as Refresh last saw it).
  int32_t SlotCount() const noexcept;

  // Learns the block's present size (one system call), and maps the view
  // again after a shrink has cost it pages, so that a block that grows back
  // is read again. Call once per frame pass; harmless when unset.
  void Refresh() noexcept;

  // Slot `position` as a 32-bit float, read with a single 32-bit load and no
  // lock (the host may be writing it). Nothing when the view is unset, when
  // position < 1 (slot 0 carries no sensor), when the slot does not lie
  // wholly inside the block, or when the block has shrunk under a read since
  // the last Refresh (the rest of that pass is skipped). Allocates nothing.
  std::optional<float> ReadSlot(int32_t position) const noexcept;

private:
  std::unique_ptr<channel_os::TOsBlock> FBlock;
  size_t FLiveSize = 0;      // bytes that Refresh last saw in the block, at most the mapping
  uint32_t FFaultsSeen = 0;  // the guard's fault count that FLiveSize accounts for
};

// The process's view, opened by the skin window's creation handler and
// released by its close handler and the exit button; user-interface thread
// only. OpenDataBlock opens MapFileName() and raises as TDataBlockView::Open;
// RefreshDataBlock starts each frame pass (TDataBlockView::Refresh).
void OpenDataBlock();
void RefreshDataBlock() noexcept;
void ReleaseDataBlock() noexcept;
bool DataBlockMapped() noexcept;
std::optional<float> ReadDataSlot(int32_t position) noexcept;
const TDataBlockView& DataBlock() noexcept;

// ---- dashboard: the notification listener ------------------------------------

// Binds the notification name and, when that succeeds, starts a watcher
// thread that calls `onDataReady` once for every notification received, in
// arrival order, however fast they come, with the host's send time from its
// payload (NotificationSendTime; 0 when it carries none). The callback runs on the watcher
// thread, so it must only hand the news over (post a message); while it
// runs, further notifications wait in the system's queue. An exception
// escaping it is swallowed so that the watcher carries on.
//
// When the name cannot be bound (another dashboard already holds it), the
// listener does not raise: it stays idle, Listening() is false and
// BindError() gives the reason. Such a dashboard never gets data-ready
// messages, which is what a second copy of the program sees on Windows when
// the host addresses the first one's window; its creation handler and
// window are otherwise unaffected.
//
// Where notifications are window messages (Windows) the window system
// delivers them to the skin window itself: the listener binds nothing,
// starts no thread and never calls back, and Listening() is true until
// Stop (the window is listening).
class TDataReadyListener {
public:
  using TCallback = std::function<void(uint64_t sendNs)>;

  explicit TDataReadyListener(TCallback onDataReady, std::string name = DataReadyMessageName());
  // For callers that do not time notifications.
  explicit TDataReadyListener(std::function<void()> onDataReady, std::string name = DataReadyMessageName());
  ~TDataReadyListener();  // calls Stop()
  TDataReadyListener(const TDataReadyListener&) = delete;
  TDataReadyListener& operator=(const TDataReadyListener&) = delete;

  // True from a successful bind until Stop.
  bool Listening() const noexcept;
  // The system's error code of a failed bind (0 when bound), and its text.
  int BindError() const noexcept { return FBindError; }
  std::string BindErrorText() const;
  const std::string& Name() const noexcept { return FName; }

  // Wakes the watcher, waits for it to end (a callback in progress is
  // finished first) and frees the name. Returns promptly; idempotent; safe
  // to call from several threads. Called from the callback itself it only
  // ends the watcher after that callback (it cannot wait for itself); the
  // destructor, which must then run on another thread, completes the stop.
  void Stop() noexcept;

private:
  void Watch();

  std::string FName;
  TCallback FOnDataReady;
  std::unique_ptr<channel_os::TOsNotifyReceiver> FReceiver;
  int FBindError = 0;
  std::atomic<bool> FListening{false};
  std::thread FWatcher;
  std::mutex FStopLock;  // serialises Stop; guards FReceiver and FWatcher
};

// ---- host side ----------------------------------------------------------------

// What became of one notification (TDataChannelHost::NotifyFrame).
enum class TNotifyResult : uint8_t {
  nrDelivered,    // a dashboard's queue took it
  nrNoDashboard,  // nobody listens: dropped
  nrBusy,         // the dashboard's queue stayed full for the time-out: dropped
  nrDetached,     // sent as above, but the block's name no longer refers to this block
  nrRemoved       // the host's block has been removed: nothing sent
};

// The host's end: creates the block of 4*(sensorCount+1) zero bytes and owns
// its name (a second live host of the same name is refused; a block left by
// a host that has gone is replaced, never resized under a reader that still
// maps it), lets the frame loop write slots and send notifications, and
// removes the block when it ends.
//
// Notify never waits for the dashboard: with no dashboard listening the
// notification is simply dropped. It does wait, at most `notifyTimeout`,
// while the dashboard's receive queue is full (the system keeps only a few
// datagrams queued per socket), so that a burst is delivered one message per
// notification instead of losing the overflow; zero never waits. With
// ndSend on Windows it waits as long for the dashboard to handle the
// message.
//
// Notify also watches the name: at most every kNameCheckInterval it checks
// that the name still refers to this host's block, so that a host whose
// block was removed or replaced behind its back learns it (nrDetached).
//
// On Windows a mapping cannot be replaced while anyone holds it: a host
// whose name still exists (an older host, or a dashboard still mapping it)
// shares that block, zeroes its slots, and fails when it is smaller than
// this host needs; the name goes with the last handle.
class TDataChannelHost {
public:
  static constexpr std::chrono::milliseconds kDefaultNotifyTimeout{100};
  static constexpr std::chrono::milliseconds kNameCheckInterval{500};

  // Raises EDataChannelOwned when another live host owns the name, and
  // EDataChannelError with the system's text when the block or the sending
  // endpoint cannot be created, or when sensorCount < 0.
  explicit TDataChannelHost(int32_t sensorCount, std::string blockName = MapFileName(),
                            std::string messageName = DataReadyMessageName(),
                            std::chrono::milliseconds notifyTimeout = kDefaultNotifyTimeout,
                            TNotifyDelivery delivery = ndPost);
  ~TDataChannelHost();  // calls Remove()
  TDataChannelHost(const TDataChannelHost&) = delete;
  TDataChannelHost& operator=(const TDataChannelHost&) = delete;

  int32_t SensorCount() const noexcept { return FSensorCount; }
  size_t BlockSize() const noexcept;
  const std::string& BlockName() const noexcept { return FBlockName; }

  // Writes slot 0..SensorCount() with a single 32-bit store. Raises
  // EDataChannelError for any other slot or after Remove.
  void WriteSlot(int32_t slot, float value);

  // Sends one data-ready notification (payload: MonotonicNanoseconds() at
  // the send) and says what became of it.
  TNotifyResult NotifyFrame() noexcept;
  // The same; true when a dashboard's queue took it and the name is still
  // this host's.
  bool Notify() noexcept { return NotifyFrame() == TNotifyResult::nrDelivered; }
  // How long later notifications may wait for room in a full queue (zero:
  // never). Raises EDataChannelError when the system refuses it.
  void SetNotifyTimeout(std::chrono::milliseconds timeout);

  // Unmaps and closes the block and removes its name now, unless a newer
  // host has replaced the block under that name (that one stays);
  // idempotent.
  void Remove() noexcept;

private:
  int32_t FSensorCount;
  std::string FBlockName;
  std::unique_ptr<channel_os::TOsBlock> FBlock;
  std::unique_ptr<channel_os::TOsNotifySender> FSender;
  bool FRemoved = false;
  bool FNameLost = false;  // once lost, the name never refers to this block again
  std::chrono::steady_clock::time_point FNameChecked;
};
