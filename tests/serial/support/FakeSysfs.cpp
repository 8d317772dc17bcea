#include "support/FakeSysfs.h"

#include <ftw.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace serialtest {

void MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("mkdir " + part);
    if (slash == std::string::npos) break;
  }
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  if (!out) throw std::runtime_error("write " + path);
}

void MakeLink(const std::string& target, const std::string& link) {
  MakeDirectories(link.substr(0, link.rfind('/')));
  if (symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink " + link);
}

void RepointLink(const std::string& target, const std::string& link) {
  const std::string temporary = link + ".new";
  unlink(temporary.c_str());
  MakeLink(target, temporary);
  if (rename(temporary.c_str(), link.c_str()) != 0) throw std::runtime_error("rename " + link);
}

void RemoveTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* name, const struct stat*, int, struct FTW*) { return ::remove(name); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

FakeSysfs::FakeSysfs() {
  char pattern[] = "/tmp/serialkvl-tree-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
  FRoot = pattern;
  MakeDirectories(Sys() + "/class/tty");
  MakeDirectories(Dev() + "/serial/by-id");
  setenv("SERIALKVL_SYSFS", Sys().c_str(), 1);
  setenv("SERIALKVL_DEV", Dev().c_str(), 1);
}

FakeSysfs::~FakeSysfs() {
  unsetenv("SERIALKVL_SYSFS");
  unsetenv("SERIALKVL_DEV");
  RemoveTree(FRoot);
}

// ttyParent: the device directory the tty belongs to (its "device" link);
// empty for a virtual tty, whose directory lives under devices/virtual.
void FakeSysfs::AddTty(const std::string& name, const std::string& deviceDir, const std::string& ttyParent) {
  const std::string ttyDir = deviceDir + "/tty/" + name;
  MakeDirectories(ttyDir);
  WriteTextFile(ttyDir + "/dev", "188:0\n");
  if (!ttyParent.empty()) MakeLink(ttyParent, ttyDir + "/device");
  MakeLink(ttyDir, Sys() + "/class/tty/" + name);
  WriteTextFile(Dev() + "/" + name, "");
}

void FakeSysfs::AddUsbSerial(const UsbSerialAdapter& adapter) {
  const int bus = ++FUsbBuses;
  const std::string usbDevice =
      Sys() + "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) + "/" + std::to_string(bus) + "-2";
  const std::string interface = usbDevice + "/" + std::to_string(bus) + "-2:1.0";
  MakeDirectories(interface);
  WriteTextFile(usbDevice + "/idVendor", adapter.FVendorId + "\n");
  WriteTextFile(usbDevice + "/idProduct", adapter.FProductId + "\n");
  if (!adapter.FManufacturer.empty()) WriteTextFile(usbDevice + "/manufacturer", adapter.FManufacturer + "\n");
  if (!adapter.FProduct.empty()) WriteTextFile(usbDevice + "/product", adapter.FProduct + "\n");
  if (!adapter.FSerial.empty()) WriteTextFile(usbDevice + "/serial", adapter.FSerial + "\n");
  MakeDirectories(Sys() + "/bus/usb/drivers/usb");
  MakeLink(Sys() + "/bus/usb/drivers/usb", usbDevice + "/driver");

  std::string ttyParent = interface;
  if (adapter.FTtyOnInterface) {
    MakeDirectories(Sys() + "/bus/usb/drivers/" + adapter.FDriver);
    MakeLink(Sys() + "/bus/usb/drivers/" + adapter.FDriver, interface + "/driver");
  } else {
    // usb-serial drivers put a port device between the interface and the tty.
    ttyParent = interface + "/" + adapter.FName;
    MakeDirectories(ttyParent);
    MakeDirectories(Sys() + "/bus/usb-serial/drivers/" + adapter.FDriver);
    MakeLink(Sys() + "/bus/usb-serial/drivers/" + adapter.FDriver, ttyParent + "/driver");
    MakeLink(Sys() + "/bus/usb-serial", ttyParent + "/subsystem");
  }
  AddTty(adapter.FName, ttyParent, ttyParent);
  if (!adapter.FById.empty()) MakeLink("../../" + adapter.FName, Dev() + "/serial/by-id/" + adapter.FById);
}

void FakeSysfs::AddUart(const std::string& name, const std::string& driver, int type, bool console) {
  const std::string platform = Sys() + "/devices/platform/" + driver + "." + name;
  const std::string controller = platform + "/" + driver + ":0";
  const std::string port = controller + "/" + driver + ":0.0";
  MakeDirectories(port);
  MakeDirectories(Sys() + "/bus/platform/drivers/" + driver);
  MakeLink(Sys() + "/bus/platform/drivers/" + driver, platform + "/driver");
  MakeLink(Sys() + "/bus/platform", platform + "/subsystem");
  MakeDirectories(Sys() + "/bus/serial-base/drivers/port");
  MakeDirectories(Sys() + "/bus/serial-base/drivers/ctrl");
  MakeLink(Sys() + "/bus/serial-base/drivers/ctrl", controller + "/driver");
  MakeLink(Sys() + "/bus/serial-base", controller + "/subsystem");
  MakeLink(Sys() + "/bus/serial-base/drivers/port", port + "/driver");
  MakeLink(Sys() + "/bus/serial-base", port + "/subsystem");
  AddTty(name, port, port);
  WriteTextFile(port + "/tty/" + name + "/type", std::to_string(type) + "\n");
  WriteTextFile(port + "/tty/" + name + "/console", console ? "Y\n" : "N\n");
}

void FakeSysfs::AddVirtualTty(const std::string& name) {
  AddTty(name, Sys() + "/devices/virtual", "");
}

}  // namespace serialtest
