#include "SdlWindowSystem.h"

#include <SDL2/SDL.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "SdlX11.h"
#include "SysUtils.h"

// A platform window. The SDL window itself is created when the window is
// first shown or drawn, once the form has set its border and colour key.
// A colour-keyed window is an ordinary window (with the frame its border
// style gives) whose X shape follows the key pixels, updated per presented
// rectangle (SdlX11.h).
class TSdlWindow : public IPlatformWindow {
public:
  TSdlWindow(TSdlWindowSystem& system, std::string className, IWindowSystem::TEventSink sink)
      : FSystem(system), FClassName(std::move(className)), FSink(std::move(sink)) {}

  ~TSdlWindow() override {
    FShape.reset();
    if (FWindow) {
      FSystem.FWindows.erase(SDL_GetWindowID(FWindow));
      SDL_DestroyWindow(FWindow);
    }
  }

  void SetBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) override {
    // A new size is shaped afresh at the next present.
    if (clientWidth != FBounds.Width() || clientHeight != FBounds.Height()) FShapeStale = true;
    FBounds = Bounds(left, top, clientWidth, clientHeight);
    if (!FWindow) return;
    SDL_SetWindowPosition(FWindow, left, top);
    SDL_SetWindowSize(FWindow, std::max(1, clientWidth), std::max(1, clientHeight));
    UpdateMapping();
  }

  void SetVisible(bool visible) override {
    FVisible = visible;
    if (visible) Realize();
    UpdateMapping();
  }

  void SetCaption(const std::string& caption) override {
    FCaption = caption;
    if (FWindow) SDL_SetWindowTitle(FWindow, caption.c_str());
  }

  void SetBorderless(bool borderless) override {
    if (borderless == FBorderless) return;
    FBorderless = borderless;
    if (!FWindow) return;
    SDL_SetWindowBordered(FWindow, borderless ? SDL_FALSE : SDL_TRUE);
    SetWindowFrame(FWindow, !borderless);
  }

  void SetColorKey(bool enabled, uint32_t rgb) override {
    if (enabled == FColorKeyEnabled && rgb == FColorKey) return;
    FColorKeyEnabled = enabled;
    FColorKey = rgb;
    // The whole window is shaped at the next present; without a key it
    // shows whole at once.
    FShapeStale = true;
    if (!enabled && FShape) FShape->Clear();
  }

  void SetOpacity(uint8_t alpha) override {
    FOpacity = alpha;
    if (FWindow) SDL_SetWindowOpacity(FWindow, alpha / 255.0f);
  }

  void Present(const TSurface& backBuffer, std::span<const TRect> dirty) override {
    Realize();
    if (!FWindow) return;
    const int w = backBuffer.Width();
    const int h = backBuffer.Height();
    const int stride = backBuffer.Stride();
    auto* pixels = reinterpret_cast<uint32_t*>(backBuffer.Bytes());
    // Device pixels are 32-bit xRGB in native order: SDL's RGB888.
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, 32, stride, SDL_PIXELFORMAT_RGB888);
    if (!source) return;
    SDL_Surface* target = SDL_GetWindowSurface(FWindow);
    if (target) {
      // One blit per rectangle, then one update of them all (one round trip
      // to the X server).
      FRects.clear();
      for (const TRect& d : dirty) {
        SDL_Rect r{d.Left, d.Top, d.Width(), d.Height()};
        SDL_BlitSurface(source, &r, target, &r);
        FRects.push_back(r);
      }
      if (!FRects.empty()) SDL_UpdateWindowSurfaceRects(FWindow, FRects.data(), static_cast<int>(FRects.size()));
    }
    SDL_FreeSurface(source);
    // The pixels are on the window first, then the shape follows them, so a
    // pixel that appears shows its new colour.
    if (FColorKeyEnabled && FShape) {
      const uint32_t keyXrgb = ((FColorKey & 0xFF) << 16) | (FColorKey & 0xFF00) | ((FColorKey >> 16) & 0xFF);
      if (FShapeStale) {
        FShape->Update(pixels, w, h, stride / 4, Rect(0, 0, w, h), keyXrgb);
      } else {
        for (const TRect& d : dirty) FShape->Update(pixels, w, h, stride / 4, d, keyXrgb);
      }
      FShapeStale = false;
    }
  }

  void Deliver(const TWindowEvent& e) { FSink(e); }

