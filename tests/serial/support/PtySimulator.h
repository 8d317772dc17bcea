// Device simulators on pseudo-terminals, and a temporary port map, for the
// serial tests. The library opens the slave side by port name; the simulator
// answers on the master side from its own thread.
#pragma once

#include <termios.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace serialtest {

using Bytes = std::vector<uint8_t>;

// Given the bytes received and not yet consumed, a responder consumes one
// complete request (sets consumed > 0) and returns the reply, or consumes
// nothing and waits for more.
using Responder = std::function<Bytes(const Bytes& pending, size_t& consumed)>;

// KVLv1: 4-byte requests. 78 hi lo n -> hi lo and n+1 bytes; AA hi lo x ->
// hi lo x; 00 80 00 00 -> 3 bytes; anything else gets no reply.
Responder KVLv1Responder();
// KVLv2: request 80 10 F0 len svc ... (len+5 bytes); reply 80 F0 10 03 svc'
// d0 d1 checksum, svc' = svc | 0x40.
Responder KVLv2Responder();
// Any burst of bytes is one request; the reply is always the same.
Responder FixedResponder(Bytes reply);

class PtySimulator {
 public:
  explicit PtySimulator(Responder responder = {});
  ~PtySimulator();
  PtySimulator(const PtySimulator&) = delete;
  PtySimulator& operator=(const PtySimulator&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }
  // The master side (-1 after Unplug). Terminal-settings requests on it
  // read the slave's settings, whoever holds the slave.
  int MasterFd() const;
  // Bytes the device sends on its own.
  void Send(const Bytes& bytes);
  // Unplugs the device: closes the master side (and the simulator's own
  // slave descriptor), as a vanished USB adapter would look.
  void Unplug();
  int RequestCount() const { return FRequests.load(); }
  Bytes Received() const;

 private:
  void Run();

  Responder FResponder;
  std::string FSlavePath;
  int FMaster = -1;
  int FSlaveKeepAlive = -1;
  std::atomic<bool> FStop{false};
  std::atomic<int> FRequests{0};
  mutable std::mutex FMutex;  // guards FMaster writes after Unplug, FReceived
  Bytes FReceived;
  std::thread FThread;
};

// Plays a device that talks on its own and then vanishes: once the host's
// open has set the line to openedSpeed (the master side reads the slave's
// settings), sends frame `count` times, gapMs apart, waits gapMs more and
// unplugs. Gives up after 20 s if the line is never set. Join the thread.
std::thread VanishAfterFrames(PtySimulator& device, speed_t openedSpeed, Bytes frame, int count, int gapMs);

// A port-map directory in /tmp, named by SERIALKVL_PORTS while it lives.
class PortMap {
 public:
  PortMap();
  ~PortMap();
  // Adds the link <lower-case name> -> target.
  void Link(const std::string& name, const std::string& target);
  const std::string& Directory() const { return FDirectory; }

 private:
  std::string FDirectory;
  std::vector<std::string> FLinks;
};

}  // namespace serialtest
