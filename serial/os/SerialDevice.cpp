#include "os/SerialDevice.h"

#include <atomic>

namespace serialkvl {

namespace {
// Atomic because a test may install a backend from its own thread; the
// library itself never swaps it.
std::atomic<const SerialBackend*> gBackend{nullptr};
}  // namespace

const SerialBackend& ActiveSerialBackend() {
  const SerialBackend* backend = gBackend.load(std::memory_order_acquire);
  return backend ? *backend : PlatformSerialBackend();
}

void SetSerialBackend(const SerialBackend* backend) {
  gBackend.store(backend, std::memory_order_release);
}

}  // namespace serialkvl
