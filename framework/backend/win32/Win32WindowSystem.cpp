#include "Win32WindowSystem.h"

#include <cstring>

#include "Surface.h"
#include "SysUtils.h"

#include "os/WinApi.h"
#include <mmsystem.h>
#include <windowsx.h>

namespace {

// The value of an environment variable; nothing when it is not set.
bool GetEnvironment(const wchar_t* name, std::wstring& value) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);  // with the terminator: 1 when set but empty
  if (n == 0) return false;
  value.assign(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(name, value.data(), n);
  value.resize(got < n ? got : 0);
  return true;
}

// Writes to the process's standard error when it has one. A GUI-subsystem
// program started from Explorer has none; a console gets UTF-16 (its code
// page need not be UTF-8), anything else (pipe, file) gets UTF-8.
void WriteStandardError(const std::string& text) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = Utf8ToWide(text);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

// One line per box in the unattended log: line breaks of the text are
// written as the two characters \n so that a line stays one box.
void AppendBoxLog(const std::wstring& path, const std::string& caption, const std::string& text) {
  std::string line = caption + "|";
  for (char c : text) {
    if (c == '\n') line += "\\n";
    else if (c != '\r') line += c;
  }
  line += "\n";
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

constexpr DWORD kFramedStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kBorderlessStyle = WS_POPUP;
// Style bits that belong to the window's state, kept when the frame changes.
constexpr LONG_PTR kStateStyles = WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE;

}  // namespace

// A platform window: one HWND, plus the image of its client area as last
// presented (a top-down 32-bit DIB section selected into a memory DC), from
// which both Present and WM_PAINT copy to the screen.
class TWin32Window : public IPlatformWindow {
public:
  TWin32Window(TWin32WindowSystem& system, IWindowSystem::TEventSink sink)
      : FSystem(system), FSink(std::move(sink)) {}

  ~TWin32Window() override {
    if (FHandle) {
      // No message reaches this object any more, even those DestroyWindow sends.
      SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
      DestroyWindow(FHandle);
    }
    ReleaseImage();
  }

  void Create(const std::wstring& className) {
    FHandle = CreateWindowExW(0, className.c_str(), L"", kFramedStyle, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
    if (!FHandle) throw Exception("Impossible de créer la fenêtre: " + SysErrorMessage(int(GetLastError())));
  }

  void SetBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) override {
    FBounds = Bounds(left, top, std::max(0, clientWidth), std::max(0, clientHeight));
    ApplyBounds(0);
  }

  void SetVisible(bool visible) override {
    if (visible) {
      // Shown without taking the focus; the first image is painted at once
      // from what was presented while the window was hidden.
      ShowWindow(FHandle, SW_SHOWNA);
      UpdateWindow(FHandle);
    } else {
      ShowWindow(FHandle, SW_HIDE);
    }
  }

  void SetCaption(const std::string& caption) override { SetWindowTextW(FHandle, Utf8ToWide(caption).c_str()); }

  void SetBorderless(bool borderless) override {
    if (borderless == FBorderless) return;
    FBorderless = borderless;
    const LONG_PTR style = GetWindowLongPtrW(FHandle, GWL_STYLE);
    SetWindowLongPtrW(FHandle, GWL_STYLE, (style & kStateStyles) | FrameStyle());
    // Same client size and outer position with the new frame.
    ApplyBounds(SWP_FRAMECHANGED);
  }

  void SetColorKey(bool enabled, uint32_t rgb) override {
    if (enabled == FColorKeyEnabled && (rgb & 0xFFFFFF) == FColorKey) return;
    FColorKeyEnabled = enabled;
    FColorKey = rgb & 0xFFFFFF;
    ApplyLayering();
  }

  void SetOpacity(uint8_t alpha) override {
    if (alpha == FOpacity) return;
    FOpacity = alpha;
    ApplyLayering();
  }

