// skinhost: the host stand-in. Run in a directory that holds Skin/:
//
//   skinhost --skin NAME [--rate HZ] [--frames N] [--set SENSOR=GEN]...
//            [--csv FILE] [--launch PATH] [--print-layout]
//
// It reads the skin with the dashboard's own reader to learn its sensors in
// slot order, creates the shared block of 4*(N+1) bytes, and for each frame
// writes every slot from its generator and sends one notification. GEN is
// a number, sine:MIN:MAX:PERIOD_S, ramp:MIN:MAX:PERIOD_S or walk:MIN:MAX;
// sensors without one stay 0. --csv replays columns named by sensor, one
// row per frame (from the top again at the end). --launch starts the
// dashboard with the skin name in this directory and ends when it ends.
// --print-layout prints "SLOT SENSOR" lines and exits. The shared-memory
// object is removed when skinhost ends. Exit 0, or 1 with a message.
//
// It uses nothing but the host library (velq/host.h), as any host would.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
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

volatile std::sig_atomic_t GStop = 0;
void OnSignal(int) { GStop = 1; }

struct TGenerator {
  enum TKind { Constant, Sine, Ramp, Walk } Kind = Constant;
  double Min = 0, Max = 0, Period = 1;
  double Walked = 0;
};

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
      return g.Min + (g.Max - g.Min) * (0.5 - 0.5 * std::cos(2 * M_PI * seconds / g.Period));
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
  long frames = 0;
  bool printLayout = false;
  std::vector<std::pair<std::string, std::string>> sets;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) Fail(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--skin") skin = next();
    else if (arg == "--rate") rate = Number(next(), "--rate");
    else if (arg == "--frames") frames = static_cast<long>(Number(next(), "--frames"));
    else if (arg == "--csv") csvPath = next();
    else if (arg == "--launch") launch = next();
    else if (arg == "--print-layout") printLayout = true;
    else if (arg == "--set") {
      const std::string set = next();
      const size_t eq = set.find('=');
      if (eq == std::string::npos) Fail("--set needs SENSOR=GEN, got '" + set + "'");
      sets.emplace_back(set.substr(0, eq), set.substr(eq + 1));
    } else {
      Fail("unknown argument '" + arg + "'");
    }
  }
  if (skin.empty()) Fail("usage: skinhost --skin NAME [--rate HZ] [--frames N] [--set SENSOR=GEN]... [--csv FILE] "
                         "[--launch PATH] [--print-layout]");
  if (!(rate > 0)) Fail("--rate must be positive");

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
  Check(velq_channel_create(skinLayout.Object, &channel.Object));
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
  for (long number = 0; !GStop && (frames == 0 || number < frames); ++number) {
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
  return 0;
}
