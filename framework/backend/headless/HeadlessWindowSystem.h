// The headless window system: windows are off-screen records that keep the
// last presented image, message boxes are written to stderr (and recorded)
// instead of blocking, and tests inject mouse events and drive a manual
// clock. Used by the tests and by tools that render skins without a display.
//
// Thread rules: as IWindowSystem (only Wake from other threads).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "backend/WindowSystem.h"

class THeadlessWindowSystem;

class THeadlessWindow : public IPlatformWindow {
public:
  THeadlessWindow(THeadlessWindowSystem& system, std::string className, IWindowSystem::TEventSink sink);
  ~THeadlessWindow() override;

  void SetBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) override;
  void SetVisible(bool visible) override { FVisible = visible; }
  void SetCaption(const std::string& caption) override { FCaption = caption; }
  void SetBorderless(bool borderless) override { FBorderless = borderless; }
  void SetColorKey(bool enabled, uint32_t rgb) override {
    FColorKeyEnabled = enabled;
    FColorKey = rgb;
  }
  void SetOpacity(uint8_t alpha) override { FOpacity = alpha; }
  void Present(const TSurface& backBuffer, std::span<const TRect> dirty) override;

  // What a test can look at.
  const std::string& ClassName() const { return FClassName; }
  TRect Bounds() const { return FBounds; }
  bool Visible() const { return FVisible; }
  const std::string& Caption() const { return FCaption; }
  bool Borderless() const { return FBorderless; }
  bool ColorKeyEnabled() const { return FColorKeyEnabled; }
  uint32_t ColorKey() const { return FColorKey; }
  uint8_t Opacity() const { return FOpacity; }
  int PresentCount() const { return FPresentCount; }
  // The rectangles of the last present.
  const std::vector<TRect>& LastPresented() const { return FLastPresented; }
  // The screen image of the client area: everything presented so far
  // (sfRgb24; null before the first present).
  const TSurface* Screen() const { return FScreen.get(); }
  // The colour at a client pixel as 0x00BBGGRR, or -1 outside the image.
  int32_t ScreenPixel(int32_t x, int32_t y) const;
  void Deliver(const TWindowEvent& event) { FSink(event); }

private:
  THeadlessWindowSystem& FSystem;
  std::string FClassName;
  IWindowSystem::TEventSink FSink;
  TRect FBounds;
  bool FVisible = false;
  std::string FCaption;
  bool FBorderless = false;
  bool FColorKeyEnabled = false;
  uint32_t FColorKey = 0;
  uint8_t FOpacity = 255;
  int FPresentCount = 0;
  std::vector<TRect> FLastPresented;
  TSurfacePtr FScreen;
};

class THeadlessWindowSystem : public IWindowSystem {
public:
  // With a manual clock, time moves only by AdvanceClock and by Wait(timeout),
  // which jumps the clock forward instead of sleeping, so timers fire at once
  // and deterministically. Otherwise the clock is the real monotonic one.
  explicit THeadlessWindowSystem(bool manualClock = true);
  ~THeadlessWindowSystem() override;

  std::unique_ptr<IPlatformWindow> CreateWindow(const std::string& className, TEventSink sink) override;
  bool Wait(int timeoutMs) override;
  void Wake() override;
  void MessageBox(const std::string& caption, const std::string& text, bool error) override;
  int64_t NowMs() override;
  TRect DesktopRect() override { return FDesktop; }

  // Test controls.
  void AdvanceClock(int64_t ms) { FNow += ms; }
  void SetDesktopRect(const TRect& r) { FDesktop = r; }
  // Queues an event for a window; delivered by the next Wait.
  void Inject(THeadlessWindow* window, const TWindowEvent& event);
  // Makes the next Wait report a quit request (like a closed session).
  void RequestQuit() { FQuit = true; }
  struct TBox {
    std::string Caption;
    std::string Text;
    bool Error;
  };
  const std::vector<TBox>& MessageBoxes() const { return FBoxes; }
  void SetEchoMessageBoxes(bool echo) { FEcho = echo; }
  const std::vector<THeadlessWindow*>& Windows() const { return FWindows; }

private:
  friend class THeadlessWindow;
  bool FManualClock;
  int64_t FNow = 0;
  TRect FDesktop{0, 0, 1024, 768};
  bool FQuit = false;
  bool FEcho = true;
  std::vector<TBox> FBoxes;
  std::vector<THeadlessWindow*> FWindows;
  std::deque<std::pair<THeadlessWindow*, TWindowEvent>> FEvents;
  std::mutex FWakeLock;
  std::condition_variable FWakeSignal;
  bool FWoken = false;
};
