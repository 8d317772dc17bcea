// kvldevice: a simulated KVLv1 engine controller on a pseudo-terminal, for
// the example host and its end-to-end test.
//
//   kvldevice --link PATH [--values FILE]
//
// It makes PATH a link to the terminal (PATH is an entry of a serialKVL port
// map, e.g. DIR/com7), prints "ready" and answers until SIGTERM or SIGINT,
// then removes the link. The device answers the KVLv1 memory read
// 78 HI LO N with HI LO and the N+1 bytes from address HI:LO:
//   0x10-0x11  engine speed, rpm (big-endian)
//   0x12       road speed, km/h
//   0x13       coolant temperature, degrees C + 40
//   0x14       fuel level, percent
// The values follow a built-in drive cycle, or, with --values, the four
// numbers "rpm speed temperature fuel" read from FILE at every request (so
// a test can set them; an unreadable file keeps the last values).
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

#include "support/PtySimulator.h"

namespace {

volatile std::sig_atomic_t GStop = 0;
void OnSignal(int) { GStop = 1; }

struct TEngine {
  double Rpm = 800, Speed = 0, Temperature = 20, Fuel = 90;
};

// The built-in cycle: revs and speed rise and fall, the engine warms up,
// the tank slowly empties.
TEngine DriveCycle(double seconds) {
  TEngine e;
  e.Rpm = 800 + 6200 * (0.5 - 0.5 * std::cos(2 * M_PI * seconds / 8));
  e.Speed = 200 * (0.5 - 0.5 * std::cos(2 * M_PI * seconds / 20));
  e.Temperature = 90 - 70 * std::exp(-seconds / 25);
  e.Fuel = 90 - std::fmod(seconds / 4, 80);
  return e;
}

std::array<uint8_t, 5> Memory(const TEngine& e) {
  const auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
  const auto rpm = static_cast<uint16_t>(std::clamp(std::lround(e.Rpm), 0L, 65535L));
  return {static_cast<uint8_t>(rpm >> 8), static_cast<uint8_t>(rpm & 0xFF), byte(e.Speed),
          byte(e.Temperature + 40), byte(e.Fuel)};
}

}  // namespace

int main(int argc, char** argv) {
  std::string link, valuesFile;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--link") link = argv[i + 1];
    else if (arg == "--values") valuesFile = argv[i + 1];
  }
  if (link.empty()) {
    std::fprintf(stderr, "usage: kvldevice --link PATH [--values FILE]\n");
    return 2;
  }

  const auto start = std::chrono::steady_clock::now();
  std::mutex engineLock;  // the responder runs on the simulator's thread
  TEngine fromFile;
  auto current = [&]() -> TEngine {
    if (valuesFile.empty())
      return DriveCycle(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::lock_guard<std::mutex> lock(engineLock);
    std::ifstream in(valuesFile);
    TEngine read;
    if (in >> read.Rpm >> read.Speed >> read.Temperature >> read.Fuel) fromFile = read;
    return fromFile;
  };

  serialtest::Responder responder = [&](const serialtest::Bytes& pending, size_t& consumed) {
    consumed = 0;
    if (pending.size() < 4) return serialtest::Bytes{};
    consumed = 4;
    const uint8_t kind = pending[0], hi = pending[1], lo = pending[2], n = pending[3];
    if (kind != 0x78) return serialtest::Bytes{};  // only memory reads are known
    const std::array<uint8_t, 5> memory = Memory(current());
    serialtest::Bytes reply{hi, lo};
    for (int i = 0; i <= n; ++i) {
      const int address = (hi << 8 | lo) + i - 0x10;
      reply.push_back(address >= 0 && address < 5 ? memory[size_t(address)] : 0);
    }
    return reply;
  };

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    serialtest::PtySimulator device(responder);
    ::unlink(link.c_str());
    if (::symlink(device.SlavePath().c_str(), link.c_str()) != 0) {
      std::perror(("kvldevice: " + link).c_str());
      return 1;
    }
    std::printf("ready %s\n", device.SlavePath().c_str());
    std::fflush(stdout);
    while (!GStop) ::usleep(20000);
    ::unlink(link.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kvldevice: %s\n", e.what());
    return 1;
  }
  return 0;
}
