// Throughput of MapPixels on 12-megapixel RGB and CMYK buffers, measured beside
// a plain copy of the same bytes and the least loop the host interface allows,
// with a closing table of the ratios between them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/channel_orders.h"
#include "core/parameters.h"
#include "core/pixel_mapping.h"

namespace vantrel::bench {

namespace {


// A whole image as one band, with the record and parameter block a host
// would hand over, and the callbacks out of line.
struct Image {
  int16 mode;
  int planes;
  std::vector<uint8> in;
  std::vector<uint8> out;
  FilterRecord record{};
  FilterParameters params{};
  char* master = nullptr;
  int16 result = noErr;
  Globals globals{};

  Image(int16 imageMode, int planeCount) : mode(imageMode), planes(planeCount) {
    const size_t bytes = size_t(kRows) * kColumns * size_t(planes);
    in.resize(bytes);
    uint32 x = 0x12345678;
    for (uint8& b : in) {
      x = x * 1664525u + 1013904223u;
      b = uint8(x >> 24);
    }
    out.assign(bytes, 0xEE);

    master = reinterpret_cast<char*>(&params);
    record.parameters = &master;
    record.abortProc = AnswerContinue;
    record.progressProc = IgnoreProgress;
    record.imageMode = mode;
    record.planes = int16(planes);
    record.filterRect = record.inRect = record.outRect = {0, 0, kRows, kColumns};
    record.inLoPlane = 0;
    record.inHiPlane = int16(planes - 1);
    record.outLoPlane = 0;
    record.outHiPlane = int16(planes - 1);
    record.inData = in.data();
    record.outData = out.data();
    record.inRowBytes = record.outRowBytes = kColumns * planes;
    globals = Globals{&result, &record, {}};
  }
};

Image& RgbImage() {
  static Image image(plugInModeRGBColor, 3);
  return image;
}
Image& CmykImage() {
  static Image image(plugInModeCMYKColor, 4);
  return image;
}

enum class Variant { kPlain, kMix, kCross, kCrossMix, kExclusion };

struct VariantInfo {
  Variant variant;
  const char* name;
};
constexpr VariantInfo kVariants[] = {
    {Variant::kPlain, "plain"},         {Variant::kMix, "mix"},
    {Variant::kCross, "cross"},         {Variant::kCrossMix, "cross_mix"},
    {Variant::kExclusion, "exclusion"},
};

// A permuting order for every variant: "B R G" for RGB, "K C M Y" for CMYK.
void Configure(Image& image, Variant v) {
  FilterParameters& p = image.params;
  p.orderIndex = image.mode == plugInModeRGBColor ? 1 : 18;
  p.blendEnabled = v == Variant::kMix || v == Variant::kCross || v == Variant::kCrossMix;
  p.blendCross = v == Variant::kCross || v == Variant::kCrossMix;
  p.blendMix = v == Variant::kMix || v == Variant::kCrossMix;
  p.excludeEnabled = v == Variant::kExclusion;
  p.excludedChannel = 2;
}

void SetRate(benchmark::State& state) {
  state.counters["MP/s"] = benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

void MapBenchmark(benchmark::State& state, Image* image, Variant v) {
  Configure(*image, v);
  for (auto _ : state) {
    MapPixels(&image->globals, true);
    benchmark::ClobberMemory();
  }
  if (image->result != noErr) state.SkipWithError("mapping was cancelled");
  SetRate(state);
}

void MemcpyBenchmark(benchmark::State& state, Image* image) {
  for (auto _ : state) {
    std::memcpy(image->out.data(), image->in.data(), image->in.size());
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

// The least any mapping can do through the host interface: per pixel one call
// of the abort callback through its pointer, then the pixel's bytes copied.
template <int N>
bool LeastLoop(const FilterRecord& record) {
  TestAbortProc abort = record.abortProc;
  benchmark::DoNotOptimize(abort);
  const auto* in = static_cast<const uint8*>(record.inData);
  auto* out = static_cast<uint8*>(record.outData);
  for (int32 i = 0; i < kRows; ++i) {
    const uint8* s = in + std::ptrdiff_t(i) * record.inRowBytes;
    uint8* d = out + std::ptrdiff_t(i) * record.outRowBytes;
    for (int32 j = 0; j < kColumns; ++j, s += N, d += N) {
      if (abort() != 0) return false;
      std::memcpy(d, s, N);
    }
  }
  return true;
}

void LeastLoopBenchmark(benchmark::State& state, Image* image) {
  for (auto _ : state) {
    const bool done = image->planes == 3 ? LeastLoop<3>(image->record) : LeastLoop<4>(image->record);
    benchmark::DoNotOptimize(done);
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

// A benchmark run would measure nothing useful if the mapping refused the
// buffers: check one full plain mapping against the order table first.
bool MappingIsSound(Image& image) {
  Configure(image, Variant::kPlain);
  MapPixels(&image.globals, false);
  const int16 row = image.params.orderIndex;
  for (size_t px = 0; px < image.in.size(); px += size_t(image.planes)) {
    for (int k = 0; k < image.planes; ++k) {
      const int16 src = ChannelOrderSource(image.mode, row, int16(k));
      if (image.out[px + size_t(k)] != image.in[px + size_t(src)]) return false;
    }
  }
  return image.result == noErr;
}

void PrintSummary(const CollectingReporter& reporter) {
  std::printf("\nMegapixels per second (CPU time, fastest repetition) and speed relative to the baselines\n");
  std::printf("%-26s %10s %12s %14s\n", "benchmark", "MP/s", "vs memcpy", "vs least loop");
  for (const char* mode : {"RGB", "CMYK"}) {
    const std::string prefix = mode;
    const auto find = [&](const std::string& name) { return reporter.Seconds(prefix + "/" + name); };
    const double copy = find("memcpy");
    const double least = find("least_loop");
    std::vector<std::string> names = {"memcpy", "least_loop"};
    for (const VariantInfo& v : kVariants) names.push_back(std::string("MapPixels/") + v.name);
    for (const std::string& name : names) {
      const double t = find(name);
      if (t <= 0) continue;
      std::printf("%-26s %10.1f %12.3f %14.3f\n", (prefix + "/" + name).c_str(), kMegapixels / t,
                  copy > 0 ? copy / t : 0.0, least > 0 ? least / t : 0.0);
    }
  }
}

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  using namespace vantrel::bench;
  if (!InitializeWithRepetitions(argc, argv, 5)) return 1;

  for (Image* image : {&RgbImage(), &CmykImage()}) {
    if (!MappingIsSound(*image)) {
      std::fprintf(stderr, "map_pixels_bench: MapPixels did not map the %s image as its order says\n",
                   image->mode == plugInModeRGBColor ? "RGB" : "CMYK");
      return 1;
    }
    const std::string prefix = image->mode == plugInModeRGBColor ? "RGB/" : "CMYK/";
    Timed(benchmark::RegisterBenchmark((prefix + "memcpy").c_str(), MemcpyBenchmark, image));
    Timed(benchmark::RegisterBenchmark((prefix + "least_loop").c_str(), LeastLoopBenchmark, image));
    for (const VariantInfo& v : kVariants) {
      Timed(benchmark::RegisterBenchmark((prefix + "MapPixels/" + v.name).c_str(), MapBenchmark, image, v.variant));
    }
  }

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  return 0;
}
