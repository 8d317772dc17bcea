// Metafile pictures: what a 1024 x 600 dashboard background costs to load
// and draw the first time, what a repaint at the same size costs, and what
// the largest files of the metafile corpus cost to draw at their own size.
// Run: metafile_benchmarks --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Graphics.h"
#include "MetafilePlayer.h"
#include "MetafileSamples.h"

namespace {

constexpr int kWidth = 1024, kHeight = 600;

const mfsamples::TBytes& Sample(int format) {
  static const mfsamples::TBytes emf = mfsamples::Background(mfsamples::fmEmf, kWidth, kHeight);
  static const mfsamples::TBytes wmf = mfsamples::Background(mfsamples::fmWmf, kWidth, kHeight);
  return format == 0 ? emf : wmf;
}

// Load the file image and draw it for the first time: conversion, record
// checks and playback into the cached bitmap, then the blend.
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

// The corpus's largest files (1.9 MB of text records, 1.5 MB of figures),
// played at their own size: the record playback alone.
void BM_CorpusRender(benchmark::State& state) {
  static const char* const kFiles[] = {"emf2svg-test-178.emf", "emf2svg-test-031.emf"};
  const std::string name = kFiles[state.range(0)];
  std::ifstream in(std::string(VELQ_CORPUS_DIR) + "/" + name, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (bytes.empty()) {
    state.SkipWithError(("cannot read " + name).c_str());
    return;
  }
  const TMetafilePlayer player(bytes);
  for (auto _ : state) {
    TSurfacePtr image = player.Render(player.Width(), player.Height());
    benchmark::DoNotOptimize(image);
  }
  state.SetLabel(name + " (" + std::to_string(bytes.size() / 1024) + " KiB)");
}
BENCHMARK(BM_CorpusRender)->Arg(0)->Arg(1)->ArgName("file")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
