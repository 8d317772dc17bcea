// The data channel: the host's block and notifications as the dashboard sees
// them. Every test uses names of its own (process id and a counter appended),
// so parallel runs never share a channel.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "DataChannel.h"
#include "SkinSensors.h"

namespace {

using namespace std::chrono_literals;

// Generous bounds: they only turn a hang into a failure.
constexpr auto kPatience = 10s;

std::string UniqueSuffix() {
  static std::atomic<int> counter{0};
  return "-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

struct ChannelNames {
  std::string suffix = UniqueSuffix();
  std::string block = std::string(kMapFileName) + suffix;
  std::string message = std::string(kDataReadyMessageName) + suffix;
};

// The notification's abstract socket address for a message name.
struct AbstractAddress {
  explicit AbstractAddress(const std::string& name) {
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  }
  sockaddr* get() { return reinterpret_cast<sockaddr*>(&address); }
  sockaddr_un address{};
  socklen_t length = 0;
};

// Counts callbacks and lets a test wait for a number of them.
class CallbackCounter {
public:
  void operator()() {
    std::lock_guard<std::mutex> lock(FLock);
    ++FCount;
    FChanged.notify_all();
  }
  bool WaitFor(int count, std::chrono::milliseconds timeout = kPatience) {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, timeout, [&] { return FCount >= count; });
  }
  int Count() {
    std::lock_guard<std::mutex> lock(FLock);
    return FCount;
  }

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  int FCount = 0;
};

std::string OpenError(const std::string& name) {
  TDataBlockView view;
  try {
    view.Open(name);
  } catch (const EDataChannelError& e) {
    EXPECT_FALSE(view.Mapped());
    return e.Message();
  }
  return "(no error)";
}

// A raw POSIX object of an exact size, for sizes the host never makes.
class RawBlock {
public:
  RawBlock(const std::string& name, off_t size) : FName("/" + name) {
    const int fd = ::shm_open(FName.c_str(), O_CREAT | O_RDWR, 0600);
    EXPECT_GE(fd, 0);
    if (size > 0) {
      EXPECT_EQ(::ftruncate(fd, size), 0);
      void* address = ::mmap(nullptr, static_cast<size_t>(size), PROT_WRITE, MAP_SHARED, fd, 0);
      EXPECT_NE(address, MAP_FAILED);
      // Slot k holds k + 0.5 wherever it lies wholly inside the object.
      for (off_t k = 0; (k + 1) * 4 <= size; ++k) {
        const float value = static_cast<float>(k) + 0.5f;
        std::memcpy(static_cast<char*>(address) + k * 4, &value, 4);
      }
      ::munmap(address, static_cast<size_t>(size));
    }
    ::close(fd);
  }
  ~RawBlock() { ::shm_unlink(FName.c_str()); }

private:
  std::string FName;
};

// The frame pass as the skin window runs it, reduced to its channel part:
// each bound sensor name finds its position, reads its slot and updates its
// record; components whose slot is absent are skipped.
int FramePass(TSensorList& list, const std::vector<std::string>& boundNames) {
  int updated = 0;
  for (const std::string& name : boundNames) {
    const int32_t position = list.FindSensorPosition(name);
    if (const std::optional<float> value = ReadDataSlot(position)) {
      list.SensorAtPosition(position).UpdateExtremes(*value);
      ++updated;
    }
  }
  return updated;
}

class ScopedSuffix {
public:
  explicit ScopedSuffix(const std::string& suffix) { ::setenv(kChannelSuffixVariable, suffix.c_str(), 1); }
  ~ScopedSuffix() { ::unsetenv(kChannelSuffixVariable); }
};

TEST(DataChannelNames, FixedNamesWithTheOptionalSuffix) {
  ::unsetenv(kChannelSuffixVariable);
  EXPECT_EQ(MapFileName(), "Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}");
  EXPECT_EQ(DataReadyMessageName(), "UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}");
  ScopedSuffix suffix("-x1");
  EXPECT_EQ(MapFileName(), "Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}-x1");
  EXPECT_EQ(DataReadyMessageName(), "UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}-x1");
}

TEST(DataBlockView, MissingOrUnmappableBlockRaisesTheSystemsMessages) {
  const ChannelNames names;
  EXPECT_EQ(OpenError(names.block), "Error");
  // An empty object exists but cannot be mapped.
  RawBlock empty(names.block, 0);
  EXPECT_EQ(OpenError(names.block), "Unable to map view of buffer");
}

TEST(DataBlockView, SlotsBeyondAShortBlockAreAbsent) {
  struct Case {
    off_t size;
    int32_t slotCount;
  };
  // A skin of five sensors needs 24 bytes; shorter blocks still open and
  // give the slots that lie wholly inside them.
  const Case cases[] = {{24, 5}, {64, 15}, {12, 2}, {10, 1}, {7, 0}, {4, 0}, {1, 0}};
  for (const Case& c : cases) {
    const ChannelNames names;
    RawBlock raw(names.block, c.size);
    TDataBlockView view;
    ASSERT_NO_THROW(view.Open(names.block)) << c.size;
    EXPECT_EQ(view.Size(), static_cast<size_t>(c.size));
    EXPECT_EQ(view.SlotCount(), c.slotCount) << c.size;
    EXPECT_FALSE(view.ReadSlot(0)) << "slot 0 carries no sensor";
    EXPECT_FALSE(view.ReadSlot(-1));
    for (int32_t p = 1; p <= 5; ++p) {
      const std::optional<float> value = view.ReadSlot(p);
      if (p <= c.slotCount) {
        ASSERT_TRUE(value) << c.size << " slot " << p;
        EXPECT_EQ(*value, static_cast<float>(p) + 0.5f);
      } else {
        EXPECT_FALSE(value) << c.size << " slot " << p;
      }
    }
  }
}

TEST(DataBlockView, ReleaseStopsEveryReadAndMayBeRepeated) {
  const ChannelNames names;
  TDataChannelHost host(2, names.block, names.message);
  host.WriteSlot(1, 1.25f);
  TDataBlockView view;
  view.Open(names.block);
  EXPECT_EQ(view.ReadSlot(1), 1.25f);
  view.Release();
  EXPECT_FALSE(view.Mapped());
  EXPECT_EQ(view.Size(), 0u);
  EXPECT_EQ(view.SlotCount(), 0);
  EXPECT_FALSE(view.ReadSlot(1));
  view.Release();
  EXPECT_FALSE(view.ReadSlot(1));
  // Releasing a view that never opened is harmless too.
  TDataBlockView never;
  never.Release();
  EXPECT_FALSE(never.Mapped());
}

TEST(DataBlockView, AHostShrinkingTheBlockNeverCrashesTheReader) {
  // Three pages of slots, each holding its number + 0.5.
  const ChannelNames names;
  const long page = ::sysconf(_SC_PAGESIZE);
  RawBlock raw(names.block, 3 * page);
  const int32_t far = static_cast<int32_t>(2 * page / 4 + 10);  // a slot on the third page
  TDataBlockView view;
  view.Open(names.block);
  ASSERT_EQ(view.ReadSlot(far), static_cast<float>(far) + 0.5f);
  const int fd = ::shm_open(("/" + names.block).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);

  // Shrunk to one page under the view: the far slot's page is gone. The
  // read that meets it reports the slot absent (the system would have
  // ended the process); so does the rest of that pass.
  ASSERT_EQ(::ftruncate(fd, page), 0);
  EXPECT_FALSE(view.ReadSlot(far));
  EXPECT_FALSE(view.ReadSlot(10));
  // The next pass knows the new size: the slots inside it are read, the
  // others are absent and never touched.
  view.Refresh();
  EXPECT_EQ(view.SlotCount(), page / 4 - 1);
  EXPECT_EQ(view.ReadSlot(10), 10.5f);
  EXPECT_FALSE(view.ReadSlot(far));

  // Grown back and written again: read again, the lost page included.
  ASSERT_EQ(::ftruncate(fd, 3 * page), 0);
  const float value = 42.25f;
  ASSERT_EQ(::pwrite(fd, &value, 4, static_cast<off_t>(far) * 4), 4);
  view.Refresh();
  EXPECT_EQ(view.SlotCount(), 3 * page / 4 - 1);
  EXPECT_EQ(view.ReadSlot(far), value);
  EXPECT_EQ(view.ReadSlot(10), 10.5f);

  // Truncated to nothing (what a host may do before removing it): every
  // page is gone, every slot absent, before and after the next Refresh.
  ASSERT_EQ(::ftruncate(fd, 0), 0);
  EXPECT_FALSE(view.ReadSlot(1));
  view.Refresh();
  EXPECT_EQ(view.SlotCount(), 0);
  EXPECT_FALSE(view.ReadSlot(1));
  ::close(fd);
}

TEST(DataBlockViewDeathTest, AFaultOutsideEveryViewStillEndsTheProcess) {
  // The guard takes only the views' own pages; any other bus error keeps
  // its default effect.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child runs this test again from its start: it takes the block's
  // name from the parent, through the environment, so that the parent can
  // remove the block the dying child leaves.
  if (!std::getenv("VELQ_DEATH_TEST_BLOCK"))
    ::setenv("VELQ_DEATH_TEST_BLOCK", ("Mem_Map_File-deathtest-" + std::to_string(::getpid())).c_str(), 1);
  const std::string block = std::getenv("VELQ_DEATH_TEST_BLOCK");
  EXPECT_EXIT(
      {
        RawBlock raw(block, 64);
        TDataBlockView view;
        view.Open(block);
        // A mapping of our own past the end of a file of our own.
        const int fd = ::shm_open(("/" + block).c_str(), O_RDWR, 0);
        void* other = ::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, 0);
        ::ftruncate(fd, 0);
        std::fprintf(stderr, "reading\n");
        [[maybe_unused]] volatile char c = static_cast<const volatile char*>(other)[4096];
        std::exit(0);
      },
      [](int status) { return !WIFEXITED(status) || WEXITSTATUS(status) != 0; }, "reading");
  ::shm_unlink(("/" + block).c_str());
  ::unsetenv("VELQ_DEATH_TEST_BLOCK");
}

