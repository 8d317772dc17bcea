// POSIX backend of SerialDevice: terminals under /dev, found through a
// port-map directory.
//
// Port names: the host names ports the way it always has ("COM4"). A name
// resolves through the port-map directory, which holds one symbolic link per
// port, named after the port in lower case ("com4 -> /dev/ttyUSB0"). The
// directory is taken from the environment variable SERIALKVL_PORTS when it is
// set and not empty, else it is /etc/serialKVL/ports. With the default
// directory, a name COMn that has no link falls back to the machine's own
// UART /dev/ttyS(n-1); a directory named by the environment is the whole map
// (tests rely on that to see only their own devices).
//
// Exclusive open: open(O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC), then
// flock(LOCK_EX|LOCK_NB), which refuses a second opener even when it runs as
// root, then TIOCEXCL (cleared again before close). A refused open is EACCES.
//
// Thread rules and errors: as SerialDevice. Resolution reads the environment
// on every call and keeps no state.
#pragma once

#include <string>

#include "os/SerialDevice.h"

namespace serialkvl {

// Default location of the port-map directory.
inline constexpr const char* kDefaultPortMapDirectory = "/etc/serialKVL/ports";
// Environment variable that overrides it.
inline constexpr const char* kPortMapVariable = "SERIALKVL_PORTS";

// Resolves a port name to the path to open; 0 or ENOENT.
int ResolvePortPath(const char* portName, std::string& path);

}  // namespace serialkvl
