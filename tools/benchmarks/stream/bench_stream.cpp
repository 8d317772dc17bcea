// Skin-file performance: a 200-component skin converted text -> binary,
// binary -> text, and read into live objects.
//
//   build/tools/benchmarks/stream/bench_stream --benchmark_repetitions=10
//       --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include "Colors.h"
#include "SkinStream.h"

namespace {

enum TBenchSensor { ia0, ia1, ia2, ia3, ia4, ia5 };
enum TBenchStyle { fsBold, fsItalic };
const TEnumInfo kSensors{"TAnalogSensors", {"ia0", "ia1", "ia2", "ia3", "ia4", "ia5"}};
const TEnumInfo kStyles{"TFontStyle", {"fsBold", "fsItalic"}};

// A widget-like class with a dozen properties of the usual kinds.
class TBenchGauge : public TComponent {
  VELQ_CLASS(TBenchGauge)
public:
  using TComponent::TComponent;
  int Left() const { return FLeft; }
  void SetLeft(int v) { FLeft = v; }
  int Top() const { return FTop; }
  void SetTop(int v) { FTop = v; }
  int Width() const { return FWidth; }
  void SetWidth(int v) { FWidth = v; }
  int Height() const { return FHeight; }
  void SetHeight(int v) { FHeight = v; }
  long double MaxValue() const { return FMax; }
  void SetMaxValue(long double v) { FMax = v; }
  std::string Caption() const { return FCaption; }
  void SetCaption(const std::string& v) { FCaption = v; }
  TBenchSensor Sensor() const { return FSensor; }
  void SetSensor(TBenchSensor v) { FSensor = v; }
  TSet<TBenchStyle> Style() const { return FStyle; }
  void SetStyle(TSet<TBenchStyle> v) { FStyle = v; }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool v) { FVisible = v; }

private:
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  long double FMax = 0;
  std::string FCaption;
  TBenchSensor FSensor = ia0;
  TSet<TBenchStyle> FStyle;
  TColor FColor = 0;
  bool FVisible = true;
};

const TClassInfo& TBenchGauge::StaticClass() {
  static const TClassInfo info = TClassBuilder<TBenchGauge>("TBenchGauge", &TComponent::StaticClass())
                                     .Integer("Left", &TBenchGauge::Left, &TBenchGauge::SetLeft)
                                     .Integer("Top", &TBenchGauge::Top, &TBenchGauge::SetTop)
                                     .Integer("Width", &TBenchGauge::Width, &TBenchGauge::SetWidth)
                                     .Integer("Height", &TBenchGauge::Height, &TBenchGauge::SetHeight)
                                     .Extended("MaxValue", &TBenchGauge::MaxValue, &TBenchGauge::SetMaxValue)
                                     .String("Caption", &TBenchGauge::Caption, &TBenchGauge::SetCaption)
                                     .Enum("AnalogSensor", kSensors, &TBenchGauge::Sensor, &TBenchGauge::SetSensor)
                                     .Set("Style", kStyles, "TFontStyles", &TBenchGauge::Style, &TBenchGauge::SetStyle)
                                     .Color("Color", &TBenchGauge::Color, &TBenchGauge::SetColor)
                                     .Boolean("Visible", &TBenchGauge::Visible, &TBenchGauge::SetVisible)
                                     .Creatable()
                                     .Build();
  return info;
}

std::string SkinText(int components) {
  std::string text = "object Dash: TSkinForm\r\n";
  for (int i = 0; i < components; ++i) {
    text += "  object Gauge" + std::to_string(i) + ": TBenchGauge\r\n";
    text += "    Left = " + std::to_string(i * 3) + "\r\n    Top = " + std::to_string(i * 2) + "\r\n";
    text += "    Width = 120\r\n    Height = 80\r\n    MaxValue = 8000.000000000000000000\r\n";
    text += "    Caption = 'Gauge number " + std::to_string(i) + "'\r\n    AnalogSensor = ia3\r\n";
    text += "    Style = [fsBold]\r\n    Color = clLime\r\n    Visible = True\r\n  end\r\n";
  }
  return text + "end\r\n";
}

const std::string& Text200() {
  static const std::string text = SkinText(200);
  return text;
}
const std::vector<uint8_t>& Binary200() {
  static const std::vector<uint8_t> bin = ObjectTextToBinary(Text200());
  return bin;
}

void TextToBinary(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ObjectTextToBinary(Text200()));
}
BENCHMARK(TextToBinary)->Unit(benchmark::kMillisecond);

void BinaryToText(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ObjectBinaryToText(Binary200()));
}
BENCHMARK(BinaryToText)->Unit(benchmark::kMillisecond);

void ReadIntoLiveObjects(benchmark::State& state) {
  RegisterClass(TBenchGauge::StaticClass());
  for (auto _ : state) {
    TComponent root(nullptr);
    ReadRootComponent(Binary200(), root);
    benchmark::DoNotOptimize(root.ComponentCount());
  }
}
BENCHMARK(ReadIntoLiveObjects)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