TEST(DataChannelHost, BlockHoldsOneSlotPerSensorPlusSlotZero) {
  const ChannelNames names;
  TDataChannelHost host(3, names.block, names.message);
  EXPECT_EQ(host.BlockSize(), 16u);
  TDataBlockView view;
  view.Open(names.block);
  EXPECT_EQ(view.SlotCount(), 3);
  for (int32_t p = 1; p <= 3; ++p) EXPECT_EQ(view.ReadSlot(p), 0.0f) << "a new block is zero";
  host.WriteSlot(0, 99.0f);
  host.WriteSlot(3, -2.5f);
  EXPECT_EQ(view.ReadSlot(3), -2.5f);
  for (int32_t slot : {-1, 4, 100}) EXPECT_THROW(host.WriteSlot(slot, 1.0f), EDataChannelError) << slot;
}

TEST(DataChannelHost, RemovingTheBlockLeavesMappedViewsIntact) {
  const ChannelNames names;
  TDataBlockView view;
  {
    TDataChannelHost host(1, names.block, names.message);
    host.WriteSlot(1, 7.0f);
    view.Open(names.block);
  }
  // The name is gone for new dashboards; the one that mapped it reads on.
  EXPECT_EQ(OpenError(names.block), "Error");
  EXPECT_EQ(view.ReadSlot(1), 7.0f);

  TDataChannelHost host(1, names.block, names.message);
  host.Remove();
  host.Remove();
  EXPECT_EQ(host.BlockSize(), 0u);
  EXPECT_THROW(host.WriteSlot(1, 1.0f), EDataChannelError);
  EXPECT_EQ(OpenError(names.block), "Error");
}

