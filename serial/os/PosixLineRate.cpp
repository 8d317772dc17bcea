#include "os/PosixLineRate.h"

// The kernel's own termios definitions: struct termios2, BOTHER, TCGETS2.
// <sys/ioctl.h> would bring the C library's clashing termios types, so the
// one function needed from it is declared here.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace serialkvl {

int WriteTerminalSettings(int fd, const TerminalModes& modes, uint32_t rateCode, uint32_t rate) {
  struct termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  t.c_iflag = modes.FInputFlags;
  t.c_oflag = modes.FOutputFlags;
  t.c_lflag = modes.FLocalFlags;
  // Output rate by code or by number; input rate bits cleared mean "same as
  // output".
  t.c_cflag = modes.FControlFlags & ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= rateCode != 0 ? (rateCode & CBAUD) : BOTHER;
  t.c_ospeed = rate;
  t.c_ispeed = rate;
  t.c_cc[VMIN] = modes.FMinimum;
  t.c_cc[VTIME] = modes.FTime;
  if (ioctl(fd, TCSETS2, &t) != 0) return errno;
  return 0;
}

int ReadLineRate(int fd, uint32_t& rate) {
  struct termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  rate = t.c_ospeed;
  return 0;
}

bool LineRateTaken(uint32_t asked, uint32_t actual) {
  const uint64_t difference = asked > actual ? asked - actual : actual - asked;
  // Within 3 %: the tolerance UART links live with, and wider than any
  // rounding a driver does before it gives up and falls back.
  return difference * 100 <= uint64_t(asked) * 3;
}

}  // namespace serialkvl
