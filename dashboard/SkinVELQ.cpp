// SkinVELQ: the dashboard program. The host starts it with one argument, the
// skin's directory name, in a directory that holds Skin/.
#include <cstdio>
#include <string>
#include <vector>

#include "SkinMain.h"
#ifdef _WIN32
#include "backend/win32/Win32WindowSystem.h"
// After every header of the project (see WinApi.h).
#include "os/WinApi.h"
#include <shellapi.h>
#else
#include "backend/sdl/SdlWindowSystem.h"
#endif

#ifdef _WIN32
namespace {
// The arguments in UTF-8, from the wide command line: the narrow argv is in
// the ANSI code page, which cannot carry every skin name, and the
// framework's file functions take UTF-8.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}
}  // namespace

// A GUI-subsystem program: MinGW's start-up code calls main all the same.
int main(int argc, char** argv) {
  try {
    std::vector<std::string> arguments = Utf8Arguments();
    std::vector<char*> pointers;
    for (std::string& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    // Without a wide command line the narrow one is all there is.
    if (!arguments.empty()) {
      argc = static_cast<int>(arguments.size());
      argv = pointers.data();
    }
    if (AnswerHelpRequest(argc, argv)) return 0;
    TWin32WindowSystem windowSystem;
    return SkinVELQMain(argc, argv, windowSystem);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "SkinVELQ: %s\n", e.what());
    return 1;
  }
}
#else
int main(int argc, char** argv) {
  try {
    if (AnswerHelpRequest(argc, argv)) return 0;
    TSdlWindowSystem windowSystem("TSkinForm");
    return SkinVELQMain(argc, argv, windowSystem);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "SkinVELQ: %s\n", e.what());
    return 1;
  }
}
#endif
