// The data channel's only door to the operating system: a named shared block
// (open read-only and map whole, create and map read-write, unmap and close,
// remove the name) and a named notification (bind a receiving endpoint, wait
// for notifications or a wake-up, send one notification).
//
// DataChannel.cpp holds the logic (names, slot bounds, error texts, the
// watcher thread) on top of this; posix/ and win32/ implement it.
//
// Names are the platform-neutral ones ("Mem_Map_File-{...}" plus any
// suffix); each backend turns them into its own form.
//
// On Windows the notification is a registered window message that the
// window system itself delivers to the skin window: there is nothing to
// bind and no watcher (NotificationsAreWindowMessages), and the sender
// posts, sends or broadcasts that message (TNotifyDelivery).
//
// Thread rules: an OsBlock is used by one thread at a time; the fault guard
// works on whichever thread reads a view. A
// TOsNotifyReceiver's Receive runs on one thread (the watcher) while Wake may
// be called from any other. Senders are used by one thread at a time.
// Errors: nothing throws except allocation; every failure is reported
// through a result or a system error code for DataChannel.cpp to turn into
// its exceptions.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// How a sender hands a notification over; defined in DataChannel.h.
enum TNotifyDelivery : uint8_t;

namespace channel_os {

// A mapped shared block. Handle is the backend's handle (a descriptor on
// POSIX, the mapping's HANDLE on Windows), -1 when none; Address is null when nothing is mapped; Size is the
// length mapped. Guard is the backend's record of a read-only view's fault
// guard (see OpenBlockReadOnly), -1 when none.
struct TOsBlock {
  intptr_t FHandle = -1;
  void* FAddress = nullptr;
  size_t FSize = 0;
  int FGuard = -1;
};

enum class TOsOpenResult { orOpened, orOpenFailed, orMapFailed };

// Opens an existing block read-only and maps all of it. On any failure the
// block is left empty (nothing open, nothing mapped).
//
// The view is guarded against the host shrinking the block under it: the
// system would end the process at the first read of a page that no longer
// exists (SIGBUS on POSIX). Instead, such a page is replaced by a page of
// zeros, so that the read completes, and the view's fault count goes up.
// The first read-only view installs the guard for the process; faults
// anywhere else keep the handling they had. (A Windows mapping cannot
// shrink while it is mapped: there the view needs no guard, its size is
// whole pages and never changes, and RemapBlock has nothing to do.)
TOsOpenResult OpenBlockReadOnly(const std::string& name, TOsBlock& block) noexcept;

// How long the block is in the system now (it may have been shrunk or
// grown since it was mapped); 0 when that cannot be told. One system call.
size_t BlockLiveSize(const TOsBlock& block) noexcept;

// The pages of a read-only view lost to a shrinking block since it was
// opened (see above); 0 for other blocks. A single atomic load: cheap enough
// for every slot read.
uint32_t BlockFaults(const TOsBlock& block) noexcept;

// Maps a read-only view again, whole (it may move; its fault count starts
// again at 0), so that pages replaced by zeros show the block again where it
// has grown back. Leaves the view as it was when that fails.
void RemapBlock(TOsBlock& block) noexcept;

// Creates the block afresh with `size` zero bytes, mapped read-write, and
// owns its name for as long as the block stays open: ownership is a lock
// that the system drops when the owner closes the block or ends, however
// it ends. Returns 0, kBlockOwned when another live owner holds the name
// (nothing is changed then), or the system error code; on failure nothing
// is left open or created. A block of that name whose owner has gone is
// replaced, never reused, so that a reader still mapping it keeps it
// intact. (On Windows a mapping still held elsewhere cannot be replaced:
// it is shared and zeroed, and ownership is not enforced.)
constexpr int kBlockOwned = -1;
int CreateBlock(const std::string& name, size_t size, TOsBlock& block) noexcept;

// True while the name still refers to `block` (the host's own, open): false
// once another owner has replaced it or someone has removed the name. One
// or two system calls. Always true on Windows, where a mapping in use can
// be neither replaced nor removed.
bool BlockStillNamed(const std::string& name, const TOsBlock& block) noexcept;

// Unmaps and closes (and drops a view's fault guard); harmless on an empty
// block. Leaves it empty.
void CloseBlock(TOsBlock& block) noexcept;

// Removes the name only while it still names `block` (the host's own,
// still open), so that a host replaced by a newer one never removes the
// newer one's block. Call before CloseBlock.
void RemoveOwnBlock(const std::string& name, const TOsBlock& block) noexcept;

// True where notifications are window messages that the window system
// delivers to the skin window's window procedure (Windows): the dashboard
// then binds no receiver and runs no watcher. False where a receiver must
// be bound and watched (POSIX).
bool NotificationsAreWindowMessages() noexcept;

// The bound, receiving end of the notification.
class TOsNotifyReceiver {
public:
  virtual ~TOsNotifyReceiver() = default;
  // Blocks until at least one notification has arrived or Wake was called.
  // Consumes at most sendTimes.size() notifications (each one counts,
  // whatever its payload), stores each one's send time (NotificationSendTime
  // of its payload) in order, and returns how many; 0 when woken. After
  // Wake every call returns 0 at once.
  virtual size_t Receive(std::span<uint64_t> sendTimes) = 0;
  virtual void Wake() noexcept = 0;
};

// Binds the receiving endpoint of `name`. Returns null and sets `error`
// (the system's code) when the name is taken or cannot be bound, and
// always where NotificationsAreWindowMessages() holds (nothing to bind).
std::unique_ptr<TOsNotifyReceiver> BindReceiver(const std::string& name, int& error);

// What became of one notification.
enum class TOsSendResult { osSent, osNoReceiver, osQueueFull };

class TOsNotifySender {
public:
  virtual ~TOsNotifySender() = default;
  // Sends one notification carrying `size` bytes of payload (0 allowed).
  // osSent when it was queued for a receiver (or, sent to a window, handled
  // by it); osNoReceiver when no receiver is bound (no window); osQueueFull
  // when the receiver's queue stayed full for the time-out (or a sent
  // message was not handled within it). Only osSent delivers. A window
  // message carries an 8-byte payload in its WPARAM where that is 64 bits
  // wide, nothing otherwise.
  virtual TOsSendResult Send(const void* payload, size_t size) noexcept = 0;
  // How long later sends may wait (zero: never wait); false when the system
  // refuses it (the time-out is then unchanged).
  virtual bool SetTimeout(std::chrono::milliseconds timeout) noexcept = 0;
};

// A sender for `name`; waits at most `queueTimeout` for room in a full
// receiver queue, or for a window to take a sent message (zero: never
// waits). `delivery` chooses how a window message reaches the window;
// where notifications are datagrams every delivery is the same datagram.
// Returns null and sets `error` when the sending endpoint cannot be
// created or the name cannot be addressed.
std::unique_ptr<TOsNotifySender> OpenSender(const std::string& name, std::chrono::milliseconds queueTimeout,
                                            TNotifyDelivery delivery, int& error);

}  // namespace channel_os
