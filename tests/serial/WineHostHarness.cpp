// Runs the Windows test program of serialKVL.dll under Wine, against the
// same simulated devices as the Linux tests.
//
//   serial_wine_harness <wine64> <prefix directory> <serial_wine_natives.exe>
//
// Creates the Wine prefix when it does not exist yet, puts a pseudo-terminal
// with a device simulator behind each COM port the program uses (links
// dosdevices/comN -> /dev/pts/M, which Wine opens as serial ports), runs the
// program with wine64 and echoes its output, then checks that each
// profile's line rate reached its pseudo-terminal. Fails when the program
// fails, prints no final "OK", has not finished within four minutes, or a
// rate is wrong. Exits with 77, after printing why, when Wine cannot even
// create its prefix in this environment (twice, the second time verbosely).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/PtySimulator.h"

using namespace serialtest;

extern char** environ;

namespace {

constexpr int kRunSeconds = 240;
// The exit status that says Wine itself cannot run here (not a test failure).
constexpr int kWineUnavailable = 77;

struct Child {
  pid_t FPid = -1;
  int FOutput = -1;  // read end of its stdout and stderr, or -1
};

// Starts argv with the environment plus settings; output to a pipe, or
// discarded when capture is false.
Child Start(const std::vector<std::string>& argv, const std::vector<std::string>& settings, bool capture) {
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = entry.rfind("DISPLAY=", 0) == 0;  // Wine shows nothing here
    for (const std::string& setting : settings) {
      if (entry.rfind(setting.substr(0, setting.find('=') + 1), 0) == 0) replaced = true;
    }
    if (!replaced) environment.push_back(entry);
  }
  environment.insert(environment.end(), settings.begin(), settings.end());
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);

  int fds[2] = {-1, -1};
  if (capture && pipe(fds) != 0) return {};
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    setpgid(0, 0);  // its own group, so that a time-out ends all of it
    dup2(null, 0);
    dup2(capture ? fds[1] : null, 1);
    dup2(capture ? fds[1] : null, 2);
    if (capture) {
      close(fds[0]);
      close(fds[1]);
    }
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(null);
  if (capture) close(fds[1]);
  return {pid, capture ? fds[0] : -1};
}

