// libvelqhost through its C interface only, as a host program sees it: the
// layout (against skinhost and the dashboard's ordering rules), slot
// writes, refusals with status and text, repeated create and remove, the
// notification, launching, and the library's exported symbols.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "velq/host.h"

#if defined(__SANITIZE_ADDRESS__)
// The host library draws text while it reads a skin, and fontconfig keeps a
// pattern alive after its last user (only FcFini frees it). The framework's
// suppression of that report lives inside the library, where the leak
// checker cannot see it; a program using the library declares it itself.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace {

namespace fs = std::filesystem;

// Each test gets a channel of its own, so parallel runs never share one.
class HostApi : public ::testing::Test {
protected:
  void SetUp() override {
    static int counter = 0;
    FSuffix = "-hosttest-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    ::setenv("VELQ_CHANNEL_SUFFIX", FSuffix.c_str(), 1);
    FWork = fs::temp_directory_path() / ("velqhost" + FSuffix);
    fs::create_directories(FWork / "Skin");
  }
  void TearDown() override {
    for (velq_channel* channel : FChannels) velq_channel_free(channel);
    for (velq_layout* layout : FLayouts) velq_layout_free(layout);
    ::unsetenv("VELQ_CHANNEL_SUFFIX");
    fs::remove_all(FWork);
  }

  // A skin in text form under Work/Skin/<name>/skin.cfg with one component
  // per "Class Property = value" line given.
  void WriteSkin(const std::string& name, const std::vector<std::string>& components) {
    fs::create_directories(FWork / "Skin" / name);
    std::ofstream out(FWork / "Skin" / name / "skin.cfg");
    out << "object Test: TSkinForm\n  ClientHeight = 100\n  ClientWidth = 100\n";
    int n = 0;
    for (const std::string& component : components) {
      const size_t space = component.find(' ');
      out << "  object C" << n++ << ": " << component.substr(0, space) << "\n    "
          << component.substr(space + 1) << "\n  end\n";
    }
    out << "end\n";
  }

  velq_layout* Layout(const std::string& skin) {
    velq_layout* layout = nullptr;
    EXPECT_EQ(velq_layout_load(FWork.c_str(), skin.c_str(), &layout), VELQ_OK) << velq_last_error();
    if (layout) FLayouts.push_back(layout);
    return layout;
  }

  velq_channel* Channel(const velq_layout* layout) {
    velq_channel* channel = nullptr;
    EXPECT_EQ(velq_channel_create(layout, &channel), VELQ_OK) << velq_last_error();
    if (channel) FChannels.push_back(channel);
    return channel;
  }

  std::vector<std::string> Names(const velq_layout* layout) {
    std::vector<std::string> names;
    for (int32_t p = 1; p <= velq_layout_count(layout); ++p) names.emplace_back(velq_layout_sensor(layout, p));
    return names;
  }

  // The block as a dashboard would find it now: slot values, or nothing.
  std::vector<float> ReadBlock() {
    const std::string name = "/Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}" + FSuffix;
    const int fd = ::shm_open(name.c_str(), O_RDONLY, 0);
    if (fd < 0) return {};
    struct stat status {};
    ::fstat(fd, &status);
    std::vector<float> slots(static_cast<size_t>(status.st_size) / 4);
    if (!slots.empty() && ::read(fd, slots.data(), slots.size() * 4) != status.st_size) slots.clear();
    ::close(fd);
    return slots;
  }

  std::string FSuffix;
  fs::path FWork;
  std::vector<velq_layout*> FLayouts;
  std::vector<velq_channel*> FChannels;
};

