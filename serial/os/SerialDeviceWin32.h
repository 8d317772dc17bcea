// Win32 backend of SerialDevice: the kernel's serial communications API.
//
// Port names are the system's own ("COM4"); a port is opened as the device
// path "\\.\" + name, exclusively, for overlapped input and output. Line
// settings are the device control block (DCB) read from the driver with
// every field the profile does not govern kept as read; time-outs are the
// driver's COMMTIMEOUTS; modem lines, purges and the queued-input count are
// EscapeCommFunction, PurgeComm and ClearCommError. Reads and writes are
// overlapped ReadFile / WriteFile completed through GetOverlappedResult on
// the device's own manual-reset event, waited for with a time-out.
//
// Presence (EnumPortRS) never opens a port: the platform must be one of the
// two Win32 families, and the driver must give the port a default
// configuration (GetDefaultCommConfigA), whether or not someone has it open.
//
// Waiting for input: the reader waits on WaitCommEvent(EV_RXCHAR) together
// with the wake event that host threads ring, so an idle port costs nothing
// and a reply is seen as soon as the driver has it.
//
// Thread rules and errors: as SerialDevice. Statuses are Win32 error codes
// (GetLastError); a timed-out wait is WAIT_TIMEOUT (258).
#pragma once

#include <cstdint>
#include <string>

namespace serialkvl {

// "\\.\" + port name; empty when the path would pass its 15 characters.
std::string Win32DevicePath(const char* portName);

}  // namespace serialkvl
