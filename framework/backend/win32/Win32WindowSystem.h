// The Win32 window system: real top-level windows through user32 and gdi32.
// Each window's Win32 class name is the class name it is created with (a
// form's class: "TSkinForm", "TMainForm"), so that other processes find
// the skin window with FindWindow. Colour key and opacity make the window
// layered (the system cuts the key pixels and lets clicks through them).
// Presented rectangles go into a device-independent bitmap kept per window
// and are copied from there to the screen, so the window repaints itself
// (WM_PAINT) without asking the form. Registered window messages
// (0xC000..0xFFFF), posted, sent or broadcast, reach the form synchronously
// from the window procedure as TWindowEvent::Message.
//
// Message boxes are the system's, modal for the thread; every text also goes
// to stderr when the process has one. For unattended runs,
// VELQ_MESSAGEBOX_LOG=FILE appends "caption|text" lines to FILE (UTF-8)
// instead of showing a box, and VELQ_NO_MESSAGE_BOXES (any value) shows none.
//
// Include this header before <windows.h>, or undefine its CreateWindow and
// MessageBox macros: they would rename the interface's methods.
//
// Thread rules: as IWindowSystem: windows are created, used and destroyed on
// the user-interface thread (the one that calls Wait); Wake() may be called
// from any thread.
// Errors: construction raises Exception when the wake-up event cannot be
// created; window creation raises Exception with the system's error text.
// Exceptions thrown by an event sink never cross the system's window
// procedure: they are kept and raised again from Wait().
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "backend/WindowSystem.h"

class TWin32Window;

class TWin32WindowSystem : public IWindowSystem {
public:
  // Makes the process DPI-aware (pixels are device pixels) and asks for a
  // 1 ms system timer period while the object lives.
  TWin32WindowSystem();
  ~TWin32WindowSystem() override;
  TWin32WindowSystem(const TWin32WindowSystem&) = delete;
  TWin32WindowSystem& operator=(const TWin32WindowSystem&) = delete;

  std::unique_ptr<IPlatformWindow> CreateWindow(const std::string& className, TEventSink sink) override;
  // Returns false once the thread has received WM_QUIT.
  bool Wait(int timeoutMs) override;
  void Wake() override;
  void MessageBox(const std::string& caption, const std::string& text, bool error) override;
  int64_t NowMs() override;
  TRect DesktopRect() override;

private:
  friend class TWin32Window;
  // Registers the window class once per name; returns its UTF-16 name.
  std::wstring EnsureClass(const std::string& className);
  // Keeps the first exception a sink raised inside the window procedure.
  void KeepException(std::exception_ptr error) noexcept;
  void RethrowKept();

  void* FWakeEvent = nullptr;  // auto-reset event HANDLE that Wake() sets
  bool FQuit = false;          // WM_QUIT seen
  uint64_t FDeliveries = 0;    // events handed to sinks so far
  bool FTimerPeriodSet = false;
  int64_t FCounterFrequency = 1;
  std::vector<std::wstring> FClasses;  // registered class names
  std::exception_ptr FKept;
};