TEST_F(HostApi, TheDemoSkinsLayoutIsTheOneSkinhostPrints) {
  const std::string build = VELQ_BUILD_DIR;
  std::string printed;
  const std::string command = "cd " + build + " && " + SKINHOST_EXECUTABLE + " --skin demo --print-layout";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_TRUE(pipe);
  char line[256];
  while (std::fgets(line, sizeof line, pipe)) printed += line;
  ASSERT_EQ(::pclose(pipe), 0);

  velq_layout* layout = nullptr;
  ASSERT_EQ(velq_layout_load(build.c_str(), "demo", &layout), VELQ_OK) << velq_last_error();
  FLayouts.push_back(layout);
  std::string ours;
  for (int32_t p = 1; p <= velq_layout_count(layout); ++p)
    ours += std::to_string(p) + " " + velq_layout_sensor(layout, p) + "\n";
  EXPECT_EQ(ours, printed);
  EXPECT_GE(velq_layout_count(layout), 8);
  // The text form of the same skin gives the same layout.
  velq_layout* fromText = nullptr;
  ASSERT_EQ(velq_layout_load_file((build + "/Skin/demo/skin.cfg").c_str(), &fromText), VELQ_OK);
  FLayouts.push_back(fromText);
  EXPECT_EQ(Names(fromText), Names(layout));
}

TEST_F(HostApi, LayoutFollowsTheDashboardsSlotOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> components;
    std::vector<std::string> layout;
  };
  const Case cases[] = {
      {"packed", {"TSkinLevelBar AnalogSensor = ia5", "TSkinLevelBar AnalogSensor = ia2",
                  "TSkinLed DigitalSensor = in3"}, {"ia2", "ia5", "in3"}},
      {"samenumber", {"TSkinLed DigitalSensor = in3", "TSkinLevelBar AnalogSensor = ia3"}, {"ia3", "in3"}},
      {"repeated", {"TSkinLevelBar AnalogSensor = ia4", "TSkinProgressBar AnalogSensor = ia4",
                    "TSkinLabel AnalogSensor = ia4"}, {"ia4"}},
      {"none", {"TSkinLevelBar Left = 3"}, {}},
  };
  for (const Case& c : cases) {
    WriteSkin(c.name, c.components);
    velq_layout* layout = Layout(c.name);
    ASSERT_TRUE(layout) << c.name;
    EXPECT_EQ(Names(layout), c.layout) << c.name;
    for (size_t i = 0; i < c.layout.size(); ++i) {
      int32_t position = 0;
      EXPECT_EQ(velq_layout_position(layout, c.layout[i].c_str(), &position), VELQ_OK);
      EXPECT_EQ(position, static_cast<int32_t>(i + 1)) << c.name << " " << c.layout[i];
    }
    EXPECT_EQ(velq_layout_sensor(layout, 0), nullptr);
    EXPECT_EQ(velq_layout_sensor(layout, velq_layout_count(layout) + 1), nullptr);
  }
}

TEST_F(HostApi, WritesByNameByPositionAndByFrameLandInTheirSlots) {
  WriteSkin("three", {"TSkinLed DigitalSensor = in7", "TSkinLevelBar AnalogSensor = ia9",
                      "TSkinLevelBar AnalogSensor = ia2"});
  velq_channel* channel = Channel(Layout("three"));  // ia2, ia9, in7
  ASSERT_TRUE(channel);
  EXPECT_EQ(velq_channel_count(channel), 3);
  EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 0, 0, 0})) << "4*(N+1) zero bytes";

  ASSERT_EQ(velq_channel_set_named(channel, "in7", 1.0f), VELQ_OK);
  ASSERT_EQ(velq_channel_set_named(channel, "ia2", 2.5f), VELQ_OK);
  ASSERT_EQ(velq_channel_set(channel, 2, -9.0f), VELQ_OK);
  EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 2.5f, -9.0f, 1.0f}));

  const float frame[] = {10, 20, 30};
  ASSERT_EQ(velq_channel_set_frame(channel, frame, 3), VELQ_OK);
  EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 10, 20, 30}));
}