// Waits for the child, collecting its output; kills its group after seconds.
int Finish(const Child& child, int seconds, std::string& output, bool& timedOut) {
  timedOut = false;
  if (child.FOutput >= 0) fcntl(child.FOutput, F_SETFL, O_NONBLOCK);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  for (;;) {
    if (child.FOutput >= 0) {
      char buffer[4096];
      ssize_t n;
      while ((n = read(child.FOutput, buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
    }
    const pid_t done = waitpid(child.FPid, &status, WNOHANG);
    if (done == child.FPid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      timedOut = true;
      kill(-child.FPid, SIGKILL);
      waitpid(child.FPid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (child.FOutput >= 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(child.FOutput, buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
    close(child.FOutput);
  }
  return status;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Creates a fresh prefix with wineboot and waits for its server to write the
// registry out. On failure, why holds the boot's output and what the
// filesystem had to offer.
bool CreatePrefix(const std::string& wine, const std::string& wineserver, const std::string& prefix,
                  const std::vector<std::string>& settings, std::string& why) {
  std::error_code ignoredError;
  {
    std::string ignored;
    bool timedOut = false;
    Finish(Start({wineserver, "-k"}, settings, false), 30, ignored, timedOut);  // a server left from before
  }
  std::filesystem::remove_all(prefix, ignoredError);
  std::filesystem::create_directories(std::filesystem::path(prefix).parent_path(), ignoredError);
  std::cout << "creating the Wine prefix " << prefix << "\n" << std::flush;
  std::string output;
  bool timedOut = false;
  const int status = Finish(Start({wine, "wineboot", "-i"}, settings, true), 180, output, timedOut);
  // The server writes the new registry out only when it ends.
  std::string ignored;
  bool serverTimedOut = false;
  Finish(Start({wineserver, "-w"}, settings, false), 60, ignored, serverTimedOut);
  if (!timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0 && Exists(prefix + "/system.reg")) return true;

  // The end of the output is what tells; a verbose boot writes thousands of lines.
  constexpr size_t kTail = 12000;
  if (output.size() > kTail) output = "...\n" + output.substr(output.size() - kTail);
  why = output + "wineboot failed (status " + std::to_string(status) + (timedOut ? ", timed out" : "") + ")\n";
  const std::filesystem::space_info space = std::filesystem::space(std::filesystem::path(prefix).parent_path(), ignoredError);
  if (!ignoredError) why += "free space beside the prefix: " + std::to_string(space.available >> 20) + " MiB\n";
  const std::string kernel32 = prefix + "/drive_c/windows/system32/kernel32.dll";
  struct stat st;
  why += kernel32 + (stat(kernel32.c_str(), &st) == 0 ? ": " + std::to_string(st.st_size) + " bytes\n" : ": missing\n");
  why += "uid " + std::to_string(getuid()) + "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: serial_wine_harness <wine64> <prefix directory> <serial_wine_natives.exe>\n";
    return 2;
  }
  const std::string wine = argv[1];
  const std::string prefix = argv[2];
  const std::string program = argv[3];
  // The server beside wine64 (Debian: /usr/lib/wine), else the packaged one.
  std::string wineserver = wine.substr(0, wine.rfind('/') + 1) + "wineserver";
  if (access(wineserver.c_str(), X_OK) != 0) wineserver = "/usr/lib/wine/wineserver";
  // No Mono or Gecko installer prompts, no debug chatter.
  const std::vector<std::string> settings = {"WINEPREFIX=" + prefix, "WINEDEBUG=-all",
                                             "WINEDLLOVERRIDES=mscoree,mshtml="};

  if (!Exists(prefix + "/system.reg")) {
    std::string why;
    if (!CreatePrefix(wine, wineserver, prefix, settings, why)) {
      // A second try from nothing, with Wine's loader telling what it opens,
      // so that a log shows why this environment will not boot it.
      std::cerr << why;
      std::cout << "creating the prefix again, with Wine's loader messages\n" << std::flush;
      std::vector<std::string> verbose = settings;
      verbose[1] = "WINEDEBUG=err+all,warn+module,+loaddll";
      if (!CreatePrefix(wine, wineserver, prefix, verbose, why)) {
        std::cerr << why << "SKIPPED the Windows test program: Wine cannot create a prefix here (see above)\n";
        return kWineUnavailable;
      }
    }
  }

  // The devices. The links are made afresh each run; COM9 must have none.
  const Bytes logFrame{0x5A, 0xA5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const Bytes ztFrame{0x00, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  std::vector<std::unique_ptr<PtySimulator>> devices;
  std::vector<std::string> links;
  const std::string dosdevices = prefix + "/dosdevices/";
  for (int n = 2; n <= 32; ++n) unlink((dosdevices + "com" + std::to_string(n)).c_str());
  auto link = [&](int number, const std::string& target) {
    const std::string path = dosdevices + "com" + std::to_string(number);
    if (symlink(target.c_str(), path.c_str()) != 0) throw std::runtime_error("symlink " + path);
    links.push_back(path);
  };
  auto add = [&](int number, Responder responder) {
    devices.push_back(std::make_unique<PtySimulator>(std::move(responder)));
    link(number, devices.back()->SlavePath());
  };
  add(2, KVLv1Responder());
  add(3, KVLv2Responder());
  add(4, FixedResponder(logFrame));
  add(5, FixedResponder(ztFrame));
  add(6, {});
  add(7, {});
  link(8, devices.back()->SlavePath());  // a second name of COM7's line
  add(12, {});
  add(20, {});
  add(10, {});
  std::thread unplugger = VanishAfterFrames(*devices.back(), B19200, logFrame, 3, 200);

  // A server of our own whose chatter goes nowhere; the test program then
  // writes only its own lines to the pipe.
  bool timedOut = false;
  {
    std::string ignored;
    Finish(Start({wineserver, "-p5"}, settings, false), 30, ignored, timedOut);
  }

  std::string output;
  const int status = Finish(Start({wine, program}, settings, true), kRunSeconds, output, timedOut);
  std::erase(output, '\r');  // the program's console output has Windows line ends
  std::cout << output << std::flush;
  for (const std::string& path : links) unlink(path.c_str());
  unplugger.join();

  // The error texts once more under a French locale, whose system messages
  // carry accents.
  std::vector<std::string> french = settings;
  french.push_back("LC_ALL=fr_FR.UTF-8");
  std::string frenchOutput;
  bool frenchTimedOut = false;
  const int frenchStatus = Finish(Start({wine, program, "texts"}, french, true), 60, frenchOutput, frenchTimedOut);
  std::erase(frenchOutput, '\r');
  std::cout << "-- the error texts under LC_ALL=fr_FR.UTF-8\n" << frenchOutput << std::flush;

  // The rate each profile's DCB asked for has reached the line (a
  // pseudo-terminal keeps its last settings; it starts at 38400). Parity and
  // modem lines are not carried by pseudo-terminals, so only the rate tells.
  struct Rate {
    int FDevice;
    const char* FPort;
    speed_t FSpeed;
    const char* FText;
  };
  const Rate rates[] = {{0, "COM2 (KVLv1)", B9600, "9600"}, {1, "COM3 (KVLv2)", B4800, "4800"},
                        {2, "COM4 (LOG2A0)", B19200, "19200"}, {3, "COM5 (ZT2)", B9600, "9600"}};
  bool ratesOk = true;
  for (const Rate& rate : rates) {
    termios t{};
    const bool ok = tcgetattr(devices[static_cast<size_t>(rate.FDevice)]->MasterFd(), &t) == 0 &&
                    cfgetospeed(&t) == rate.FSpeed;
    ratesOk = ratesOk && ok;
    std::cout << (ok ? "PASS " : "FAIL ") << "line rate of " << rate.FPort << " is " << rate.FText << " baud\n";
  }

  if (timedOut) {
    std::cerr << "the Windows test program did not finish within " << kRunSeconds << " s\n";
    return 1;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::cerr << "the Windows test program failed (status " << status << ")\n";
    return 1;
  }
  if (output.find("\nOK\n") == std::string::npos && output.rfind("OK\n", 0) != 0) {
    std::cerr << "the Windows test program did not report OK\n";
    return 1;
  }
  if (frenchTimedOut || !WIFEXITED(frenchStatus) || WEXITSTATUS(frenchStatus) != 0 ||
      frenchOutput.find("\nOK\n") == std::string::npos) {
    std::cerr << "the error texts under a French locale failed (status " << frenchStatus << ")\n";
    return 1;
  }
  if (!ratesOk) {
    std::cerr << "a profile's line rate did not reach the line\n";
    return 1;
  }
  return 0;
}