  void Present(const TSurface& backBuffer, std::span<const TRect> dirty) override {
    const TPixelView view = backBuffer.View();
    if (view.Empty()) return;
    const bool fresh = EnsureImage(view.Width, view.Height);
    if (!FImage) return;
    // Pending GDI work on the bitmap is finished before its memory changes.
    GdiFlush();
    const TRect whole = view.Bounds();
    FRects.clear();
    // A new image starts from the whole back buffer, whatever the dirty
    // list says, so that it never shows uninitialised parts.
    if (fresh) CopyToImage(view, whole);
    else
      for (const TRect& d : dirty) CopyToImage(view, IntersectRect(d, whole));
    if (FRects.empty() || !IsWindowVisible(FHandle)) return;
    HDC dc = GetDC(FHandle);
    if (!dc) return;
    for (const TRect& r : FRects) BitBlt(dc, r.Left, r.Top, r.Width(), r.Height(), FImageDC, r.Left, r.Top, SRCCOPY);
    ReleaseDC(FHandle, dc);
    // On screen now, not when the thread's GDI batch happens to fill.
    GdiFlush();
  }

  static LRESULT CALLBACK WindowProc(HWND handle, UINT msg, WPARAM wParam, LPARAM lParam);

private:
  DWORD FrameStyle() const { return FBorderless ? kBorderlessStyle : kFramedStyle; }

  void ApplyBounds(UINT extraFlags) {
    RECT outer{0, 0, FBounds.Width(), FBounds.Height()};
    AdjustWindowRectEx(&outer, FrameStyle(), FALSE, static_cast<DWORD>(GetWindowLongPtrW(FHandle, GWL_EXSTYLE)));
    FApplyingBounds = true;
    SetWindowPos(FHandle, nullptr, FBounds.Left, FBounds.Top, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE | extraFlags);
    FApplyingBounds = false;
  }

  // Colour key and opacity are the system's layered-window attributes; a
  // window with neither is an ordinary window again.
  void ApplyLayering() {
    const DWORD flags = (FColorKeyEnabled ? LWA_COLORKEY : 0) | (FOpacity != 255 ? LWA_ALPHA : 0);
    const LONG_PTR exStyle = GetWindowLongPtrW(FHandle, GWL_EXSTYLE);
    if (flags) {
      if (!(exStyle & WS_EX_LAYERED)) SetWindowLongPtrW(FHandle, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
      // TColor's 0x00BBGGRR is a COLORREF.
      SetLayeredWindowAttributes(FHandle, FColorKey, FOpacity, flags);
    } else if (exStyle & WS_EX_LAYERED) {
      SetWindowLongPtrW(FHandle, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
      RedrawWindow(FHandle, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
    }
  }

  // Makes the image width x height; true when it was (re)created, which
  // also leaves it all zeros (black).
  bool EnsureImage(int width, int height) {
    if (FImage && width == FImageWidth && height == FImageHeight) return false;
    ReleaseImage();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, the back buffer's row order
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    FImage = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    FImageDC = CreateCompatibleDC(nullptr);
    if (!FImage || !FImageDC) {
      ReleaseImage();
      return false;
    }
    FOldBitmap = SelectObject(FImageDC, FImage);
    FImageBits = static_cast<uint32_t*>(bits);
    FImageWidth = width;
    FImageHeight = height;
    return true;
  }

  void ReleaseImage() {
    if (FImageDC) {
      if (FOldBitmap) SelectObject(FImageDC, FOldBitmap);
      DeleteDC(FImageDC);
    }
    if (FImage) DeleteObject(FImage);
    FImageDC = nullptr;
    FImage = nullptr;
    FOldBitmap = nullptr;
    FImageBits = nullptr;
    FImageWidth = FImageHeight = 0;
  }

  void CopyToImage(const TPixelView& view, const TRect& r) {
    if (IsRectEmpty(r)) return;
    const size_t bytes = static_cast<size_t>(r.Width()) * 4;
    for (int y = r.Top; y < r.Bottom; ++y)
      std::memcpy(FImageBits + static_cast<ptrdiff_t>(y) * FImageWidth + r.Left, view.Row(y) + r.Left, bytes);
    FRects.push_back(r);
  }

  // The update area comes from the image; what lies outside it (a window
  // the user made larger than the form) is black. Before the first present
  // there is nothing to show, so the form is asked to paint.
  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(FHandle, &ps);
    const bool haveImage = FImage != nullptr;
    if (dc && haveImage) {
      const RECT image{0, 0, FImageWidth, FImageHeight};
      RECT part;
      if (::IntersectRect(&part, &ps.rcPaint, &image))
        BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, FImageDC, part.left, part.top,
               SRCCOPY);
      if (ps.rcPaint.right > image.right || ps.rcPaint.bottom > image.bottom) {
        ExcludeClipRect(dc, 0, 0, image.right, image.bottom);
        FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      }
    }
    EndPaint(FHandle, &ps);
    if (!haveImage) Deliver(TWindowEvent::Expose, 0, 0, 1);
  }

  // Hands an event to the form. The sink may destroy this window (a form
  // freed by its handler): nothing of the object is touched after it.
  void Deliver(const TWindowEvent& event) {
    TWin32WindowSystem& system = FSystem;
    ++system.FDeliveries;
    try {
      FSink(event);
    } catch (...) {
      system.KeepException(std::current_exception());
    }
  }

  void Deliver(TWindowEvent::TKind kind, int32_t x, int32_t y, int button) {
    TWindowEvent event;
    event.Kind = kind;
    event.X = x;
    event.Y = y;
    event.Button = button;
    Deliver(event);
  }

  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);

