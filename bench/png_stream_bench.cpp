// The PNG writer on every core against libvips' PNG writer (one thread
// compressing) on the same pixels in memory, at the same zlib level and with
// adaptive row filters: a photograph-like 12-megapixel picture (fractal noise
// in each channel with a little grain) and the bundled chart at the same size.
// Each ratio is taken between benchmarks measured in the same run, on the wall
// clock, since the writer's work runs on threads of its own.
#include <benchmark/benchmark.h>
#include <vips/vips.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo.h"
#include "pictures/picture.h"
#include "pictures/png_stream.h"

namespace vantrel::bench {
namespace {

namespace fs = std::filesystem;

const fs::path kWork = fs::path(VANTREL_BENCH_WORK);
constexpr int kLevel = 6;

struct Picture {
  const char* name;
  std::vector<uint8> pixels;  // interleaved RGB, kColumns x kRows
};

bool Load(const fs::path& file, std::vector<uint8>& pixels) {
  VipsImage* image = vips_image_new_from_file(file.c_str(), nullptr);
  if (image == nullptr) return false;
  std::size_t size = 0;
  void* memory = image->Bands == 3 ? vips_image_write_to_memory(image, &size) : nullptr;
  g_object_unref(image);
  if (memory == nullptr || size != std::size_t(kColumns) * kRows * 3) return false;
  pixels.assign(static_cast<uint8*>(memory), static_cast<uint8*>(memory) + size);
  g_free(memory);
  return true;
}

bool Prepare(std::vector<Picture>& pictures) {
  fs::create_directories(kWork);
  const fs::path photo = kWork / "photo.v", chart = kWork / "chart.png";
  if (!fs::exists(photo) && !MakePhoto(photo.string(), kColumns, kRows)) return false;
  if (!fs::exists(chart) &&
      std::system(("'" VANTREL_SAMPLE_MAKER "' --size 4000x3000 '" + chart.string() + "' >/dev/null").c_str()) != 0)
    return false;
  pictures = {{"photo", {}}, {"chart", {}}};
  return Load(photo, pictures[0].pixels) && Load(chart, pictures[1].pixels);
}

std::string OutputOf(const Picture* picture, const std::string& writer) {
  return (kWork / (std::string(picture->name) + "_" + writer + ".png")).string();
}

void Writer(benchmark::State& state, const Picture* picture, int threads) {
  pictures::PngHeader header;
  header.width = kColumns;
  header.height = kRows;
  header.level = kLevel;
  const std::string out = OutputOf(picture, "writer" + std::to_string(threads));
  for (auto _ : state) {
    const std::string why =
        pictures::WriteWhole(out, header, picture->pixels.data(), std::ptrdiff_t(kColumns) * 3, pictures::PngTuning{threads, 0});
    if (!why.empty()) state.SkipWithError(why.c_str());
  }
  state.counters["MB"] = double(fs::file_size(out)) / 1e6;
}

void VipsPngsave(benchmark::State& state, const Picture* picture) {
  VipsImage* image = vips_image_new_from_memory(picture->pixels.data(), picture->pixels.size(), kColumns, kRows, 3,
                                                VIPS_FORMAT_UCHAR);
  const std::string out = OutputOf(picture, "vips");
  for (auto _ : state) {
    if (vips_pngsave(image, out.c_str(), "compression", kLevel, "filter", VIPS_FOREIGN_PNG_FILTER_ALL, nullptr) != 0) {
      state.SkipWithError(vips_error_buffer());
      vips_error_clear();
    }
  }
  g_object_unref(image);
  state.counters["MB"] = double(fs::file_size(out)) / 1e6;
}

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  using namespace vantrel::bench;
  if (!InitializeWithRepetitions(argc, argv, 3)) return 1;
  vantrel::pictures::StartPictures(argv[0]);
  std::vector<Picture> pictures;
  if (!Prepare(pictures)) {
    std::fprintf(stderr, "png_stream_bench: cannot prepare the pictures in %s\n", kWork.c_str());
    return 1;
  }
  auto whole = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->ComputeStatistics("min", Fastest);
  };
  for (const Picture& p : pictures) {
    const std::string name = p.name;
    whole(benchmark::RegisterBenchmark((name + "/vips_pngsave").c_str(), VipsPngsave, &p));
    whole(benchmark::RegisterBenchmark((name + "/writer").c_str(), Writer, &p, 0));
    whole(benchmark::RegisterBenchmark((name + "/writer_1_thread").c_str(), Writer, &p, 1));
  }

  CollectingReporter reporter;
  reporter.realTime = true;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nPNG level %d, adaptive row filters, 12 megapixels RGB (wall clock, fastest repetition)\n", kLevel);
  std::printf("%-8s %14s %10s %18s %10s\n", "picture", "vips pngsave", "writer", "writer, 1 thread", "speed-up");
  for (const Picture& p : pictures) {
    const std::string name = p.name;
    const double vips = reporter.Seconds(name + "/vips_pngsave"), ours = reporter.Seconds(name + "/writer"),
                 alone = reporter.Seconds(name + "/writer_1_thread");
    if (vips > 0 && ours > 0)
      std::printf("%-8s %12.3f s %8.3f s %16.3f s %9.2fx\n", name.c_str(), vips, ours, alone, vips / ours);
  }
  vantrel::pictures::StopPictures();
  benchmark::Shutdown();
  return 0;
}
