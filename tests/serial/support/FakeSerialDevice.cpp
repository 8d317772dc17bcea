#include "support/FakeSerialDevice.h"

#include <algorithm>
#include <cerrno>

namespace serialtest {

void FakeScript::Deliver(const std::vector<uint8_t>& bytes) {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FIncoming.insert(FIncoming.end(), bytes.begin(), bytes.end());
  }
  FChanged.notify_all();
}

void FakeScript::ReleaseDrain() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FDrainHeld = false;
  }
  FChanged.notify_all();
}

bool FakeScript::WaitUntil(const std::function<bool()>& pred) {
  // The reader changes atomics the predicate may look at without notifying;
  // a short wait step catches those too.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::unique_lock<std::mutex> lock(FMutex);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    FChanged.wait_for(lock, std::chrono::milliseconds(2));
  }
  return true;
}

bool FakeScript::WaitForCall(const std::string& call, size_t count) {
  return WaitUntil([&] { return static_cast<size_t>(std::count(FCalls.begin(), FCalls.end(), call)) >= count; });
}

namespace {

std::shared_ptr<FakeScript> gScript;  // set only while no port is open

class FakeSerialDevice final : public serialkvl::SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeScript> script) : FScript(std::move(script)) {}

  int SetQueueSizes(uint32_t in, uint32_t out) override {
    return Record("SetQueueSizes " + std::to_string(in) + " " + std::to_string(out));
  }
  int Purge(uint32_t flags) override {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    // Like a driver: clearing the input side drops what it had queued.
    if (flags & serialkvl::pfRxClear) FScript->FIncoming.clear();
    return RecordLocked("Purge " + std::to_string(flags));
  }
  int ReadSettings(LineSettings& settings) override {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    settings = FScript->FReadSettings;
    return RecordLocked("ReadSettings");
  }
  int WriteSettings(const LineSettings& settings) override {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    FScript->FWrittenSettings = settings;
    return RecordLocked("WriteSettings");
  }
  int SetModemLine(serialkvl::ModemCommand command) override {
    return Record("SetModemLine " + std::to_string(static_cast<int>(command)));
  }
  int SetTimeouts(const LineTimeouts& timeouts) override {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    FScript->FTimeouts = timeouts;
    return RecordLocked("SetTimeouts");
  }
  int QueuedInput(uint32_t& count) override {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    count = static_cast<uint32_t>(FScript->FIncoming.size());
    return 0;
  }
  int Read(uint8_t* buffer, uint32_t size, uint32_t& got) override {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    got = 0;
    if (FScript->FReadFailure != 0) {
      const int status = FScript->FReadFailure;
      FScript->FReadFailure = 0;
      FScript->FCalls.push_back("Read failed");
      FScript->FChanged.notify_all();
      return status;
    }
    while (got < size && !FScript->FIncoming.empty()) {
      buffer[got++] = FScript->FIncoming.front();
      FScript->FIncoming.pop_front();
    }
    FScript->FChanged.notify_all();
    return 0;
  }
  int Write(const uint8_t* data, uint32_t size, uint32_t, uint32_t& written) override {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    FScript->FCalls.push_back("Write " + std::to_string(size));
    FScript->FChanged.notify_all();
    written = 0;
    if (FScript->FWriteStatus != 0) return FScript->FWriteStatus;
    FScript->FWritten.insert(FScript->FWritten.end(), data, data + size);
    if (FScript->FOnWrite) FScript->FOnWrite(*FScript, data, size);
    written = size;
    return 0;
  }
  int Drain(uint32_t timeoutMs) override {
    std::unique_lock<std::mutex> lock(FScript->FMutex);
    if (int status = RecordLocked("Drain")) return status;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (FScript->FDrainHeld) {
      if (FScript->FChanged.wait_until(lock, deadline) == std::cv_status::timeout && FScript->FDrainHeld) {
        RecordLocked("Drain timed out");
        return ETIMEDOUT;
      }
    }
    return 0;
  }
  int EnableWake() override { return Record("EnableWake"); }
  void Wake() override {
    {
      std::lock_guard<std::mutex> lock(FScript->FMutex);
      FScript->FWoken = true;
    }
    FScript->FChanged.notify_all();
  }
  int Wait(uint32_t timeoutUs, bool forInput) override {
    std::unique_lock<std::mutex> lock(FScript->FMutex);
    FScript->FChanged.wait_for(lock, std::chrono::microseconds(timeoutUs), [&] {
      return FScript->FWoken || (forInput && !FScript->FIncoming.empty());
    });
    FScript->FWoken = false;
    return 0;
  }
  int Close() override { return Record("Close"); }

 private:
  int Record(const std::string& call) {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    return RecordLocked(call);
  }
  int RecordLocked(const std::string& call) {
    FScript->FCalls.push_back(call);
    FScript->FChanged.notify_all();
    const std::string name = call.substr(0, call.find(' '));
    if (!FScript->FFailCall.empty() && name == FScript->FFailCall) {
      FScript->FFailCall.clear();
      return FScript->FFailStatus;
    }
    return 0;
  }

  std::shared_ptr<FakeScript> FScript;
};

std::unique_ptr<serialkvl::SerialDevice> FakeOpen(const char* portName, int& status) {
  std::lock_guard<std::mutex> lock(gScript->FMutex);
  gScript->FCalls.push_back(std::string("Open ") + portName);
  gScript->FChanged.notify_all();
  if (gScript->FFailCall == "Open") {
    gScript->FFailCall.clear();
    status = gScript->FFailStatus;
    return nullptr;
  }
  status = 0;
  return std::make_unique<FakeSerialDevice>(gScript);
}

bool FakeIsPresent(const char* portName) {
  std::lock_guard<std::mutex> lock(gScript->FMutex);
  gScript->FCalls.push_back(std::string("IsPresent ") + portName);
  return gScript->FPresent.count(portName) != 0;
}

int FakeIdentify(const char* portName, std::string& identity) {
  std::lock_guard<std::mutex> lock(gScript->FMutex);
  auto it = gScript->FIdentities.find(portName);
  identity = it != gScript->FIdentities.end() ? it->second : std::string(portName);
  return 0;
}

const serialkvl::SerialBackend kFakeBackend{&FakeOpen, &FakeIsPresent, &FakeIdentify};

}  // namespace

FakeBackend::FakeBackend() : FScript(std::make_shared<FakeScript>()) {
  gScript = FScript;
  serialkvl::SetSerialBackend(&kFakeBackend);
}

FakeBackend::~FakeBackend() {
  serialkvl::SetSerialBackend(nullptr);
  gScript.reset();
}

}  // namespace serialtest