TEST(DataChannelHost, ALiveHostOwnsTheNameAndAStaleBlockIsReplacedWithoutDisturbingItsReaders) {
  const ChannelNames names;
  {
    TDataChannelHost live(2, names.block, names.message);
    live.WriteSlot(2, 2.0f);
    EXPECT_THROW(TDataChannelHost(1, names.block, names.message), EDataChannelOwned);
    TDataBlockView view;
    view.Open(names.block);
    EXPECT_EQ(view.ReadSlot(2), 2.0f) << "the refused host changed nothing";
  }
  // What a host that crashed leaves: a block of the name that nobody owns.
  const std::string shmName = "/" + names.block;
  const int fd = ::shm_open(shmName.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 7 * 4), 0);
  const float six = 6.0f;
  ASSERT_EQ(::pwrite(fd, &six, 4, 6 * 4), 4);
  ::close(fd);
  TDataBlockView oldView;
  oldView.Open(names.block);

  TDataChannelHost fresh(1, names.block, names.message);
  TDataBlockView newView;
  newView.Open(names.block);
  EXPECT_EQ(newView.SlotCount(), 1);
  EXPECT_EQ(newView.ReadSlot(1), 0.0f);
  // The old reader still sees its whole block.
  EXPECT_EQ(oldView.SlotCount(), 6);
  EXPECT_EQ(oldView.ReadSlot(6), 6.0f);
}

