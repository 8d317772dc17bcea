// The dashboard's frame: one data-ready message handled (the frame pass over
// every component) plus the present of what changed, on the headless
// backend. Values change every frame, so every bound widget repaints.
// Three skins: the demo skin (640 x 400), a generated 1024 x 600 skin of 60
// bound widgets (needle gauges, level and progress bars on 15 sensors)
// written to Skin/bench60 first, and the 1024 x 600 showcase skin with all
// twelve skin classes (its clocks and scrolling banner tick on their own
// timers meanwhile, as they do live).
// With a display (DISPLAY set, for example under xvfb-run) the demo skin
// also runs on the SDL window system, so that a present reaches a real X
// window: OnScreen/demo_key with its colour key (each present also updates
// the window's shape for what it presented) and OnScreen/demo_nokey with
// the key switched off; the difference is the shape's cost.
//
//   cd build && tools/benchmarks/frame/bench_frame
//       --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   cd build && xvfb-run -a -s "-screen 0 1280x1024x24" tools/benchmarks/frame/bench_frame ...
// (run where Skin/ is: the build directory holds the converted demo skins)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <chrono>
#include <cmath>

#include "DataChannel.h"
#include "GaugeAngularMeter.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"
#include "backend/sdl/SdlWindowSystem.h"

namespace {

// A 1024 x 600 skin with 60 bound widgets in a 10 x 6 grid: every third a
// needle gauge, then level bars and progress bars, on 15 sensors.
void WriteBench60Skin() {
  std::string text = "object Bench: TSkinForm\r\n  BorderStyle = bsNone\r\n  ClientWidth = 1024\r\n"
                     "  ClientHeight = 600\r\n  Color = clBlack\r\n  OldCreateOrder = False\r\n"
                     "  OnCreate = FormCreate\r\n";
  for (int i = 0; i < 60; ++i) {
    const int x = (i % 10) * 102 + 2, y = (i / 10) * 100 + 2;
    const char* kinds[] = {"TSkinAngularGauge", "TSkinLevelBar", "TSkinProgressBar"};
    const int kind = i % 3;
    text += "  object W" + std::to_string(i) + ": " + kinds[kind] + "\r\n";
    text += "    Left = " + std::to_string(x) + "\r\n    Top = " + std::to_string(y) + "\r\n";
    if (kind == 0) text += "    Width = 96\r\n    Height = 96\r\n    Ticks = 10\r\n    Labels = 5\r\n"
                           "    Percent1 = 60\r\n    Percent2 = 20\r\n    NeedleLength = 40\r\n";
    else if (kind == 1) text += "    Width = 24\r\n    Height = 96\r\n";
    else text += "    Width = 96\r\n    Height = 16\r\n";
    text += "    AnalogSensor = ia" + std::to_string(1 + i % 15) + "\r\n  end\r\n";
  }
  text += "end\r\n";
  const std::vector<uint8_t> stream = ObjectTextToBinary(text);
  std::vector<uint8_t> file = ResourceHeader(RootClassName(stream), static_cast<uint32_t>(stream.size()));
  file.insert(file.end(), stream.begin(), stream.end());
  std::filesystem::create_directories("Skin/bench60");
  WriteFileBytes("Skin/bench60/skin.bin", file);
}

struct TLiveSkin {
  THeadlessWindowSystem System{true};
  std::unique_ptr<IWindowSystem> Screen;  // the on-screen cases' window system
  TApplication App;
  TSkinForm* Form = nullptr;
  std::unique_ptr<TDataChannelHost> Host;
  int32_t Sensors = 0;

  explicit TLiveSkin(const std::string& skin, std::unique_ptr<IWindowSystem> screen = nullptr)
      : Screen(std::move(screen)), App(Screen ? *Screen : static_cast<IWindowSystem&>(System)) {
    System.SetEchoMessageBoxes(false);
    RegisterSkinClasses();
    Form = new TSkinForm(&App);
    ReadSkinFile("Skin/" + skin + "/skin.bin", *Form);
    Sensors = static_cast<int32_t>(SkinSensorLayout(*Form).size());
    Host = std::make_unique<TDataChannelHost>(Sensors);
    Form->AfterConstruction();
    if (!System.MessageBoxes().empty()) throw Exception(System.MessageBoxes().front().Text);
    if (!DataBlockMapped()) throw Exception("the skin did not connect to its block");
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

void RunFrames(benchmark::State& state, TLiveSkin& skin);

void FramePassAndPresent(benchmark::State& state, const std::string& skinName) {
  TLiveSkin skin(skinName);
  RunFrames(state, skin);
}

void FramePassAndPresentOnScreen(benchmark::State& state, const std::string& skinName, bool colorKey) {
  TLiveSkin skin(skinName, std::make_unique<TSdlWindowSystem>("TSkinForm"));
  skin.Form->SetTransparentColor(colorKey);
  skin.App.ProcessMessages();
  RunFrames(state, skin);
}

void RunFrames(benchmark::State& state, TLiveSkin& skin) {
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
BENCHMARK_CAPTURE(FramePassAndPresent, demo, std::string("demo"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FramePassAndPresent, bench60, std::string("bench60"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FramePassAndPresent, showcase, std::string("showcase"))->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  WriteBench60Skin();
  setenv(kChannelSuffixVariable, ("-bench-" + std::to_string(getpid())).c_str(), 1);
  if (const char* display = std::getenv("DISPLAY"); display && *display) {
    setenv("VELQ_NO_MESSAGE_BOXES", "1", 1);  // an error goes to stderr, never to a box that waits
    benchmark::RegisterBenchmark("OnScreen/demo_key", FramePassAndPresentOnScreen, std::string("demo"), true)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("OnScreen/demo_nokey", FramePassAndPresentOnScreen, std::string("demo"), false)
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
