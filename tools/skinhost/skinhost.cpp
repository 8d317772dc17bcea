// skinhost: the host stand-in. Run in a directory that holds Skin/:
//
//   skinhost --skin NAME [--rate HZ] [--frames N] [--duration S]
//            [--set SENSOR=GEN]... [--csv FILE] [--launch PATH [--report]]
//            [--deliver post|send|broadcast] [--print-layout]
//
// It reads the skin with the dashboard's own reader to learn its sensors in
// slot order, creates the shared block of 4*(N+1) bytes, and for each frame
// writes every slot from its generator and sends one notification. GEN is
// a number, sine:MIN:MAX:PERIOD_S, ramp:MIN:MAX:PERIOD_S or walk:MIN:MAX;
// sensors without one stay 0. --csv replays columns named by sensor, one
// row per frame (from the top again at the end). --launch starts the
// dashboard with the skin name in this directory and ends when it ends.
// --duration stops after S seconds (and --frames after N frames).
// --report (with --launch) sizes a machine: the dashboard collects its frame
// statistics (VELQ_STATS, a temporary file unless already set), and at the
// end skinhost prints them with the CPU time of both processes as a
// percentage of one core (from the system's process accounting, over the
// run after its first second, so that loading the skin does not count) and
// the dashboard's peak RSS, then ends the dashboard.
// --deliver chooses how each notification reaches the dashboard's window on
// Windows: posted to it (the default), sent to it, or broadcast to every
// top-level window; on Linux all three are the same datagram.
// --print-layout prints "SLOT SENSOR" lines and exits. The shared-memory
// object is removed when skinhost ends. Exit 0, or 1 with a message.
//
// It feeds the dashboard through nothing but the host library (velq/host.h),
// as any host would; the report reads the process accounting (/proc on
// Linux) through ProcessUsage.

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>

#include <process.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <numbers>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ProcessUsage.h"
#include "SysUtils.h"
#include "velq/host.h"

#if defined(__SANITIZE_ADDRESS__)
// The host library draws text while it reads a skin, and fontconfig keeps a
// pattern alive after its last user (only FcFini frees it). The framework's
// suppression of that report lives inside the library, where the leak
// checker cannot see it; a program using the library declares it itself.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace {

volatile std::sig_atomic_t GStop = 0;
void OnSignal(int) { GStop = 1; }

// ---- the few things the two systems spell differently -----------------------

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return getpid();
#endif
}

// Set for this process and for the dashboard it starts afterwards.
void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  // The runtime's copy (getenv) and the system's block (what CreateProcess
  // hands the child) are two; both are set.
  _putenv_s(name, value.c_str());
  ::SetEnvironmentVariableA(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// Where the dashboard writes the statistics of a --report run.
std::string TemporaryStatsPath() {
#ifdef _WIN32
  char folder[MAX_PATH + 1];
  const DWORD length = ::GetTempPathA(sizeof folder, folder);
  const std::string base = length > 0 && length < sizeof folder ? std::string(folder, length) : std::string(".\\");
  return base + "skinhost-stats-" + std::to_string(ProcessId()) + ".json";
#else
  return "/tmp/skinhost-stats-" + std::to_string(ProcessId()) + ".json";
#endif
}

struct TGenerator {
  enum TKind { Constant, Sine, Ramp, Walk } Kind = Constant;
  double Min = 0, Max = 0, Period = 1;
  double Walked = 0;
};

constexpr const char* kUsage =
    "usage: skinhost --skin NAME [--rate HZ] [--frames N] [--duration S] [--set SENSOR=GEN]... [--csv FILE] "
    "[--launch PATH [--report]] [--deliver post|send|broadcast] [--print-layout]";

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "skinhost: %s\n", message.c_str());
  std::exit(1);
}

double Number(const std::string& text, const std::string& generator) {
  try {
    size_t used = 0;
    const double v = std::stod(text, &used);
    if (used == text.size() && std::isfinite(v)) return v;
  } catch (const std::exception&) {
  }
  Fail("bad number '" + text + "' in '" + generator + "'");
}

