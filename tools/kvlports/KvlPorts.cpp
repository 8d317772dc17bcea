// kvlports: the port-map tool for the people who install a host.
//
//   kvlports [list]            serial devices present and the COM names in effect
//   kvlports map COMn DEVICE   COMn leads to DEVICE (by its /dev/serial/by-id
//                              name when it has one, so a replugged adapter
//                              keeps its COM name)
//   kvlports unmap COMn        COMn no longer mapped
//
// Nothing is ever opened: opening a serial tty raises its modem lines, which
// resets some devices. Everything comes from sysfs and the port-map links.
// SERIALKVL_PORTS, SERIALKVL_SYSFS and SERIALKVL_DEV redirect the port-map
// directory, /sys and /dev, as they do for the library.
//
// Exit status: 0 done, 1 the request failed (the reason on stderr), 2 usage.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "SerialPorts.h"
#include "os/SerialDevicePosix.h"
#include "os/SerialSysfs.h"

using namespace serialkvl;

namespace {

constexpr const char* kUsage =
    "usage: kvlports [list]\n"
    "       kvlports map COMn DEVICE    (DEVICE: ttyUSB0, /dev/ttyUSB0 or a /dev/serial/by-id path)\n"
    "       kvlports unmap COMn\n"
    "environment: SERIALKVL_PORTS (port-map directory), SERIALKVL_SYSFS, SERIALKVL_DEV\n";

// One "label value" line, the values aligned.
std::string Row(int width, const std::string& label, const std::string& value) {
  std::string line = label;
  if (line.size() < static_cast<size_t>(width)) line.append(static_cast<size_t>(width) - line.size(), ' ');
  return line + " " + value + "\n";
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string ReadLink(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  if (n < 0) return {};
  return std::string(target, static_cast<size_t>(n));
}

bool IsPseudoTerminalSlave(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
         major(st.st_rdev) <= 143;
}

// COM3 before COM10.
bool PortNameLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    size_t digits = s.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1]))) --digits;
    return std::make_pair(s.substr(0, digits), s.substr(digits));
  };
  auto [pa, na] = split(a);
  auto [pb, nb] = split(b);
  if (pa != pb) return pa < pb;
  if (na.size() != nb.size()) return na.size() < nb.size();
  return na < nb;
}

// A port name the library can open: one directory entry that fits the
// 11 characters of its name field.
bool ValidPortName(const std::string& name, std::string& problem) {
  if (PortLinkName(name.c_str()).empty()) {
    problem = "'" + name + "' cannot be a port name";
    return false;
  }
  if (name.size() >= static_cast<size_t>(kPortNameSize)) {
    problem = "'" + name + "' is longer than 11 characters";
    return false;
  }
  return true;
}

void PrintDevices() {
  const std::vector<SerialDeviceInfo> devices = ListSerialDevices();
  std::cout << "Serial devices (from " << SysfsRoot() << "; none opened):\n";
  if (devices.empty()) std::cout << "  none\n";
  for (const SerialDeviceInfo& d : devices) {
    std::cout << "  " << d.FDevicePath << "\n";
    auto field = [](const char* label, const std::string& value) {
      if (!value.empty()) std::cout << "    " << Row(13, label, value);
    };
    field("driver", d.FDriver);
    if (!d.FVendorId.empty()) field("usb id", d.FVendorId + ":" + d.FProductId);
    field("manufacturer", d.FManufacturer);
    field("product", d.FProduct);
    field("serial", d.FSerial);
    for (const std::string& link : d.FByIdLinks) field("by-id", link);
  }
}

