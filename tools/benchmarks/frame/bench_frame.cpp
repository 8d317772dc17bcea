// The dashboard's frame: one data-ready message handled (the frame pass over
// every component) plus the present of what changed, for a real skin on the
// headless backend at its own size. Values change every frame, so every
// bound widget repaints.
//
//   cd build && tools/benchmarks/frame/bench_frame [--skin=demo]
//       --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// (run where Skin/ is: the build directory holds the converted demo skins)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "DataChannel.h"
#include "GaugeAngularMeter.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

std::string GSkin = "demo";

struct TLiveSkin {
  THeadlessWindowSystem System{true};
  TApplication App{System};
  TSkinForm* Form = nullptr;
  std::unique_ptr<TDataChannelHost> Host;
  int32_t Sensors = 0;

  TLiveSkin() {
    System.SetEchoMessageBoxes(false);
    RegisterSkinClasses();
    Form = new TSkinForm(&App);
    ReadSkinFile("Skin/" + GSkin + "/skin.bin", *Form);
    Sensors = static_cast<int32_t>(SkinSensorLayout(*Form).size());
    Host = std::make_unique<TDataChannelHost>(Sensors);
    Form->AfterConstruction();
    if (!System.MessageBoxes().empty()) throw Exception(System.MessageBoxes().front().Text);
    Form->Show();
    App.ProcessMessages();
  }
  ~TLiveSkin() {
    ReleaseDataBlock();
    ReleaseSensorList();
  }
  void Frame(int n) {
    for (int32_t s = 1; s <= Sensors; ++s) Host->WriteSlot(s, float(50 + 45 * std::sin(0.05 * n + s)));
    TMessage m{Form->DataReadyMessage, 0, 0, 0};
    Form->Dispatch(m);
    Form->PaintAndPresent();
  }
};

// Dials are cached: a frame that rebuilds one is a fault, counted here.
int DialBuilds(const TSkinForm& form) {
  int builds = 0;
  for (TComponent* c : form.ComponentList())
    if (auto* meter = dynamic_cast<TGaugeAngularMeter*>(c)) builds += meter->DialBuildCount();
  return builds;
}

void FramePassAndPresent(benchmark::State& state) {
  TLiveSkin skin;
  const int buildsBefore = DialBuilds(*skin.Form);
  int n = 0;
  std::vector<double> samples;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    skin.Frame(n++);
    samples.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(samples.begin(), samples.end());
  if (!samples.empty()) {
    state.counters["median_us"] = samples[samples.size() / 2];
    state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
  }
  state.counters["dial_builds"] = DialBuilds(*skin.Form) - buildsBefore;
  state.counters["components"] = skin.Form->ComponentCount();
  state.counters["sensors"] = skin.Sensors;
}
BENCHMARK(FramePassAndPresent)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--skin=", 7) == 0) GSkin = argv[i] + 7;
  setenv(kChannelSuffixVariable, ("-bench-" + std::to_string(getpid())).c_str(), 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
