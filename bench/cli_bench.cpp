// The command-line tool against general image tools doing the same channel
// permutation ("B R G") of a 12-megapixel RGB PNG into a PNG at the same zlib
// level and adaptive row filtering; the same permutation of a 12-megapixel
// 16-bit RGB TIFF into an uncompressed 16-bit TIFF beside libvips (each band
// extracted, then joined in the new order); and a batch of 16 PNG files by
// two worker processes against one. Every figure is a whole process run (wall
// clock, fastest repetition), and each ratio is taken against a baseline
// measured in the same run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"

namespace vantrel::bench {
namespace {

namespace fs = std::filesystem;

const fs::path kWork = fs::path(VANTREL_BENCH_WORK);
constexpr int kBatchFiles = 16;

double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// Runs `command` in the work folder once per iteration; the children's CPU
// time per run is reported beside the wall clock.
void Command(benchmark::State& state, const std::string& command) {
  const std::string line = "cd '" + kWork.string() + "' && " + command + " >/dev/null 2>&1";
  const double before = ChildCpuSeconds();
  for (auto _ : state) {
    if (std::system(line.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  }
  state.counters["cpu_s"] = (ChildCpuSeconds() - before) / double(state.iterations());
}

bool Prepare() {
  fs::create_directories(kWork / "batch");
  for (const char* name : {"source.png", "source16.tif"}) {
    const std::string source = (kWork / name).string();
    if (!fs::exists(source) &&
        std::system(("'" VANTREL_SAMPLE_MAKER "' --size 4000x3000 '" + source + "' >/dev/null").c_str()) != 0)
      return false;
  }
  const std::string source = (kWork / "source.png").string();
  for (int i = 0; i < kBatchFiles; ++i) {
    const fs::path copy = kWork / "batch" / ("file" + std::to_string(i) + ".png");
    if (!fs::exists(copy)) fs::copy_file(source, copy);
  }
  // The permutation as a recombination matrix: output R from B, G from R, B from G.
  std::FILE* matrix = std::fopen((kWork / "brg.mat").c_str(), "w");
  if (matrix == nullptr) return false;
  std::fputs("3 3\n0 0 1\n1 0 0\n0 1 0\n", matrix);
  std::fclose(matrix);
  return std::system(("cd '" + kWork.string() + "' && vips matrixload brg.mat brg.v").c_str()) == 0;
}

const std::string kVantrel = std::string("'") + VANTREL_CLI + "'";

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  using namespace vantrel::bench;
  if (!InitializeWithRepetitions(argc, argv, 5)) return 1;
  if (!Prepare()) {
    std::fprintf(stderr, "cli_bench: cannot prepare the images in %s\n", kWork.c_str());
    return 1;
  }
  auto whole = [](benchmark::internal::Benchmark* b, int repetitions) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(repetitions)->ComputeStatistics("min", Fastest);
  };
  whole(benchmark::RegisterBenchmark("vantrel", Command,
                                     kVantrel + " source.png -o out_vantrel.png --order 'B R G' --compression 6 -q"),
        5);
  whole(benchmark::RegisterBenchmark("vips_recomb", Command,
                                     std::string("vips recomb source.png 'out_vips.png[compression=6,filter=all]' brg.v")),
        5);
  whole(benchmark::RegisterBenchmark("imagemagick", Command,
                                     std::string("convert source.png -separate -swap 0,2 -swap 1,2 -combine "
                                                 "-define png:compression-level=6 out_magick.png")),
        5);
  whole(benchmark::RegisterBenchmark("vantrel_tiff16", Command,
                                     kVantrel + " source16.tif -o out_vantrel16.tif --order 'B R G' -q"),
        5);
  // libvips has no single command that permutes bands and keeps 16 bits
  // (recomb makes floats): the bands go out one by one in its own uncompressed
  // format and are joined in the new order.
  whole(benchmark::RegisterBenchmark("vips_bandjoin_tiff16", Command,
                                     std::string("vips extract_band source16.tif b16.v 2 && "
                                                 "vips extract_band source16.tif r16.v 0 && "
                                                 "vips extract_band source16.tif g16.v 1 && "
                                                 "vips bandjoin 'b16.v r16.v g16.v' out_vips16.tif")),
        5);
  for (const char* jobs : {"1", "2"})
    whole(benchmark::RegisterBenchmark((std::string("batch16_j") + jobs).c_str(), Command,
                                       kVantrel + " batch/*.png -o out_batch --order 'B R G' --compression 6 -q -j " + jobs),
          3);

  CollectingReporter reporter;
  reporter.realTime = true;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const double vantrel = reporter.Seconds("vantrel");
  const double vips = reporter.Seconds("vips_recomb");
  const double magick = reporter.Seconds("imagemagick");
  const double vantrel16 = reporter.Seconds("vantrel_tiff16");
  const double vips16 = reporter.Seconds("vips_bandjoin_tiff16");
  const double j1 = reporter.Seconds("batch16_j1");
  const double j2 = reporter.Seconds("batch16_j2");
  std::printf("\n12-megapixel RGB PNG, channel order B R G, PNG level 6 (wall clock, fastest repetition)\n");
  std::printf("%-16s %10s %12s\n", "tool", "seconds", "vs vantrel");
  for (auto [name, t] : {std::pair{"vantrel", vantrel}, std::pair{"vips recomb", vips}, std::pair{"ImageMagick", magick}})
    if (t > 0) std::printf("%-16s %10.3f %12.2f\n", name, t, vantrel > 0 ? t / vantrel : 0.0);
  std::printf("\n12-megapixel 16-bit RGB TIFF, channel order B R G, uncompressed (wall clock, fastest repetition)\n");
  std::printf("%-16s %10s %12s\n", "tool", "seconds", "vs vantrel");
  for (auto [name, t] : {std::pair{"vantrel", vantrel16}, std::pair{"vips bandjoin", vips16}})
    if (t > 0) std::printf("%-16s %10.3f %12.2f\n", name, t, vantrel16 > 0 ? t / vantrel16 : 0.0);
  if (j1 > 0 && j2 > 0)
    std::printf("batch of %d files: -j 1 %.2f s, -j 2 %.2f s, speed-up %.2fx\n", kBatchFiles, j1, j2, j1 / j2);
  benchmark::Shutdown();
  return 0;
}