TEST_F(HostApi, RefusalsCarryAStatusAndATextAndChangeNothing) {
  WriteSkin("one", {"TSkinLevelBar AnalogSensor = ia4"});
  velq_layout* layout = Layout("one");
  velq_channel* channel = Channel(layout);
  ASSERT_TRUE(channel);
  ASSERT_EQ(velq_channel_set(channel, 1, 7.0f), VELQ_OK);
  EXPECT_STREQ(velq_last_error(), "");

  const float two[] = {1, 2};
  int32_t position = 0;
  velq_layout* none = nullptr;
  velq_channel* noChannel = nullptr;
  velq_process* noProcess = nullptr;
  struct Case {
    const char* what;
    velq_status got;
    velq_status expected;
    const char* text;
  } cases[] = {
      {"unused analog name", velq_channel_set_named(channel, "ia9", 1), VELQ_ERR_UNKNOWN_SENSOR,
       "The skin does not use ia9"},
      {"not a sensor name", velq_channel_set_named(channel, "IA4", 1), VELQ_ERR_UNKNOWN_SENSOR,
       "The skin does not use IA4"},
      {"position of unused name", velq_layout_position(layout, "in1", &position), VELQ_ERR_UNKNOWN_SENSOR,
       "The skin does not use in1"},
      {"slot 0", velq_channel_set(channel, 0, 1), VELQ_ERR_ARGUMENT, "Slot 0 outside 1..1"},
      {"slot past N", velq_channel_set(channel, 2, 1), VELQ_ERR_ARGUMENT, "Slot 2 outside 1..1"},
      {"frame too long", velq_channel_set_frame(channel, two, 2), VELQ_ERR_ARGUMENT,
       "A frame of 2 values for 1 slots"},
      {"frame without values", velq_channel_set_frame(channel, nullptr, 1), VELQ_ERR_ARGUMENT, "No values"},
      {"null channel", velq_channel_set(nullptr, 1, 1), VELQ_ERR_ARGUMENT, "No channel"},
      {"null name", velq_channel_set_named(channel, nullptr, 1), VELQ_ERR_ARGUMENT, "No sensor name"},
      {"null layout", velq_channel_create(nullptr, &noChannel), VELQ_ERR_ARGUMENT,
       "No layout or no place for the channel"},
      {"null skin", velq_layout_load(nullptr, nullptr, &none), VELQ_ERR_ARGUMENT,
       "No skin name or no place for the layout"},
      {"skin name with a path", velq_layout_load(nullptr, "../x", &none), VELQ_ERR_ARGUMENT,
       "A skin name is one folder name"},
      {"null launch", velq_launch(nullptr, nullptr, nullptr, &noProcess), VELQ_ERR_ARGUMENT,
       "No skin name or no place for the process"},
      {"null process", velq_process_wait(nullptr, 0, nullptr), VELQ_ERR_ARGUMENT, "No process"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
  // The text is the last call's: check each again, one call at a time.
  EXPECT_EQ(velq_channel_set_named(channel, "ia9", 1), VELQ_ERR_UNKNOWN_SENSOR);
  EXPECT_STREQ(velq_last_error(), "The skin does not use ia9");
  EXPECT_EQ(velq_channel_set(channel, 2, 1), VELQ_ERR_ARGUMENT);
  EXPECT_STREQ(velq_last_error(), "Slot 2 outside 1..1");
  EXPECT_EQ(velq_channel_set_frame(channel, two, 2), VELQ_ERR_ARGUMENT);
  EXPECT_STREQ(velq_last_error(), "A frame of 2 values for 1 slots");
  EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 7.0f})) << "refused writes change nothing";
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(noChannel, nullptr);
  EXPECT_EQ(noProcess, nullptr);

  // The text belongs to the thread that failed.
  std::string otherThread = "unset";
  std::thread([&] { otherThread = velq_last_error(); }).join();
  EXPECT_EQ(otherThread, "");
  EXPECT_STREQ(velq_last_error(), "A frame of 2 values for 1 slots");
  ASSERT_EQ(velq_channel_set(channel, 1, 1), VELQ_OK);
  EXPECT_STREQ(velq_last_error(), "") << "a success clears the text";
}

TEST_F(HostApi, ASkinThatCannotBeReadIsASkinErrorWithTheReadersText) {
  velq_layout* layout = nullptr;
  EXPECT_EQ(velq_layout_load(FWork.c_str(), "absent", &layout), VELQ_ERR_SKIN);
  EXPECT_EQ(layout, nullptr);
  EXPECT_NE(std::string(velq_last_error()).find("absent/skin.bin"), std::string::npos) << velq_last_error();

  fs::create_directories(FWork / "Skin" / "broken");
  std::ofstream(FWork / "Skin" / "broken" / "skin.cfg") << "object X: TSkinForm\n  Left = \n";
  EXPECT_EQ(velq_layout_load(FWork.c_str(), "broken", &layout), VELQ_ERR_SKIN);
  EXPECT_NE(std::string(velq_last_error()).find("ligne"), std::string::npos) << velq_last_error();

  std::ofstream(FWork / "junk.bin") << "not a skin";
  EXPECT_EQ(velq_layout_load_file((FWork / "junk.bin").c_str(), &layout), VELQ_ERR_SKIN);
  EXPECT_STRNE(velq_last_error(), "");
}