TGenerator ParseGenerator(const std::string& generator) {
  std::vector<std::string> parts;
  std::stringstream in(generator);
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
  TGenerator g;
  if (parts.size() == 1) {
    g.Min = g.Max = Number(parts[0], generator);
  } else if ((parts[0] == "sine" || parts[0] == "ramp") && parts.size() == 4) {
    g.Kind = parts[0] == "sine" ? TGenerator::Sine : TGenerator::Ramp;
    g.Min = Number(parts[1], generator);
    g.Max = Number(parts[2], generator);
    g.Period = Number(parts[3], generator);
    if (g.Period <= 0) Fail("the period must be positive in '" + generator + "'");
  } else if (parts[0] == "walk" && parts.size() == 3) {
    g.Kind = TGenerator::Walk;
    g.Min = Number(parts[1], generator);
    g.Max = Number(parts[2], generator);
    g.Walked = (g.Min + g.Max) / 2;
  } else {
    Fail("bad generator '" + generator + "' (a number, sine:MIN:MAX:PERIOD_S, ramp:MIN:MAX:PERIOD_S or walk:MIN:MAX)");
  }
  return g;
}

double Value(TGenerator& g, double seconds, std::mt19937& random) {
  switch (g.Kind) {
    case TGenerator::Constant: return g.Min;
    case TGenerator::Sine:
      return g.Min + (g.Max - g.Min) * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * seconds / g.Period));
    case TGenerator::Ramp: return g.Min + (g.Max - g.Min) * std::fmod(seconds, g.Period) / g.Period;
    case TGenerator::Walk: {
      std::normal_distribution<double> step(0.0, (g.Max - g.Min) / 50);
      g.Walked = std::clamp(g.Walked + step(random), std::min(g.Min, g.Max), std::max(g.Min, g.Max));
      return g.Walked;
    }
  }
  return 0;
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::ifstream in(path);
  if (!in) Fail("cannot open " + path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::stringstream cellsIn(line);
    for (std::string cell; std::getline(cellsIn, cell, ',');) cells.push_back(cell);
    rows.push_back(cells);
  }
  if (rows.size() < 2) Fail(path + " needs a header row and at least one row of values");
  return rows;
}

// Ends skinhost with the library's message when a call failed.
void Check(velq_status status) {
  if (status != VELQ_OK) Fail(velq_last_error());
}

// A number of the dashboard's statistics file: the first `key` after
// `section` ("" for the top level); NaN when absent.
double StatsNumber(const std::string& json, const std::string& section, const std::string& key) {
  size_t at = section.empty() ? 0 : json.find("\"" + section + "\"");
  if (at == std::string::npos) return NAN;
  at = json.find("\"" + key + "\":", at);
  if (at == std::string::npos) return NAN;
  const char* start = json.c_str() + at + key.size() + 3;
  char* end = nullptr;
  const double value = std::strtod(start, &end);
  return end == start ? NAN : value;
}

struct TUsageSample {
  std::chrono::steady_clock::time_point At;
  TProcessUsage Dashboard, Host;
};

std::optional<TUsageSample> SampleUsage(int32_t dashboardPid) {
  const std::optional<TProcessUsage> dashboard = ReadProcessUsage(dashboardPid);
  const std::optional<TProcessUsage> host = ReadProcessUsage();
  if (!dashboard || !host) return std::nullopt;
  return TUsageSample{std::chrono::steady_clock::now(), *dashboard, *host};
}

