// A scripted SerialDevice backend that records every configuration call, for
// what pseudo-terminals cannot show: parity, modem lines, failure injection.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "os/SerialDevice.h"

namespace serialtest {

using serialkvl::LineSettings;
using serialkvl::LineTimeouts;

struct FakeScript {
  std::mutex FMutex;
  // Calls in order, e.g. "Open COM4", "Purge 15", "SetModemLine 4".
  // QueuedInput, Read and WaitInput are not recorded (the reader polls them).
  std::vector<std::string> FCalls;
  // The first call whose name (the text before any blank) equals FFailCall
  // fails with FFailStatus.
  std::string FFailCall;
  int FFailStatus = 0;
  // Every Write fails with this status when non-zero.
  int FWriteStatus = 0;
  LineSettings FReadSettings;  // what ReadSettings reports
  LineSettings FWrittenSettings;
  LineTimeouts FTimeouts;
  std::vector<uint8_t> FWritten;
  std::deque<uint8_t> FIncoming;
  // Called (under FMutex) with each write; may push a reply into FIncoming.
  std::function<void(FakeScript&, const uint8_t*, uint32_t)> FOnWrite;
  std::set<std::string> FPresent;

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCalls;
  }
};

// Installs the fake backend for the lifetime of the object.
class FakeBackend {
 public:
  FakeBackend();
  ~FakeBackend();
  FakeScript& Script() { return *FScript; }

 private:
  std::shared_ptr<FakeScript> FScript;
};

}  // namespace serialtest