  TWin32WindowSystem& FSystem;
  IWindowSystem::TEventSink FSink;
  HWND FHandle = nullptr;
  TRect FBounds;
  bool FBorderless = false;  // created with the framed style
  bool FColorKeyEnabled = false;
  uint32_t FColorKey = 0;
  uint8_t FOpacity = 255;
  bool FApplyingBounds = false;
  bool FTrackingLeave = false;
  HBITMAP FImage = nullptr;
  HDC FImageDC = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
  uint32_t* FImageBits = nullptr;
  int FImageWidth = 0;
  int FImageHeight = 0;
  std::vector<TRect> FRects;  // the present's rectangles, storage kept
};

LRESULT CALLBACK TWin32Window::WindowProc(HWND handle, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<TWin32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->FHandle = handle;
    SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TWin32Window*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
  if (!self) return DefWindowProcW(handle, msg, wParam, lParam);
  return self->Handle(msg, wParam, lParam);
}

LRESULT TWin32Window::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  // Registered messages (posted, sent or broadcast) go to the form as they
  // come, so that a sender's SendMessage returns after the form ran.
  if (msg >= 0xC000 && msg <= 0xFFFF) {
    TWindowEvent event;
    event.Kind = TWindowEvent::Message;
    event.Msg = msg;
    event.WParam = static_cast<uintptr_t>(wParam);
    event.LParam = static_cast<intptr_t>(lParam);
    Deliver(event);
    return 0;
  }
  switch (msg) {
    case WM_MOUSEMOVE:
      if (!FTrackingLeave) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, FHandle, 0};
        FTrackingLeave = TrackMouseEvent(&track) != FALSE;
      }
      Deliver(TWindowEvent::MouseMove, x, y, 1);
      return 0;
    case WM_MOUSELEAVE:
      FTrackingLeave = false;
      Deliver(TWindowEvent::MouseLeave, 0, 0, 1);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
      // Captured while a button is down, as the form expects the release
      // of a press even outside the window.
      SetCapture(FHandle);
      Deliver(TWindowEvent::MouseDown, x, y, msg == WM_RBUTTONDOWN ? 3 : msg == WM_MBUTTONDOWN ? 2 : 1);
      return 0;
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP:
      if (!(wParam & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) && GetCapture() == FHandle) ReleaseCapture();
      Deliver(TWindowEvent::MouseUp, x, y, msg == WM_RBUTTONUP ? 3 : msg == WM_MBUTTONUP ? 2 : 1);
      return 0;
    case WM_CLOSE:
      // The form decides whether the window goes.
      Deliver(TWindowEvent::CloseRequest, 0, 0, 1);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the form paints every pixel
    case WM_PAINT:
      Paint();
      return 0;
    case WM_GETMINMAXINFO:
      // The form's size is the contract: the system's minimum and maximum
      // tracking sizes apply to the user's resizing only.
      if (FApplyingBounds) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {0, 0};
        info->ptMaxTrackSize = {0x7FFF, 0x7FFF};
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(FHandle, msg, wParam, lParam);
}

// ---- the window system --------------------------------------------------------------------------

