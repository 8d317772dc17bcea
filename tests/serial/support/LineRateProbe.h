// Reads a terminal's line rate the way the kernel keeps it (termios2), for
// checking what the library set, independently of the library's own code.
#pragma once

#include <cstdint>

namespace serialtest {

struct LineRateReading {
  bool FOk = false;
  uint32_t FOutputRate = 0;
  uint32_t FInputRate = 0;
  bool FByNumber = false;  // BOTHER: the rate is a number, not a classic code
};

LineRateReading ReadTermios2(int fd);

}  // namespace serialtest