private:
  // A window without area is not mapped: X has no empty windows, and a
  // visible 1 x 1 stand-in would show as a stray pixel (the hidden main
  // form is 0 x 0).
  void UpdateMapping() {
    if (!FWindow) return;
    const bool shown = (SDL_GetWindowFlags(FWindow) & SDL_WINDOW_SHOWN) != 0;
    const bool wanted = FVisible && FBounds.Width() > 0 && FBounds.Height() > 0;
    if (wanted && !shown) {
      SDL_ShowWindow(FWindow);
      // Window managers may place a window on their own; the form's
      // position is the contract.
      SDL_SetWindowPosition(FWindow, FBounds.Left, FBounds.Top);
    } else if (!wanted && shown) {
      SDL_HideWindow(FWindow);
    }
  }

  void Realize() {
    if (FWindow) return;
    const int w = std::max(1, FBounds.Width()), h = std::max(1, FBounds.Height());
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (FBorderless) flags |= SDL_WINDOW_BORDERLESS;
    FWindow = SDL_CreateWindow(FCaption.c_str(), FBounds.Left, FBounds.Top, w, h, flags);
    if (!FWindow) throw Exception(std::string("Impossible de créer la fenêtre: ") + SDL_GetError());
    SetWindowClass(FWindow, FClassName);
    SetWindowFrame(FWindow, !FBorderless);
    FShape = std::make_unique<TX11Shape>(FWindow);
    FShapeStale = true;
    FSystem.FWindows[SDL_GetWindowID(FWindow)] = this;
    SDL_SetWindowPosition(FWindow, FBounds.Left, FBounds.Top);
    if (FOpacity != 255) SDL_SetWindowOpacity(FWindow, FOpacity / 255.0f);
    UpdateMapping();
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
  std::unique_ptr<TX11Shape> FShape;
  bool FShapeStale = true;  // the next present shapes the whole window
  uint8_t FOpacity = 255;
  std::vector<SDL_Rect> FRects;  // the present's rectangles, storage kept
};

TSdlWindowSystem::TSdlWindowSystem(const std::string& windowClass) {
  // Before SDL_Init: the X11 class name is read from the environment (the
  // hint is not), and a window surface without accelerated framebuffer
  // keeps the X window SDL shapes.
  setenv("SDL_VIDEO_X11_WMCLASS", windowClass.c_str(), 1);
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  // X11 unless the user names a driver: when the X server cannot be
  // reached SDL would otherwise go on with its off-screen driver, and the
  // dashboard would run with no window anyone can see, reporting nothing.
  if (!std::getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  IgnoreWakeupsToDestroyedWindows();
  // A busy X server now and then refuses one connection among others (seen
  // with Xvfb: a few per cent of quick successive connects); a few more
  // tries, spaced out, tell that from a display that is not there.
  constexpr int kInitTries = 5;
  for (int attempt = 1; SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0; ++attempt) {
    if (attempt == kInitTries)
      throw Exception(std::string("Impossible d'initialiser l'affichage: ") + SDL_GetError());
    SDL_Delay(static_cast<Uint32>(50 << attempt));
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  FHasDisplay = driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
  FWakeEvent = SDL_RegisterEvents(1);
  FWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TSdlWindowSystem::~TSdlWindowSystem() {
  SDL_Quit();
  if (FWakeFd >= 0) close(FWakeFd);
}

SDL_Window* TSdlWindowSystem::AnyWindow() const {
  return FWindows.empty() ? nullptr : SDL_GetWindowFromID(FWindows.begin()->first);
}

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
  bool got = SDL_PollEvent(&e) != 0;
  if (!got && timeoutMs != 0) {
    // Once a window exists the loop sleeps on its X connection and on the
    // wake-up counter together. (SDL's own wait is woken through the X
    // server, a round trip per wake-up: one per frame.)
    if (SDL_Window* window = AnyWindow(); window && WaitForX11Input(window, FWakeFd, timeoutMs < 0 ? -1 : timeoutMs)) {
      got = SDL_PollEvent(&e) != 0;
    } else {
      // Announced before the counter is read, so that a Wake() either sees
      // the flag (and sends SDL's event) or has written the counter.
      FInSdlWait = true;
      uint64_t count = 0;
      if (FWakeFd < 0 || read(FWakeFd, &count, sizeof count) != static_cast<ssize_t>(sizeof count))
        got = SDL_WaitEventTimeout(&e, timeoutMs < 0 ? -1 : timeoutMs) != 0;
      FInSdlWait = false;
    }
  }
  if (FWakeFd >= 0) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t drained = read(FWakeFd, &count, sizeof count);
  }
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
  if (FWakeFd >= 0) {
    const uint64_t one = 1;
    // Only non-zero matters; a full counter has woken the loop already.
    [[maybe_unused]] ssize_t written = write(FWakeFd, &one, sizeof one);
  }
  if (FWakeFd < 0 || FInSdlWait) {
    SDL_Event e;
    SDL_zero(e);
    e.type = FWakeEvent;
    SDL_PushEvent(&e);
  }
}

void TSdlWindowSystem::MessageBox(const std::string& caption, const std::string& text, bool error) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  if (!FHasDisplay || std::getenv("VELQ_NO_MESSAGE_BOXES")) return;
  RunMessageBox(caption, text, error);
}

