// The kvlports tool on a fake sysfs tree: what it lists, and the port-map
// links it writes and removes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SerialEnum.h"
#include "support/FakeSysfs.h"
#include "support/PtySimulator.h"

using namespace serialtest;

namespace {

struct ToolRun {
  int FStatus;
  std::string FOutput;  // stdout and stderr
};

ToolRun Kvlports(const std::string& arguments) {
  const std::string command = std::string(KVLPORTS_EXECUTABLE) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string LinkTarget(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n < 0 ? std::string("(no link)") : std::string(target, static_cast<size_t>(n));
}

const char* kFtdiById = "usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0";

class KvlPortsTest : public ::testing::Test {
 protected:
  KvlPortsTest() {
    FTree.AddUsbSerial({"ttyUSB0", "ftdi_sio", false, "0403", "6001", "FTDI", "FT232R USB UART", "A10K1ABC",
                        kFtdiById});
    FTree.AddUsbSerial({"ttyACM0", "cdc_acm", true, "2341", "0043", "Arduino", "Uno", "", ""});
    FTree.AddUart("ttyS0", "serial8250", 4);
    FTree.AddUart("ttyS1", "serial8250", 0);  // a UART slot with no hardware
    FTree.AddUart("ttyS2", "serial8250", 4, true);  // the kernel's console: never listed
    FTree.AddVirtualTty("tty5");
  }
  std::string Dev() const { return FTree.Dev(); }
  std::string ById() const { return Dev() + "/serial/by-id/" + kFtdiById; }
  std::string MapLink(const std::string& name) const { return FMap.Directory() + "/" + name; }

  FakeSysfs FTree;
  PortMap FMap;
};

TEST_F(KvlPortsTest, ListsDevicesAndThePortNamesInEffect) {
  MakeLink(ById(), MapLink("com7"));
  MakeLink(Dev() + "/ttyUSB4", MapLink("com9"));
  const ToolRun run = Kvlports("");
  EXPECT_EQ(run.FStatus, 0);
  const std::string dev = Dev();
  EXPECT_EQ(run.FOutput,
            "Serial devices (from " + FTree.Sys() + "; none opened):\n"
            "  " + dev + "/ttyACM0\n"
            "    driver        cdc_acm\n"
            "    usb id        2341:0043\n"
            "    manufacturer  Arduino\n"
            "    product       Uno\n"
            "  " + dev + "/ttyS0\n"
            "    driver        serial8250\n"
            "  " + dev + "/ttyUSB0\n"
            "    driver        ftdi_sio\n"
            "    usb id        0403:6001\n"
            "    manufacturer  FTDI\n"
            "    product       FT232R USB UART\n"
            "    serial        A10K1ABC\n"
            "    by-id         " + ById() + "\n"
            "\n"
            "Port names (map " + FMap.Directory() + "):\n"
            "  COM1     " + dev + "/ttyS0 (default)\n"
            "  COM7     " + ById() + " -> " + dev + "/ttyUSB0\n"
            "  COM9     " + dev + "/ttyUSB4 (absent)\n");
  EXPECT_EQ(Kvlports("list").FOutput, run.FOutput);
}

TEST_F(KvlPortsTest, EmptyTreeListsNothing) {
  FakeSysfs empty;  // replaces the roots while it lives
  const ToolRun run = Kvlports("list");
  EXPECT_EQ(run.FStatus, 0);
  EXPECT_EQ(run.FOutput, "Serial devices (from " + empty.Sys() + "; none opened):\n  none\n\nPort names (map " +
                             FMap.Directory() + "):\n  none\n");
}

// However the device is named, the link is its by-id name when it has one,
// so that the adapter keeps its COM name when it comes back as another ttyUSBn.
TEST_F(KvlPortsTest, MapPrefersTheByIdName) {
  for (const std::string& device : {std::string("ttyUSB0"), Dev() + "/ttyUSB0", ById()}) {
    SCOPED_TRACE(device);
    const ToolRun run = Kvlports("map COM3 " + device);
    EXPECT_EQ(run.FStatus, 0);
    EXPECT_EQ(run.FOutput, "COM3 -> " + ById() + "\n");
    EXPECT_EQ(LinkTarget(MapLink("com3")), ById());
  }
  // Without a by-id name the device node itself; an existing link is replaced.
  EXPECT_EQ(Kvlports("map com3 ttyACM0").FOutput, "COM3 -> " + Dev() + "/ttyACM0\n");
  EXPECT_EQ(LinkTarget(MapLink("com3")), Dev() + "/ttyACM0");
  // The library now finds COM3.
  const serialkvl::PortList& list = serialkvl::EnumeratePorts();
  ASSERT_EQ(list.FCount, 2);
  EXPECT_STREQ(list.FEntries[0].FName, "COM1");  // the default UART
  EXPECT_STREQ(list.FEntries[1].FName, "COM3");
}

TEST_F(KvlPortsTest, MapCreatesTheMapDirectory) {
  const std::string directory = FTree.Root() + "/etc/serialKVL/ports";
  setenv("SERIALKVL_PORTS", directory.c_str(), 1);  // PortMap restores its own on exit
  EXPECT_EQ(Kvlports("map COM2 ttyS0").FStatus, 0);
  EXPECT_EQ(LinkTarget(directory + "/com2"), Dev() + "/ttyS0");
}

TEST_F(KvlPortsTest, MapsAPseudoTerminal) {
  PtySimulator device;
  const ToolRun run = Kvlports("map COM4 " + device.SlavePath());
  EXPECT_EQ(run.FStatus, 0);
  EXPECT_EQ(LinkTarget(MapLink("com4")), device.SlavePath());
}

TEST_F(KvlPortsTest, UnmapRemovesTheLinkOnly) {
  MakeLink(ById(), MapLink("com3"));
  MakeLink(Dev() + "/ttyACM0", MapLink("com4"));
  const ToolRun run = Kvlports("unmap COM3");
  EXPECT_EQ(run.FStatus, 0);
  EXPECT_EQ(run.FOutput, "COM3 unmapped\n");
  EXPECT_EQ(LinkTarget(MapLink("com3")), "(no link)");
  EXPECT_EQ(LinkTarget(MapLink("com4")), Dev() + "/ttyACM0");
  struct stat st;
  EXPECT_EQ(stat((Dev() + "/ttyUSB0").c_str(), &st), 0);  // the device node is untouched

  const ToolRun again = Kvlports("unmap COM3");
  EXPECT_EQ(again.FStatus, 1);
  EXPECT_EQ(again.FOutput, "kvlports: COM3 is not mapped\n");
}

struct RefusalCase {
  const char* FName;
  const char* FArguments;  // "@" stands for the fake /dev
  int FStatus;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.FName; }

class KvlPortsRefusalTest : public KvlPortsTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(KvlPortsRefusalTest, ChangesNothing) {
  std::string arguments = GetParam().FArguments;
  if (const size_t at = arguments.find('@'); at != std::string::npos) arguments.replace(at, 1, Dev());
  const ToolRun run = Kvlports(arguments);
  EXPECT_EQ(run.FStatus, GetParam().FStatus) << run.FOutput;
  EXPECT_NE(run.FOutput.find(GetParam().FStatus == 2 ? "usage:" : "kvlports: "), std::string::npos) << run.FOutput;
  EXPECT_EQ(LinkTarget(MapLink("com3")), "(no link)");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KvlPortsRefusalTest,
    ::testing::Values(RefusalCase{"VirtualConsole", "map COM3 tty5", 1},
                      RefusalCase{"UartWithoutHardware", "map COM3 ttyS1", 1},
                      RefusalCase{"NoSuchDevice", "map COM3 ttyUSB7", 1},
                      RefusalCase{"PlainFile", "map COM3 @/serial", 1},
                      RefusalCase{"NameTooLong", "map COM345678901 ttyUSB0", 1},
                      RefusalCase{"NameWithSlash", "map COM3/x ttyUSB0", 1},
                      RefusalCase{"MissingArgument", "map COM3", 2},
                      RefusalCase{"UnknownCommand", "frobnicate", 2}),
    [](const auto& info) { return std::string(info.param.FName); });

}  // namespace
