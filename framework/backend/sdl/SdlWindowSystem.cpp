#include "SdlWindowSystem.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_shape.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SysUtils.h"

// A platform window. The SDL window itself is created when the window is
// first shown or drawn, because a colour-keyed window must be created as a
// shaped window, and the skin sets its colour key before that moment.
class TSdlWindow : public IPlatformWindow {
public:
  TSdlWindow(TSdlWindowSystem& system, std::string className, IWindowSystem::TEventSink sink)
      : FSystem(system), FClassName(std::move(className)), FSink(std::move(sink)) {}

  ~TSdlWindow() override {
    if (FWindow) {
      FSystem.FWindows.erase(SDL_GetWindowID(FWindow));
      SDL_DestroyWindow(FWindow);
    }
  }

  void SetBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) override {
    FBounds = Bounds(left, top, clientWidth, clientHeight);
    if (!FWindow) return;
    SDL_SetWindowPosition(FWindow, left, top);
    SDL_SetWindowSize(FWindow, std::max(1, clientWidth), std::max(1, clientHeight));
  }

  void SetVisible(bool visible) override {
    FVisible = visible;
    if (visible) Realize();
    if (!FWindow) return;
    if (visible) {
      SDL_ShowWindow(FWindow);
      // Window managers may place a window on their own; the form's
      // position is the contract.
      SDL_SetWindowPosition(FWindow, FBounds.Left, FBounds.Top);
    } else {
      SDL_HideWindow(FWindow);
    }
  }

  void SetCaption(const std::string& caption) override {
    FCaption = caption;
    if (FWindow) SDL_SetWindowTitle(FWindow, caption.c_str());
  }

  void SetBorderless(bool borderless) override {
    FBorderless = borderless;
    if (FWindow) SDL_SetWindowBordered(FWindow, borderless ? SDL_FALSE : SDL_TRUE);
  }

  void SetColorKey(bool enabled, uint32_t rgb) override {
    FColorKeyEnabled = enabled;
    FColorKey = rgb;
    FShapeStale = true;
  }

  void SetOpacity(uint8_t alpha) override {
    FOpacity = alpha;
    if (FWindow) SDL_SetWindowOpacity(FWindow, alpha / 255.0f);
  }

  void Present(cairo_surface_t* backBuffer, const TRect& dirty) override {
    Realize();
    if (!FWindow) return;
    cairo_surface_flush(backBuffer);
    const int w = cairo_image_surface_get_width(backBuffer);
    const int h = cairo_image_surface_get_height(backBuffer);
    // Cairo's RGB24 is 32-bit xRGB in native order: SDL's RGB888.
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(cairo_image_surface_get_data(backBuffer), w, h, 32,
                                                             cairo_image_surface_get_stride(backBuffer),
                                                             SDL_PIXELFORMAT_RGB888);
    if (!source) return;
    if (FColorKeyEnabled && (FShapeStale || (dirty.Width() >= w && dirty.Height() >= h))) UpdateShape(source);
    SDL_Surface* target = SDL_GetWindowSurface(FWindow);
    if (target) {
      SDL_Rect r{dirty.Left, dirty.Top, dirty.Width(), dirty.Height()};
      SDL_BlitSurface(source, &r, target, &r);
      SDL_UpdateWindowSurfaceRects(FWindow, &r, 1);
    }
    SDL_FreeSurface(source);
  }

  void Deliver(const TWindowEvent& e) { FSink(e); }

private:
  void Realize() {
    if (FWindow) return;
    const int w = std::max(1, FBounds.Width()), h = std::max(1, FBounds.Height());
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (FBorderless) flags |= SDL_WINDOW_BORDERLESS;
    setenv("SDL_VIDEO_X11_WMCLASS", FClassName.c_str(), 1);
    if (FColorKeyEnabled)
      FWindow = SDL_CreateShapedWindow(FCaption.c_str(), unsigned(std::max(0, FBounds.Left)),
                                       unsigned(std::max(0, FBounds.Top)), unsigned(w), unsigned(h), flags);
    if (!FWindow) FWindow = SDL_CreateWindow(FCaption.c_str(), FBounds.Left, FBounds.Top, w, h, flags);
    if (!FWindow) throw Exception(std::string("Impossible de créer la fenêtre: ") + SDL_GetError());
    FSystem.FWindows[SDL_GetWindowID(FWindow)] = this;
    SDL_SetWindowPosition(FWindow, FBounds.Left, FBounds.Top);
    if (FOpacity != 255) SDL_SetWindowOpacity(FWindow, FOpacity / 255.0f);
    if (FVisible) SDL_ShowWindow(FWindow);
  }

  // The window's shape follows the colour key: every pixel of the key
  // colour is cut out (invisible and click-through).
  void UpdateShape(SDL_Surface* image) {
    if (!SDL_IsShapedWindow(FWindow)) return;
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeColorKey;
    mode.parameters.colorKey = SDL_Color{Uint8(FColorKey & 0xFF), Uint8((FColorKey >> 8) & 0xFF),
                                         Uint8((FColorKey >> 16) & 0xFF), 255};
    SDL_Surface* shape = SDL_ConvertSurfaceFormat(image, SDL_PIXELFORMAT_RGBA8888, 0);
    if (!shape) return;
    SDL_SetWindowShape(FWindow, shape, &mode);
    SDL_FreeSurface(shape);
    // Shaping may move the window away (a window created at 0 lands at
    // -1000 on X11); put it back where the form says.
    SDL_SetWindowPosition(FWindow, FBounds.Left, FBounds.Top);
    FShapeStale = false;
  }

  TSdlWindowSystem& FSystem;
  std::string FClassName;
  IWindowSystem::TEventSink FSink;
  SDL_Window* FWindow = nullptr;
  TRect FBounds;
  std::string FCaption;
  bool FVisible = false;
  bool FBorderless = false;
  bool FColorKeyEnabled = false;
  uint32_t FColorKey = 0;
  bool FShapeStale = true;
  uint8_t FOpacity = 255;
};

