// The SDL2 window system: real top-level windows on X11 (software
// surfaces), colour-key shaped windows for transparent skins, whole-window
// opacity, modal message boxes, and a wake-up for other threads.
//
// Message boxes are drawn by the backend itself (Pango text), modal over
// the other windows. The video driver is X11 unless SDL_VIDEODRIVER names
// another: an X server that cannot be reached (after a few spaced tries)
// is an error, never a silent fall-back to a window no one sees. With an
// off-screen driver chosen that way, message boxes go to stderr instead of
// blocking, so nothing ever waits for a click that no one can give. Every
// message box text is also written to stderr, for logs and tests.
//
// Thread rules: as IWindowSystem; Wake() may be called from any thread.
// Errors: construction raises Exception when SDL's video cannot start;
// window creation raises Exception with SDL's error text.
#pragma once

#include <atomic>
#include <map>

#include "backend/WindowSystem.h"

struct SDL_Window;
class TSdlWindow;

class TSdlWindowSystem : public IWindowSystem {
public:
  // `windowClass` is the X11 WM_CLASS SDL starts with; each window then gets
  // the class name it is created with (a form's class, "TMessageForm" for
  // message boxes).
  explicit TSdlWindowSystem(const std::string& windowClass);
  ~TSdlWindowSystem() override;

  std::unique_ptr<IPlatformWindow> CreateWindow(const std::string& className, TEventSink sink) override;
  bool Wait(int timeoutMs) override;
  void Wake() override;
  void MessageBox(const std::string& caption, const std::string& text, bool error) override;
  int64_t NowMs() override;
  TRect DesktopRect() override;

  // True when windows reach a real screen (not SDL's off-screen driver).
  bool HasDisplay() const noexcept { return FHasDisplay; }

private:
  friend class TSdlWindow;
  void Dispatch(const union SDL_Event& event);
  void RunMessageBox(const std::string& caption, const std::string& text, bool error);
  // A realized window, whose X connection the loop waits on; null before
  // the first window is realized.
  struct SDL_Window* AnyWindow() const;
  bool FHasDisplay = false;
  uint32_t FWakeEvent = 0;
  // Wake() writes this counter; the loop waits on it beside the X
  // connection, so that waking it costs no round trip through the X server.
  int FWakeFd = -1;
  // Set while the loop waits inside SDL (before any window exists), which
  // only SDL's own wake-up event ends.
  std::atomic<bool> FInSdlWait{false};
  std::map<uint32_t, TSdlWindow*> FWindows;  // by SDL window id
};
