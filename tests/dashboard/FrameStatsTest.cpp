// Frame statistics: the duration histogram, the frame accounting, the
// process usage parsers and the statistics file a skin window writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "FrameStats.h"
#include "ProcessUsage.h"
#include "SkinWindowFixture.h"

TEST(DurationHistogram, EveryValueLandsInABucketThatHoldsItWithinOneSixtyFourth) {
  const uint64_t values[] = {0,     1,     127,          128,         129,        255,       256,
                             1000,  65535, 1'000'000,    999'999'999, 1ULL << 40, (1ULL << 40) + 12345,
                             ~0ULL >> 1, ~0ULL};
  for (uint64_t v : values) {
    const size_t b = TDurationHistogram::BucketOf(v);
    ASSERT_LT(b, TDurationHistogram::kBuckets) << v;
    const uint64_t start = TDurationHistogram::BucketStart(b);
    EXPECT_LE(start, v) << v;
    if (b + 1 < TDurationHistogram::kBuckets) {
      const uint64_t next = TDurationHistogram::BucketStart(b + 1);
      EXPECT_GT(next, v) << v;
      EXPECT_LE(next - start, std::max<uint64_t>(1, start / 64)) << v;
    }
  }
  // Buckets follow each other without gaps.
  for (size_t b = 1; b < TDurationHistogram::kBuckets; ++b)
    ASSERT_EQ(TDurationHistogram::BucketOf(TDurationHistogram::BucketStart(b)), b);
}

