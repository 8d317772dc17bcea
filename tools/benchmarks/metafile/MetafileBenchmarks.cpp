// Metafile pictures: what a 1024 x 600 dashboard background costs to load
// and draw the first time, and what a repaint at the same size costs.
// Run: metafile_benchmarks --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include "Graphics.h"
#include "MetafileSamples.h"

namespace {

constexpr int kWidth = 1024, kHeight = 600;

const mfsamples::TBytes& Sample(int format) {
  static const mfsamples::TBytes emf = mfsamples::Background(mfsamples::fmEmf, kWidth, kHeight);
  static const mfsamples::TBytes wmf = mfsamples::Background(mfsamples::fmWmf, kWidth, kHeight);
  return format == 0 ? emf : wmf;
}

// Load the file image and draw it for the first time: conversion, SVG
// parsing and rendering into the cached bitmap, then the blend.
void BM_LoadAndFirstDraw(benchmark::State& state) {
  const mfsamples::TBytes& bytes = Sample(int(state.range(0)));
  TBitmap target(kWidth, kHeight);
  for (auto _ : state) {
    TMetafile metafile;
    metafile.LoadFromBytes(bytes);
    target.Canvas().StretchDraw(Rect(0, 0, kWidth, kHeight), metafile);
    benchmark::ClobberMemory();
  }
  state.SetLabel(state.range(0) == 0 ? "emf" : "wmf");
}
BENCHMARK(BM_LoadAndFirstDraw)->Arg(0)->Arg(1)->ArgName("wmf")->Unit(benchmark::kMillisecond);

// Every later paint at the same size: only the cached bitmap is blended.
void BM_RepaintSameSize(benchmark::State& state) {
  TMetafile metafile;
  metafile.LoadFromBytes(Sample(0));
  TBitmap target(kWidth, kHeight);
  target.Canvas().StretchDraw(Rect(0, 0, kWidth, kHeight), metafile);
  for (auto _ : state) {
    target.Canvas().StretchDraw(Rect(0, 0, kWidth, kHeight), metafile);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RepaintSameSize)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