TSdlWindowSystem::TSdlWindowSystem(const std::string& windowClass) {
  // Before SDL_Init: the X11 class name is read from the environment (the
  // hint is not), and a window surface without accelerated framebuffer
  // keeps the X window SDL shapes.
  setenv("SDL_VIDEO_X11_WMCLASS", windowClass.c_str(), 1);
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
    throw Exception(std::string("Impossible d'initialiser l'affichage: ") + SDL_GetError());
  const char* driver = SDL_GetCurrentVideoDriver();
  FHasDisplay = driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
  FWakeEvent = SDL_RegisterEvents(1);
}

TSdlWindowSystem::~TSdlWindowSystem() { SDL_Quit(); }

std::unique_ptr<IPlatformWindow> TSdlWindowSystem::CreateWindow(const std::string& className, TEventSink sink) {
  return std::make_unique<TSdlWindow>(*this, className, std::move(sink));
}

void TSdlWindowSystem::Dispatch(const SDL_Event& e) {
  auto find = [this](uint32_t id) -> TSdlWindow* {
    auto it = FWindows.find(id);
    return it == FWindows.end() ? nullptr : it->second;
  };
  auto buttonOf = [](Uint8 b) { return b == SDL_BUTTON_RIGHT ? 3 : b == SDL_BUTTON_MIDDLE ? 2 : 1; };
  switch (e.type) {
    case SDL_MOUSEMOTION:
      if (TSdlWindow* w = find(e.motion.windowID)) w->Deliver({TWindowEvent::MouseMove, e.motion.x, e.motion.y, 1});
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (TSdlWindow* w = find(e.button.windowID))
        w->Deliver({e.type == SDL_MOUSEBUTTONDOWN ? TWindowEvent::MouseDown : TWindowEvent::MouseUp, e.button.x,
                    e.button.y, buttonOf(e.button.button)});
      break;
    case SDL_WINDOWEVENT:
      if (TSdlWindow* w = find(e.window.windowID)) {
        if (e.window.event == SDL_WINDOWEVENT_LEAVE) w->Deliver({TWindowEvent::MouseLeave, 0, 0, 1});
        else if (e.window.event == SDL_WINDOWEVENT_CLOSE) w->Deliver({TWindowEvent::CloseRequest, 0, 0, 1});
        else if (e.window.event == SDL_WINDOWEVENT_EXPOSED) w->Deliver({TWindowEvent::Expose, 0, 0, 1});
      }
      break;
    default:
      break;
  }
}

bool TSdlWindowSystem::Wait(int timeoutMs) {
  SDL_Event e;
  bool got = timeoutMs == 0 ? SDL_PollEvent(&e) != 0
                            : SDL_WaitEventTimeout(&e, timeoutMs < 0 ? -1 : timeoutMs) != 0;
  bool keepRunning = true;
  while (got) {
    // SIGTERM and the session's end arrive as SDL_QUIT.
    if (e.type == SDL_QUIT) keepRunning = false;
    else if (e.type != FWakeEvent) Dispatch(e);
    got = SDL_PollEvent(&e) != 0;
  }
  return keepRunning;
}

void TSdlWindowSystem::Wake() {
  SDL_Event e;
  SDL_zero(e);
  e.type = FWakeEvent;
  SDL_PushEvent(&e);
}

void TSdlWindowSystem::MessageBox(const std::string& caption, const std::string& text, bool error) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  if (!FHasDisplay || std::getenv("VELQ_NO_MESSAGE_BOXES")) return;
  SDL_ShowSimpleMessageBox(error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION, caption.c_str(), text.c_str(),
                           nullptr);
}

int64_t TSdlWindowSystem::NowMs() { return static_cast<int64_t>(SDL_GetTicks64()); }

TRect TSdlWindowSystem::DesktopRect() {
  SDL_Rect r;
  if (SDL_GetDisplayUsableBounds(0, &r) != 0) return Rect(0, 0, 1024, 768);
  return Bounds(r.x, r.y, r.w, r.h);
}
