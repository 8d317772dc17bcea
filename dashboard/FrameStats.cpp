#include "FrameStats.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "ProcessUsage.h"
#include "SysUtils.h"

// ---- TDurationHistogram -----------------------------------------------------------------------

size_t TDurationHistogram::BucketOf(uint64_t nanoseconds) noexcept {
  if (nanoseconds < 2 * kSubBuckets) return static_cast<size_t>(nanoseconds);
  // Within [2^e, 2^(e+1)) the top seven bits choose one of 64 steps.
  const int exponent = 63 - std::countl_zero(nanoseconds);
  const int shift = exponent - 6;
  return static_cast<size_t>(shift) * kSubBuckets + static_cast<size_t>(nanoseconds >> shift);
}

uint64_t TDurationHistogram::BucketStart(size_t bucket) noexcept {
  if (bucket < 2 * kSubBuckets) return bucket;
  const size_t shift = bucket / kSubBuckets - 1;
  return static_cast<uint64_t>(bucket - shift * kSubBuckets) << shift;
}

void TDurationHistogram::Add(uint64_t nanoseconds) noexcept {
  ++FCounts[BucketOf(nanoseconds)];
  ++FCount;
  FMax = std::max(FMax, nanoseconds);
}

uint64_t TDurationHistogram::Percentile(double percent) const noexcept {
  if (FCount == 0) return 0;
  const double wanted = std::ceil(std::clamp(percent, 0.0, 100.0) / 100.0 * static_cast<double>(FCount));
  const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(wanted));
  uint64_t seen = 0;
  for (size_t b = 0; b < kBuckets; ++b) {
    seen += FCounts[b];
    if (seen < rank) continue;
    const uint64_t start = BucketStart(b);
    const uint64_t end = b + 1 < kBuckets ? BucketStart(b + 1) : start;
    return std::min(FMax, start + (end - start) / 2);
  }
  return FMax;
}

// ---- TFrameStats ------------------------------------------------------------------------------

void TFrameStats::NotificationReceived(uint64_t sendNs) noexcept {
  ++FReceived;
  ++FPendingFrames;
  if (sendNs != 0 && FPendingTimed < kPendingCapacity) FPendingSendNs[FPendingTimed++] = sendNs;
  if (FReceived == kRssSampleFrame) {
    if (const std::optional<TProcessUsage> usage = ReadProcessUsage()) FRssAtSample = usage->RssKiB;
  }
}

void TFrameStats::PassTimed(uint64_t nanoseconds) noexcept {
  FPass.Add(nanoseconds);
  FPendingPassNs += nanoseconds;
}

void TFrameStats::Presented(uint64_t startNs, uint64_t endNs) noexcept {
  const uint64_t presentNs = endNs - std::min(startNs, endNs);
  FPresent.Add(presentNs);
  if (FPendingFrames == 0) return;  // a repaint of the window, not a frame
  ++FPainted;
  FFrame.Add(FPendingPassNs + presentNs);
  FPendingPassNs = 0;
  FCoalesced += FPendingFrames - 1;
  // A send time after the present comes from another clock (a host on
  // another machine, or a payload that is no time at all): not timed.
  for (size_t i = 0; i < FPendingTimed; ++i)
    if (FPendingSendNs[i] <= endNs) FLatency.Add(endNs - FPendingSendNs[i]);
  FPendingFrames = 0;
  FPendingTimed = 0;
}

namespace {

std::string Milliseconds(uint64_t nanoseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", static_cast<double>(nanoseconds) / 1e6);
  return text;
}

std::string Summary(const TDurationHistogram& h) {
  return "{\"count\": " + std::to_string(h.Count()) + ", \"p50\": " + Milliseconds(h.Percentile(50)) +
         ", \"p99\": " + Milliseconds(h.Percentile(99)) + ", \"max\": " + Milliseconds(h.Max()) + "}";
}

}  // namespace

std::string TFrameStats::ToJson() const {
  const std::optional<TProcessUsage> usage = ReadProcessUsage();
  std::string json = "{\n";
  json += "  \"frames_received\": " + std::to_string(FReceived) + ",\n";
  json += "  \"frames_painted\": " + std::to_string(FPainted) + ",\n";
  json += "  \"notifications_coalesced\": " + std::to_string(FCoalesced) + ",\n";
  json += "  \"pass_ms\": " + Summary(FPass) + ",\n";
  json += "  \"present_ms\": " + Summary(FPresent) + ",\n";
  json += "  \"latency_ms\": " + Summary(FLatency) + ",\n";
  json += "  \"frame_ms\": " + Summary(FFrame) + ",\n";
  char cpu[32];
  std::snprintf(cpu, sizeof cpu, "%.2f", usage ? usage->CpuSeconds : 0.0);
  json += "  \"cpu_seconds\": " + std::string(usage ? cpu : "null") + ",\n";
  json += "  \"peak_rss_kib\": " + (usage ? std::to_string(usage->PeakRssKiB) : "null") + ",\n";
  json += "  \"rss_kib_at_frame_" + std::to_string(kRssSampleFrame) +
          "\": " + (FRssAtSample ? std::to_string(*FRssAtSample) : "null") + ",\n";
  json += "  \"rss_kib_at_end\": " + (usage ? std::to_string(usage->RssKiB) : "null") + "\n";
  json += "}\n";
  return json;
}

void TFrameStats::WriteJsonFile(const std::string& path) const {
  const std::string json = ToJson();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out << json;
  if (!out || !out.flush()) throw Exception("Cannot write the frame statistics to " + path + ": " + SysErrorMessage(errno));
}
