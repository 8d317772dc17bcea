// libvelqhost through its C interface only, as a host program sees it: the
// layout (against skinhost and the dashboard's ordering rules), slot
// writes, refusals with status and text, repeated create and remove, the
// notification, launching, and the library's exported symbols.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "velq/host.h"

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

// A stand-in dashboard: the notification name bound, nothing read unless
// the test reads it (so, left alone, a stalled dashboard). -1 on failure.
int BindListener(const std::string& suffix) {
  const std::string name = "UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}" + suffix;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address),
             static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

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
       "The skin does not use sensor ia9"},
      {"position of unused name", velq_layout_position(layout, "in1", &position), VELQ_ERR_UNKNOWN_SENSOR,
       "The skin does not use sensor in1"},
      {"names are exact", velq_channel_set_named(channel, "IA4", 1), VELQ_ERR_NOT_A_SENSOR,
       "\"IA4\" is not a sensor name (ia1..ia47, in1..in32)"},
      {"past the analog sensors", velq_channel_set_named(channel, "ia48", 1), VELQ_ERR_NOT_A_SENSOR,
       "\"ia48\" is not a sensor name (ia1..ia47, in1..in32)"},
      {"no sensor", velq_layout_position(layout, "in0", &position), VELQ_ERR_NOT_A_SENSOR,
       "\"in0\" is not a sensor name (ia1..ia47, in1..in32)"},
      {"past the digital sensors", velq_layout_position(layout, "in33", &position), VELQ_ERR_NOT_A_SENSOR,
       "\"in33\" is not a sensor name (ia1..ia47, in1..in32)"},
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
  for (const Case& c : cases) {
    EXPECT_EQ(c.got, c.expected) << c.what;
    EXPECT_STRNE(velq_status_string(c.got), "Unknown status") << c.what;
  }
  // The text is the last call's: check each again, one call at a time.
  EXPECT_EQ(velq_channel_set_named(channel, "ia9", 1), VELQ_ERR_UNKNOWN_SENSOR);
  EXPECT_STREQ(velq_last_error(), "The skin does not use sensor ia9");
  EXPECT_EQ(velq_channel_set_named(channel, "ia48", 1), VELQ_ERR_NOT_A_SENSOR);
  EXPECT_STREQ(velq_last_error(), "\"ia48\" is not a sensor name (ia1..ia47, in1..in32)");
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