void PrintPortNames() {
  const std::string directory = PortMapDirectory();
  std::cout << "Port names (map " << directory << "):\n";
  std::vector<std::string> mapped;
  if (DIR* dir = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name[0] == '.') continue;
      struct stat st;
      if (lstat((directory + "/" + name).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) mapped.push_back(Upper(name));
    }
    closedir(dir);
  }
  std::sort(mapped.begin(), mapped.end(), PortNameLess);

  struct Line {
    std::string FName, FText;
  };
  std::vector<Line> lines;
  const SerialBackend& backend = PlatformSerialBackend();
  for (const std::string& name : mapped) {
    const std::string link = directory + "/" + PortLinkName(name.c_str());
    std::string text = ReadLink(link);
    if (backend.FIsPresent(name.c_str())) {
      const std::string node = Canonical(link);
      if (!node.empty() && node != text) text += " -> " + node;
    } else {
      text += " (absent)";
    }
    lines.push_back({name, text});
  }
  // The UARTs stand in for COMn names that have no link.
  if (UartFallbackActive()) {
    for (const SerialDeviceInfo& d : ListSerialDevices()) {
      if (d.FName.rfind("ttyS", 0) != 0 || d.FName.size() == 4) continue;
      const std::string digits = d.FName.substr(4);
      if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 3) continue;
      const std::string name = "COM" + std::to_string(std::stoi(digits) + 1);
      if (std::find(mapped.begin(), mapped.end(), name) != mapped.end()) continue;
      lines.push_back({name, d.FDevicePath + " (default)"});
    }
  }
  std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return PortNameLess(a.FName, b.FName); });
  if (lines.empty()) std::cout << "  none\n";
  for (const Line& line : lines) std::cout << "  " << Row(8, line.FName, line.FText);
}

int Map(const std::string& port, const std::string& device) {
  std::string problem;
  if (!ValidPortName(port, problem)) {
    std::cerr << "kvlports: " << problem << "\n";
    return 1;
  }
  const std::string path = device.find('/') == std::string::npos ? DevRoot() + "/" + device : device;
  const std::string node = Canonical(path);
  if (node.empty()) {
    std::cerr << "kvlports: " << path << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  // The by-id name survives a replug that brings the adapter back under
  // another ttyUSBn; the given path is kept when it already is one.
  std::string target;
  SerialDeviceInfo info;
  if (DescribeSerialDevice(KernelNameOf(node), info)) {
    if (std::find(info.FByIdLinks.begin(), info.FByIdLinks.end(), path) != info.FByIdLinks.end()) {
      target = path;
    } else if (!info.FByIdLinks.empty()) {
      target = info.FByIdLinks.front();
    } else {
      target = info.FDevicePath;
    }
  } else if (IsPseudoTerminalSlave(node)) {
    target = path[0] == '/' ? path : node;
  } else {
    std::cerr << "kvlports: " << path << " is not a serial device (sysfs shows no device behind it)\n";
    return 1;
  }

  const std::string directory = PortMapDirectory();
  for (size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
    const std::string part = directory.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
      std::cerr << "kvlports: cannot create " << part << ": " << std::strerror(errno) << "\n";
      return 1;
    }
    if (slash == std::string::npos) break;
  }
  const std::string link = directory + "/" + PortLinkName(port.c_str());
  struct stat st;
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    std::cerr << "kvlports: " << link << " exists and is not a link; left alone\n";
    return 1;
  }
  // A new link under a temporary name, then renamed over the old one: a host
  // opening the port meanwhile finds the old link or the new, never none.
  const std::string temporary = directory + "/." + PortLinkName(port.c_str()) + ".new";
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), link.c_str()) != 0) {
    std::cerr << "kvlports: cannot write " << link << ": " << std::strerror(errno) << "\n";
    unlink(temporary.c_str());
    return 1;
  }
  std::cout << Upper(port) << " -> " << target << "\n";
  return 0;
}

int Unmap(const std::string& port) {
  std::string problem;
  if (!ValidPortName(port, problem)) {
    std::cerr << "kvlports: " << problem << "\n";
    return 1;
  }
  const std::string link = PortMapDirectory() + "/" + PortLinkName(port.c_str());
  struct stat st;
  if (lstat(link.c_str(), &st) != 0) {
    std::cerr << "kvlports: " << Upper(port) << " is not mapped\n";
    return 1;
  }
  if (!S_ISLNK(st.st_mode)) {
    std::cerr << "kvlports: " << link << " is not a link; left alone\n";
    return 1;
  }
  if (unlink(link.c_str()) != 0) {
    std::cerr << "kvlports: cannot remove " << link << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  std::cout << Upper(port) << " unmapped\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || (args.size() == 1 && args[0] == "list")) {
    PrintDevices();
    std::cout << "\n";
    PrintPortNames();
    return 0;
  }
  if (args[0] == "map" && args.size() == 3) return Map(args[1], args[2]);
  if (args[0] == "unmap" && args.size() == 2) return Unmap(args[1]);
  if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (args[0] == "--version" && args.size() == 1) {
    std::cout << "kvlports " << VELQ_VERSION << "\n";
    return 0;
  }
  std::cerr << kUsage;
  return 2;
}
