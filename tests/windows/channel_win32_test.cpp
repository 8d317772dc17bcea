// The data channel on Windows, run under Wine: the host's named mapping as
// the dashboard maps it, and the registered message as a window of class
// "TSkinForm" receives it for each delivery.
//
// GoogleTest is not built for MinGW, so this is a plain program: one line per
// check (PASS or FAIL and what), a closing "N passed, M failed" line, and
// exit status 0 only when nothing failed.
//
// Built (x86_64 or i686) from this file, dashboard/DataChannel.cpp,
// dashboard/win32/DataChannelWin32.cpp and the framework's SysUtils.cpp and
// os/SystemWin32.cpp, with -std=c++20 -I dashboard -I framework -static
// -luser32.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "DataChannel.h"
#include "DataChannelOs.h"

namespace {

int GPassed = 0;
int GFailed = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  ++(ok ? GPassed : GFailed);
}

// Names of this run's own, so that nothing else on the desktop shares them.
std::string Suffix() { return "-wintest-" + std::to_string(::GetCurrentProcessId()); }
const std::string GBlockName = std::string(kMapFileName) + Suffix();
const std::string GMessageName = std::string(kDataReadyMessageName) + Suffix();

// Polls `done` until it holds or five seconds have passed.
bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::Sleep(1);
  }
  return true;
}

std::string OpenError(const std::string& name) {
  TDataBlockView view;
  try {
    view.Open(name);
  } catch (const EDataChannelError& e) {
    return e.Message();
  }
  return "(no error)";
}

// ---- a stand-in for the skin window ----------------------------------------------

