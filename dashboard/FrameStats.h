// Live frame statistics of the dashboard: how many data-ready notifications
// arrived, how many frames reached the screen, how long the frame pass and
// the present took, and how long a value took from the host's notification
// to the screen. Switched on by the environment variable VELQ_STATS, which
// names the JSON file written when the dashboard ends.
//
// Nothing here allocates once constructed: durations go into fixed
// log-linear histograms (about 1.6 % resolution, exact maximum), and the
// send times of the frames waiting for a present into a fixed array.
//
// Thread rules: a TFrameStats belongs to the user-interface thread.
// Errors: WriteJsonFile raises Exception with the system's text when the
// file cannot be written; nothing else raises.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The environment variable that switches statistics on and names their file.
inline constexpr const char* kStatsVariable = "VELQ_STATS";

// Nanosecond durations in 64 linear steps per power of two; values below
// 128 ns are kept exactly.
class TDurationHistogram {
public:
  static constexpr int kSubBuckets = 64;
  static constexpr size_t kBuckets = 57 * kSubBuckets + 2 * kSubBuckets;

  void Add(uint64_t nanoseconds) noexcept;
  uint64_t Count() const noexcept { return FCount; }
  uint64_t Max() const noexcept { return FMax; }
  // The smallest bucket value below which at least `percent` % of the
  // samples lie (the middle of that bucket, never above the maximum);
  // 0 without samples.
  uint64_t Percentile(double percent) const noexcept;

  // The bucket of a value, and the first value of a bucket (pure; tests
  // check the mapping directly).
  static size_t BucketOf(uint64_t nanoseconds) noexcept;
  static uint64_t BucketStart(size_t bucket) noexcept;

private:
  std::array<uint64_t, kBuckets> FCounts{};
  uint64_t FCount = 0;
  uint64_t FMax = 0;
};

class TFrameStats {
public:
  // The frames whose send times wait for a present; more are counted but
  // not timed.
  static constexpr size_t kPendingCapacity = 256;
  // The frame after which the resident set size is sampled, so that the
  // end's figure shows growth during the run.
  static constexpr uint64_t kRssSampleFrame = 1000;

  // A data-ready notification reached the user-interface thread; sendNs is
  // the host's CLOCK_MONOTONIC send time, or 0 when it sent none.
  void NotificationReceived(uint64_t sendNs) noexcept;
  // One frame pass took this long.
  void PassTimed(uint64_t nanoseconds) noexcept;
  // The window was presented, from startNs to endNs (CLOCK_MONOTONIC): the
  // frames received since the last present reach the screen now.
  void Presented(uint64_t startNs, uint64_t endNs) noexcept;

  uint64_t FramesReceived() const noexcept { return FReceived; }
  uint64_t FramesPainted() const noexcept { return FPainted; }
  uint64_t NotificationsCoalesced() const noexcept { return FCoalesced; }
  uint64_t FramesTimed() const noexcept { return FLatency.Count(); }
  const TDurationHistogram& PassTimes() const noexcept { return FPass; }
  const TDurationHistogram& PresentTimes() const noexcept { return FPresent; }
  const TDurationHistogram& Latencies() const noexcept { return FLatency; }
  // What each painted frame cost: its passes (one per notification it
  // coalesced) plus its present.
  const TDurationHistogram& FrameTimes() const noexcept { return FFrame; }
  std::optional<uint64_t> RssAtSampleFrameKiB() const noexcept { return FRssAtSample; }

  // The statistics as one JSON object, with the process's CPU time, peak
  // and current resident set size read now.
  std::string ToJson() const;
  void WriteJsonFile(const std::string& path) const;

private:
  uint64_t FReceived = 0;
  uint64_t FPainted = 0;
  uint64_t FCoalesced = 0;
  uint64_t FPendingFrames = 0;  // received since the last present
  size_t FPendingTimed = 0;     // of them, with a send time in FPendingSendNs
  uint64_t FPendingPassNs = 0;  // their passes' time
  std::array<uint64_t, kPendingCapacity> FPendingSendNs{};
  std::optional<uint64_t> FRssAtSample;
  TDurationHistogram FPass;
  TDurationHistogram FPresent;
  TDurationHistogram FLatency;
  TDurationHistogram FFrame;
};

// The process's current resident set size in KiB (from /proc), if known.
std::optional<uint64_t> CurrentRssKiB() noexcept;
