// The X11 details of the SDL backend, kept in their own file because Xlib's
// headers define macros (Expose, None, Bool...) that clash with ordinary
// names elsewhere.
#include "SdlX11.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <poll.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "ColorKeyMask.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The handler that was in place before ours (SDL's safety net, which ends
// in Xlib's default); Xlib keeps one handler per process, so this is too.
XErrorHandler GPreviousErrorHandler = nullptr;

int HandleXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  return GPreviousErrorHandler ? GPreviousErrorHandler(display, error) : 0;
}

bool X11Of(SDL_Window* window, Display*& display, Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return display != nullptr;
}

}  // namespace

bool WaitForX11Input(SDL_Window* window, int wakeFd, int timeoutMs) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return false;
  XFlush(display);
  // Events may already have been read off the socket (with a reply, say)
  // and wait in Xlib's or XCB's queue, where poll cannot see them; this
  // takes them in without blocking.
  if (XEventsQueued(display, QueuedAfterReading) > 0) return true;
  pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {wakeFd, POLLIN, 0}};
  // A signal (SIGTERM, which SDL turns into a quit event) ends the wait
  // early; the caller's next look at SDL's queue finds the quit.
  ::poll(fds, wakeFd >= 0 ? 2 : 1, timeoutMs);
  return true;
}

namespace {

// The end of the run that starts before x: the first pixel at or after x
// whose key-ness is not `cut`, or `right`. Four pixels at a time where the
// processor allows, since most runs of a dashboard are long.
int RunEnd(const uint32_t* row, int x, int right, uint32_t keyXrgb, bool cut) {
#if defined(__SSE2__)
  const __m128i low24 = _mm_set1_epi32(0x00FFFFFF), key = _mm_set1_epi32(static_cast<int>(keyXrgb));
  const int whole = cut ? 0xFFFF : 0;  // the byte mask of four pixels that all continue the run
  while (x + 4 <= right) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(four, low24), key)) != whole) break;
    x += 4;
  }
#endif
  while (x < right && ((row[x] & 0xFFFFFFu) == keyXrgb) == cut) ++x;
  return x;
}

}  // namespace

// SDL gives every window the class name it read at start-up; the X11 class
// hint is set here per window (before it is mapped), so the host and the
// tests can tell the skin window, the main form and message boxes apart.
void IgnoreWakeupsToDestroyedWindows() {
  // Installed before SDL starts: SDL keeps the handler it finds and puts it
  // back when it shuts down, and shutting down is exactly when its second
  // connection reads the late error. Xlib only calls it for X errors, so it
  // is harmless when SDL picks another video driver.
  static std::once_flag once;
  std::call_once(once, [] { GPreviousErrorHandler = XSetErrorHandler(HandleXError); });
}

void SetWindowClass(SDL_Window* window, const std::string& className) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  std::string name = className;
  XClassHint hint;
  hint.res_name = name.data();
  hint.res_class = name.data();
  XSetClassHint(display, xwindow, &hint);
}

void SetWindowFrame(SDL_Window* window, bool framed) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  // The Motif hints that window managers read: flags (decorations given),
  // functions, decorations (1: all), input mode, status.
  const Atom hints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  const long values[5] = {1L << 1, 0, framed ? 1 : 0, 0, 0};
  XChangeProperty(display, xwindow, hints, hints, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(values),
                  5);
  XFlush(display);
}

// ---- the colour-key shape ----------------------------------------------------------------

struct TX11Shape::TImpl {
  Display* FDisplay = nullptr;
  Window FWindow = 0;
  bool FAvailable = false;
  // The runs of the area, as bands of rows with the same runs (Y-X banded,
  // as the shape extension likes them): kept pixels and cut-out pixels.
  std::vector<XRectangle> FKept, FCut;
  // The runs of the row being scanned.
  std::vector<XRectangle> FRowKept, FRowCut;
  // The cut pixels the server has been told of.
  TColorKeyMask FSent;

