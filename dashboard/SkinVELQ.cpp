// SkinVELQ: the dashboard program. The host starts it with one argument, the
// skin's directory name, in a directory that holds Skin/.
#include <cstdio>

#include "SkinMain.h"
#include "backend/sdl/SdlWindowSystem.h"

int main(int argc, char** argv) {
  try {
    TSdlWindowSystem windowSystem("TSkinForm");
    return SkinVELQMain(argc, argv, windowSystem);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "SkinVELQ: %s\n", e.what());
    return 1;
  }
}
