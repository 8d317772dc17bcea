#include "support/FakeSerialDevice.h"

#include <cerrno>
#include <chrono>
#include <thread>

namespace serialtest {

namespace {

std::shared_ptr<FakeScript> gScript;  // set only while no port is open

class FakeSerialDevice final : public serialkvl::SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeScript> script) : FScript(std::move(script)) {}

  int SetQueueSizes(uint32_t in, uint32_t out) override {
    return Record("SetQueueSizes " + std::to_string(in) + " " + std::to_string(out));
  }
  int Purge(uint32_t flags) override { return Record("Purge " + std::to_string(flags)); }
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
    while (got < size && !FScript->FIncoming.empty()) {
      buffer[got++] = FScript->FIncoming.front();
      FScript->FIncoming.pop_front();
    }
    return 0;
  }
  int Write(const uint8_t* data, uint32_t size, uint32_t, uint32_t& written) override {
    std::lock_guard<std::mutex> lock(FScript->FMutex);
    FScript->FCalls.push_back("Write " + std::to_string(size));
    written = 0;
    if (FScript->FWriteStatus != 0) return FScript->FWriteStatus;
    FScript->FWritten.insert(FScript->FWritten.end(), data, data + size);
    if (FScript->FOnWrite) FScript->FOnWrite(*FScript, data, size);
    written = size;
    return 0;
  }
  int WaitInput(uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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
  return gScript->FPresent.count(portName) != 0;
}

const serialkvl::SerialBackend kFakeBackend{&FakeOpen, &FakeIsPresent};

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
