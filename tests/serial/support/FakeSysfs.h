// A fake sysfs and /dev tree in /tmp, named by SERIALKVL_SYSFS and
// SERIALKVL_DEV while it lives, laid out like the kernel's: class/tty links
// into the device tree, device and driver links, USB attributes on the USB
// device above the interface, and /dev/serial/by-id links. Device nodes are
// plain files: nothing in the tree is ever meant to be opened.
#pragma once

#include <string>

namespace serialtest {

struct UsbSerialAdapter {
  std::string FName;          // "ttyUSB0"
  std::string FDriver;        // "ftdi_sio"
  bool FTtyOnInterface;       // cdc_acm style: the interface itself carries the tty
  std::string FVendorId, FProductId, FManufacturer, FProduct, FSerial;
  std::string FById;          // by-id link name; empty for none
};

class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  void AddUsbSerial(const UsbSerialAdapter& adapter);
  // An on-board UART behind the serial core's per-port device; type 0 is a
  // slot with no hardware found; console marks the kernel's console line.
  void AddUart(const std::string& name, const std::string& driver, int type, bool console = false);
  // A tty without a device behind it (virtual console).
  void AddVirtualTty(const std::string& name);

  const std::string& Root() const { return FRoot; }
  std::string Sys() const { return FRoot + "/sys"; }
  std::string Dev() const { return FRoot + "/dev"; }

 private:
  void AddTty(const std::string& name, const std::string& deviceDir, const std::string& ttyParent);
  std::string FRoot;
  int FUsbBuses = 0;
};

// Helpers for the trees tests build.
void MakeDirectories(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);
void MakeLink(const std::string& target, const std::string& link);
// Replaces link (or creates it) in one step, as a re-plugged device's udev
// link is replaced.
void RepointLink(const std::string& target, const std::string& link);
void RemoveTree(const std::string& path);

}  // namespace serialtest
