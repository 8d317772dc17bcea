// Line rates on Linux through termios2, so that any rate the driver accepts
// can be set, not only the classic table of terminal speed codes.
//
// Purpose: the classic termios interface names rates by code (B9600) and has
// none for 10400, 14400, 56000, 128000 or 256000, which serial drivers accept.
// termios2 with BOTHER carries the rate as a number. The modes and the rate
// are written in one request: the C library's tcsetattr also reads the
// settings back and calls a pseudo-terminal's dropped parity bit a failure,
// which would refuse every pseudo-terminal whose rate is not changing. These
// functions live in their own translation unit because the kernel's termios2
// header cannot be included beside <termios.h>.
//
// Thread rules: any thread; each call is one or two ioctls on fd.
//
// Errors: 0 or the errno of the failed ioctl.
#pragma once

#include <cstdint>

namespace serialkvl {

// The modes of a terminal as the classic interface holds them (the flag
// words have the same bits in both interfaces), without the rate.
struct TerminalModes {
  uint32_t FInputFlags = 0;
  uint32_t FOutputFlags = 0;
  uint32_t FControlFlags = 0;  // its rate bits are replaced
  uint32_t FLocalFlags = 0;
  uint8_t FMinimum = 1;  // VMIN
  uint8_t FTime = 0;     // VTIME
};

// Writes the modes and the rate (input and output alike) in one request;
// other control characters stay as they are. rateCode is the classic code
// of the rate (B9600), or 0 to give the rate by number.
int WriteTerminalSettings(int fd, const TerminalModes& modes, uint32_t rateCode, uint32_t rate);
// The output rate in effect, in bits per second, whatever set it.
int ReadLineRate(int fd, uint32_t& rate);
// Whether a driver that reports `actual` after being asked for `asked` has
// really taken the rate: drivers round to what their clock divides to (a few
// per cent at most) but fall back to a default rate when they refuse.
bool LineRateTaken(uint32_t asked, uint32_t actual);

}  // namespace serialkvl
