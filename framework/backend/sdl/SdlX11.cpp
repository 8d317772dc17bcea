// The X11 details of the SDL backend, kept in their own file because Xlib's
// headers define macros (Expose, None, Bool...) that clash with ordinary
// names elsewhere.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xutil.h>

#include <string>

// SDL gives every window the class name it read at start-up; the X11 class
// hint is set here per window (before it is mapped), so the host and the
// tests can tell the skin window, the main form and message boxes apart.
void SetWindowClass(SDL_Window* window, const std::string& className) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  std::string name = className;
  XClassHint hint;
  hint.res_name = name.data();
  hint.res_class = name.data();
  XSetClassHint(info.info.x11.display, info.info.x11.window, &hint);
}
