// The data channel over Win32: a named file mapping for the block and a
// registered window message for the notification.
//
// The names are used as they are, without "Local\" or "Global\": a host
// and the dashboard it feeds run in one session, and a host that creates
// the mapping itself must find it under exactly the name it gave.
//
// A pagefile-backed mapping keeps its size for as long as anyone holds it:
// it cannot shrink under a reader, so a view needs no fault guard and its
// size never changes. The size of a view is what VirtualQuery reports,
// whole pages: the system maps a block in pages, and every byte of the last
// page reads (as zero past the block's end) without a fault.
//
// The notification needs no receiver of ours: the window system delivers
// the registered message to the skin window's window procedure, which the
// framework hands to the form like any other message. The sender finds
// that window by its class name, "TSkinForm", or broadcasts.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <span>

#include "../DataChannel.h"
#include "../DataChannelOs.h"

namespace channel_os {

namespace {

// The window class of the skin window, the host's only way to address it.
constexpr const char* kSkinWindowClass = "TSkinForm";

HANDLE AsHandle(intptr_t handle) noexcept { return reinterpret_cast<HANDLE>(handle); }

// Bytes of the view that starts at `address`: the run of pages mapped there
// alike, which for a view of a file mapping is the whole view.
size_t ViewSize(const void* address) noexcept {
  MEMORY_BASIC_INFORMATION info{};
  if (::VirtualQuery(address, &info, sizeof info) == 0) return 0;
  return info.RegionSize;
}

void CloseView(void* address, HANDLE mapping) noexcept {
  if (address) ::UnmapViewOfFile(address);
  if (mapping) ::CloseHandle(mapping);
}

class TWin32Sender final : public TOsNotifySender {
public:
  TWin32Sender(UINT message, std::chrono::milliseconds timeout, TNotifyDelivery delivery)
      : FMessage(message), FTimeout(timeout), FDelivery(delivery) {}

  TOsSendResult Send(const void* payload, size_t size) noexcept override {
    // The send time fits only where WPARAM is 64 bits wide; elsewhere the
    // message carries none, which the dashboard reads as "not timed".
    WPARAM wParam = 0;
    if constexpr (sizeof(WPARAM) >= sizeof(uint64_t)) {
      if (payload)
        wParam = static_cast<WPARAM>(
            NotificationSendTime(std::span<const unsigned char>(static_cast<const unsigned char*>(payload), size)));
    }
    switch (FDelivery) {
      case ndBroadcast:
        // Every top-level window gets it; only the skin window knows the
        // identifier, the others pass it to their default procedure.
        return ::PostMessageA(HWND_BROADCAST, FMessage, wParam, 0) ? TOsSendResult::osSent
                                                                   : TOsSendResult::osQueueFull;
      case ndSend:
        return SendToWindow(wParam);
      case ndPost:
        break;
    }
    return PostToWindow(wParam);
  }

  bool SetTimeout(std::chrono::milliseconds timeout) noexcept override {
    FTimeout = timeout;
    return true;
  }

private:
  // The skin window, found again when the one found before has gone (the
  // dashboard was restarted) or none was there yet.
  HWND Window() noexcept {
    if (!FWindow || !::IsWindow(FWindow)) FWindow = ::FindWindowA(kSkinWindowClass, nullptr);
    return FWindow;
  }

  TOsSendResult PostToWindow(WPARAM wParam) noexcept {
    const auto deadline = std::chrono::steady_clock::now() + FTimeout;
    for (;;) {
      HWND window = Window();
      if (!window) return TOsSendResult::osNoReceiver;
      if (::PostMessageA(window, FMessage, wParam, 0)) return TOsSendResult::osSent;
      // A full queue (the system keeps 10000 messages per thread) is waited
      // out for the time-out, like a full socket queue; a window that went
      // away between the look-up and the post is looked up once more.
      if (::GetLastError() != ERROR_NOT_ENOUGH_QUOTA) {
        if (::IsWindow(window)) return TOsSendResult::osNoReceiver;
        FWindow = nullptr;
        window = Window();
        if (!window) return TOsSendResult::osNoReceiver;
        return ::PostMessageA(window, FMessage, wParam, 0) ? TOsSendResult::osSent : TOsSendResult::osNoReceiver;
      }
      if (std::chrono::steady_clock::now() >= deadline) return TOsSendResult::osQueueFull;
      ::Sleep(1);
    }
  }

