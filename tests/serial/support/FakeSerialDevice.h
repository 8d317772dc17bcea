// A scripted SerialDevice backend that records every configuration call, for
// what pseudo-terminals cannot show: parity, modem lines, failure injection,
// a slow drain, a failing read, and proof of what was (not) opened.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
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
  // Signalled on every recorded call, delivery, wake and drain release.
  std::condition_variable FChanged;
  // Calls in order, e.g. "Open COM4", "Purge 15", "SetModemLine 4",
  // "IsPresent COM1", "Drain", "Drain timed out". QueuedInput, Read, Wait
  // and Wake are not recorded (the reader calls them all the time).
  std::vector<std::string> FCalls;
  // The first call whose name (the text before any blank) equals FFailCall
  // fails with FFailStatus.
  std::string FFailCall;
  int FFailStatus = 0;
  // Every Write fails with this status when non-zero.
  int FWriteStatus = 0;
  // The next Read fails with this status (once) when non-zero.
  int FReadFailure = 0;
  // While set, Drain reports output still queued: it waits for
  // ReleaseDrain() or its time-out.
  bool FDrainHeld = false;
  LineSettings FReadSettings;  // what ReadSettings reports
  LineSettings FWrittenSettings;
  LineTimeouts FTimeouts;
  std::vector<uint8_t> FWritten;
  std::deque<uint8_t> FIncoming;
  // Called (under FMutex) with each write; may push a reply into FIncoming.
  std::function<void(FakeScript&, const uint8_t*, uint32_t)> FOnWrite;
  std::set<std::string> FPresent;
  // Port name -> device identity; a name not listed is its own device.
  std::map<std::string, std::string> FIdentities;
  bool FWoken = false;  // the doorbell, rung by Wake

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCalls;
  }
  // Bytes the device sends; wakes a reader waiting for input.
  void Deliver(const std::vector<uint8_t>& bytes);
  void ReleaseDrain();
  // Waits until pred() holds (checked under FMutex); false after 10 s.
  bool WaitUntil(const std::function<bool()>& pred);
  // Waits until a call named `call` has been recorded `count` times in all.
  bool WaitForCall(const std::string& call, size_t count = 1);
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