TEST(DataChannelHost, AHostWhoseNameWasTakenRemovesOnlyItsOwnBlock) {
  const ChannelNames names;
  TDataChannelHost first(6, names.block, names.message);
  ASSERT_EQ(::shm_unlink(("/" + names.block).c_str()), 0);  // removed behind its back
  TDataChannelHost second(2, names.block, names.message);
  second.WriteSlot(2, 2.0f);
  first.Remove();
  TDataBlockView view;
  view.Open(names.block);  // the newer host's block is still there
  EXPECT_EQ(view.SlotCount(), 2);
  EXPECT_EQ(view.ReadSlot(2), 2.0f);
  second.Remove();
  EXPECT_EQ(OpenError(names.block), "Error");
}

TEST(DataChannelHost, NotifyWithNoDashboardIsDroppedAtOnce) {
  const ChannelNames names;
  TDataChannelHost host(1, names.block, names.message, 2s);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(host.Notify());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "an absent dashboard must not be waited for";
}

TEST(DataChannelHost, RejectsANegativeSensorCount) {
  const ChannelNames names;
  EXPECT_THROW(TDataChannelHost(-1, names.block, names.message), EDataChannelError);
}

TEST(DataReadyListener, EachNotificationCallsBackOnceAndTheBlockCarriesTheFrame) {
  const ChannelNames names;
  ScopedSuffix suffix(names.suffix);
  TSensorList list;
  list.RegisterSensor(in3);
  list.RegisterSensor(ia3);
  list.Sort();
  const std::vector<std::string> bound = {"ia3", "in3", "ia3"};

  TDataChannelHost host(list.Count());
  // The watcher only hands the news over; the frame pass runs here, on the
  // thread that owns the view, as the skin window's user-interface thread.
  std::mutex lock;
  std::condition_variable posted;
  int pending = 0;
  TDataReadyListener listener([&] {
    std::lock_guard<std::mutex> guard(lock);
    ++pending;
    posted.notify_one();
  });
  ASSERT_TRUE(listener.Listening()) << listener.BindErrorText();
  OpenDataBlock();
  ASSERT_TRUE(DataBlockMapped());

  const float frames[][2] = {{5, 1}, {3, 0}, {8, 1}};
  for (const auto& frame : frames) {
    host.WriteSlot(1, frame[0]);
    host.WriteSlot(2, frame[1]);
    ASSERT_TRUE(host.Notify());
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(posted.wait_for(guard, kPatience, [&] { return pending > 0; }));
    --pending;
    guard.unlock();
    EXPECT_EQ(FramePass(list, bound), 3);
  }
  const TSensor& ia3Rec = list.SensorAtPosition(1);
  EXPECT_EQ(ia3Rec.Current(), 8.0f);
  EXPECT_EQ(ia3Rec.Minimum(), 3.0f);
  EXPECT_EQ(ia3Rec.Maximum(), 8.0f);
  EXPECT_EQ(list.SensorAtPosition(2).Current(), 1.0f);

  // After release a data-ready message still arrives but the pass touches
  // nothing; releasing twice is harmless.
  ReleaseDataBlock();
  ReleaseDataBlock();
  EXPECT_FALSE(DataBlockMapped());
  host.WriteSlot(1, 1000.0f);
  ASSERT_TRUE(host.Notify());
  {
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(posted.wait_for(guard, kPatience, [&] { return pending > 0; }));
  }
  EXPECT_EQ(FramePass(list, bound), 0);
  EXPECT_EQ(list.SensorAtPosition(1).Current(), 8.0f);
}

