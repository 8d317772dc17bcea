// Under a real X server: a BadWindow answer to a SendEvent request (what
// SDL's cross-thread wake-up meets when its target window is being
// destroyed) must not reach the handler installed before the window system,
// which stands here for Xlib's default one that ends the program; any other
// X error must still reach it. Exits 0 when both hold.
// The window system first: Xlib's macros (Expose, None...) clash with it.
#include "backend/sdl/SdlWindowSystem.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <memory>

namespace {
int GErrorsSeen = 0;
int RecordError(Display*, XErrorEvent*) {
  ++GErrorsSeen;
  return 0;
}

// A window that no longer exists, and a wake-up sent to it.
void SendToGone(Display* display, Window gone) {
  XEvent wake{};
  wake.xclient.type = ClientMessage;
  wake.xclient.window = gone;
  wake.xclient.format = 32;
  XSendEvent(display, gone, False, NoEventMask, &wake);
  XSync(display, False);
}
}  // namespace

int main() {
  XSetErrorHandler(RecordError);
  auto windowSystem = std::make_unique<TSdlWindowSystem>("XErrorProbe");
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::puts("FAIL: no X display");
    return 1;
  }
  const Window gone = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 8, 8, 0, 0, 0);
  XDestroyWindow(display, gone);
  XSync(display, False);

  SendToGone(display, gone);
  if (GErrorsSeen != 0) {
    std::puts("FAIL: the wake-up sent to a destroyed window reached the previous error handler");
    return 1;
  }
  XMapWindow(display, gone);
  XSync(display, False);
  if (GErrorsSeen != 1) {
    std::printf("FAIL: another error on a destroyed window reached the previous handler %d times, not once\n",
                GErrorsSeen);
    return 1;
  }
  // SDL reads its wake-up connection's errors as it quits and puts back the
  // handler it found at start: the late error must still be ignored then.
  windowSystem.reset();
  SendToGone(display, gone);
  if (GErrorsSeen != 1) {
    std::puts("FAIL: after the window system quit, a wake-up to a destroyed window reached the previous handler");
    return 1;
  }
  XCloseDisplay(display);
  std::puts("ok");
  return 0;
}