// Ends the dashboard and prints what a user needs to size a machine; false
// (after a message) when there is nothing to report.
bool Report(velq_process* child, const std::string& skin, double rate, const std::string& statsPath,
            bool keepStats, const std::optional<TUsageSample>& first) {
  const std::optional<TUsageSample> last = SampleUsage(velq_process_id(child));
  velq_process_terminate(child);
  int32_t exitStatus = 0;
  if (velq_process_wait(child, 10000, &exitStatus) != VELQ_OK) {
    std::fprintf(stderr, "skinhost: the dashboard did not end within 10 s of the request\n");
    return false;
  }
  std::ifstream in(statsPath);
  if (!in) {
    std::fprintf(stderr, "skinhost: the dashboard wrote no statistics to %s (exit status %d)\n", statsPath.c_str(),
                 exitStatus);
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  const std::string json = text.str();
  auto number = [&](const char* section, const char* key) { return StatsNumber(json, section, key); };

  std::printf("skinhost report: skin %s at %g frames per second\n", skin.c_str(), rate);
  std::printf("  frames        received %.0f, painted %.0f, coalesced %.0f\n", number("", "frames_received"),
              number("", "frames_painted"), number("", "notifications_coalesced"));
  for (const char* section : {"pass_ms", "present_ms", "frame_ms", "latency_ms"}) {
    std::printf("  %-12s  p50 %.3f ms  p99 %.3f ms  max %.3f ms  (%.0f samples)\n", section,
                number(section, "p50"), number(section, "p99"), number(section, "max"), number(section, "count"));
  }
  if (first && last) {
    const double seconds = std::chrono::duration<double>(last->At - first->At).count();
    std::printf("  CPU           SkinVELQ %.2f %% of one core, skinhost %.2f %% (over %.1f s)\n",
                100 * (last->Dashboard.CpuSeconds - first->Dashboard.CpuSeconds) / seconds,
                100 * (last->Host.CpuSeconds - first->Host.CpuSeconds) / seconds, seconds);
    std::printf("  peak RSS      SkinVELQ %.1f MiB\n", static_cast<double>(last->Dashboard.PeakRssKiB) / 1024);
  } else {
    std::printf("  CPU           not measured (the run was too short, or the dashboard ended by itself)\n");
  }
  std::printf("  RSS           SkinVELQ %.1f MiB after 1000 frames, %.1f MiB at the end\n",
              number("", "rss_kib_at_frame_1000") / 1024, number("", "rss_kib_at_end") / 1024);
  if (keepStats) std::printf("  statistics    %s\n", statsPath.c_str());
  else std::remove(statsPath.c_str());
  return true;
}

// Frees a library object at the end of a scope.
template <typename T, void (*Free)(T*)>
struct TOwned {
  T* Object = nullptr;
  ~TOwned() { Free(Object); }
};

}  // namespace