TEST_F(HostApi, WhatIsMissingOrBrokenIsNamedInEnglish) {
  fs::create_directories(FWork / "Skin" / "empty");
  fs::create_directories(FWork / "Skin" / "broken");
  std::ofstream(FWork / "Skin" / "broken" / "skin.cfg") << "object X: TSkinForm\n  Left = @\n";
  std::ofstream(FWork / "junk.bin") << "not a skin";
  const std::string work = FWork.string();
  velq_layout* layout = nullptr;
  struct Case {
    const char* what;
    velq_status got;
    velq_status expected;
    std::string text;
  } cases[] = {
      {"no work folder", velq_layout_load((work + "/nowhere").c_str(), "demo", &layout), VELQ_ERR_NOT_FOUND,
       "The work folder " + work + "/nowhere does not exist"},
      {"no skin folder", velq_layout_load(work.c_str(), "absent", &layout), VELQ_ERR_NOT_FOUND,
       "The work folder " + work + " has no skin folder Skin/absent"},
      {"no skin file", velq_layout_load(work.c_str(), "empty", &layout), VELQ_ERR_NOT_FOUND,
       "The skin folder " + work + "/Skin/empty/ has neither skin.bin nor skin.cfg"},
      {"syntax", velq_layout_load(work.c_str(), "broken", &layout), VELQ_ERR_SKIN,
       work + "/Skin/broken/skin.cfg: syntax error in the skin's text at line 2"},
      {"not a skin", velq_layout_load_file((work + "/junk.bin").c_str(), &layout), VELQ_ERR_SKIN,
       work + "/junk.bin: not a binary skin file, or a damaged one"},
      {"no file", velq_layout_load_file((work + "/none.bin").c_str(), &layout), VELQ_ERR_NOT_FOUND,
       "cannot open skin file " + work + "/none.bin: No such file or directory"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
  EXPECT_EQ(layout, nullptr);
  // Each text, one call at a time (the text is the last call's).
  for (const Case& c : cases) {
    if (std::string(c.what) == "no work folder") velq_layout_load((work + "/nowhere").c_str(), "demo", &layout);
    if (std::string(c.what) == "no skin folder") velq_layout_load(work.c_str(), "absent", &layout);
    if (std::string(c.what) == "no skin file") velq_layout_load(work.c_str(), "empty", &layout);
    if (std::string(c.what) == "syntax") velq_layout_load(work.c_str(), "broken", &layout);
    if (std::string(c.what) == "not a skin") velq_layout_load_file((work + "/junk.bin").c_str(), &layout);
    if (std::string(c.what) == "no file") velq_layout_load_file((work + "/none.bin").c_str(), &layout);
    EXPECT_EQ(velq_last_error(), c.text) << c.what;
  }
}

TEST_F(HostApi, StatusesHaveDistinctSentences) {
  std::vector<std::string> seen;
  for (int status = VELQ_OK; status >= VELQ_ERR_NOT_FOUND; --status) {
    const std::string text = velq_status_string(status);
    EXPECT_NE(text, "Unknown status") << status;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << status << " " << text;
    seen.push_back(text);
  }
  EXPECT_STREQ(velq_status_string(VELQ_ERR_NOT_FOUND - 1), "Unknown status");
  EXPECT_STREQ(velq_status_string(1), "Unknown status");
}

// A host in a child process that holds the channel until told to end, or
// is killed; the pipe says when it owns the block.
struct TOtherHost {
  pid_t Pid = -1;
  int Hold[2] = {-1, -1};
  explicit TOtherHost(const velq_layout* layout, float value) {
    int ready[2];
    if (::pipe(ready) != 0 || ::pipe(Hold) != 0) return;
    Pid = ::fork();
    if (Pid == 0) {
      velq_channel* channel = nullptr;
      char ok = velq_channel_create(layout, &channel) == VELQ_OK && velq_channel_set(channel, 1, value) == VELQ_OK;
      (void)!::write(ready[1], &ok, 1);
      char done;
      (void)!::read(Hold[0], &done, 1);
      velq_channel_free(channel);
      ::_exit(0);
    }
    char ok = 0;
    if (::read(ready[0], &ok, 1) != 1 || !ok) Pid = -1;
    ::close(ready[0]);
    ::close(ready[1]);
  }
  void Crash() { ::kill(Pid, SIGKILL), ::waitpid(Pid, nullptr, 0); }
  void End() {
    char done = 1;
    (void)!::write(Hold[1], &done, 1);
    ::waitpid(Pid, nullptr, 0);
  }
};

TEST_F(HostApi, OneLiveHostOwnsTheNameAndACrashedOnesBlockIsTakenOver) {
  WriteSkin("one", {"TSkinLevelBar AnalogSensor = ia4"});
  velq_layout* layout = Layout("one");
  {
    TOtherHost other(layout, 5.0f);
    ASSERT_GT(other.Pid, 0);
    velq_channel* second = nullptr;
    EXPECT_EQ(velq_channel_create(layout, &second), VELQ_ERR_OWNED);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(std::string(velq_last_error()).find("owned by another host that is still running"), std::string::npos)
        << velq_last_error();
    EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 5.0f})) << "the refusal changed nothing";
    other.End();
    EXPECT_TRUE(ReadBlock().empty()) << "an owner that ends removes its block";
  }
  {
    TOtherHost crashed(layout, 6.0f);
    ASSERT_GT(crashed.Pid, 0);
    crashed.Crash();
    EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 6.0f})) << "a crashed host leaves its block";
    velq_channel* next = Channel(layout);
    ASSERT_TRUE(next);
    EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 0})) << "taken over by a fresh block";
    velq_channel* third = nullptr;
    EXPECT_EQ(velq_channel_create(layout, &third), VELQ_ERR_OWNED) << "in one process as well";
    EXPECT_EQ(velq_channel_remove(next), VELQ_OK);
    EXPECT_EQ(velq_channel_remove(next), VELQ_OK);
    EXPECT_EQ(velq_channel_set(next, 1, 1.0f), VELQ_ERR_REMOVED);
    EXPECT_EQ(velq_channel_notify(next), VELQ_ERR_REMOVED);
    EXPECT_TRUE(ReadBlock().empty());
    Channel(layout);
    EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 0})) << "free again after the removal";
  }
}

