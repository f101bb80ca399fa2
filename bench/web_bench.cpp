// The page against the native build. Whole 12-megapixel RGB runs through
// ENTRYPOINT with our own host, by the classic drive in the bands the page
// uses, plain order and Cross+Mix: natively, in WebAssembly under Node (the
// module the page loads, run by bench/web_run.js) and in headless Chromium;
// and in Chromium, a 12-megapixel JPEG from the page's file chooser to the
// full grid of 24 cells (bench/page_open.py), beside the tool's contact
// sheet of the same file; and the page's worker saving that picture as PNG
// and as JPEG, beside the tool filtering the file to PNG and to JPEG. Every
// figure is the fastest repetition; ratios are taken between figures of the
// same run. The native and Node runs count processor time (the module's
// process is idle between them), the browser and the tool the wall clock.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "bench/random_image.h"
#include "bench/photo.h"
#include "core/parameters.h"
#include "runner/filter_loader.h"
#include "runner/host.h"

namespace vantrel::bench {
namespace {

namespace fs = std::filesystem;

const fs::path kWork = fs::path(VANTREL_BENCH_WORK);
constexpr int16 kOrder = 1;       // "B R G"
constexpr int16 kBandRows = 150;  // the page's band: even, dividing 3000, about 2 MB of rows

double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

void NativeRun(benchmark::State& state, bool crossMix) {
  runner::Host host(runner::LoadFilter().entry);
  host.SetImage(RandomImage(), plugInModeRGBColor);
  host.RollBackFailedRuns(false);
  host.record().abortProc = AnswerContinue;
  host.record().progressProc = IgnoreProgress;
  host.BeforeStart([&host, crossMix] {
    FilterParameters* block = ParametersOf(&host.record());
    block->orderIndex = kOrder;
    block->bandRows = kBandRows;
    block->blendEnabled = block->blendCross = block->blendMix = crossMix;
  });
  for (auto _ : state) {
    const double start = ProcessSeconds();
    if (host.RunFilter() != noErr) state.SkipWithError("the run failed");
    state.SetIterationTime(ProcessSeconds() - start);
  }
}

// A helper process that answers a line with a figure in milliseconds for
// every line it is sent; it ends when its input does.
class Helper {
 public:
  explicit Helper(const std::string& command) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
      execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
  }
  ~Helper() {
    if (to_ != nullptr) fclose(to_);
    if (from_ != nullptr) fclose(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  // The figure the helper answers to `line`, in seconds; negative when it
  // answers none.
  double Ask(const std::string& line) {
    if (to_ == nullptr || std::fprintf(to_, "%s\n", line.c_str()) < 0 || std::fflush(to_) != 0) return -1;
    double ms = -1;
    char answer[256];
    if (std::fgets(answer, sizeof answer, from_) == nullptr || std::sscanf(answer, "%lf", &ms) != 1) return -1;
    return ms / 1000;
  }

 private:
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

void Asked(benchmark::State& state, Helper& helper, const std::string& line) {
  for (auto _ : state) {
    const double seconds = helper.Ask(line);
    if (seconds < 0) {
      state.SkipWithError(("no answer to " + line).c_str());
      break;
    }
    state.SetIterationTime(seconds);
  }
}

// The tool's command `arguments` (after vantrel -q), on the wall clock.
void Tool(benchmark::State& state, const std::string& arguments) {
  const std::string command = "'" VANTREL_CLI "' -q " + arguments;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError(("vantrel failed: " + command).c_str());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  using namespace vantrel::bench;
  if (VIPS_INIT(argv[0]) != 0 || !InitializeWithRepetitions(argc, argv, 5)) return 1;
  std::signal(SIGPIPE, SIG_IGN);
  fs::create_directories(kWork);
  const std::string jpeg = (kWork / "photo.jpg").string();
  if (!fs::exists(jpeg) && !MakePhoto(jpeg, kColumns, kRows)) {
    std::fprintf(stderr, "cannot make %s\n", jpeg.c_str());
    return 1;
  }
  if (!fs::exists(VANTREL_WEB_MODULE)) {
    std::fprintf(stderr, "%s is missing: build the web preset first (bash scripts/web.sh or cmake --build --preset web)\n",
                 VANTREL_WEB_MODULE);
    return 1;
  }
  Helper node("node --no-experimental-fetch '" VANTREL_SOURCE_DIR "/bench/web_run.js' '" VANTREL_WEB_MODULE "'");
  Helper browser("/usr/bin/python3 '" VANTREL_SOURCE_DIR "/bench/page_open.py' '" VANTREL_WEB_PAGE "' '" + jpeg + "'");

  const auto manual = [](benchmark::internal::Benchmark* b) { Timed(b)->UseManualTime(); };
  // A page load or a process each time: one a repetition.
  const auto once = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->ComputeStatistics("min", Fastest);
  };
  manual(benchmark::RegisterBenchmark("native_plain", NativeRun, false));
  manual(benchmark::RegisterBenchmark("native_cross_mix", NativeRun, true));
  manual(benchmark::RegisterBenchmark("wasm_plain", [&](benchmark::State& s) { Asked(s, node, "plain"); }));
  manual(benchmark::RegisterBenchmark("wasm_cross_mix", [&](benchmark::State& s) { Asked(s, node, "cross_mix"); }));
  manual(benchmark::RegisterBenchmark("chromium_plain", [&](benchmark::State& s) { Asked(s, browser, "plain"); }));
  manual(benchmark::RegisterBenchmark("chromium_cross_mix",
                                      [&](benchmark::State& s) { Asked(s, browser, "cross_mix"); }));
  once(benchmark::RegisterBenchmark("page_open_to_grid", [&](benchmark::State& s) { Asked(s, browser, "open"); }));
  once(benchmark::RegisterBenchmark("tool_contact_sheet", Tool,
                                    "--contact-sheet '" + (kWork / "sheet.png").string() + "' '" + jpeg + "'"));
  // The same file filtered whole and written, order 1, the JPEG's quality by
  // the tool's rule (the input's own) on both sides.
  for (const char* format : {"png", "jpeg"}) {
    const std::string out = (kWork / (std::string("tool.") + (format[0] == 'p' ? "png" : "jpg"))).string();
    once(benchmark::RegisterBenchmark((std::string("tool_to_") + format).c_str(), Tool,
                                      "'" + jpeg + "' -o '" + out + "' --order-index 1"));
    once(benchmark::RegisterBenchmark((std::string("page_save_") + format).c_str(),
                                      [&, format](benchmark::State& s) { Asked(s, browser, std::string("save ") + format); }));
  }
  CollectingReporter reporter;
  reporter.realTime = true;  // the manual times
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto ms = [&](const char* name) { return 1000 * reporter.Seconds(name); };
  const auto ratio = [](double base, double t) { return t > 0 ? base / t : 0.0; };
  std::printf("\nThe page's filter and the page (fastest repetition)\n");
  std::printf("%-34s %10s %12s\n", "", "ms", "vs native");
  for (const char* kind : {"plain", "cross_mix"}) {
    const double native = ms((std::string("native_") + kind).c_str());
    const double wasm = ms((std::string("wasm_") + kind).c_str());
    std::printf("%-34s %10.1f %12s\n", (std::string("native run, ") + kind).c_str(), native, "1.00");
    const double chromium = ms((std::string("chromium_") + kind).c_str());
    std::printf("%-34s %10.1f %12.2f\n", (std::string("WebAssembly under Node, ") + kind).c_str(), wasm,
                ratio(native, wasm));
    std::printf("%-34s %10.1f %12.2f\n", (std::string("WebAssembly in Chromium, ") + kind).c_str(), chromium,
                ratio(native, chromium));
  }
  const double page = ms("page_open_to_grid"), sheet = ms("tool_contact_sheet");
  std::printf("%-34s %10.1f %12s\n", "page: 12 MP JPEG open to grid", page, "");
  std::printf("%-34s %10.1f %12.2f  (page / tool)\n", "vantrel --contact-sheet, same JPEG", sheet,
              sheet > 0 ? page / sheet : 0.0);
  std::printf("\nSaving the same 12 MP JPEG, filtered whole (fastest repetition)\n");
  std::printf("%-34s %10s %12s\n", "", "ms", "page / tool");
  for (const char* format : {"png", "jpeg"}) {
    const double tool = ms((std::string("tool_to_") + format).c_str());
    const double saved = ms((std::string("page_save_") + format).c_str());
    std::printf("%-34s %10.1f %12s\n", (std::string("vantrel photo.jpg -o out.") + (format[0] == 'p' ? "png" : "jpg")).c_str(),
                tool, "");
    std::printf("%-34s %10.1f %12.2f\n", (std::string("page: Save as ") + format).c_str(), saved,
                tool > 0 ? saved / tool : 0.0);
  }
  std::printf("Goals: WebAssembly at least 0.50 of native speed (under Node); open to grid under 1000 ms;\n"
              "page's Save within 1.25 x the tool's time to PNG and 2 x its time to JPEG.\n");
  benchmark::Shutdown();
  return 0;
}
