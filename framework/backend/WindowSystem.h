// The window-system interface: what the framework needs of a windowing
// platform. Three backends implement it: SDL2 (real windows on Linux),
// Win32 (real windows on Windows) and headless (tests and off-screen
// rendering).
//
// Thread rules: every call is made on the user-interface thread, except
// Wake(), which any thread may call to end a Wait() early.
// Errors: backends raise Exception with a descriptive message when a window
// cannot be created; other calls do not fail.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "Surface.h"
#include "Types.h"

// What a platform window reports back to its form.
struct TWindowEvent {
  // Message: a message the platform delivered straight to the window (on
  // Windows, a registered message a host posted, sent or broadcast); the
  // form dispatches it before the event returns.
  enum TKind { MouseMove, MouseDown, MouseUp, MouseLeave, CloseRequest, Expose, Message };
  TKind Kind = MouseMove;
  int32_t X = 0;  // client coordinates
  int32_t Y = 0;
  int Button = 1;  // 1 left, 2 middle, 3 right
  uint32_t Msg = 0;  // Message only
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
};

class IPlatformWindow {
public:
  virtual ~IPlatformWindow() = default;
  // Outer position and client size.
  virtual void SetBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetBorderless(bool borderless) = 0;
  // Colour key: pixels of `rgb` (0x00BBGGRR) invisible and click-through.
  virtual void SetColorKey(bool enabled, uint32_t rgb) = 0;
  // Whole-window opacity 0..255.
  virtual void SetOpacity(uint8_t alpha) = 0;
  // Shows the rectangles `dirty` (within the client area, not overlapping)
  // of the form's back buffer (client size, sfRgb24).
  virtual void Present(const TSurface& backBuffer, std::span<const TRect> dirty) = 0;
};

class IWindowSystem {
public:
  using TEventSink = std::function<void(const TWindowEvent&)>;
  virtual ~IWindowSystem() = default;
  // A new hidden top-level window of the given window class name; its
  // events go to `sink`.
  virtual std::unique_ptr<IPlatformWindow> CreateWindow(const std::string& className, TEventSink sink) = 0;
  // Delivers pending platform events to their sinks; waits up to
  // `timeoutMs` (0: do not wait, negative: no limit) when there are none.
  // Returns false when the platform asks the program to quit.
  virtual bool Wait(int timeoutMs) = 0;
  // Ends a Wait() early; callable from any thread.
  virtual void Wake() = 0;
  // A modal message box (never blocks when there is no screen).
  virtual void MessageBox(const std::string& caption, const std::string& text, bool error) = 0;
  // Milliseconds of a monotonic clock.
  virtual int64_t NowMs() = 0;
  // The desktop's work area, for centring forms.
  virtual TRect DesktopRect() = 0;
};