TEST(DataReadyListener, ABurstFasterThanItIsConsumedYieldsOneCallbackPerNotification) {
  struct Case {
    int notifications;
    std::chrono::microseconds callbackCost;
  };
  // The system queues only a handful of datagrams per socket; a slow
  // callback makes the host meet a full queue and wait for room.
  const Case cases[] = {{2000, 0us}, {300, 200us}};
  for (const Case& c : cases) {
    const ChannelNames names;
    TDataChannelHost host(1, names.block, names.message, 2s);
    CallbackCounter counter;
    TDataReadyListener listener(
        [&] {
          if (c.callbackCost.count() > 0) std::this_thread::sleep_for(c.callbackCost);
          counter();
        },
        names.message);
    ASSERT_TRUE(listener.Listening());
    int delivered = 0;
    for (int i = 0; i < c.notifications; ++i) delivered += host.Notify() ? 1 : 0;
    EXPECT_EQ(delivered, c.notifications);
    EXPECT_TRUE(counter.WaitFor(c.notifications));
    listener.Stop();
    EXPECT_EQ(counter.Count(), c.notifications) << "no callback without a notification";
  }
}

TEST(DataReadyListener, AnyDatagramCountsAndOnlyAnEightBytePayloadIsASendTime) {
  const ChannelNames names;
  CallbackCounter counter;
  std::mutex lock;
  std::vector<uint64_t> sendTimes;
  TDataReadyListener listener(
      [&](uint64_t sendNs) {
        {
          std::lock_guard guard(lock);
          sendTimes.push_back(sendNs);
        }
        counter();
      },
      names.message);
  ASSERT_TRUE(listener.Listening());

  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  AbstractAddress address(names.message);
  // Empty, the host's 8-byte send time, and payloads no host sends.
  const std::string payloads[] = {"", std::string(8, '\x01'), "x", std::string(16, '\xff'),
                                  std::string(1000, 'p')};
  for (const std::string& payload : payloads)
    EXPECT_EQ(::sendto(fd, payload.data(), payload.size(), 0, address.get(), address.length),
              static_cast<ssize_t>(payload.size()));
  ::close(fd);
  EXPECT_TRUE(counter.WaitFor(5));
  listener.Stop();
  EXPECT_EQ(counter.Count(), 5);
  std::lock_guard guard(lock);
  EXPECT_EQ(sendTimes, (std::vector<uint64_t>{0, 0x0101010101010101ULL, 0, 0, 0}));
}

// A host chooses how a window message reaches the dashboard; a datagram has
// one way only, so every choice must reach the listener alike, timed.
TEST(DataReadyListener, ReceivesTheHostsSendTimeWhateverTheDelivery) {
  for (const TNotifyDelivery delivery : {ndPost, ndSend, ndBroadcast}) {
    SCOPED_TRACE("delivery " + std::to_string(static_cast<int>(delivery)));
    const ChannelNames names;
    CallbackCounter counter;
    std::atomic<uint64_t> received{0};
    TDataReadyListener listener(
        [&](uint64_t sendNs) {
          received = sendNs;
          counter();
        },
        names.message);
    ASSERT_TRUE(listener.Listening()) << listener.BindErrorText();
    TDataChannelHost host(1, names.block, names.message, TDataChannelHost::kDefaultNotifyTimeout, delivery);
    const uint64_t before = MonotonicNanoseconds();
    ASSERT_TRUE(host.Notify());
    const uint64_t after = MonotonicNanoseconds();
    ASSERT_TRUE(counter.WaitFor(1));
    EXPECT_GE(received.load(), before);
    EXPECT_LE(received.load(), after);
    ASSERT_TRUE(host.Notify());
    ASSERT_TRUE(counter.WaitFor(2));
    listener.Stop();
    EXPECT_EQ(counter.Count(), 2);
  }
}

TEST(DataChannelHost, NotifyCarriesTheMonotonicSendTime) {
  const ChannelNames names;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  AbstractAddress address(names.message);
  ASSERT_EQ(::bind(fd, address.get(), address.length), 0);

  TDataChannelHost host(1, names.block, names.message);
  const uint64_t before = MonotonicNanoseconds();
  ASSERT_TRUE(host.Notify());
  const uint64_t after = MonotonicNanoseconds();
  unsigned char payload[32];
  const ssize_t got = ::recv(fd, payload, sizeof payload, 0);
  ::close(fd);
  ASSERT_EQ(got, 8);
  uint64_t sentAt = 0;
  std::memcpy(&sentAt, payload, sizeof sentAt);
  EXPECT_GE(sentAt, before);
  EXPECT_LE(sentAt, after);
}

