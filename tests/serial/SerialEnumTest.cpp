// Port enumeration through the port map, and status texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SerialEnum.h"
#include "support/FakeSysfs.h"
#include "support/OpenWatch.h"
#include "support/PtySimulator.h"

using namespace serialkvl;
using namespace serialtest;

namespace {

std::vector<std::string> ListedNames() {
  const PortList& list = EnumeratePorts();
  std::vector<std::string> names;
  for (int i = 0; i < list.FCount; ++i) {
    names.push_back(list.FEntries[i].FName);
    EXPECT_STREQ(list.FEntries[i].FDescription, "");
  }
  return names;
}

TEST(SerialEnumTest, ListsOnlyMappedTerminalsInOrder) {
  PtySimulator first, third, twentieth;
  PortMap map;
  map.Link("COM3", third.SlavePath());
  map.Link("COM1", first.SlavePath());
  map.Link("COM2", "/dev/null");             // a character device, but no terminal
  map.Link("COM4", map.Directory() + "/x");  // a dangling link
  map.Link("COM20", twentieth.SlavePath());  // beyond the probed range
  EXPECT_EQ(ListedNames(), (std::vector<std::string>{"COM1", "COM3"}));
}

TEST(SerialEnumTest, EmptyMapListsNothing) {
  PortMap map;
  EXPECT_TRUE(ListedNames().empty());
}

// Opening a serial tty raises DTR and RTS, so listing ports must open none:
// neither pseudo-terminals nor the devices that sysfs describes.
TEST(SerialEnumTest, ListingOpensNoDevice) {
  PtySimulator first, second;
  FakeSysfs tree;
  tree.AddUsbSerial({"ttyUSB0", "ftdi_sio", false, "0403", "6001", "FTDI", "FT232R USB UART", "A1", "usb-FTDI-A1"});
  tree.AddUart("ttyS0", "serial8250", 4);
  PortMap map;
  map.Link("COM1", first.SlavePath());
  map.Link("COM2", second.SlavePath());
  map.Link("COM3", tree.Dev() + "/serial/by-id/usb-FTDI-A1");
  map.Link("COM4", tree.Dev() + "/ttyS0");
  OpenWatch watch;
  for (const std::string& path : {first.SlavePath(), second.SlavePath(), tree.Dev() + "/ttyUSB0", tree.Dev() + "/ttyS0"}) {
    ASSERT_TRUE(watch.Watch(path)) << path;
  }
  EXPECT_EQ(ListedNames(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
  EXPECT_EQ(watch.Opens(), 0);
}

// Presence of a device that is not a pseudo-terminal comes from sysfs: a
// tty with a device behind it, not a UART slot without hardware (type 0),
// not the kernel's console line, not a virtual console, not a node sysfs
// does not know.
TEST(SerialEnumTest, PresenceFollowsSysfs) {
  FakeSysfs tree;
  tree.AddUsbSerial({"ttyACM0", "cdc_acm", true, "2341", "0043", "Arduino", "Uno", "", ""});
  tree.AddUart("ttyS0", "serial8250", 4);
  tree.AddUart("ttyS1", "serial8250", 0);
  tree.AddUart("ttyS2", "serial8250", 4, true);
  tree.AddVirtualTty("tty5");
  WriteTextFile(tree.Dev() + "/ttyUSB9", "");  // a node without a sysfs entry
  PortMap map;
  map.Link("COM2", tree.Dev() + "/ttyACM0");
  map.Link("COM5", tree.Dev() + "/ttyS1");
  map.Link("COM6", tree.Dev() + "/tty5");
  map.Link("COM7", tree.Dev() + "/ttyUSB9");
  map.Link("COM8", tree.Dev() + "/ttyUSB1");  // nothing there
  map.Link("COM9", tree.Dev() + "/ttyS2");
  // COM1 has no link: with the device directory redirected too, the default
  // UART of the fake tree (ttyS0) stands in; COM2's default would be ttyS1
  // and COM3's the console, ttyS2.
  EXPECT_EQ(ListedNames(), (std::vector<std::string>{"COM1", "COM2"}));
}

struct TextCase {
  int32_t FCode;
  const char* FText;
};

class ErrorTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ErrorTextTest, Text) { EXPECT_STREQ(ErrorText(GetParam().FCode), GetParam().FText); }

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorTextTest,
    ::testing::Values(TextCase{100301, " Communication timeout "}, TextCase{100302, " Fail to open com port "},
                      TextCase{100000, " Erreur inconnue "}, TextCase{100303, " Erreur inconnue "},
                      TextCase{2147483647, " Erreur inconnue "}, TextCase{2, "No such file or directory"},
                      TextCase{13, "Permission denied"}, TextCase{5, "Input/output error"},
                      TextCase{-1, "Unknown error -1"}, TextCase{99999, "Unknown error 99999"}),
    // Named by their code, so a failure reads "Code_minus1" rather than raw bytes.
    [](const auto& info) {
      const int code = info.param.FCode;
      return code < 0 ? "Code_minus" + std::to_string(-static_cast<long long>(code)) : "Code_" + std::to_string(code);
    });

}  // namespace
