#include "HeadlessWindowSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

THeadlessWindow::THeadlessWindow(THeadlessWindowSystem& system, std::string className, IWindowSystem::TEventSink sink)
    : FSystem(system), FClassName(std::move(className)), FSink(std::move(sink)) {
  FSystem.FWindows.push_back(this);
}

THeadlessWindow::~THeadlessWindow() {
  auto& windows = FSystem.FWindows;
  windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
  auto& events = FSystem.FEvents;
  events.erase(std::remove_if(events.begin(), events.end(), [this](const auto& e) { return e.first == this; }),
               events.end());
}

void THeadlessWindow::SetBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) {
  FBounds = ::Bounds(left, top, clientWidth, clientHeight);
}

void THeadlessWindow::Present(const TSurface& backBuffer, std::span<const TRect> dirty) {
  const int w = backBuffer.Width(), h = backBuffer.Height();
  if (!FScreen || FScreen->Width() != w || FScreen->Height() != h) FScreen = NewSurface(w, h, TSurface::sfRgb24);
  for (const TRect& r : dirty) CopySurfaceRect(backBuffer, *FScreen, r);
  ++FPresentCount;
  FLastPresented.assign(dirty.begin(), dirty.end());
}

int32_t THeadlessWindow::ScreenPixel(int32_t x, int32_t y) const {
  if (!FScreen || x < 0 || y < 0 || x >= FScreen->Width() || y >= FScreen->Height()) return -1;
  return PixelToColor(FScreen->View().Row(y)[x]);
}

THeadlessWindowSystem::THeadlessWindowSystem(bool manualClock) : FManualClock(manualClock) {}

THeadlessWindowSystem::~THeadlessWindowSystem() = default;

std::unique_ptr<IPlatformWindow> THeadlessWindowSystem::CreateWindow(const std::string& className, TEventSink sink) {
  return std::make_unique<THeadlessWindow>(*this, className, std::move(sink));
}

void THeadlessWindowSystem::Inject(THeadlessWindow* window, const TWindowEvent& event) {
  FEvents.emplace_back(window, event);
}

bool THeadlessWindowSystem::Wait(int timeoutMs) {
  if (FQuit) {
    FQuit = false;
    return false;
  }
  if (!FEvents.empty()) {
    // A handler may inject more; deliver only what was queued before.
    auto batch = std::move(FEvents);
    FEvents.clear();
    for (auto& [window, event] : batch)
      if (std::find(FWindows.begin(), FWindows.end(), window) != FWindows.end()) window->Deliver(event);
    return true;
  }
  std::unique_lock lock(FWakeLock);
  if (FWoken || timeoutMs == 0) {
    FWoken = false;
    return true;
  }
  if (FManualClock && timeoutMs > 0) {
    FNow += timeoutMs;  // simulated time: the wait costs nothing
    return true;
  }
  if (timeoutMs < 0) FWakeSignal.wait(lock, [this] { return FWoken; });
  else FWakeSignal.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FWoken; });
  FWoken = false;
  return true;
}

void THeadlessWindowSystem::Wake() {
  {
    std::lock_guard guard(FWakeLock);
    FWoken = true;
  }
  FWakeSignal.notify_all();
}

void THeadlessWindowSystem::MessageBox(const std::string& caption, const std::string& text, bool error) {
  FBoxes.push_back({caption, text, error});
  if (FEcho) std::fprintf(stderr, "[%s] %s: %s\n", error ? "error" : "message", caption.c_str(), text.c_str());
}

int64_t THeadlessWindowSystem::NowMs() {
  if (FManualClock) return FNow;
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
