// Port enumeration and status texts of serialKVL.
//
// Purpose: EnumeratePorts lists the ports COM1..COM19 that are present (as
// the platform backend's presence probe says), in ascending order; ErrorText
// turns any status the library returns into one line of text.
//
// Thread rules: any thread, concurrently. The list is built afresh by each
// call and returned by value; the error text lives in a buffer of the
// calling thread, valid until that thread's next call.
//
// Errors: none. An absent port is simply not listed; a code the system has
// no message for gives "Unknown error N".
#pragma once

#include <cstdint>

namespace serialkvl {

inline constexpr int kPortListSize = 20;

struct PortListEntry {
  char FName[10];
  char FDescription[100];
};

struct PortList {
  PortListEntry FEntries[kPortListSize];
  int32_t FCount;
};

PortList EnumeratePorts();

// Text of a status: fixed texts for the library's own codes (100000 and up),
// the system's message for everything else, negative codes included.
const char* ErrorText(int32_t code);

}  // namespace serialkvl