TWin32WindowSystem::TWin32WindowSystem() {
  // Pixels are device pixels: the skin's coordinates are not scaled.
  SetProcessDPIAware();
  FWakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!FWakeEvent)
    throw Exception("Impossible de créer l'événement de réveil: " + SysErrorMessage(int(GetLastError())));
  LARGE_INTEGER frequency;
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) FCounterFrequency = frequency.QuadPart;
  // Waits end within a millisecond of their time-out (the default period
  // is 15.6 ms), for window timers and the widgets' timer threads alike.
  FTimerPeriodSet = timeBeginPeriod(1) == TIMERR_NOERROR;
}

TWin32WindowSystem::~TWin32WindowSystem() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const std::wstring& name : FClasses) UnregisterClassW(name.c_str(), instance);
  if (FTimerPeriodSet) timeEndPeriod(1);
  if (FWakeEvent) CloseHandle(FWakeEvent);
}

std::wstring TWin32WindowSystem::EnsureClass(const std::string& className) {
  std::wstring name = Utf8ToWide(className);
  for (const std::wstring& known : FClasses)
    if (known == name) return name;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = 0;  // no double clicks: two clicks are two clicks
  windowClass.lpfnWndProc = TWin32Window::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // The program's icon when its resources have one by the usual name.
  windowClass.hIcon = LoadIconW(instance, L"MAINICON");
  windowClass.hbrBackground = nullptr;  // the form paints everything
  windowClass.lpszClassName = name.c_str();
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw Exception("Impossible de créer la fenêtre: " + SysErrorMessage(int(GetLastError())));
  FClasses.push_back(name);
  return name;
}

std::unique_ptr<IPlatformWindow> TWin32WindowSystem::CreateWindow(const std::string& className, TEventSink sink) {
  const std::wstring name = EnsureClass(className);
  auto window = std::make_unique<TWin32Window>(*this, std::move(sink));
  window->Create(name);
  return window;
}

void TWin32WindowSystem::KeepException(std::exception_ptr error) noexcept {
  if (!FKept) FKept = std::move(error);
}

void TWin32WindowSystem::RethrowKept() {
  if (!FKept) return;
  std::exception_ptr error = std::move(FKept);
  FKept = nullptr;
  std::rethrow_exception(error);
}

bool TWin32WindowSystem::Wait(int timeoutMs) {
  if (FQuit) return false;
  // Sent messages (another thread's or process's SendMessage) are handled
  // inside PeekMessage, which then reports nothing: what the forms were
  // given is counted, so that a frame pass run that way is presented now
  // rather than after the next wake-up.
  const uint64_t delivered = FDeliveries;
  bool waited = false;
  for (;;) {
    MSG msg;
    bool dispatched = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        FQuit = true;
        RethrowKept();
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      dispatched = true;
      RethrowKept();
    }
    RethrowKept();
    if (dispatched || waited || timeoutMs == 0 || FDeliveries != delivered) return true;
    const DWORD result = MsgWaitForMultipleObjectsEx(1, &FWakeEvent, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs),
                                                     QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    // Woken, timed out (or failed): the caller looks at its own work.
    if (result != WAIT_OBJECT_0 + 1) return true;
    // Input arrived: deliver it, then return even if it was all handled
    // inside PeekMessage.
    waited = true;
  }
}

void TWin32WindowSystem::Wake() { SetEvent(FWakeEvent); }

void TWin32WindowSystem::MessageBox(const std::string& caption, const std::string& text, bool error) {
  WriteStandardError(caption + ": " + text + "\n");
  std::wstring value;
  if (GetEnvironment(L"VELQ_MESSAGEBOX_LOG", value) && !value.empty()) {
    AppendBoxLog(value, caption, text);
    return;
  }
  if (GetEnvironment(L"VELQ_NO_MESSAGE_BOXES", value)) return;
  // No owner, modal for the thread: every window of the program waits.
  MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(),
              MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION) | MB_TASKMODAL | MB_SETFOREGROUND);
}

int64_t TWin32WindowSystem::NowMs() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const int64_t c = counter.QuadPart;
  // In two parts, so that the product never overflows.
  return c / FCounterFrequency * 1000 + c % FCounterFrequency * 1000 / FCounterFrequency;
}

TRect TWin32WindowSystem::DesktopRect() {
  RECT area;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) return Rect(0, 0, 1024, 768);
  return Rect(area.left, area.top, area.right, area.bottom);
}
