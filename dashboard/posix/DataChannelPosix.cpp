// The data channel over Linux primitives: POSIX shared memory for the block
// and an abstract-namespace Unix datagram socket for the notification.
//
// Abstract names need no file and vanish with the last socket bound to them,
// so a dashboard that crashes leaves nothing behind, and a second bind of a
// name in use fails with EADDRINUSE instead of stealing it.
//
// A host may shrink the shared object under a dashboard that maps it (or
// truncate it to nothing before removing it); a read of a page past the new
// end then raises SIGBUS. The views are registered in a small lock-free
// table that a SIGBUS handler consults: a fault inside a view maps a page of
// zeros over the lost page (the same thing a compositor does for a client's
// shared buffer), counts the fault and returns, so the read completes and
// the process lives on. Faults anywhere else go to the handler that was
// there before, or end the process as they always did.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <mutex>

#include "../DataChannel.h"
#include "../DataChannelOs.h"

namespace channel_os {

namespace {

// ---- the fault guard of read-only views ------------------------------------------------

// One guarded view: [Begin, End) while in use. Everything here is a
// lock-free atomic, so the signal handler may read it at any moment.
struct TGuardedRange {
  std::atomic<bool> Used{false};
  std::atomic<uintptr_t> Begin{0};
  std::atomic<uintptr_t> End{0};
  std::atomic<uint32_t> Faults{0};
};
static_assert(std::atomic<uintptr_t>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);

// A dashboard maps one view; tests and tools a few at once. A view opened
// while all are in use works unguarded.
constexpr int kGuardedRanges = 32;
TGuardedRange GGuarded[kGuardedRanges];
uintptr_t GPageSize = 4096;
struct sigaction GPreviousBusAction {};

void OnBusError(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  const uintptr_t at = reinterpret_cast<uintptr_t>(info ? info->si_addr : nullptr);
  for (TGuardedRange& range : GGuarded) {
    const uintptr_t begin = range.Begin.load(std::memory_order_acquire);
    if (begin == 0 || at < begin || at >= range.End.load(std::memory_order_acquire)) continue;
    // Zeros in place of the lost page (read-only, like the view); the read
    // that faulted runs again and completes.
    void* page = reinterpret_cast<void*>(at & ~(GPageSize - 1));
    if (::mmap(page, GPageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      range.Faults.fetch_add(1, std::memory_order_relaxed);
      errno = savedErrno;
      return;
    }
    break;
  }
  errno = savedErrno;
  // Not a view's page: what was there before.
  if ((GPreviousBusAction.sa_flags & SA_SIGINFO) && GPreviousBusAction.sa_sigaction) {
    GPreviousBusAction.sa_sigaction(signal, info, context);
    return;
  }
  if (!(GPreviousBusAction.sa_flags & SA_SIGINFO) && GPreviousBusAction.sa_handler != SIG_DFL &&
      GPreviousBusAction.sa_handler != SIG_IGN) {
    GPreviousBusAction.sa_handler(signal);
    return;
  }
  // The default action: the process ends with SIGBUS, as without the guard.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  ::sigemptyset(&defaults.sa_mask);
  ::sigaction(SIGBUS, &defaults, nullptr);
  ::raise(SIGBUS);
}

void InstallBusGuard() noexcept {
  static std::once_flag once;
  std::call_once(once, [] {
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page > 0) GPageSize = static_cast<uintptr_t>(page);
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &GPreviousBusAction);
  });
}

int GuardRange(void* address, size_t size) noexcept {
  InstallBusGuard();
  for (int i = 0; i < kGuardedRanges; ++i) {
    bool expected = false;
    if (!GGuarded[i].Used.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) continue;
    GGuarded[i].Faults.store(0, std::memory_order_relaxed);
    GGuarded[i].End.store(reinterpret_cast<uintptr_t>(address) + size, std::memory_order_release);
    GGuarded[i].Begin.store(reinterpret_cast<uintptr_t>(address), std::memory_order_release);
    return i;
  }
  return -1;
}

void UnguardRange(int guard) noexcept {
  if (guard < 0 || guard >= kGuardedRanges) return;
  GGuarded[guard].Begin.store(0, std::memory_order_release);
  GGuarded[guard].End.store(0, std::memory_order_release);
  GGuarded[guard].Used.store(false, std::memory_order_release);
}

std::string ShmName(const std::string& name) { return "/" + name; }

// Where the C library keeps the objects shm_open names: the file of a
// shared-memory name, for the steps shm_open has no call for (publishing
// a block under its name in one step, comparing the object a name refers to).
std::string ShmPath(const std::string& shmName) { return "/dev/shm" + shmName; }

// Abstract address: a leading NUL, then the name's bytes, no terminator; the
// address length says where the name ends.
bool AbstractAddress(const std::string& name, sockaddr_un& address, socklen_t& length) noexcept {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (name.size() + 1 > sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return true;
}

void CloseDescriptor(int& fd) noexcept {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

class TPosixReceiver final : public TOsNotifyReceiver {
public:
  TPosixReceiver(int socketFd, int wakeFd) : FSocket(socketFd), FWake(wakeFd) {}
  ~TPosixReceiver() override {
    CloseDescriptor(FSocket);
    CloseDescriptor(FWake);
  }

  size_t Receive(std::span<uint64_t> sendTimes) override {
    for (;;) {
      pollfd fds[2] = {{FWake, POLLIN, 0}, {FSocket, POLLIN, 0}};
      const int ready = ::poll(fds, 2, -1);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return 0;  // poll cannot fail on two valid descriptors; end rather than spin
      }
      // A wake-up wins over pending notifications: Stop must not wait for a
      // host that keeps sending.
      if (fds[0].revents != 0) return 0;
      const size_t count = Drain(sendTimes);
      if (count > 0) return count;
    }
  }

  void Wake() noexcept override {
    const uint64_t one = 1;
    // The counter only has to become non-zero; a failed write means it
    // already is (overflow), which wakes the watcher just as well.
    [[maybe_unused]] ssize_t written = ::write(FWake, &one, sizeof one);
  }

private:
  // Takes the datagrams queued now, as many as there is room for, so that
  // a burst costs one poll; what is left is taken at the next call. Any
  // datagram counts, a zero-length one too; a longer one is cut (only its
  // first bytes can be a send time).
  size_t Drain(std::span<uint64_t> sendTimes) noexcept {
    size_t count = 0;
    unsigned char payload[64];
    while (count < sendTimes.size()) {
      const ssize_t got = ::recv(FSocket, payload, sizeof payload, MSG_DONTWAIT);
      if (got >= 0) {
        sendTimes[count++] = NotificationSendTime(std::span<const unsigned char>(payload, static_cast<size_t>(got)));
        continue;
      }
      if (errno == EINTR) continue;
      break;  // EAGAIN: queue empty; anything else: try again after poll
    }
    return count;
  }

  int FSocket;
  int FWake;
};

class TPosixSender final : public TOsNotifySender {
public:
  TPosixSender(int socketFd, const sockaddr_un& address, socklen_t length)
      : FSocket(socketFd), FAddress(address), FLength(length) {}
  ~TPosixSender() override { CloseDescriptor(FSocket); }

  TOsSendResult Send(const void* payload, size_t size) noexcept override {
    // The socket blocks; without a time-out each send is made non-blocking
    // on its own, so that a change of time-out needs no new socket.
    const int flags = MSG_NOSIGNAL | (FWaits ? 0 : MSG_DONTWAIT);
    for (;;) {
      const ssize_t sent =
          ::sendto(FSocket, payload, size, flags, reinterpret_cast<const sockaddr*>(&FAddress), FLength);
      if (sent >= 0) return TOsSendResult::osSent;
      if (errno == EINTR) continue;
      // EAGAIN: the receiver's queue stayed full for the time-out (it is
      // behind, or stopped). ECONNREFUSED or ENOENT: nobody bound the name.
      // Either way the notification is dropped.
      if (errno == EAGAIN || errno == EWOULDBLOCK) return TOsSendResult::osQueueFull;
      return TOsSendResult::osNoReceiver;
    }
  }

  bool SetTimeout(std::chrono::milliseconds timeout) noexcept override {
    // A blocking send to a full datagram queue waits for room up to the
    // socket's send time-out (an unbound name is refused at once).
    timeval value{};
    if (timeout.count() > 0) {
      value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
      value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
      if (::setsockopt(FSocket, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value) != 0) return false;
    }
    FWaits = timeout.count() > 0;
    return true;
  }

private:
  int FSocket;
  sockaddr_un FAddress;
  socklen_t FLength;
  bool FWaits = false;
};

}  // namespace

TOsOpenResult OpenBlockReadOnly(const std::string& name, TOsBlock& block) noexcept {
  CloseBlock(block);
  const int fd = ::shm_open(ShmName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return TOsOpenResult::orOpenFailed;
  struct stat status {};
  // The whole mapping, as long as the object is now. An empty object cannot
  // be mapped at all (mmap refuses length 0), which is the map failure.
  if (::fstat(fd, &status) != 0 || status.st_size <= 0) {
    ::close(fd);
    return TOsOpenResult::orMapFailed;
  }
  const auto size = static_cast<size_t>(status.st_size);
  void* address = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (address == MAP_FAILED) {
    ::close(fd);
    return TOsOpenResult::orMapFailed;
  }
  block.FHandle = fd;
  block.FAddress = address;
  block.FSize = size;
  block.FGuard = GuardRange(address, size);
  return TOsOpenResult::orOpened;
}

size_t BlockLiveSize(const TOsBlock& block) noexcept {
  struct stat status {};
  if (block.FHandle < 0 || ::fstat(static_cast<int>(block.FHandle), &status) != 0 || status.st_size < 0) return 0;
  return static_cast<size_t>(status.st_size);
}

uint32_t BlockFaults(const TOsBlock& block) noexcept {
  if (block.FGuard < 0) return 0;
  return GGuarded[block.FGuard].Faults.load(std::memory_order_relaxed);
}

void RemapBlock(TOsBlock& block) noexcept {
  if (!block.FAddress || block.FHandle < 0) return;
  // A fresh mapping first, then the old one goes: a failure leaves the old
  // view as it was, never a hole.
  void* address = ::mmap(nullptr, block.FSize, PROT_READ, MAP_SHARED, static_cast<int>(block.FHandle), 0);
  if (address == MAP_FAILED) return;
  UnguardRange(block.FGuard);
  ::munmap(block.FAddress, block.FSize);
  block.FAddress = address;
  block.FGuard = GuardRange(address, block.FSize);
}

int CreateBlock(const std::string& name, size_t size, TOsBlock& block) noexcept {
  CloseBlock(block);
  const std::string shmName = ShmName(name);
  // The new block is made whole under a private name (sized, mapped and
  // locked by its owner) and then published under the channel's name in
  // one step, so that nobody ever sees it half made or without its lock.
  static std::atomic<uint32_t> serial{0};
  const std::string privateName =
      shmName + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
  const int fd = ::shm_open(privateName.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  const std::string privatePath = ShmPath(privateName);
  const std::string path = ShmPath(shmName);
  void* address = MAP_FAILED;
  auto fail = [&](int error) {
    if (address != MAP_FAILED) ::munmap(address, size);
    ::close(fd);
    ::unlink(privatePath.c_str());
    return error;
  };
  // The owner's lock: held while the descriptor stays open (it is not
  // inherited by programs the host starts), dropped by the system however
  // the owner ends.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno);
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0) return fail(errno);
  address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (address == MAP_FAILED) return fail(errno);
  for (int attempt = 0;; ++attempt) {
    if (attempt == 100) return fail(EAGAIN);  // the name keeps changing hands
    if (::link(privatePath.c_str(), path.c_str()) == 0) break;  // the name was free
    if (errno != EEXIST) return fail(errno);
    // The name exists. Its owner is alive while it holds its lock.
    const int old = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (old < 0) {
      if (errno == ENOENT) continue;  // removed meanwhile: try again
      return fail(errno);
    }
    if (::flock(old, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(old);
      return fail(error == EWOULDBLOCK ? kBlockOwned : error);
    }
    // Left by an owner that has gone. Holding its lock keeps any other
    // newcomer from taking it at the same time; it must still be the one
    // named (another may have replaced it between the open and the lock).
    struct stat named {}, locked {};
    const bool same = ::stat(path.c_str(), &named) == 0 && ::fstat(old, &locked) == 0 &&
                      named.st_dev == locked.st_dev && named.st_ino == locked.st_ino;
    // Replace rather than reuse: truncating an object that an old dashboard
    // still maps would make its reads beyond the new end fault.
    const bool replaced = same && ::rename(privatePath.c_str(), path.c_str()) == 0;
    const int error = errno;
    ::close(old);
    if (replaced) break;
    if (same) return fail(error);
  }
  ::unlink(privatePath.c_str());  // after a link; harmless after a rename
  block.FHandle = fd;
  block.FAddress = address;
  block.FSize = size;
  return 0;
}

bool BlockStillNamed(const std::string& name, const TOsBlock& block) noexcept {
  if (block.FHandle < 0) return false;
  struct stat named {}, own {};
  return ::stat(ShmPath(ShmName(name)).c_str(), &named) == 0 &&
         ::fstat(static_cast<int>(block.FHandle), &own) == 0 && named.st_dev == own.st_dev &&
         named.st_ino == own.st_ino;
}

void CloseBlock(TOsBlock& block) noexcept {
  UnguardRange(block.FGuard);
  if (block.FAddress) ::munmap(block.FAddress, block.FSize);
  if (block.FHandle >= 0) ::close(static_cast<int>(block.FHandle));
  block = TOsBlock{};
}

void RemoveOwnBlock(const std::string& name, const TOsBlock& block) noexcept {
  // The name may meanwhile refer to a newer host's object (a host whose
  // name was removed under it, or one whose lock was lost): compare the
  // objects, not the names. One creating the name again between the check
  // and the unlink is not excluded; owners of one name follow each other.
  if (BlockStillNamed(name, block)) ::shm_unlink(ShmName(name).c_str());
}

bool NotificationsAreWindowMessages() noexcept { return false; }

std::unique_ptr<TOsNotifyReceiver> BindReceiver(const std::string& name, int& error) {
  error = 0;
  sockaddr_un address;
  socklen_t length = 0;
  if (!AbstractAddress(name, address, length)) {
    error = ENAMETOOLONG;
    return nullptr;
  }
  int socketFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socketFd < 0) {
    error = errno;
    return nullptr;
  }
  if (::bind(socketFd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    error = errno;
    CloseDescriptor(socketFd);
    return nullptr;
  }
  int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    error = errno;
    CloseDescriptor(socketFd);
    return nullptr;
  }
  return std::make_unique<TPosixReceiver>(socketFd, wakeFd);
}

// A datagram reaches the one bound socket whatever the delivery: there is
// no window to post to, send to or broadcast to.
std::unique_ptr<TOsNotifySender> OpenSender(const std::string& name, std::chrono::milliseconds queueTimeout,
                                            TNotifyDelivery, int& error) {
  error = 0;
  sockaddr_un address;
  socklen_t length = 0;
  if (!AbstractAddress(name, address, length)) {
    error = ENAMETOOLONG;
    return nullptr;
  }
  int socketFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socketFd < 0) {
    error = errno;
    return nullptr;
  }
  auto sender = std::make_unique<TPosixSender>(socketFd, address, length);
  if (!sender->SetTimeout(queueTimeout)) {
    error = errno;
    return nullptr;
  }
  return sender;
}

}  // namespace channel_os
