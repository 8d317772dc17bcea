#include "os/SerialSysfs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace serialkvl {

namespace {

std::string RootFrom(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  std::string root = (value != nullptr && value[0] != '\0') ? value : fallback;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The first line of a sysfs attribute, without its line end.
std::string ReadAttribute(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::string LinkBaseName(const std::string& link) {
  char target[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  target[n] = '\0';
  std::string text(target);
  const size_t slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::vector<std::string> DirectoryEntries(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

// ttyS2 before ttyS10: runs of digits compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      const std::string da = a.substr(i, ei - i), db = b.substr(j, ej - j);
      const size_t za = da.find_first_not_of('0'), zb = db.find_first_not_of('0');
      const std::string va = za == std::string::npos ? "" : da.substr(za);
      const std::string vb = zb == std::string::npos ? "" : db.substr(zb);
      if (va.size() != vb.size()) return va.size() < vb.size();
      if (va != vb) return va < vb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::string TtyDirectory(const std::string& kernelName) {
  return SysfsRoot() + "/class/tty/" + kernelName;
}

// The driver that serves the device: the first one up the device tree that
// is not the serial core's own per-port bookkeeping (newer kernels put a
// "port" device of the serial-base bus between a UART and its tty).
std::string DriverOf(const std::string& deviceDirectory, const std::string& devicesRoot) {
  std::string dir = deviceDirectory;
  while (!dir.empty() && dir.size() > devicesRoot.size() && dir.compare(0, devicesRoot.size(), devicesRoot) == 0) {
    const std::string driver = LinkBaseName(dir + "/driver");
    if (!driver.empty() && LinkBaseName(dir + "/subsystem") != "serial-base") return driver;
    dir = dir.substr(0, dir.rfind('/'));
  }
  return {};
}

// The USB device above the interface that carries the tty, if any.
void ReadUsbIdentity(const std::string& deviceDirectory, const std::string& devicesRoot, SerialDeviceInfo& info) {
  std::string dir = deviceDirectory;
  while (!dir.empty() && dir.size() > devicesRoot.size() && dir.compare(0, devicesRoot.size(), devicesRoot) == 0) {
    if (Exists(dir + "/idVendor")) {
      info.FVendorId = ReadAttribute(dir + "/idVendor");
      info.FProductId = ReadAttribute(dir + "/idProduct");
      info.FManufacturer = ReadAttribute(dir + "/manufacturer");
      info.FProduct = ReadAttribute(dir + "/product");
      info.FSerial = ReadAttribute(dir + "/serial");
      return;
    }
    dir = dir.substr(0, dir.rfind('/'));
  }
}

std::vector<std::string> ByIdLinksOf(const std::string& devicePath) {
  std::vector<std::string> links;
  const std::string node = Canonical(devicePath);
  if (node.empty()) return links;
  const std::string directory = DevRoot() + "/serial/by-id";
  for (const std::string& name : DirectoryEntries(directory)) {
    const std::string link = directory + "/" + name;
    if (Canonical(link) == node) links.push_back(link);
  }
  std::sort(links.begin(), links.end());
  return links;
}

}  // namespace

std::string SysfsRoot() { return RootFrom(kSysfsRootVariable, "/sys"); }
std::string DevRoot() { return RootFrom(kDevRootVariable, "/dev"); }

bool DevRootRedirected() {
  const char* value = std::getenv(kDevRootVariable);
  return value != nullptr && value[0] != '\0';
}

std::string KernelNameOf(const std::string& canonicalNodePath) {
  std::string root = Canonical(DevRoot());
  if (root.empty()) root = DevRoot();
  std::string name;
  if (canonicalNodePath.size() > root.size() + 1 && canonicalNodePath.compare(0, root.size(), root) == 0 &&
      canonicalNodePath[root.size()] == '/') {
    name = canonicalNodePath.substr(root.size() + 1);
  } else {
    const size_t slash = canonicalNodePath.rfind('/');
    name = slash == std::string::npos ? canonicalNodePath : canonicalNodePath.substr(slash + 1);
  }
  std::replace(name.begin(), name.end(), '/', '!');
  return name;
}

bool SysfsSerialPresent(const std::string& kernelName) {
  if (kernelName.empty() || kernelName == "." || kernelName == ".." ||
      kernelName.find('/') != std::string::npos) {
    return false;
  }
  const std::string tty = TtyDirectory(kernelName);
  // Virtual terminals, consoles and pseudo-terminals have no device link.
  if (!Exists(tty + "/device")) return false;
  // The serial core shows the UART type; 0 is a slot the driver reserved
  // (ttyS1..ttyS3 on most PCs) with nothing found behind it.
  const std::string type = ReadAttribute(tty + "/type");
  if (!type.empty() && type == "0") return false;
  // The kernel's console line is the machine's, not a port for devices:
  // opening it would reconfigure the console under the kernel's messages.
  return ReadAttribute(tty + "/console") != "Y";
}

bool DescribeSerialDevice(const std::string& kernelName, SerialDeviceInfo& info) {
  if (!SysfsSerialPresent(kernelName)) return false;
  info = SerialDeviceInfo{};
  info.FName = kernelName;
  std::string node = kernelName;
  std::replace(node.begin(), node.end(), '!', '/');
  info.FDevicePath = DevRoot() + "/" + node;
  std::string devicesRoot = Canonical(SysfsRoot());
  if (devicesRoot.empty()) devicesRoot = SysfsRoot();
  const std::string device = Canonical(TtyDirectory(kernelName) + "/device");
  if (!device.empty()) {
    info.FDriver = DriverOf(device, devicesRoot);
    ReadUsbIdentity(device, devicesRoot, info);
  }
  info.FByIdLinks = ByIdLinksOf(info.FDevicePath);
  return true;
}

std::vector<SerialDeviceInfo> ListSerialDevices() {
  std::vector<std::string> names = DirectoryEntries(SysfsRoot() + "/class/tty");
  std::sort(names.begin(), names.end(), NaturalLess);
  std::vector<SerialDeviceInfo> devices;
  for (const std::string& name : names) {
    SerialDeviceInfo info;
    if (DescribeSerialDevice(name, info)) devices.push_back(std::move(info));
  }
  return devices;
}

}  // namespace serialkvl
