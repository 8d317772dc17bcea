#include "SerialEnum.h"

#include <cstdio>
#include <cstring>

#include "SerialPorts.h"
#include "os/SerialDevice.h"

namespace serialkvl {

namespace {

// Each host thread has its own text buffer: hosts call ExpliciteLastError
// from any thread, and one thread's lookup must not rewrite the text
// another is still copying.
thread_local char gErrorText[512];

void AddPort(PortList& list, const char* name, const char* description) {
  if (list.FEntries[0].FName[0] == '\0') list.FCount = 0;
  if (list.FCount >= kPortListSize) return;
  PortListEntry& entry = list.FEntries[list.FCount];
  std::snprintf(entry.FName, sizeof entry.FName, "%s", name);
  std::snprintf(entry.FDescription, sizeof entry.FDescription, "%s", description);
  ++list.FCount;
}

}  // namespace

PortList EnumeratePorts() {
  PortList list{};
  const SerialBackend& backend = ActiveSerialBackend();
  for (unsigned n = 1; n <= 19; ++n) {
    char name[10];
    std::snprintf(name, sizeof name, "COM%u", n);
    if (backend.FIsPresent(name)) AddPort(list, name, "");
  }
  return list;
}

const char* ErrorText(int32_t code) {
  if (code >= 100000) {
    if (code == CODE_COMM_TIMEOUT) return " Communication timeout ";
    if (code == CODE_OPEN_FAILED) return " Fail to open com port ";
    return " Erreur inconnue ";
  }
  if (!SystemErrorMessage(code, gErrorText, sizeof gErrorText) || gErrorText[0] == '\0') {
    // A code the system has no text for gets one line that names it, never
    // the previous lookup's text.
    std::snprintf(gErrorText, sizeof gErrorText, "Unknown error %d", static_cast<int>(code));
  }
  // A message may end in a line break; the host shows one line.
  // The two checks are independent: a carriage return just before the last
  // character goes whether or not a line feed was cut.
  const size_t length = std::strlen(gErrorText);
  if (length > 1) {
    if (gErrorText[length - 1] == '\n') gErrorText[length - 1] = '\0';
    if (gErrorText[length - 2] == '\r') gErrorText[length - 2] = '\0';
  }
  return gErrorText;
}

}  // namespace serialkvl
