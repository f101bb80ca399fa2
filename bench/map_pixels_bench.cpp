// Throughput of MapPixels on 12-megapixel RGB and CMYK buffers at 8 and 16
// bits (RGB48, CMYK64), measured beside a plain copy of the same bytes and the
// least loop the host interface allows at the same sample size, with a
// closing table of the ratios between them.
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
// would hand over, and the callbacks out of line. 16-bit samples take every
// value, as random bytes make them.
struct Image {
  const char* name;
  int16 mode;
  int planes;
  int sampleBytes;
  std::vector<uint8> in;
  std::vector<uint8> out;
  FilterRecord record{};
  FilterParameters params{};
  char* master = nullptr;
  int16 result = noErr;
  Globals globals{};

  Image(const char* imageName, int16 imageMode, int planeCount, int bytesPerSample)
      : name(imageName), mode(imageMode), planes(planeCount), sampleBytes(bytesPerSample) {
    const size_t bytes = size_t(kRows) * kColumns * size_t(planes) * size_t(sampleBytes);
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
    record.inRowBytes = record.outRowBytes = kColumns * planes * sampleBytes;
    globals = Globals{&result, &record, {}};
  }

  // Plane k of pixel `px` of a buffer.
  uint16 Sample(const std::vector<uint8>& buffer, size_t px, int k) const {
    const uint8* p = buffer.data() + (px * size_t(planes) + size_t(k)) * size_t(sampleBytes);
    if (sampleBytes == 1) return *p;
    uint16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
};

// The four images: RGB and CMYK at 8 and at 16 bits.
struct Kind {
  const char* name;
  int16 mode;
  int planes, sampleBytes;
};
constexpr Kind kKinds[] = {{"RGB", plugInModeRGBColor, 3, 1},
                           {"CMYK", plugInModeCMYKColor, 4, 1},
                           {"RGB48", plugInModeRGB48, 3, 2},
                           {"CMYK64", plugInModeCMYK64, 4, 2}};

bool MappingIsSound(Image& image);

// The image of the benchmarks now running. The images are made one at a
// time, as their benchmarks come (registered image by image), and only one is
// held: measured beside the others' half a gigabyte, the first ones ran up
// to a third slower or faster from one build to the next. Each is checked
// once, when made.
Image* Current(int which, bool& sound) {
  static std::unique_ptr<Image> image;
  static int made = -1;
  static bool madeSound = false;
  if (made != which) {
    image.reset();
    const Kind& k = kKinds[which];
    image = std::make_unique<Image>(k.name, k.mode, k.planes, k.sampleBytes);
    made = which;
    madeSound = MappingIsSound(*image);
    if (!madeSound)
      std::fprintf(stderr, "map_pixels_bench: MapPixels did not map the %s image as its order says\n", k.name);
  }
  sound = madeSound;
  return image.get();
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
  p.orderIndex = image.planes == 3 ? 1 : 18;
  p.blendEnabled = v == Variant::kMix || v == Variant::kCross || v == Variant::kCrossMix;
  p.blendCross = v == Variant::kCross || v == Variant::kCrossMix;
  p.blendMix = v == Variant::kMix || v == Variant::kCrossMix;
  p.excludeEnabled = v == Variant::kExclusion;
  p.excludedChannel = 2;
}

void SetRate(benchmark::State& state) {
  state.counters["MP/s"] = benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

bool g_unsound = false;

// The image of benchmark `which`, or nullptr with the benchmark skipped.
Image* ImageFor(benchmark::State& state, int which) {
  bool sound = false;
  Image* image = Current(which, sound);
  if (sound) return image;
  g_unsound = true;
  state.SkipWithError("MapPixels does not map this image as its order says");
  return nullptr;
}

void MapBenchmark(benchmark::State& state, int which, Variant v) {
  Image* image = ImageFor(state, which);
  if (image == nullptr) return;
  Configure(*image, v);
  for (auto _ : state) {
    MapPixels(&image->globals, true);
    benchmark::ClobberMemory();
  }
  if (image->result != noErr) state.SkipWithError("mapping was cancelled");
  SetRate(state);
}

void MemcpyBenchmark(benchmark::State& state, int which) {
  Image* image = ImageFor(state, which);
  if (image == nullptr) return;
  for (auto _ : state) {
    std::memcpy(image->out.data(), image->in.data(), image->in.size());
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

// The least any mapping can do through the host interface: per pixel one call
// of the abort callback through its pointer, then the pixel's N bytes copied
// (N is the plane count times the sample size).
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

void LeastLoopBenchmark(benchmark::State& state, int which) {
  Image* image = ImageFor(state, which);
  if (image == nullptr) return;
  for (auto _ : state) {
    const int bytes = image->planes * image->sampleBytes;
    const bool done = bytes == 3   ? LeastLoop<3>(image->record)
                      : bytes == 4 ? LeastLoop<4>(image->record)
                      : bytes == 6 ? LeastLoop<6>(image->record)
                                   : LeastLoop<8>(image->record);
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
  const size_t pixels = size_t(kRows) * kColumns;
  for (size_t px = 0; px < pixels; ++px) {
    for (int k = 0; k < image.planes; ++k) {
      const int16 src = ChannelOrderSource(image.mode, row, int16(k));
      if (image.Sample(image.out, px, k) != image.Sample(image.in, px, src)) return false;
    }
  }
  return image.result == noErr;
}

void PrintSummary(const CollectingReporter& reporter) {
  std::printf("\nMegapixels per second (CPU time, fastest repetition) and speed relative to the baselines\n");
  std::printf("(the least loop of each image copies its pixels at its own sample size; targets: plain mapping at\n"
              " 0.8 of it or better, every variant at 0.6 or better)\n");
  std::printf("%-26s %10s %12s %14s\n", "benchmark", "MP/s", "vs memcpy", "vs least loop");
  for (const char* mode : {"RGB", "CMYK", "RGB48", "CMYK64"}) {
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

  for (int which = 0; which < int(std::size(kKinds)); ++which) {
    const std::string prefix = std::string(kKinds[which].name) + "/";
    Timed(benchmark::RegisterBenchmark((prefix + "memcpy").c_str(), MemcpyBenchmark, which));
    Timed(benchmark::RegisterBenchmark((prefix + "least_loop").c_str(), LeastLoopBenchmark, which));
    for (const VariantInfo& v : kVariants) {
      Timed(benchmark::RegisterBenchmark((prefix + "MapPixels/" + v.name).c_str(), MapBenchmark, which, v.variant));
    }
  }

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  return g_unsound ? 1 : 0;
}