TEST(DataReadyListener, ACallbackThatThrowsDoesNotEndTheWatcher) {
  const ChannelNames names;
  TDataChannelHost host(0, names.block, names.message);
  CallbackCounter counter;
  TDataReadyListener listener(
      [&] {
        counter();
        throw Exception("from the callback");
      },
      names.message);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(host.Notify());
  EXPECT_TRUE(counter.WaitFor(3));
}

TEST(DataReadyListener, StopReturnsPromptlyAndMayBeRepeated) {
  const ChannelNames names;
  CallbackCounter counter;
  TDataReadyListener listener([&] { counter(); }, names.message);
  ASSERT_TRUE(listener.Listening());
  std::this_thread::sleep_for(20ms);  // let the watcher settle into its wait

  const auto start = std::chrono::steady_clock::now();
  // From two threads at once, as a close handler and a destructor might.
  std::thread other([&] { listener.Stop(); });
  listener.Stop();
  other.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(listener.Listening());
  listener.Stop();

  // The name is free again, and the stopped listener hears nothing.
  TDataChannelHost host(0, names.block, names.message, 0ms);
  EXPECT_FALSE(host.Notify());
  EXPECT_EQ(counter.Count(), 0);
}

TEST(DataReadyListener, StopWhileAHostKeepsSendingStillReturns) {
  const ChannelNames names;
  CallbackCounter counter;
  auto listener = std::make_unique<TDataReadyListener>([&] { counter(); }, names.message);
  std::atomic<bool> sending{true};
  std::thread host([&] {
    TDataChannelHost channel(0, names.block, names.message, 1ms);
    while (sending.load()) channel.Notify();
  });
  ASSERT_TRUE(counter.WaitFor(10));
  const auto start = std::chrono::steady_clock::now();
  listener.reset();  // the destructor stops the watcher
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  sending = false;
  host.join();
}

TEST(DataReadyListener, StopFromTheCallbackEndsTheWatcherAfterThatCallback) {
  const ChannelNames names;
  TDataChannelHost host(0, names.block, names.message);
  CallbackCounter counter;
  // Published through an atomic: the watcher may already run while the
  // pointer is being stored, and datagrams are no synchronisation.
  std::atomic<TDataReadyListener*> self{nullptr};
  std::atomic<bool> listeningInside{false};
  auto listener = std::make_unique<TDataReadyListener>(
      [&] {
        TDataReadyListener* me = self.load();
        listeningInside = me->Listening();
        me->Stop();
        counter();
      },
      names.message);
  self = listener.get();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(host.Notify());
  ASSERT_TRUE(counter.WaitFor(1));
  EXPECT_TRUE(listeningInside.load());
  EXPECT_FALSE(listener->Listening());
  listener.reset();  // joins the watcher from this thread
  EXPECT_EQ(counter.Count(), 1) << "no callback after Stop";
}

TEST(DataReadyListener, ASecondDashboardOnTheSameNameStaysIdle) {
  const ChannelNames names;
  TDataChannelHost host(0, names.block, names.message);
  CallbackCounter first;
  CallbackCounter second;
  TDataReadyListener owner([&] { first(); }, names.message);
  ASSERT_TRUE(owner.Listening());
  EXPECT_EQ(owner.BindError(), 0);

  TDataReadyListener late([&] { second(); }, names.message);
  EXPECT_FALSE(late.Listening());
  EXPECT_EQ(late.BindError(), EADDRINUSE);
  EXPECT_FALSE(late.BindErrorText().empty());
  late.Stop();  // harmless on an idle listener

  ASSERT_TRUE(host.Notify());
  EXPECT_TRUE(first.WaitFor(1));

  // Once the first one stops, the name can be bound again.
  owner.Stop();
  TDataReadyListener next([&] { second(); }, names.message);
  ASSERT_TRUE(next.Listening());
  ASSERT_TRUE(host.Notify());
  EXPECT_TRUE(second.WaitFor(1));
  EXPECT_EQ(first.Count(), 1);
}

TEST(DataReadyListener, ANameTooLongForTheSystemLeavesTheListenerIdle) {
  TDataReadyListener listener([] {}, std::string(200, 'n'));
  EXPECT_FALSE(listener.Listening());
  EXPECT_EQ(listener.BindError(), ENAMETOOLONG);
}

}  // namespace