TEST_F(HostApi, ASecondCreateReplacesTheBlockAndEachRemovesOnlyItsOwn) {
  WriteSkin("one", {"TSkinLevelBar AnalogSensor = ia4"});
  velq_layout* layout = Layout("one");
  velq_channel* first = Channel(layout);
  ASSERT_EQ(velq_channel_set(first, 1, 1.0f), VELQ_OK);
  velq_channel* second = Channel(layout);
  ASSERT_EQ(velq_channel_set(second, 1, 2.0f), VELQ_OK);
  EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 2.0f})) << "the name is the newer block's";
  ASSERT_EQ(velq_channel_set(first, 1, 3.0f), VELQ_OK) << "the older channel still writes its own block";

  EXPECT_EQ(velq_channel_remove(first), VELQ_OK);
  EXPECT_EQ(velq_channel_remove(first), VELQ_OK);
  EXPECT_EQ(velq_channel_set(first, 1, 1.0f), VELQ_ERR_REMOVED);
  EXPECT_EQ(velq_channel_notify(first), VELQ_ERR_REMOVED);
  EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 2.0f})) << "removing the older one left the newer block";

  EXPECT_EQ(velq_channel_remove(second), VELQ_OK);
  EXPECT_TRUE(ReadBlock().empty());
  // A new channel after removal creates the block afresh.
  Channel(layout);
  EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 0}));
}

TEST_F(HostApi, NotifyReachesAListenerWithTheSendTimeAndReportsNoListener) {
  WriteSkin("one", {"TSkinLevelBar AnalogSensor = ia4"});
  velq_channel* channel = Channel(Layout("one"));
  EXPECT_EQ(velq_channel_notify(channel), VELQ_ERR_NOT_DELIVERED);
  EXPECT_STREQ(velq_last_error(), "No dashboard took the notification");

  const std::string name = "UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}" + FSuffix;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address),
                   static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())), 0);
  timespec before{}, after{};
  ::clock_gettime(CLOCK_MONOTONIC, &before);
  EXPECT_EQ(velq_channel_notify(channel), VELQ_OK);
  ::clock_gettime(CLOCK_MONOTONIC, &after);
  uint64_t sentAt = 0;
  EXPECT_EQ(::recv(fd, &sentAt, sizeof sentAt, 0), 8);
  ::close(fd);
  EXPECT_GE(sentAt, uint64_t(before.tv_sec) * 1000000000u + uint64_t(before.tv_nsec));
  EXPECT_LE(sentAt, uint64_t(after.tv_sec) * 1000000000u + uint64_t(after.tv_nsec));
}

TEST_F(HostApi, EveryDeliveryNotifiesAlikeHereAndAnUnknownOneIsRefused) {
  WriteSkin("one", {"TSkinLevelBar AnalogSensor = ia4"});
  velq_layout* layout = Layout("one");
  const std::string name = "UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}" + FSuffix;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address),
                   static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())), 0);
  for (const velq_delivery delivery : {VELQ_DELIVER_POST, VELQ_DELIVER_SEND, VELQ_DELIVER_BROADCAST}) {
    SCOPED_TRACE("delivery " + std::to_string(static_cast<int>(delivery)));
    velq_channel* channel = nullptr;
    ASSERT_EQ(velq_channel_create_with_delivery(layout, delivery, &channel), VELQ_OK) << velq_last_error();
    FChannels.push_back(channel);
    ASSERT_EQ(velq_channel_set(channel, 1, 4.5f), VELQ_OK);
    EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 4.5f}));
    EXPECT_EQ(velq_channel_notify(channel), VELQ_OK) << velq_last_error();
    uint64_t sentAt = 0;
    EXPECT_EQ(::recv(fd, &sentAt, sizeof sentAt, MSG_DONTWAIT), 8) << "one timed datagram";
    EXPECT_GT(sentAt, 0u);
  }
  ::close(fd);

  // The one value past the three that the type itself can hold.
  velq_channel* channel = FChannels.back();  // a refusal must clear what was there
  EXPECT_EQ(velq_channel_create_with_delivery(layout, static_cast<velq_delivery>(3), &channel), VELQ_ERR_ARGUMENT);
  EXPECT_EQ(channel, nullptr);
  EXPECT_STREQ(velq_last_error(), "Unknown delivery 3");
  EXPECT_EQ(velq_channel_create_with_delivery(nullptr, VELQ_DELIVER_SEND, &channel), VELQ_ERR_ARGUMENT);
  EXPECT_STREQ(velq_last_error(), "No layout or no place for the channel");
}