  TOsSendResult SendToWindow(WPARAM wParam) noexcept {
    HWND window = Window();
    if (!window) return TOsSendResult::osNoReceiver;
    // No time-out wanted: delivered as a sent message, without waiting for
    // the frame pass.
    if (FTimeout.count() <= 0)
      return ::SendNotifyMessageA(window, FMessage, wParam, 0) ? TOsSendResult::osSent : TOsSendResult::osNoReceiver;
    // A hung dashboard (or one still busy when the time-out ends) costs the
    // host at most the time-out, never its frame loop.
    DWORD_PTR result = 0;
    const auto timeout = static_cast<UINT>(std::min<long long>(FTimeout.count(), 0x7FFFFFFF));
    if (::SendMessageTimeoutA(window, FMessage, wParam, 0, SMTO_ABORTIFHUNG, timeout, &result))
      return TOsSendResult::osSent;
    return ::IsWindow(window) ? TOsSendResult::osQueueFull : TOsSendResult::osNoReceiver;
  }

  UINT FMessage;
  std::chrono::milliseconds FTimeout;
  TNotifyDelivery FDelivery;
  HWND FWindow = nullptr;
};

}  // namespace

TOsOpenResult OpenBlockReadOnly(const std::string& name, TOsBlock& block) noexcept {
  CloseBlock(block);
  HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
  if (!mapping) return TOsOpenResult::orOpenFailed;
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  const size_t size = view ? ViewSize(view) : 0;
  if (size == 0) {
    CloseView(view, mapping);
    return TOsOpenResult::orMapFailed;
  }
  block.FHandle = reinterpret_cast<intptr_t>(mapping);
  block.FAddress = view;
  block.FSize = size;
  return TOsOpenResult::orOpened;
}

// The mapping cannot shrink, so the view is as long as when it was opened.
size_t BlockLiveSize(const TOsBlock& block) noexcept { return block.FAddress ? block.FSize : 0; }

uint32_t BlockFaults(const TOsBlock&) noexcept { return 0; }

void RemapBlock(TOsBlock&) noexcept {}

int CreateBlock(const std::string& name, size_t size, TOsBlock& block) noexcept {
  CloseBlock(block);
  const auto wide = static_cast<uint64_t>(size);
  HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(wide >> 32),
                                        static_cast<DWORD>(wide & 0xFFFFFFFFu), name.c_str());
  if (!mapping) return static_cast<int>(::GetLastError());
  // An existing mapping of that name is handed back as it is, at its own
  // size: it cannot be replaced while an older host or a dashboard holds it.
  const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  void* view = ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (!view) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(mapping);
    return static_cast<int>(error);
  }
  if (existed) {
    // Too small for this host's slots: refuse rather than write past it.
    if (ViewSize(view) < size) {
      CloseView(view, mapping);
      return ERROR_ALREADY_EXISTS;
    }
    // A fresh block starts at zero, as a new mapping does.
    std::memset(view, 0, size);
  }
  block.FHandle = reinterpret_cast<intptr_t>(mapping);
  block.FAddress = view;
  block.FSize = size;
  return 0;
}

void CloseBlock(TOsBlock& block) noexcept {
  CloseView(block.FAddress, block.FHandle == -1 ? nullptr : AsHandle(block.FHandle));
  block = TOsBlock{};
}

// A mapping has no name to remove: the name lives as long as some process
// holds a handle to it, and goes with the last one (CloseBlock here, the
// dashboard's release there). A dashboard still mapping the block keeps it,
// and its name, until it lets go.
void RemoveOwnBlock(const std::string&, const TOsBlock&) noexcept {}

bool BlockStillNamed(const std::string&, const TOsBlock&) noexcept { return true; }

bool NotificationsAreWindowMessages() noexcept { return true; }

std::unique_ptr<TOsNotifyReceiver> BindReceiver(const std::string&, int& error) {
  error = ERROR_NOT_SUPPORTED;
  return nullptr;
}

std::unique_ptr<TOsNotifySender> OpenSender(const std::string& name, std::chrono::milliseconds queueTimeout,
                                            TNotifyDelivery delivery, int& error) {
  error = 0;
  // The same identifier in every process that registers the name, the
  // dashboard's window included.
  const UINT message = ::RegisterWindowMessageA(name.c_str());
  if (message == 0) {
    error = static_cast<int>(::GetLastError());
    return nullptr;
  }
  return std::make_unique<TWin32Sender>(message, queueTimeout, delivery);
}

}  // namespace channel_os
