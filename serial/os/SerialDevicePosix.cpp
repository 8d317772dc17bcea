#include "os/SerialDevicePosix.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "os/PosixLineRate.h"
#include "os/SerialSysfs.h"

namespace serialkvl {

namespace {

struct BaudEntry {
  uint32_t FRate;
  speed_t FCode;
};

// The rates the classic terminal interface names; they keep the classic
// path. Every other rate goes through termios2.
constexpr BaudEntry kBaudTable[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

bool BaudToCode(uint32_t rate, speed_t& code) {
  for (const BaudEntry& entry : kBaudTable) {
    if (entry.FRate == rate) {
      code = entry.FCode;
      return true;
    }
  }
  return false;
}

uint32_t CodeToBaud(speed_t code) {
  for (const BaudEntry& entry : kBaudTable) {
    if (entry.FCode == code) return entry.FRate;
  }
  return 0;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool ParseComNumber(const char* name, unsigned& number) {
  if (strncasecmp(name, "COM", 3) != 0 || name[3] == '\0') return false;
  unsigned value = 0;
  for (const char* c = name + 3; *c; ++c) {
    if (!std::isdigit(static_cast<unsigned char>(*c))) return false;
    value = value * 10 + static_cast<unsigned>(*c - '0');
    if (value > 1000) return false;
  }
  number = value;
  return value >= 1;
}

class PosixSerialDevice final : public SerialDevice {
 public:
  explicit PosixSerialDevice(int fd) : FFd(fd) {}
  ~PosixSerialDevice() override { Close(); }
  PosixSerialDevice(const PosixSerialDevice&) = delete;
  PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

  int SetQueueSizes(uint32_t, uint32_t) override {
    // Terminal buffers have a fixed size on Linux; nothing to set.
    return 0;
  }

  int Purge(uint32_t flags) override {
    // There is no asynchronous operation in flight to abort: reads and writes
    // run on the reader thread itself. Only the clear flags act.
    if ((flags & pfRxClear) && tcflush(FFd, TCIFLUSH) != 0) return errno;
    if ((flags & pfTxClear) && tcflush(FFd, TCOFLUSH) != 0) return errno;
    return 0;
  }

  int ReadSettings(LineSettings& settings) override {
    if (tcgetattr(FFd, &FTermios) != 0) return errno;
    uint32_t rate = 0;
    settings.FBaudRate = ReadLineRate(FFd, rate) == 0 ? rate : CodeToBaud(cfgetospeed(&FTermios));
    switch (FTermios.c_cflag & CSIZE) {
      case CS5: settings.FByteSize = 5; break;
      case CS6: settings.FByteSize = 6; break;
      case CS7: settings.FByteSize = 7; break;
      default: settings.FByteSize = 8; break;
    }
    if (!(FTermios.c_cflag & PARENB)) {
      settings.FParity = 0;
    } else if (FTermios.c_cflag & CMSPAR) {
      settings.FParity = (FTermios.c_cflag & PARODD) ? 3 : 4;
    } else {
      settings.FParity = (FTermios.c_cflag & PARODD) ? 1 : 2;
    }
    settings.FStopBits = (FTermios.c_cflag & CSTOPB) ? 2 : 0;
    settings.FBinary = !(FTermios.c_lflag & ICANON);
    settings.FParityCheck = (FTermios.c_iflag & INPCK) != 0;
    settings.FOutxCtsFlow = (FTermios.c_cflag & CRTSCTS) != 0;
    settings.FOutX = (FTermios.c_iflag & IXON) != 0;
    settings.FInX = (FTermios.c_iflag & IXOFF) != 0;
    settings.FRtsControl = settings.FOutxCtsFlow ? 2 : 1;
    settings.FDtrControl = 1;
    FHaveTermios = true;
    return 0;
  }

  int WriteSettings(const LineSettings& settings) override {
    if (!FHaveTermios) {
      LineSettings scratch;
      if (int status = ReadSettings(scratch)) return status;
    }
    termios t = FTermios;  // every field the record does not name stays as read
    // Rate 0 would hang the line up; it is no rate.
    if (settings.FBaudRate == 0) return EINVAL;
    speed_t code = B0;
    const bool classic = BaudToCode(settings.FBaudRate, code);
    if (settings.FByteSize < 5 || settings.FByteSize > 8) return EINVAL;
    if (settings.FParity > 4 || settings.FStopBits > 2) return EINVAL;

    // Binary transfer: no line editing, no translation, no echo, no signals.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // CLOCAL: a missing carrier is not a hang-up; only a vanished device is.
    t.c_cflag |= CLOCAL | CREAD;

    t.c_cflag &= ~CSIZE;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[settings.FByteSize - 5];

    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (settings.FParity) {
      case 1: t.c_cflag |= PARENB | PARODD; break;
      case 2: t.c_cflag |= PARENB; break;
      case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
      case 4: t.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
    // Linux has no one-and-a-half stop bits; the UART gives 1.5 for CSTOPB
    // with 5 data bits, which is the only case where 1.5 exists.
    if (settings.FStopBits == 0) {
      t.c_cflag &= ~CSTOPB;
    } else {
      t.c_cflag |= CSTOPB;
    }
    // A byte with a parity error is passed on unchanged (the record asks for
    // no error character), so input parity checking stays off here.
    t.c_iflag &= ~(INPCK | IGNPAR);
    if (settings.FOutX) t.c_iflag |= IXON; else t.c_iflag &= ~IXON;
    if (settings.FInX) t.c_iflag |= IXOFF; else t.c_iflag &= ~IXOFF;
    if (settings.FOutxCtsFlow || (settings.FRtsControl & 3) == 2) {
      t.c_cflag |= CRTSCTS;
    } else {
      t.c_cflag &= ~CRTSCTS;
    }
    // VMIN 1 with O_NONBLOCK: an empty queue reads as EAGAIN, so a read that
    // returns 0 can only mean the device has gone.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    // The classic rate code where there is one, the rate by number otherwise.
    TerminalModes modes;
    modes.FInputFlags = t.c_iflag;
    modes.FOutputFlags = t.c_oflag;
    modes.FControlFlags = t.c_cflag;
    modes.FLocalFlags = t.c_lflag;
    modes.FMinimum = t.c_cc[VMIN];
    modes.FTime = t.c_cc[VTIME];
    if (int status = WriteTerminalSettings(FFd, modes, classic ? code : 0, settings.FBaudRate)) return status;
    // A driver that cannot make the rate falls back to another one instead
    // of failing the call; the rate read back tells.
    uint32_t actual = 0;
    if (ReadLineRate(FFd, actual) == 0 && !LineRateTaken(settings.FBaudRate, actual)) return EINVAL;
    if (tcgetattr(FFd, &FTermios) != 0) FTermios = t;
    FRate = settings.FBaudRate;
    return 0;
  }

  int SetModemLine(ModemCommand command) override {
    int bits = 0;
    unsigned long request = TIOCMBIS;
    switch (command) {
      case ModemCommand::mcSetRts: bits = TIOCM_RTS; request = TIOCMBIS; break;
      case ModemCommand::mcClrRts: bits = TIOCM_RTS; request = TIOCMBIC; break;
      case ModemCommand::mcSetDtr: bits = TIOCM_DTR; request = TIOCMBIS; break;
      case ModemCommand::mcClrDtr: bits = TIOCM_DTR; request = TIOCMBIC; break;
    }
    if (ioctl(FFd, request, &bits) != 0) return errno;
    return 0;
  }

  int SetTimeouts(const LineTimeouts& timeouts) override {
    FTimeouts = timeouts;
    return 0;
  }

  int QueuedInput(uint32_t& count) override {
    count = 0;
    pollfd p{FFd, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) return errno == EINTR ? 0 : errno;
    // An unplugged adapter (or a closed pseudo-terminal master) reports
    // hang-up; treat it as the read error it is instead of polling forever.
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return EIO;
    int queued = 0;
    if (ioctl(FFd, FIONREAD, &queued) != 0) return errno;
    count = queued > 0 ? static_cast<uint32_t>(queued) : 0;
    return 0;
  }

  int Read(uint8_t* buffer, uint32_t size, uint32_t& got) override {
    got = 0;
    if (size == 0) return 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      ssize_t n = ::read(FFd, buffer, size);
      if (n > 0) {
        got = static_cast<uint32_t>(n);
        return 0;
      }
      if (n == 0) return EIO;  // end of file on a terminal: the device is gone
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return errno;
      // Nothing queued: wait at most the read-total constant for a first byte.
      if (attempt == 0 && FTimeouts.FReadTotalConstant > 0) {
        pollfd p{FFd, POLLIN, 0};
        poll(&p, 1, static_cast<int>(std::min<uint32_t>(FTimeouts.FReadTotalConstant, 1000)));
        continue;
      }
      break;
    }
    return 0;
  }

  int Write(const uint8_t* data, uint32_t size, uint32_t timeoutMs, uint32_t& written) override {
    written = 0;
    uint64_t limit = timeoutMs;
    if (FTimeouts.FWriteTotalConstant || FTimeouts.FWriteTotalMultiplier) {
      uint64_t rule = uint64_t(FTimeouts.FWriteTotalMultiplier) * size + FTimeouts.FWriteTotalConstant;
      limit = std::min(limit, rule);
    }
    const int64_t deadline = NowMs() + static_cast<int64_t>(limit);
    while (written < size) {
      ssize_t n = ::write(FFd, data + written, size - written);
      if (n > 0) {
        written += static_cast<uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return errno;
      int64_t remaining = deadline - NowMs();
      if (remaining <= 0) return ETIMEDOUT;
      pollfd p{FFd, POLLOUT, 0};
      int rc = poll(&p, 1, static_cast<int>(remaining));
      if (rc < 0 && errno != EINTR) return errno;
      if (rc > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return EIO;
    }
    return 0;
  }

  int Drain(uint32_t timeoutMs) override {
    const int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
      int pending = 0;
      if (ioctl(FFd, TIOCOUTQ, &pending) != 0) return errno;
      bool empty = pending <= 0;
      // The driver queue can be empty while the UART's FIFO and shift
      // register still hold bytes; drivers that know say so in the line
      // status. Those that do not (USB adapters, pseudo-terminals) refuse
      // the request once and are not asked again.
      if (empty && FLineStatusKnown) {
        unsigned int lineStatus = 0;
        if (ioctl(FFd, TIOCSERGETLSR, &lineStatus) == 0) {
          empty = (lineStatus & TIOCSER_TEMT) != 0;
        } else {
          FLineStatusKnown = false;
        }
      }
      if (empty) return 0;
      const int64_t remaining = deadline - NowMs();
      if (remaining <= 0) return ETIMEDOUT;
      // Sleep about as long as the queue needs at the line rate (10 bits a
      // byte), between 1 and 20 ms so that the end is seen promptly.
      const int64_t rate = FRate > 0 ? FRate : 9600;
      const int64_t needMs = (static_cast<int64_t>(pending) * 10 * 1000) / rate;
      const int64_t sleepMs = std::clamp<int64_t>(std::min<int64_t>(needMs, remaining), 1, 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    }
  }

  int EnableWake() override {
    if (FWakeFd.load() >= 0) return 0;
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) return errno;
    FWakeFd.store(fd);
    return 0;
  }

  void Wake() override {
    const int fd = FWakeFd.load();
    if (fd < 0) return;
    const uint64_t one = 1;
    // A full counter (never in practice) already means "woken".
    [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
  }

  int Wait(uint32_t timeoutUs, bool forInput) override {
    // Only the reader thread waits here. Its timed waits carry the 20 ms
    // pauses between request and reply, and the kernel's default timer slack
    // (50 us) would be added to every one; the thread asks for 1 us instead.
    static thread_local bool precise = false;
    if (!precise) {
      prctl(PR_SET_TIMERSLACK, 1000UL);
      precise = true;
    }
    pollfd p[2];
    nfds_t count = 0;
    if (forInput) p[count++] = pollfd{FFd, POLLIN, 0};
    const int wakeFd = FWakeFd.load();
    if (wakeFd >= 0) p[count++] = pollfd{wakeFd, POLLIN, 0};
    const timespec timeout{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
    const int rc = ppoll(p, count, &timeout, nullptr);
    if (rc < 0) return errno == EINTR ? 0 : errno;
    if (wakeFd >= 0 && (p[count - 1].revents & POLLIN)) {
      uint64_t value = 0;
      [[maybe_unused]] ssize_t n = ::read(wakeFd, &value, sizeof value);  // re-arms the doorbell
    }
    return 0;
  }

  int Close() override {
    const int wakeFd = FWakeFd.exchange(-1);
    if (wakeFd >= 0) ::close(wakeFd);
    if (FFd < 0) return 0;
    ioctl(FFd, TIOCNXCL);
    flock(FFd, LOCK_UN);
    int rc = ::close(FFd);
    FFd = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  int FFd;
  // The doorbell of Wake; -1 until EnableWake. Atomic because host threads
  // ring it while the reader waits on it.
  std::atomic<int> FWakeFd{-1};
  termios FTermios{};
  bool FHaveTermios = false;
  bool FLineStatusKnown = true;
  uint32_t FRate = 0;
  LineTimeouts FTimeouts;
};

std::unique_ptr<SerialDevice> PosixOpen(const char* portName, int& status) {
  std::string path;
  status = ResolvePortPath(portName, path);
  if (status != 0) return nullptr;
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // EBUSY is what TIOCEXCL answers a second opener: the port is in use.
    status = (errno == EBUSY) ? EACCES : errno;
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    status = (errno == EWOULDBLOCK) ? EACCES : errno;
    ::close(fd);
    return nullptr;
  }
  // Not fatal when it fails: a non-terminal is refused when its settings are
  // read, which is where the host expects that failure.
  ioctl(fd, TIOCEXCL);
  status = 0;
  return std::make_unique<PosixSerialDevice>(fd);
}

// Unix 98 pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143.
bool IsPseudoTerminalSlave(const struct stat& st) {
  return S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

std::string CanonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool PosixIsPresent(const char* portName) {
  std::string path;
  if (ResolvePortPath(portName, path) != 0) return false;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (IsPseudoTerminalSlave(st)) return true;
  const std::string node = CanonicalPath(path);
  return !node.empty() && SysfsSerialPresent(KernelNameOf(node));
}

int PosixIdentify(const char* portName, std::string& identity) {
  std::string path;
  if (int status = ResolvePortPath(portName, path)) return status;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return errno;
  if (S_ISCHR(st.st_mode)) {
    // The device number names the device whatever the path to its node.
    identity = "char " + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  } else {
    identity = CanonicalPath(path);
    if (identity.empty()) return errno != 0 ? errno : ENOENT;
  }
  return 0;
}

const SerialBackend kPosixBackend{&PosixOpen, &PosixIsPresent, &PosixIdentify};

// strerror_r comes in two flavours; both end up here as a text or null.
[[maybe_unused]] const char* MessageOf(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* MessageOf(const char* result, const char*) { return result; }

}  // namespace

bool SystemErrorMessage(int32_t code, char* buffer, uint32_t size) {
  char scratch[512];
  scratch[0] = '\0';
  const char* message = MessageOf(strerror_r(code, scratch, sizeof scratch), scratch);
  if (message == nullptr || message[0] == '\0' || size == 0) return false;
  std::snprintf(buffer, size, "%s", message);
  return true;
}

// A library on a machine without a desktop has nobody to show a box to; the
// status returned to the host carries the failure.
void ReportOpenFailure(const char*) {}

std::string PortMapDirectory() {
  const char* override = std::getenv(kPortMapVariable);
  return (override != nullptr && override[0] != '\0') ? std::string(override) : kDefaultPortMapDirectory;
}

bool UartFallbackActive() {
  const char* override = std::getenv(kPortMapVariable);
  const bool explicitMap = override != nullptr && override[0] != '\0';
  return !explicitMap || DevRootRedirected();
}

std::string PortLinkName(const char* portName) {
  if (portName == nullptr || portName[0] == '\0') return {};
  // A name is one directory entry, never a path into somewhere else.
  if (std::strchr(portName, '/') != nullptr || std::strcmp(portName, ".") == 0 ||
      std::strcmp(portName, "..") == 0) {
    return {};
  }
  std::string link = portName;
  std::transform(link.begin(), link.end(), link.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return link;
}

int ResolvePortPath(const char* portName, std::string& path) {
  const std::string link = PortLinkName(portName);
  if (link.empty()) return ENOENT;
  const std::string candidate = PortMapDirectory() + "/" + link;
  struct stat st;
  if (lstat(candidate.c_str(), &st) == 0) {
    path = candidate;
    return 0;
  }
  unsigned number = 0;
  if (UartFallbackActive() && ParseComNumber(portName, number)) {
    path = DevRoot() + "/ttyS" + std::to_string(number - 1);
    return 0;
  }
  return ENOENT;
}

const SerialBackend& PlatformSerialBackend() { return kPosixBackend; }

}  // namespace serialkvl
