// A whole 12-megapixel run through ENTRYPOINT with our own host, by each drive,
// measured beside MapPixels alone on the same image.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "bench/random_image.h"
#include "core/parameters.h"
#include "core/pixel_mapping.h"
#include "runner/filter_loader.h"
#include "runner/host.h"

namespace vantrel::bench {

namespace {

constexpr int16 kOrder = 1;  // "B R G"
constexpr int32 kMemoryOffer = 4 * 1024 * 1024;

// The filter's work alone: the whole image as one delivered band.
void MapPixelsAlone(benchmark::State& state) {
  const runner::Image source = RandomImage();
  std::vector<uint8> out(source.pixels.size());
  FilterParameters params{};
  params.orderIndex = kOrder;
  char* master = reinterpret_cast<char*>(&params);
  FilterRecord record{};
  record.parameters = &master;
  record.abortProc = AnswerContinue;
  record.progressProc = IgnoreProgress;
  record.imageMode = plugInModeRGBColor;
  record.planes = 3;
  record.filterRect = record.inRect = record.outRect = {0, 0, kRows, kColumns};
  record.inHiPlane = record.outHiPlane = 2;
  record.inData = const_cast<uint8*>(source.pixels.data());
  record.outData = out.data();
  record.inRowBytes = record.outRowBytes = kColumns * 3;
  int16 result = noErr;
  Globals globals{&result, &record, {}};
  for (auto _ : state) {
    MapPixels(&globals, true);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.counters["MP/s"] = benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

// prepare, start, continue while asked, finish; the host's copies in and out
// of its buffers are part of what is measured, as they are in a real host.
// The memory offer is a modest 4 MiB, so the classic drive moves in bands of
// about 150 rows, the last of which reaches past the image.
void WholeRun(benchmark::State& state, bool advanceState) {
  runner::Host host(runner::LoadFilter().entry);
  host.SetImage(RandomImage(), plugInModeRGBColor);
  // The runs are timed, not the host's copy of the image that rolling back a
  // failed run would take.
  host.RollBackFailedRuns(false);
  host.OfferAdvanceState(advanceState);
  // The band height a prepare settles on is kept and never shrinks, so the
  // offer is made before the first prepare.
  host.record().maxSpace = kMemoryOffer;
  host.Call(filterSelectorPrepare);
  reinterpret_cast<FilterParameters*>(*host.record().parameters)->orderIndex = kOrder;
  for (auto _ : state) {
    host.record().maxSpace = kMemoryOffer;
    if (host.RunFilter() != noErr) state.SkipWithError("the run failed");
    benchmark::DoNotOptimize(host.destination().pixels.data());
  }
  state.counters["MP/s"] = benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  using namespace vantrel::bench;
  if (!InitializeWithRepetitions(argc, argv, 5)) return 1;
  Timed(benchmark::RegisterBenchmark("MapPixels_alone", MapPixelsAlone));
  Timed(benchmark::RegisterBenchmark("run_advanceState", WholeRun, true));
  Timed(benchmark::RegisterBenchmark("run_classic", WholeRun, false));
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const double alone = reporter.Seconds("MapPixels_alone");
  std::printf("\nWhole 12-megapixel RGB runs through ENTRYPOINT, relative to MapPixels alone (CPU time, fastest repetition)\n");
  std::printf("%-20s %10s %16s\n", "benchmark", "MP/s", "vs MapPixels");
  for (const char* name : {"MapPixels_alone", "run_advanceState", "run_classic"}) {
    const double t = reporter.Seconds(name);
    if (t > 0) std::printf("%-20s %10.1f %16.3f\n", name, kMegapixels / t, alone > 0 ? alone / t : 0.0);
  }
  benchmark::Shutdown();
  return 0;
}
