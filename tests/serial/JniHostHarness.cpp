// Starts the Java host test against simulated devices.
//
//   serial_jni_harness <full|empty|many|stress|unplug> [--env NAME=VALUE]... -- <java command...>
//
// Builds a port map of pseudo-terminal devices (see tests/java/SerialKVLTest),
// runs the Java command with SERIALKVL_PORTS pointing at it (plus the --env
// settings, which apply to the Java process only), echoes its output and
// fails when it fails or when the JVM's JNI checker printed any warning.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/PtySimulator.h"

using namespace serialtest;

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: serial_jni_harness <full|empty|many> [--env NAME=VALUE]... -- <command...>\n";
    return 2;
  }
  const std::string mode = argv[1];
  std::vector<std::string> extraEnv;
  int i = 2;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--env") == 0 && i + 1 < argc) extraEnv.push_back(argv[++i]);
  }
  if (i >= argc - 1) return 2;
  std::vector<char*> command(argv + i + 1, argv + argc);
  command.push_back(nullptr);

  const Bytes logFrame{0x5A, 0xA5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const Bytes ztFrame{0x00, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  std::vector<std::unique_ptr<PtySimulator>> devices;
  PortMap map;
  auto add = [&](const char* name, Responder responder) {
    devices.push_back(std::make_unique<PtySimulator>(std::move(responder)));
    map.Link(name, devices.back()->SlavePath());
  };
  if (mode == "full") {
    add("KVL1", KVLv1Responder());
    add("KVL2", KVLv2Responder());
    add("LOG", FixedResponder(logFrame));
    add("ZT2", FixedResponder(ztFrame));
    add("SPARE", {});
    add("COM1", {});
    add("COM3", {});
    map.Link("COM2", "/dev/null");
  } else if (mode == "many") {
    for (int n = 1; n <= 20; ++n) add(("COM" + std::to_string(n)).c_str(), {});
  } else if (mode == "stress") {
    add("COM1", KVLv2Responder());
    add("COM2", FixedResponder(logFrame));
    add("COM3", FixedResponder(ztFrame));
    add("COM4", FixedResponder(logFrame));
  } else if (mode == "unplug") {
    add("LOG", {});
  }

  // The vanishing device: three frames 200 ms apart once the host has opened
  // the port at LOG2A0's 19200 baud, then gone.
  std::thread unplugger;
  if (mode == "unplug") unplugger = VanishAfterFrames(*devices.back(), B19200, logFrame, 3, 200);

  // The child's environment is prepared here: between fork and exec only
  // async-signal-safe calls are allowed.
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) environment.emplace_back(*e);
  for (const std::string& setting : extraEnv) {
    const std::string name = setting.substr(0, setting.find('=') + 1);
    std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    environment.push_back(setting);
  }
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  int pipeFds[2];
  if (pipe(pipeFds) != 0) return 2;
  pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execvpe(command[0], command.data(), envp.data());
    _exit(127);
  }
  close(pipeFds[1]);
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (unplugger.joinable()) unplugger.join();
  std::cout << output << std::flush;

  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::cerr << "java host test failed (status " << status << ")\n";
    return 1;
  }
  if (output.find("WARNING") != std::string::npos || output.find("FATAL") != std::string::npos) {
    std::cerr << "the JVM reported a JNI problem\n";
    return 1;
  }
  return 0;
}
