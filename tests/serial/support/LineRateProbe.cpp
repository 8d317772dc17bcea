#include "support/LineRateProbe.h"

// The kernel's termios2; <sys/ioctl.h> would clash with it.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace serialtest {

LineRateReading ReadTermios2(int fd) {
  LineRateReading reading;
  struct termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return reading;
  reading.FOk = true;
  reading.FOutputRate = t.c_ospeed;
  reading.FInputRate = t.c_ispeed;
  reading.FByNumber = (t.c_cflag & CBAUD) == BOTHER;
  return reading;
}

}  // namespace serialtest
