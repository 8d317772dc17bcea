// Serial devices as Linux describes them in sysfs, read without opening any
// device.
//
// Purpose: opening a serial tty raises DTR and RTS (and the last close drops
// them), which resets some devices, so everything that only needs to know
// what is there reads sysfs instead: whether a tty is backed by hardware,
// which driver serves it, its USB identity and its stable /dev/serial/by-id
// names. The port probe of the POSIX backend and the kvlports tool use it.
//
// Roots: sysfs is /sys and the device directory /dev, unless the environment
// variables SERIALKVL_SYSFS and SERIALKVL_DEV name other directories (tests
// build a fake tree there). They are read on every call; nothing is cached.
//
// Thread rules: stateless; any thread.
//
// Errors: none reported. What cannot be read is left empty; a device whose
// sysfs entry cannot be read counts as absent.
#pragma once

#include <string>
#include <vector>

namespace serialkvl {

inline constexpr const char* kSysfsRootVariable = "SERIALKVL_SYSFS";
inline constexpr const char* kDevRootVariable = "SERIALKVL_DEV";

// The sysfs root ("/sys") and the device directory ("/dev"), or their
// replacements from the environment.
std::string SysfsRoot();
std::string DevRoot();
// True when SERIALKVL_DEV names the device directory.
bool DevRootRedirected();

struct SerialDeviceInfo {
  std::string FName;        // kernel name: "ttyUSB0"
  std::string FDevicePath;  // the node under the device directory: "/dev/ttyUSB0"
  std::string FDriver;      // "ftdi_sio", "cdc_acm", "serial"; may be empty
  // USB identity, empty for a device that is not on USB.
  std::string FVendorId;  // four hex digits, as sysfs writes them: "0403"
  std::string FProductId;
  std::string FManufacturer;
  std::string FProduct;
  std::string FSerial;
  // Links in <dev>/serial/by-id that lead to this device, sorted.
  std::vector<std::string> FByIdLinks;
};

// The kernel name of a device node, given its canonical path: the path below
// the device directory with '/' written '!' as sysfs does, or the file name
// when the node lies elsewhere.
std::string KernelNameOf(const std::string& canonicalNodePath);

// True when the tty of that kernel name has a device behind it. A UART slot
// that the driver registered without finding hardware (type 0) is absent,
// and so is the line the kernel uses as its console.
bool SysfsSerialPresent(const std::string& kernelName);

// Everything SysfsSerialPresent accepts, in natural order of name
// (ttyS2 before ttyS10).
std::vector<SerialDeviceInfo> ListSerialDevices();

// The description of one present device; false when it is not present.
bool DescribeSerialDevice(const std::string& kernelName, SerialDeviceInfo& info);

}  // namespace serialkvl
