#include "support/PtySimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace serialtest {

Responder KVLv1Responder() {
  return [](const Bytes& pending, size_t& consumed) -> Bytes {
    consumed = 0;
    if (pending.size() < 4) return {};
    consumed = 4;
    const uint8_t kind = pending[0], hi = pending[1], lo = pending[2], n = pending[3];
    if (kind == 0x78) {
      Bytes reply{hi, lo};
      for (int i = 0; i <= n; ++i) reply.push_back(static_cast<uint8_t>(0x10 + i));
      return reply;
    }
    if (kind == 0xAA) return {hi, lo, n};
    if (kind == 0x00 && hi == 0x80 && lo == 0x00 && n == 0x00) return {0x01, 0x02, 0x03};
    return {};
  };
}

Responder KVLv2Responder() {
  return [](const Bytes& pending, size_t& consumed) -> Bytes {
    consumed = 0;
    if (pending.size() < 5) return {};
    const size_t length = pending[3] + 5u;
    if (pending.size() < length) return {};
    consumed = length;
    Bytes reply{0x80, 0xF0, 0x10, 0x03, static_cast<uint8_t>(pending[4] | 0x40), 0x12, 0x34};
    uint8_t sum = 0;
    for (uint8_t b : reply) sum = static_cast<uint8_t>(sum + b);
    reply.push_back(sum);
    return reply;
  };
}

Responder FixedResponder(Bytes reply) {
  return [reply](const Bytes& pending, size_t& consumed) -> Bytes {
    consumed = pending.size();
    return reply;
  };
}

PtySimulator::PtySimulator(Responder responder) : FResponder(std::move(responder)) {
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0) {
    throw std::runtime_error("cannot create a pseudo-terminal");
  }
  char name[128];
  if (ptsname_r(FMaster, name, sizeof name) != 0) throw std::runtime_error("ptsname_r");
  FSlavePath = name;
  // Keep one slave descriptor open so the master never sees a hang-up while
  // the library has the port closed; start the line raw.
  FSlaveKeepAlive = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FSlaveKeepAlive < 0) throw std::runtime_error("cannot open the slave");
  termios t;
  tcgetattr(FSlaveKeepAlive, &t);
  cfmakeraw(&t);
  tcsetattr(FSlaveKeepAlive, TCSANOW, &t);
  FThread = std::thread([this] { Run(); });
}

PtySimulator::~PtySimulator() {
  FStop.store(true);
  FThread.join();
  std::lock_guard<std::mutex> lock(FMutex);
  if (FMaster >= 0) close(FMaster);
  if (FSlaveKeepAlive >= 0) close(FSlaveKeepAlive);
}

void PtySimulator::Send(const Bytes& bytes) {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FMaster < 0) return;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(FMaster, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

void PtySimulator::Unplug() {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FSlaveKeepAlive >= 0) close(FSlaveKeepAlive);
  FSlaveKeepAlive = -1;
  if (FMaster >= 0) close(FMaster);
  FMaster = -1;
}

std::thread VanishAfterFrames(PtySimulator& device, speed_t openedSpeed, Bytes frame, int count, int gapMs) {
  return std::thread([&device, openedSpeed, frame = std::move(frame), count, gapMs] {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      termios settings{};
      if (tcgetattr(device.MasterFd(), &settings) == 0 && cfgetospeed(&settings) == openedSpeed) break;
      if (std::chrono::steady_clock::now() > giveUp) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (int n = 0; n < count; ++n) {
      std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
      device.Send(frame);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    device.Unplug();
  });
}

int PtySimulator::MasterFd() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FMaster;
}

Bytes PtySimulator::Received() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FReceived;
}

void PtySimulator::Run() {
  Bytes pending;
  while (!FStop.load()) {
    int fd;
    {
      std::lock_guard<std::mutex> lock(FMutex);
      fd = FMaster;
    }
    if (fd < 0) {
      usleep(2000);
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2) <= 0 || !(p.revents & POLLIN)) {
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) usleep(2000);
      continue;
    }
    uint8_t buffer[512];
    ssize_t n;
    {
      std::lock_guard<std::mutex> lock(FMutex);
      if (FMaster < 0) continue;
      n = read(FMaster, buffer, sizeof buffer);
      if (n > 0) FReceived.insert(FReceived.end(), buffer, buffer + n);
    }
    if (n <= 0) {
      usleep(2000);
      continue;
    }
    pending.insert(pending.end(), buffer, buffer + n);
    if (!FResponder) {
      pending.clear();
      continue;
    }
    for (;;) {
      size_t consumed = 0;
      Bytes reply = FResponder(pending, consumed);
      if (consumed == 0) break;
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(consumed));
      FRequests.fetch_add(1);
      if (!reply.empty()) Send(reply);
      if (pending.empty()) break;
    }
  }
}

PortMap::PortMap() {
  char pattern[] = "/tmp/serialkvl-ports-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
  FDirectory = pattern;
  setenv("SERIALKVL_PORTS", FDirectory.c_str(), 1);
}

PortMap::~PortMap() {
  for (const std::string& link : FLinks) unlink(link.c_str());
  rmdir(FDirectory.c_str());
  unsetenv("SERIALKVL_PORTS");
}

void PortMap::Link(const std::string& name, const std::string& target) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string link = FDirectory + "/" + lower;
  unlink(link.c_str());
  if (symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink " + link);
  FLinks.push_back(link);
}

}  // namespace serialtest