// The box is drawn with the framework's own text stack (Pango) instead of
// SDL's X11 box, which depends on core X fonts and an X locale and cannot
// show the French messages under a C.UTF-8 locale.
void TSdlWindowSystem::RunMessageBox(const std::string& caption, const std::string& text, bool error) {
  constexpr int kPad = 20, kButtonW = 88, kButtonH = 26, kIcon = 32;
  PangoFontMap* fontMap = pango_cairo_font_map_get_default();
  PangoContext* context = pango_font_map_create_context(fontMap);
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* font = pango_font_description_from_string("Sans 10");
  pango_layout_set_font_description(layout, font);
  pango_layout_set_width(layout, 420 * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_text(layout, text.c_str(), -1);
  int textW = 0, textH = 0;
  pango_layout_get_pixel_size(layout, &textW, &textH);
  const int w = std::max(kPad + kIcon + 12 + textW + kPad, 2 * kPad + kButtonW);
  const int h = kPad + std::max(textH, kIcon) + 16 + kButtonH + 14;
  const TRect button = Bounds((w - kButtonW) / 2, h - 14 - kButtonH, kButtonW, kButtonH);

  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(image);
  cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
  cairo_paint(cr);
  // A round badge with "!" or "i" stands for the error or information icon.
  cairo_arc(cr, kPad + kIcon / 2.0, kPad + kIcon / 2.0, kIcon / 2.0, 0, 6.2832);
  if (error) cairo_set_source_rgb(cr, 0.80, 0.10, 0.10);
  else cairo_set_source_rgb(cr, 0.15, 0.35, 0.75);
  cairo_fill(cr);
  PangoLayout* badge = pango_cairo_create_layout(cr);
  PangoFontDescription* badgeFont = pango_font_description_from_string("Sans Bold 16");
  pango_layout_set_font_description(badge, badgeFont);
  pango_layout_set_text(badge, error ? "!" : "i", -1);
  int bw = 0, bh = 0;
  pango_layout_get_pixel_size(badge, &bw, &bh);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_move_to(cr, kPad + (kIcon - bw) / 2.0, kPad + (kIcon - bh) / 2.0);
  pango_cairo_show_layout(cr, badge);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, kPad + kIcon + 12, kPad + std::max(0, (kIcon - textH) / 2));
  pango_cairo_show_layout(cr, layout);
  cairo_rectangle(cr, button.Left + 0.5, button.Top + 0.5, kButtonW - 1, kButtonH - 1);
  cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.2, 0.4, 0.8);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  pango_layout_set_width(layout, -1);
  pango_layout_set_text(layout, "OK", -1);
  pango_layout_get_pixel_size(layout, &bw, &bh);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, button.Left + (kButtonW - bw) / 2.0, button.Top + (kButtonH - bh) / 2.0);
  pango_cairo_show_layout(cr, layout);
  cairo_destroy(cr);
  cairo_surface_flush(image);
  pango_font_description_free(badgeFont);
  g_object_unref(badge);
  pango_font_description_free(font);
  g_object_unref(layout);
  g_object_unref(context);

  const TRect desk = DesktopRect();
  SDL_Window* box = SDL_CreateWindow(caption.c_str(), desk.Left + (desk.Width() - w) / 2,
                                     desk.Top + (desk.Height() - h) / 2, w, h, SDL_WINDOW_HIDDEN);
  if (!box) {
    cairo_surface_destroy(image);
    return;
  }
  // A class of its own, so that the box is never taken for a form's window.
  SetWindowClass(box, "TMessageForm");
  SDL_ShowWindow(box);
  const uint32_t boxId = SDL_GetWindowID(box);
  auto present = [&] {
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(cairo_image_surface_get_data(image), w, h, 32,
                                                             cairo_image_surface_get_stride(image),
                                                             SDL_PIXELFORMAT_RGB888);
    if (SDL_Surface* target = SDL_GetWindowSurface(box); target && source) {
      SDL_BlitSurface(source, nullptr, target, nullptr);
      SDL_UpdateWindowSurface(box);
    }
    if (source) SDL_FreeSurface(source);
  };
  present();
  SDL_RaiseWindow(box);
  // Modal: events of the other windows are dropped while the box is up; a
  // quit request is kept for the main loop.
  bool quit = false, done = false;
  while (!done) {
    SDL_Event e;
    if (!SDL_WaitEventTimeout(&e, 250)) continue;
    switch (e.type) {
      case SDL_QUIT: quit = true; done = true; break;
      case SDL_KEYDOWN:
        if (e.key.windowID == boxId &&
            (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER ||
             e.key.keysym.sym == SDLK_ESCAPE || e.key.keysym.sym == SDLK_SPACE))
          done = true;
        break;
      case SDL_MOUSEBUTTONUP:
        if (e.button.windowID == boxId && PtInRect(button, {e.button.x, e.button.y})) done = true;
        break;
      case SDL_WINDOWEVENT:
        if (e.window.windowID == boxId && e.window.event == SDL_WINDOWEVENT_CLOSE) done = true;
        if (e.window.windowID == boxId && e.window.event == SDL_WINDOWEVENT_EXPOSED) present();
        break;
      default: break;
    }
  }
  SDL_DestroyWindow(box);
  cairo_surface_destroy(image);
  if (quit) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
  }
}

int64_t TSdlWindowSystem::NowMs() { return static_cast<int64_t>(SDL_GetTicks64()); }

TRect TSdlWindowSystem::DesktopRect() {
  SDL_Rect r;
  if (SDL_GetDisplayUsableBounds(0, &r) != 0) return Rect(0, 0, 1024, 768);
  return Bounds(r.x, r.y, r.w, r.h);
}
