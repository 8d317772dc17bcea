// POSIX backend of SerialDevice: terminals under /dev, found through a
// port-map directory.
//
// Port names: the host names ports the way it always has ("COM4"). A name
// resolves through the port-map directory, which holds one symbolic link per
// port, named after the port in lower case ("com4 -> /dev/serial/by-id/...").
// The directory is taken from the environment variable SERIALKVL_PORTS when
// it is set and not empty, else it is /etc/serialKVL/ports. A name COMn that
// has no link falls back to the machine's own UART ttyS(n-1) under the device
// directory, except when SERIALKVL_PORTS names the map and SERIALKVL_DEV does
// not redirect the device directory: a map named for tests is then the whole
// map, and only a complete fake tree brings its own UARTs. Links are read on
// every open, so a replugged adapter that comes back under another
// /dev/ttyUSBn is found again through its by-id link.
//
// Presence (EnumPortRS) never opens a device: a port is present when its
// name resolves to a tty that sysfs shows with a device behind it, or to a
// pseudo-terminal (which has no modem lines to disturb).
//
// Exclusive open: open(O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC), then
// flock(LOCK_EX|LOCK_NB), which refuses a second opener even when it runs as
// root, then TIOCEXCL (cleared again before close). A refused open is EACCES.
//
// Line rates: the classic rate codes where one exists, any other rate through
// termios2 (Linux). A rate of 0 (hang-up, not a rate) and a rate the driver
// does not take are EINVAL.
//
// Writes end when the output has drained: the driver queue is empty
// (TIOCOUTQ) and, where the driver tells, the transmitter too.
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

// The port-map directory in effect.
std::string PortMapDirectory();
// True when names without a link fall back to the UARTs (see above).
bool UartFallbackActive();
// The link name of a port: the name in lower case; empty for a name that
// cannot be one directory entry.
std::string PortLinkName(const char* portName);

// Resolves a port name to the path to open; 0 or ENOENT.
int ResolvePortPath(const char* portName, std::string& path);

}  // namespace serialkvl