// Notifies every 10 ms for up to 3 s; the status that ended the wait and how
// long after the start it came.
std::pair<velq_status, double> NotifyUntil(velq_channel* channel, velq_status wanted) {
  const auto start = std::chrono::steady_clock::now();
  velq_status status = VELQ_OK;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    status = velq_channel_notify(channel);
    if (status == wanted) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {status, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

TEST_F(HostApi, NotifyReportsANameRemovedOrReplacedBehindItsBackWithinASecond) {
  WriteSkin("one", {"TSkinLevelBar AnalogSensor = ia4"});
  velq_layout* layout = Layout("one");
  const std::string name = "/Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}" + FSuffix;
  velq_channel* first = Channel(layout);
  EXPECT_EQ(velq_channel_notify(first), VELQ_ERR_NOT_DELIVERED);
  ASSERT_EQ(::shm_unlink(name.c_str()), 0);
  auto [status, seconds] = NotifyUntil(first, VELQ_ERR_DETACHED);
  EXPECT_EQ(status, VELQ_ERR_DETACHED);
  EXPECT_LT(seconds, 1.0);
  EXPECT_EQ(velq_channel_notify(first), VELQ_ERR_DETACHED) << "and on every notify after";
  EXPECT_EQ(velq_channel_set(first, 1, 2.0f), VELQ_OK) << "its own block stays writable";

  // The name is free now: a second channel takes it, and the first still
  // knows the name is not its own; removing it leaves the second's block.
  velq_channel* second = Channel(layout);
  ASSERT_TRUE(second);
  EXPECT_EQ(velq_channel_notify(first), VELQ_ERR_DETACHED);
  EXPECT_EQ(velq_channel_remove(first), VELQ_OK);
  EXPECT_EQ(ReadBlock(), (std::vector<float>{0, 0}));
  EXPECT_EQ(velq_channel_notify(second), VELQ_ERR_NOT_DELIVERED) << "the second one's name is its own";
}


TEST_F(HostApi, AStalledDashboardMakesNotifyReportBusyAtOnceOrAfterTheTimeOutAsked) {
  WriteSkin("one", {"TSkinLevelBar AnalogSensor = ia4"});
  velq_channel* channel = Channel(Layout("one"));
  const int stalled = BindListener(FSuffix);
  ASSERT_GE(stalled, 0);
  int delivered = 0;
  velq_status status = VELQ_OK;
  for (int i = 0; i < 1000 && status == VELQ_OK; ++i)
    if ((status = velq_channel_notify(channel)) == VELQ_OK) ++delivered;
  EXPECT_EQ(status, VELQ_ERR_BUSY) << velq_last_error();
  EXPECT_GT(delivered, 0);
  // Busy is told at once by default: a frame loop never stalls with it.
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(velq_channel_notify(channel), VELQ_ERR_BUSY);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500)) << "20 notifies, no waiting";
  // With a time-out, it waits that long for room first.
  ASSERT_EQ(velq_channel_set_notify_timeout(channel, 300), VELQ_OK);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(velq_channel_notify(channel), VELQ_ERR_BUSY);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_EQ(velq_channel_set_notify_timeout(channel, -1), VELQ_ERR_ARGUMENT);
  EXPECT_EQ(velq_channel_set_notify_timeout(channel, 10001), VELQ_ERR_ARGUMENT);
  // Read one: there is room again.
  uint64_t sentAt = 0;
  EXPECT_EQ(::recv(stalled, &sentAt, sizeof sentAt, 0), 8);
  EXPECT_EQ(velq_channel_notify(channel), VELQ_OK);
  ::close(stalled);

  velq_channel_options options;
  velq_channel_options_init(&options);
  EXPECT_EQ(options.notify_timeout_ms, 0);
  options.notify_timeout_ms = -5;
  velq_channel* refused = nullptr;
  EXPECT_EQ(velq_channel_create_with_options(Layout("one"), &options, &refused), VELQ_ERR_ARGUMENT);
  EXPECT_EQ(refused, nullptr);
}