TEST(DurationHistogram, PercentilesAndTheExactMaximum) {
  TDurationHistogram h;
  EXPECT_EQ(h.Percentile(50), 0u);
  // 1 .. 1000 microseconds.
  for (uint64_t us = 1; us <= 1000; ++us) h.Add(us * 1000);
  EXPECT_EQ(h.Count(), 1000u);
  EXPECT_EQ(h.Max(), 1'000'000u);
  auto near = [](uint64_t got, double want) { return std::abs(static_cast<double>(got) - want) <= want / 64; };
  EXPECT_TRUE(near(h.Percentile(50), 500'000)) << h.Percentile(50);
  EXPECT_TRUE(near(h.Percentile(99), 990'000)) << h.Percentile(99);
  EXPECT_EQ(h.Percentile(100), 1'000'000u);  // never above the maximum
  // One outlier moves the maximum, not the median.
  h.Add(50'000'000);
  EXPECT_EQ(h.Max(), 50'000'000u);
  EXPECT_TRUE(near(h.Percentile(50), 500'000)) << h.Percentile(50);
}

TEST(FrameStats, PresentsCountPaintedFramesCoalescedOnesAndLatencies) {
  TFrameStats stats;
  // Three notifications, one present: one frame painted, two coalesced;
  // each timed notification's latency runs to the end of that present.
  stats.NotificationReceived(1'000'000);
  stats.NotificationReceived(0);  // sent without a time
  stats.NotificationReceived(2'000'000);
  stats.PassTimed(50'000);
  stats.Presented(2'500'000, 3'000'000);
  EXPECT_EQ(stats.FramesReceived(), 3u);
  EXPECT_EQ(stats.FramesPainted(), 1u);
  EXPECT_EQ(stats.NotificationsCoalesced(), 2u);
  EXPECT_EQ(stats.FramesTimed(), 2u);
  EXPECT_EQ(stats.Latencies().Max(), 2'000'000u);
  EXPECT_EQ(stats.PresentTimes().Max(), 500'000u);
  EXPECT_EQ(stats.FrameTimes().Count(), 1u);
  EXPECT_EQ(stats.FrameTimes().Max(), 550'000u);  // the pass plus the present

  // A present without a frame (an expose) is timed but paints no frame.
  stats.Presented(4'000'000, 4'100'000);
  EXPECT_EQ(stats.FramesPainted(), 1u);
  EXPECT_EQ(stats.PresentTimes().Count(), 2u);
  EXPECT_EQ(stats.FramesTimed(), 2u);
  EXPECT_EQ(stats.FrameTimes().Count(), 1u);

  // A send time from after the present is another clock's: not timed.
  stats.NotificationReceived(9'000'000);
  stats.Presented(5'000'000, 5'100'000);
  EXPECT_EQ(stats.FramesPainted(), 2u);
  EXPECT_EQ(stats.FramesTimed(), 2u);
}

TEST(FrameStats, ABacklogBeyondThePendingCapacityIsCountedButNotTimed) {
  TFrameStats stats;
  const size_t backlog = TFrameStats::kPendingCapacity + 10;
  for (size_t i = 0; i < backlog; ++i) stats.NotificationReceived(100);
  stats.Presented(200, 300);
  EXPECT_EQ(stats.FramesReceived(), backlog);
  EXPECT_EQ(stats.NotificationsCoalesced(), backlog - 1);
  EXPECT_EQ(stats.FramesTimed(), TFrameStats::kPendingCapacity);
}

TEST(ProcessUsage, StatAndStatusTextsParse) {
  // The command name may hold spaces and parentheses.
  const std::string stat = "4242 (Skin (V) ELQ) S 1 4242 4242 0 -1 4194560 1517 0 0 0 250 37 0 0 20 0 3 0 "
                           "12345 123456789 2000 18446744073709551615";
  EXPECT_EQ(ParseStatCpuTicks(stat), 287u);
  EXPECT_EQ(ParseStatCpuTicks("4242 (x) S 1 2"), std::nullopt);
  EXPECT_EQ(ParseStatCpuTicks("no parenthesis"), std::nullopt);

  const std::string status = "Name:\tSkinVELQ\nVmPeak:\t  300000 kB\nVmHWM:\t   51234 kB\nVmRSS:\t   49876 kB\n";
  EXPECT_EQ(ParseStatusKiB(status, "VmHWM"), 51234u);
  EXPECT_EQ(ParseStatusKiB(status, "VmRSS"), 49876u);
  EXPECT_EQ(ParseStatusKiB(status, "VmSwap"), std::nullopt);
  EXPECT_EQ(ParseStatusKiB(status, "Vm"), std::nullopt);  // a prefix is not a name

  const std::optional<TProcessUsage> self = ReadProcessUsage();
  ASSERT_TRUE(self);
  EXPECT_GT(self->PeakRssKiB, 0u);
  EXPECT_GE(self->PeakRssKiB, self->RssKiB);
  EXPECT_FALSE(ReadProcessUsage(-1));
}

TEST_F(SkinWindowTest, VelqStatsNamesTheFileTheWindowWritesWhenItIsDestroyed) {
  const std::string path = (Dir / "stats.json").string();
  setenv(kStatsVariable, path.c_str(), 1);
  TDataChannelHost host(1);
  Load(" object G: TSkinAngularGauge\n  AnalogSensor = ia1\n end\n");
  unsetenv(kStatsVariable);
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  Form->Show();
  App->ProcessMessages();
  // Timed frames through the real channel, one present each.
  for (int i = 0; i < 3; ++i) {
    host.WriteSlot(1, float(10 * i + 10));
    App->PostMessage(Form, {Form->DataReadyMessage, static_cast<uintptr_t>(MonotonicNanoseconds()), 0, 0});
    App->ProcessMessages();
  }
  host.WriteSlot(1, 75.0f);
  Frame(2);  // two untimed ones in one batch
  ASSERT_NE(Form->FrameStats(), nullptr);
  EXPECT_EQ(Form->FrameStats()->FramesReceived(), 5u);
  EXPECT_EQ(Form->FrameStats()->FramesTimed(), 3u);

  App.reset();  // destroys the window
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::stringstream json;
  json << in.rdbuf();
  for (const char* field : {"\"frames_received\": 5", "\"frames_painted\": 4", "\"notifications_coalesced\": 1",
                            "\"latency_ms\": {\"count\": 3", "\"pass_ms\": {\"count\": 5", "\"present_ms\"",
                            "\"frame_ms\": {\"count\": 4",
                            "\"cpu_seconds\"", "\"peak_rss_kib\"", "\"rss_kib_at_end\""})
    EXPECT_NE(json.str().find(field), std::string::npos) << field << " in\n" << json.str();
}