TEST_F(HostApi, LaunchRunsTheProgramWithTheSkinInTheWorkFolderAndReportsItsEnd) {
  // mkdir stands in for the dashboard: its one argument is the skin name,
  // and it runs in the work folder.
  velq_process* process = nullptr;
  ASSERT_EQ(velq_launch("/bin/mkdir", "made-here", FWork.c_str(), &process), VELQ_OK) << velq_last_error();
  EXPECT_GT(velq_process_id(process), 0);
  int32_t code = -1;
  EXPECT_EQ(velq_process_wait(process, -1, &code), VELQ_OK);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(fs::is_directory(FWork / "made-here"));
  EXPECT_EQ(velq_process_wait(process, 0, &code), VELQ_OK) << "the end is remembered";
  velq_process_free(process);

  ASSERT_EQ(velq_launch("sleep", "30", nullptr, &process), VELQ_OK) << "found in PATH";
  EXPECT_EQ(velq_process_wait(process, 0, &code), VELQ_ERR_RUNNING);
  EXPECT_EQ(velq_process_terminate(process), VELQ_OK);
  EXPECT_EQ(velq_process_wait(process, -1, &code), VELQ_OK);
  EXPECT_EQ(code, 128 + 15);
  velq_process_free(process);

  // Freeing a handle whose process still runs ends that process.
  ASSERT_EQ(velq_launch("sleep", "30", nullptr, &process), VELQ_OK);
  const pid_t pid = velq_process_id(process);
  velq_process_free(process);
  EXPECT_NE(::kill(pid, 0), 0) << "no process is left behind";

  EXPECT_EQ(velq_launch("/no/such/program", "demo", nullptr, &process), VELQ_ERR_SYSTEM);
  EXPECT_EQ(process, nullptr);
  EXPECT_STREQ(velq_last_error(), "Cannot start /no/such/program: No such file or directory");
}

TEST(HostLibrary, ExportsOnlyItsInterfaceUnderAVersionedName) {
  std::string symbols;
  FILE* pipe = ::popen(("nm -D --defined-only --format=just-symbols " + std::string(VELQHOST_LIBRARY)).c_str(), "r");
  ASSERT_TRUE(pipe);
  char line[512];
  int count = 0;
  while (std::fgets(line, sizeof line, pipe)) {
    std::string symbol(line);
    symbol.erase(symbol.find_last_not_of("\n") + 1);
    if (symbol == "VELQHOST_1") continue;  // the version node itself
    ++count;
    EXPECT_TRUE(symbol.rfind("velq_", 0) == 0 || symbol.rfind("Java_com_velq_dashboard_HostChannel_", 0) == 0)
        << "exported: " << symbol;
  }
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_GT(count, 20);
  std::string dynamic;
  pipe = ::popen(("readelf -d " + std::string(VELQHOST_LIBRARY)).c_str(), "r");
  ASSERT_TRUE(pipe);
  while (std::fgets(line, sizeof line, pipe)) dynamic += line;
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_NE(dynamic.find("Library soname: [libvelqhost.so.1]"), std::string::npos) << dynamic;
  EXPECT_STREQ(velq_host_version(), "1.1");
}

}  // namespace