TEST_F(HostApi, NotifyReachesAListenerWithTheSendTimeAndReportsNoListener) {
  WriteSkin("one", {"TSkinLevelBar AnalogSensor = ia4"});
  velq_channel* channel = Channel(Layout("one"));
  EXPECT_EQ(velq_channel_notify(channel), VELQ_ERR_NOT_DELIVERED);
  EXPECT_STREQ(velq_last_error(), "No dashboard is listening");

  const int fd = BindListener(FSuffix);
  ASSERT_GE(fd, 0);
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
  const int fd = BindListener(FSuffix);
  ASSERT_GE(fd, 0);
  for (const velq_delivery delivery : {VELQ_DELIVER_POST, VELQ_DELIVER_SEND, VELQ_DELIVER_BROADCAST}) {
    SCOPED_TRACE("delivery " + std::to_string(static_cast<int>(delivery)));
    // One owner at a time: the previous round's channel gives the name up.
    for (velq_channel* old : FChannels) velq_channel_free(old);
    FChannels.clear();
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
  // and it runs in the work folder (which must hold that skin's folder).
  fs::create_directories(FWork / "Skin" / "made-here");
  velq_process* process = nullptr;
  ASSERT_EQ(velq_launch("/bin/mkdir", "made-here", FWork.c_str(), &process), VELQ_OK) << velq_last_error();
  EXPECT_GT(velq_process_id(process), 0);
  int32_t code = -1;
  EXPECT_EQ(velq_process_wait(process, -1, &code), VELQ_OK);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(fs::is_directory(FWork / "made-here"));
  EXPECT_EQ(velq_process_wait(process, 0, &code), VELQ_OK) << "the end is remembered";
  velq_process_free(process);

  fs::create_directories(FWork / "Skin" / "30");
  ASSERT_EQ(velq_launch("sleep", "30", FWork.c_str(), &process), VELQ_OK) << "found in PATH";
  EXPECT_EQ(velq_process_wait(process, 0, &code), VELQ_ERR_RUNNING);
  EXPECT_EQ(velq_process_terminate(process), VELQ_OK);
  EXPECT_EQ(velq_process_wait(process, -1, &code), VELQ_OK);
  EXPECT_EQ(code, 128 + 15);
  velq_process_free(process);

  // Freeing a handle whose process still runs ends that process, within
  // about 2 s even when it is stopped and cannot act on the request.
  ASSERT_EQ(velq_launch("sleep", "30", FWork.c_str(), &process), VELQ_OK);
  const pid_t pid = velq_process_id(process);
  ::kill(pid, SIGSTOP);
  auto start = std::chrono::steady_clock::now();
  velq_process_free(process);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_NE(::kill(pid, 0), 0) << "no process is left behind";

  // One that ignores the request is killed after the time given.
  std::ofstream(FWork / "stubborn.sh") << "#!/bin/sh\ntrap '' TERM\nsleep 30\n";
  fs::permissions(FWork / "stubborn.sh", fs::perms::owner_all);
  ASSERT_EQ(velq_launch((FWork / "stubborn.sh").c_str(), "30", FWork.c_str(), &process), VELQ_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let it set its trap
  EXPECT_EQ(velq_process_stop(process, 300, &code), VELQ_OK);
  EXPECT_EQ(code, 128 + 9);
  EXPECT_EQ(velq_process_stop(process, 300, &code), VELQ_OK) << "harmless once ended";
  velq_process_free(process);

  const std::string work = FWork.string();
  struct Case {
    const char* program;
    const char* skin;
    std::string workDir;
    std::string text;
  } cases[] = {
      {"/no/such/program", "30", work, "Cannot start /no/such/program: no such program"},
      {"sleep", "30", work + "/nowhere", "The work folder " + work + "/nowhere does not exist"},
      {"sleep", "absent", work, "The work folder " + work + " has no skin folder Skin/absent"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(velq_launch(c.program, c.skin, c.workDir.c_str(), &process), VELQ_ERR_NOT_FOUND) << c.text;
    EXPECT_EQ(process, nullptr);
    EXPECT_EQ(velq_last_error(), c.text);
  }
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
  EXPECT_STREQ(velq_host_version(), "1.2");
}

// A host that writes floats into shared memory loads nothing else: no
// drawing, text, picture or window library comes with the library.
TEST(HostLibrary, NeedsOnlyTheCAndCxxRuntimes) {
  FILE* pipe = ::popen(("ldd " + std::string(VELQHOST_LIBRARY)).c_str(), "r");
  ASSERT_TRUE(pipe);
  char line[512];
  std::string all;
  int libraries = 0;
  while (std::fgets(line, sizeof line, pipe)) {
    all += line;
    const std::string entry(line);
    bool known = false;
    for (const char* allowed : {"linux-vdso.so", "libstdc++.so", "libm.so", "libgcc_s.so", "libc.so", "ld-linux",
                                "libasan.so", "libubsan.so", "libtsan.so"})
      known = known || entry.find(allowed) != std::string::npos;
    EXPECT_TRUE(known) << "loaded with the library: " << entry;
    ++libraries;
  }
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_GE(libraries, 3) << all;
}

}  // namespace
