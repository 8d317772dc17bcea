// Run: drawing_benchmarks --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include "Forms.h"
#include "GaugeMatrix.h"
#include "Graphics.h"
#include "backend/headless/HeadlessWindowSystem.h"

namespace {

void BM_FillRect1024x600(benchmark::State& state) {
  TBitmap bitmap(1024, 600);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Brush().SetColor(clNavy);
  for (auto _ : state) {
    canvas.FillRect(Rect(0, 0, 1024, 600));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 1024 * 600);
}
BENCHMARK(BM_FillRect1024x600);

// A 250 x 250 glyph with a transparent background colour and a lit square.
void BM_BrushCopy250(benchmark::State& state) {
  TBitmap glyph(250, 250);
  glyph.Canvas().Brush().SetColor(clSilver);
  glyph.Canvas().FillRect(Rect(0, 0, 250, 250));
  glyph.Canvas().Brush().SetColor(clRed);
  glyph.Canvas().FillRect(Rect(50, 50, 200, 200));
  TBitmap target(250, 250);
  TCanvas& canvas = target.Canvas();
  canvas.Brush().SetColor(clBlack);  // solid: the transparent colour becomes black
  if (!state.range(0)) canvas.Brush().SetStyle(bsClear);
  for (auto _ : state) {
    canvas.BrushCopy(Rect(0, 0, 250, 250), glyph, Rect(0, 0, 250, 250), clSilver);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BrushCopy250)->Arg(0)->Arg(1)->ArgName("solidBrush");

void BM_TextOutLabel6(benchmark::State& state) {
  TBitmap bitmap(100, 20);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetName("Arial");
  canvas.Font().SetHeight(-11);
  canvas.Brush().SetStyle(bsClear);
  for (auto _ : state) {
    canvas.TextOut(2, 2, "123.45");
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TextOutLabel6);

void BM_Ellipse100(benchmark::State& state) {
  TBitmap bitmap(100, 100);
  TCanvas& canvas = bitmap.Canvas();
  for (auto _ : state) {
    canvas.Ellipse(0, 0, 100, 100);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Ellipse100);

// One repaint of a dot-matrix line whose cells all sit on one place (a
// spacing of minus the cell width) as the cell count grows: the cost must
// stay that of the widget's pixels, not grow with Leds.
void BM_MatrixOverlappingPaint(benchmark::State& state) {
  THeadlessWindowSystem system;
  system.SetEchoMessageBoxes(false);
  TApplication app(system);
  auto* form = new TForm(&app);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 100, 60);
  auto* matrix = new TGaugeMatrix(form);
  matrix->SetThreaded(false);
  matrix->SetParent(form);
  matrix->SetSpacing(-MatrixCellSize(matrix->LedStyle()).X);
  matrix->SetLeds(static_cast<int32_t>(state.range(0)));
  matrix->SetText("%AAB");
  form->Show();
  app.ProcessMessages();
  for (auto _ : state) {
    matrix->Invalidate();
    app.ProcessMessages();
  }
}
BENCHMARK(BM_MatrixOverlappingPaint)->Arg(15)->Arg(1000000)->Arg(100000000)->ArgName("leds");

}  // namespace

BENCHMARK_MAIN();