int main(int argc, char** argv) {
  std::string skin, csvPath, launch;
  double rate = 20;
  double duration = 0;
  long frames = 0;
  bool printLayout = false;
  bool report = false;
  velq_delivery delivery = VELQ_DELIVER_POST;
  std::vector<std::pair<std::string, std::string>> sets;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) Fail(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::printf("%s\n", kUsage);
      return 0;
    }
    if (arg == "--version") {
      std::printf("skinhost %s\n", ProductVersion());
      return 0;
    }
    if (arg == "--skin") skin = next();
    else if (arg == "--rate") rate = Number(next(), "--rate");
    else if (arg == "--frames") frames = static_cast<long>(Number(next(), "--frames"));
    else if (arg == "--duration") duration = Number(next(), "--duration");
    else if (arg == "--report") report = true;
    else if (arg == "--csv") csvPath = next();
    else if (arg == "--launch") launch = next();
    else if (arg == "--print-layout") printLayout = true;
    else if (arg == "--deliver") {
      const std::string mode = next();
      if (mode == "post") delivery = VELQ_DELIVER_POST;
      else if (mode == "send") delivery = VELQ_DELIVER_SEND;
      else if (mode == "broadcast") delivery = VELQ_DELIVER_BROADCAST;
      else Fail("--deliver needs post, send or broadcast, got '" + mode + "'");
    }
    else if (arg == "--set") {
      const std::string set = next();
      const size_t eq = set.find('=');
      if (eq == std::string::npos) Fail("--set needs SENSOR=GEN, got '" + set + "'");
      sets.emplace_back(set.substr(0, eq), set.substr(eq + 1));
    } else {
      Fail("unknown argument '" + arg + "'");
    }
  }
  if (skin.empty()) Fail(kUsage);
  if (!(rate > 0)) Fail("--rate must be positive");
  if (duration < 0) Fail("--duration must not be negative");
  if (report && launch.empty()) Fail("--report needs --launch (it reports on the dashboard it starts)");

  // The skin's sensors in slot order, found by the dashboard's own code.
  TOwned<velq_layout, velq_layout_free> skinLayout;
  Check(velq_layout_load(nullptr, skin.c_str(), &skinLayout.Object));
  std::vector<std::string> layout;
  for (int32_t p = 1; p <= velq_layout_count(skinLayout.Object); ++p)
    layout.emplace_back(velq_layout_sensor(skinLayout.Object, p));
  if (printLayout) {
    for (size_t i = 0; i < layout.size(); ++i) std::printf("%zu %s\n", i + 1, layout[i].c_str());
    return 0;
  }

  std::vector<TGenerator> generators(layout.size());
  for (const auto& [sensor, generator] : sets) {
    int32_t position = 0;
    if (velq_layout_position(skinLayout.Object, sensor.c_str(), &position) == VELQ_OK)
      generators[size_t(position - 1)] = ParseGenerator(generator);
    else
      std::fprintf(stderr, "skinhost: the skin does not use %s; ignored\n", sensor.c_str());
  }
  std::vector<std::vector<std::string>> csv;
  std::vector<int> csvColumn(layout.size(), -1);
  if (!csvPath.empty()) {
    csv = ReadCsv(csvPath);
    for (size_t c = 0; c < csv[0].size(); ++c)
      for (size_t i = 0; i < layout.size(); ++i)
        if (layout[i] == csv[0][c]) csvColumn[i] = static_cast<int>(c);
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  TOwned<velq_channel, velq_channel_free> channel;
  Check(velq_channel_create_with_delivery(skinLayout.Object, delivery, &channel.Object));
  std::string statsPath;
  const char* givenStats = std::getenv("VELQ_STATS");
  const bool keepStats = givenStats && *givenStats;
  if (report) {
    statsPath = keepStats ? givenStats : TemporaryStatsPath();
    std::remove(statsPath.c_str());  // a file left from before must not pass for this run's
    SetEnvironment("VELQ_STATS", statsPath);  // the dashboard inherits it
  }
  TOwned<velq_process, velq_process_free> child;  // freeing a running dashboard ends it
  if (!launch.empty() && velq_launch(launch.c_str(), skin.c_str(), nullptr, &child.Object) != VELQ_OK) {
    const std::string message = velq_last_error();
    velq_channel_free(channel.Object);  // Fail exits without unwinding: remove the block first
    channel.Object = nullptr;
    Fail(message);
  }
  std::mt19937 random(12345);
  std::vector<float> frame(layout.size());
  const auto start = std::chrono::steady_clock::now();
  const auto period = std::chrono::duration<double>(1.0 / rate);
  const auto end = start + std::chrono::duration<double>(duration);
  // The report's CPU figures start after the first second (or at once in a
  // shorter run), once the dashboard has loaded its skin.
  std::optional<TUsageSample> firstSample;
  const long sampleFrame = duration >= 2 || duration == 0 ? static_cast<long>(rate) : 0;
  for (long number = 0; !GStop && (frames == 0 || number < frames); ++number) {
    if (duration > 0 && std::chrono::steady_clock::now() >= end) break;
    if (report && number == sampleFrame) firstSample = SampleUsage(velq_process_id(child.Object));
    const double seconds = number / rate;
    for (size_t i = 0; i < layout.size(); ++i) {
      double v = Value(generators[i], seconds, random);
      if (csvColumn[i] >= 0) {
        const auto& row = csv[1 + size_t(number) % (csv.size() - 1)];
        if (size_t(csvColumn[i]) < row.size()) v = std::atof(row[size_t(csvColumn[i])].c_str());
      }
      frame[i] = static_cast<float>(v);
    }
    Check(velq_channel_set_frame(channel.Object, frame.data(), frame.size()));
    // No dashboard listening yet (or any more) is not an error for a host.
    velq_channel_notify(channel.Object);
    if (child.Object && velq_process_wait(child.Object, 0, nullptr) == VELQ_OK) break;
    // Frames follow the intended schedule, not the previous frame's end.
    std::this_thread::sleep_until(start + period * (number + 1));
  }
  if (report) {
    if (velq_process_wait(child.Object, 0, nullptr) == VELQ_OK) firstSample.reset();  // ended by itself
    if (!Report(child.Object, skin, rate, statsPath, keepStats, firstSample)) return 1;
  }
  return 0;
}
