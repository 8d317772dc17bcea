// The X11 details of the SDL backend: a window's frame hints and the
// colour-key shape, done with Xlib and the X shape extension directly on
// the window SDL created (SdlX11.cpp keeps Xlib's macros away from the
// rest of the code).
//
// The shape: SDL's own shaped windows are always frameless and rebuild the
// whole window mask at every change. Here the window is an ordinary one,
// with the frame its form asks for, and its bounding shape is updated per
// presented rectangle: inside the rectangle, the runs of key-coloured
// pixels are subtracted from the shape and the other runs added to it, so
// the shape equals the key pixels after every present and a present costs
// what its rectangle holds, not the whole window.
//
// Thread rules: the user-interface thread (the one that runs SDL's video).
// Errors: none; on a display without X11 or without the shape extension the
// calls do nothing (Available() says which).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Types.h"

struct SDL_Window;

// Keeps one harmless X error from ending the program. SDL wakes its event
// wait from other threads (a posted message, a timer hand-over) by sending
// an event to one of the program's windows over a second connection; when
// that window is being destroyed at the same moment (the program is
// closing), the server may answer BadWindow, which Xlib's default handler
// turns into exit(1). That error (BadWindow for a SendEvent request) is
// ignored; every other error goes on to the handler installed before.
// Xlib's error handler is process-wide: call before SDL_Init (SDL restores
// the handler it found when it quits, and that is when the late error is
// read), from the user-interface thread; later calls do nothing.
void IgnoreWakeupsToDestroyedWindows();

// Sets a window's X11 class (res_name and res_class), before it is mapped.
void SetWindowClass(SDL_Window* window, const std::string& className);

// Sets the window's _MOTIF_WM_HINTS to decorated (framed) or not. SDL only
// writes the hint when the atom already exists on the display; this writes
// it always, so that window managers (and tests) see the form's border.
void SetWindowFrame(SDL_Window* window, bool framed);

// Waits up to timeoutMs (negative: without limit) until the X connection of
// `window` has input or `wakeFd` is readable, after flushing what the
// connection still holds to send; returns at once when Xlib has events
// queued already. False, without waiting, when the window is not on X11.
bool WaitForX11Input(SDL_Window* window, int wakeFd, int timeoutMs);

// The bounding shape of one colour-keyed window.
class TX11Shape {
public:
  explicit TX11Shape(SDL_Window* window);
  ~TX11Shape();
  TX11Shape(const TX11Shape&) = delete;
  TX11Shape& operator=(const TX11Shape&) = delete;

  // The window is on X11 with the shape extension.
  bool Available() const noexcept;
  // Makes the shape within `area` (window pixels, clipped to the image)
  // follow `pixels`: a 32-bit xRGB image of the window's client size, row
  // stride in pixels; pixels whose low 24 bits equal keyXrgb (0x00RRGGBB)
  // are cut out (invisible and click-through), the others kept. The run
  // lists are kept between calls, so a steady frame allocates nothing, and
  // an area whose cut pixels are those the server already has sends nothing.
  void Update(const uint32_t* pixels, int width, int height, int stride, const TRect& area, uint32_t keyXrgb);
  // No shape: the whole window shows.
  void Clear();

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};