// A hidden top-level window of the skin window's class, on a thread of its
// own that pumps its messages, as the dashboard's user-interface thread
// does. It counts the data-ready messages and keeps the last WPARAM.
class TSkinWindowStandIn {
public:
  explicit TSkinWindowStandIn(UINT message) : FMessage(message) {
    FThread = std::thread([this] { Run(); });
    WaitUntil([this] { return FReady.load(); });
  }
  ~TSkinWindowStandIn() {
    if (FWindow) ::PostMessageA(FWindow, WM_CLOSE, 0, 0);
    FThread.join();
  }
  bool Created() const { return FWindow != nullptr; }
  int Received() const { return FReceived.load(); }
  uint64_t LastWParam() const { return FLastWParam.load(); }
  DWORD ThreadId() const { return FThreadId; }

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TSkinWindowStandIn*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == self->FMessage) {
      self->FLastWParam = static_cast<uint64_t>(wParam);
      ++self->FReceived;
      return 0;
    }
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcA(window, message, wParam, lParam);
  }

  void Run() {
    FThreadId = ::GetCurrentThreadId();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TSkinForm";
    ::RegisterClassA(&windowClass);  // a second stand-in finds it registered
    FWindow = ::CreateWindowExA(0, "TSkinForm", "stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
    if (FWindow) ::SetWindowLongPtrA(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FReady = true;
    if (!FWindow) return;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }

  UINT FMessage;
  std::thread FThread;
  HWND FWindow = nullptr;
  DWORD FThreadId = 0;
  std::atomic<bool> FReady{false};
  std::atomic<int> FReceived{0};
  std::atomic<uint64_t> FLastWParam{0};
};

const char* DeliveryName(TNotifyDelivery delivery) {
  switch (delivery) {
    case ndPost: return "post";
    case ndSend: return "send";
    case ndBroadcast: return "broadcast";
  }
  return "?";
}

// ---- the checks ------------------------------------------------------------------

void TheDashboardSeesTheHostsSlotsReadOnly() {
  TDataChannelHost host(3, GBlockName, GMessageName);
  Check(host.BlockSize() == 16, "the host's block is 4*(N+1) bytes");
  const float values[] = {3500.0f, 42.0f, -1.5f};
  for (int32_t slot = 1; slot <= 3; ++slot) host.WriteSlot(slot, values[slot - 1]);

  TDataBlockView view;
  view.Open(GBlockName);
  Check(view.Mapped() && view.SlotCount() >= 3, "the dashboard maps the block with its three slots");
  for (int32_t slot = 1; slot <= 3; ++slot)
    Check(view.ReadSlot(slot) == values[slot - 1], "slot " + std::to_string(slot) + " reads what the host wrote");
  Check(!view.ReadSlot(0), "slot 0 carries no sensor");
  host.WriteSlot(2, 43.0f);
  view.Refresh();
  Check(view.ReadSlot(2) == 43.0f, "a later write is seen by the next read, after a refresh");

  // The view underneath, as the backend opens it for the dashboard.
  channel_os::TOsBlock block;
  Check(channel_os::OpenBlockReadOnly(GBlockName, block) == channel_os::TOsOpenResult::orOpened,
        "the backend opens the block");
  MEMORY_BASIC_INFORMATION info{};
  ::VirtualQuery(block.FAddress, &info, sizeof info);
  Check(info.Protect == PAGE_READONLY, "the dashboard's view is read-only");
  Check(block.FSize >= 16 && channel_os::BlockLiveSize(block) == block.FSize && channel_os::BlockFaults(block) == 0,
        "the view covers the block, and its size never changes");
  channel_os::CloseBlock(block);

  // The contract's name, byte for byte, without any prefix.
  HANDLE raw = ::OpenFileMappingA(FILE_MAP_READ, FALSE, GBlockName.c_str());
  Check(raw != nullptr, "the mapping is found under exactly its name");
  if (raw) ::CloseHandle(raw);
  view.Release();
  Check(!view.Mapped() && !view.ReadSlot(1), "a released view reads nothing");
}

void AMissingBlockIsAnOpenFailure() {
  const std::string missing = GBlockName + "-missing";
  channel_os::TOsBlock block;
  Check(channel_os::OpenBlockReadOnly(missing, block) == channel_os::TOsOpenResult::orOpenFailed &&
            block.FAddress == nullptr,
        "opening a missing name gives orOpenFailed and leaves nothing open");
  Check(OpenError(missing) == "Error", "the dashboard's message for a missing block is \"Error\"");
}

void AnExistingMappingIsSharedZeroedOrRefused() {
  const std::string name = GBlockName + "-existing";
  // Another holder made it first, one page long, with values in it.
  HANDLE other = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, name.c_str());
  auto* slots = static_cast<float*>(::MapViewOfFile(other, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  slots[1] = 7.0f;
  {
    TDataChannelHost host(2, name, GMessageName);
    Check(slots[1] == 0.0f, "a host sharing an existing mapping starts its slots at zero");
    host.WriteSlot(1, 9.0f);
    Check(slots[1] == 9.0f, "and writes the shared mapping");
  }
  bool refused = false;
  std::string message;
  try {
    TDataChannelHost big(4096, name, GMessageName);  // 16388 bytes: more than the page there is
  } catch (const EDataChannelError& e) {
    refused = true;
    message = e.Message();
  }
  Check(refused && message.find(name) != std::string::npos,
        "an existing mapping too small for the host is refused: " + message);
  ::UnmapViewOfFile(slots);
  ::CloseHandle(other);
}

void TheListenerLeavesTheMessagesToTheWindow() {
  Check(channel_os::NotificationsAreWindowMessages(), "notifications are window messages");
  int error = 0;
  Check(!channel_os::BindReceiver(GMessageName, error) && error == ERROR_NOT_SUPPORTED,
        "there is no receiver to bind");
  int callbacks = 0;
  TDataReadyListener listener([&](uint64_t) { ++callbacks; }, GMessageName);
  Check(listener.Listening() && listener.BindError() == 0, "the listener reports listening, with no bind error");
  listener.Stop();
  Check(!listener.Listening() && callbacks == 0, "it stops at once and never called back");
}

void EachDeliveryReachesTheSkinWindow() {
  const UINT message = ::RegisterWindowMessageA(GMessageName.c_str());
  Check(message >= 0xC000, "the message name registers");
  Check(::FindWindowA("TSkinForm", nullptr) == nullptr, "no skin window exists yet");
  TDataChannelHost post(1, GBlockName, GMessageName, TDataChannelHost::kDefaultNotifyTimeout, ndPost);
  TDataChannelHost send(1, GBlockName + "-send", GMessageName, TDataChannelHost::kDefaultNotifyTimeout, ndSend);
  TDataChannelHost broadcast(1, GBlockName + "-broadcast", GMessageName, TDataChannelHost::kDefaultNotifyTimeout,
                             ndBroadcast);
  Check(!post.Notify(), "post without a skin window is not delivered");
  Check(!send.Notify(), "send without a skin window is not delivered");
  Check(broadcast.Notify(), "a broadcast is delivered to the system even without a skin window");

  struct TCase {
    TDataChannelHost& Host;
    TNotifyDelivery Delivery;
  };
  const TCase cases[] = {{post, ndPost}, {send, ndSend}, {broadcast, ndBroadcast}};
  {
    TSkinWindowStandIn window(message);
    Check(window.Created(), "a hidden window of class TSkinForm is created");
    int expected = 0;
    for (const TCase& c : cases) {
      const std::string what = std::string(DeliveryName(c.Delivery)) + ": ";
      const uint64_t before = MonotonicNanoseconds();
      const bool delivered = c.Host.Notify();
      const uint64_t after = MonotonicNanoseconds();
      ++expected;
      Check(delivered, what + "Notify reports delivery");
      if (c.Delivery == ndSend)
        Check(window.Received() == expected, what + "the window has handled it when Notify returns");
      Check(WaitUntil([&] { return window.Received() >= expected; }), what + "the window receives the message");
      // The send time rides in WPARAM where it is 64 bits wide.
      const uint64_t wParam = window.LastWParam();
      if (sizeof(WPARAM) >= 8)
        Check(wParam >= before && wParam <= after, what + "WPARAM carries the host's send time");
      else
        Check(wParam == 0, what + "WPARAM is 0 where it cannot hold the send time");
    }
    ::Sleep(50);
    Check(window.Received() == expected, "each notification arrived exactly once");
    // A message that merely names the same identifier is the same message.
    const UINT again = ::RegisterWindowMessageA(GMessageName.c_str());
    Check(again == message, "registering the name again gives the same identifier");
  }
  Check(!post.Notify() && !send.Notify(), "once the window is gone, post and send report no delivery");
  TSkinWindowStandIn restarted(message);
  Check(post.Notify() && WaitUntil([&] { return restarted.Received() == 1; }),
        "a restarted skin window is found again by the same host");
}

}  // namespace

int main() {
  const std::pair<const char*, void (*)()> groups[] = {
      {"block", TheDashboardSeesTheHostsSlotsReadOnly},
      {"missing block", AMissingBlockIsAnOpenFailure},
      {"existing mapping", AnExistingMappingIsSharedZeroedOrRefused},
      {"listener", TheListenerLeavesTheMessagesToTheWindow},
      {"deliveries", EachDeliveryReachesTheSkinWindow},
  };
  for (const auto& [name, run] : groups) {
    try {
      run();
    } catch (const std::exception& e) {
      Check(false, std::string(name) + " raised: " + e.what());
    }
  }
  std::printf("%d passed, %d failed\n", GPassed, GFailed);
  return GFailed == 0 ? 0 : 1;
}
