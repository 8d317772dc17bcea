// Window messages: the record handed to message handlers, and registered
// message identifiers (equal for equal names within the process, like the
// system-wide registration they stand for).
// Thread rules: RegisterWindowMessage is thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

struct TMessage {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
};

// Identifiers below this are the framework's own; registered names take
// identifiers from here up, as on the system the contract comes from.
constexpr uint32_t kFirstRegisteredMessage = 0xC000;

// Returns the identifier of the named message, allocating one on first use.
// Names are compared exactly (case matters). On Windows this is the
// system's registration, shared with other processes (os/SystemWin32.cpp);
// elsewhere the process keeps its own (os/SystemPosix.cpp).
uint32_t RegisterWindowMessage(std::string_view name);