  // Appends the row's runs to `rects`, or, when they are the runs of the
  // band that starts at `bandStart`, makes that band one row taller.
  static void AddRow(std::vector<XRectangle>& rects, size_t& bandStart, const std::vector<XRectangle>& row, bool extend) {
    if (extend) {
      for (size_t i = bandStart; i < rects.size(); ++i) ++rects[i].height;
      return;
    }
    bandStart = rects.size();
    rects.insert(rects.end(), row.begin(), row.end());
  }

  static bool SameRuns(const std::vector<XRectangle>& rects, size_t bandStart, const std::vector<XRectangle>& row) {
    if (rects.size() - bandStart != row.size()) return false;
    for (size_t i = 0; i < row.size(); ++i)
      if (rects[bandStart + i].x != row[i].x || rects[bandStart + i].width != row[i].width) return false;
    return true;
  }
};

TX11Shape::TX11Shape(SDL_Window* window) : FImpl(std::make_unique<TImpl>()) {
  if (!X11Of(window, FImpl->FDisplay, FImpl->FWindow)) return;
  int eventBase = 0, errorBase = 0;
  FImpl->FAvailable = XShapeQueryExtension(FImpl->FDisplay, &eventBase, &errorBase);
}

TX11Shape::~TX11Shape() = default;

bool TX11Shape::Available() const noexcept { return FImpl->FAvailable; }

void TX11Shape::Update(const uint32_t* pixels, int width, int height, int stride, const TRect& area,
                       uint32_t keyXrgb) {
  TImpl& d = *FImpl;
  if (!d.FAvailable || !pixels) return;
  const int left = std::max(area.Left, 0), top = std::max(area.Top, 0);
  const int right = std::min(area.Right, width), bottom = std::min(area.Bottom, height);
  if (left >= right || top >= bottom) return;
  if (!d.FSent.Update(pixels, width, height, stride, area, keyXrgb)) return;  // the shape stands
  d.FKept.clear();
  d.FCut.clear();
  size_t keptBand = 0, cutBand = 0;
  for (int y = top; y < bottom; ++y) {
    d.FRowKept.clear();
    d.FRowCut.clear();
    const uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
    for (int x = left; x < right;) {
      const bool cut = (row[x] & 0xFFFFFFu) == keyXrgb;
      const int start = x;
      x = RunEnd(row, x + 1, right, keyXrgb, cut);
      const XRectangle run{static_cast<short>(start), static_cast<short>(y), static_cast<unsigned short>(x - start), 1};
      (cut ? d.FRowCut : d.FRowKept).push_back(run);
    }
    // A row continues the band above when both of its run lists match.
    const bool extend = y > top && TImpl::SameRuns(d.FKept, keptBand, d.FRowKept) &&
                        TImpl::SameRuns(d.FCut, cutBand, d.FRowCut);
    TImpl::AddRow(d.FKept, keptBand, d.FRowKept, extend);
    TImpl::AddRow(d.FCut, cutBand, d.FRowCut, extend);
  }
  // Two disjoint changes: no pixel that stays shown or stays cut out is
  // touched in between, so nothing flickers.
  if (!d.FKept.empty())
    XShapeCombineRectangles(d.FDisplay, d.FWindow, ShapeBounding, 0, 0, d.FKept.data(), static_cast<int>(d.FKept.size()),
                            ShapeUnion, YXBanded);
  if (!d.FCut.empty())
    XShapeCombineRectangles(d.FDisplay, d.FWindow, ShapeBounding, 0, 0, d.FCut.data(), static_cast<int>(d.FCut.size()),
                            ShapeSubtract, YXBanded);
  XFlush(d.FDisplay);
}

void TX11Shape::Clear() {
  TImpl& d = *FImpl;
  if (!d.FAvailable) return;
  XShapeCombineMask(d.FDisplay, d.FWindow, ShapeBounding, 0, 0, None, ShapeSet);
  d.FSent.Reset();
  XFlush(d.FDisplay);
}
