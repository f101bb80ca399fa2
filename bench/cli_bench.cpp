// The command-line tool against libvips and ImageMagick doing the same
// channel permutation ("B R G") at the same settings, as whole processes:
// a photograph-like 12-megapixel picture and the chart at the same size, as
// PNG (level 6, adaptive row filters) and as TIFF (deflate, and none); the
// photograph as libvips writes a JPEG (quality 90, no restart markers) and a
// camera-like 24-megapixel JPEG (restart markers every MCU row, EXIF), each
// to JPEG at the same quality and chroma subsampling; an 8 x 8 PNG, which is
// all start-up; a 12-megapixel 16-bit TIFF; a 20000 x 20000 RGB TIFF with
// each process's peak memory; and a batch of 16 PNG files by two worker
// processes against one. Each figure is the fastest repetition on the wall clock, and each
// ratio is taken between figures measured in the same run.
//
// libvips runs as the vips command runs recomb with the permutation matrix
// (`vips recomb` where the PNG writer casts its floats back to 8 bits, and
// for TIFF, whose writer would keep them, a one-process program that casts
// them back, vips_recomb); on the large picture the vips command itself is
// measured too, floats and all, as the figure first quoted for libvips.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo.h"

namespace vantrel::bench {
namespace {

namespace fs = std::filesystem;

const fs::path kWork = fs::path(VANTREL_BENCH_WORK);
constexpr int kBatchFiles = 16;
constexpr int kLargeSide = 20000;
constexpr int kCameraColumns = 6000, kCameraRows = 4000;

const std::string kVantrel = std::string("'") + VANTREL_CLI + "'";
const std::string kVipsRecomb = std::string("'") + VIPS_RECOMB + "'";
// ImageMagick's permutation: the planes apart, reordered, and joined as RGB.
const std::string kMagick = "convert IN -separate -swap 0,2 -swap 1,2 -combine -type TrueColor ";

// Each process's peak resident memory, in megabytes, the largest of its
// repetitions, by benchmark name.
std::map<std::string, double> g_peakMb;
// Each process's processor time, in seconds, the least of its repetitions.
std::map<std::string, double> g_cpuS;

// Runs `command` in the work folder by a shell that becomes the command, so
// that the process waited for is the command itself; answers its exit
// status, and its peak memory and processor time in `usage`.
int RunMeasured(const std::string& command, rusage& usage) {
  const std::string line = "cd '" + kWork.string() + "' && exec " + command + " >/dev/null 2>&1";
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Removes what the commands write: every file and folder named out*.
void RemoveOutputs() {
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(kWork))
    if (entry.path().filename().string().rfind("out", 0) == 0) fs::remove_all(entry.path(), ignored);
}

// One run of `command` per iteration, with its processor time and peak
// memory beside the wall clock; `IN` in it stands for `input`. The peak is
// kept under `name`.
void Command(benchmark::State& state, const std::string& name, std::string command, const std::string& input) {
  if (const auto at = command.find("IN"); at != std::string::npos) command.replace(at, 2, input);
  double cpu = 0, peak = 0;
  for (auto _ : state) {
    // Every tool writes a new file, as the tool always does (a temporary
    // one renamed): overwriting one in place costs the file system less.
    state.PauseTiming();
    RemoveOutputs();
    state.ResumeTiming();
    rusage usage{};
    if (RunMeasured(command, usage) != 0) state.SkipWithError(("failed: " + command).c_str());
    cpu += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    peak = std::max(peak, double(usage.ru_maxrss) / 1024.0);
  }
  state.counters["cpu_s"] = cpu / double(state.iterations());
  state.counters["peak_MB"] = peak;
  double& kept = g_peakMb[name];
  kept = std::max(kept, peak);
  const double perRun = cpu / double(state.iterations());
  if (const auto it = g_cpuS.find(name); it == g_cpuS.end() || it->second > perRun) g_cpuS[name] = perRun;
}

bool Save(VipsImage* image, const fs::path& file) {
  return vips_image_write_to_file(image, file.c_str(), nullptr) == 0;
}

// The pictures, made once and kept: each as PNG and as TIFF of both kinds.
bool Prepare() {
  fs::create_directories(kWork / "batch");
  const fs::path photo = kWork / "photo.png", chart = kWork / "chart.png";
  if (!fs::exists(photo) && !MakePhoto(photo.string(), kColumns, kRows)) return false;
  if (!fs::exists(chart) &&
      std::system(("'" VANTREL_SAMPLE_MAKER "' --size 4000x3000 '" + chart.string() + "' >/dev/null").c_str()) != 0)
    return false;
  const fs::path chart16 = kWork / "chart16.tif";
  if (!fs::exists(chart16) &&
      std::system(("'" VANTREL_SAMPLE_MAKER "' --size 4000x3000 '" + chart16.string() + "' >/dev/null").c_str()) != 0)
    return false;
  for (const char* name : {"photo", "chart"}) {
    VipsImage* image = vips_image_new_from_file((kWork / (std::string(name) + ".png")).c_str(), nullptr);
    if (image == nullptr) return false;
    bool ok = true;
    for (const char* kind : {"none", "deflate"}) {
      const fs::path tiff = kWork / (std::string(name) + "_" + kind + ".tif");
      if (!fs::exists(tiff)) ok = ok && Save(image, tiff.string() + "[compression=" + kind + "]");
    }
    g_object_unref(image);
    if (!ok) return false;
  }
  // The photograph as libvips writes a JPEG, and a camera's JPEG: 24
  // megapixels at quality 92, chroma halved both ways, a restart marker
  // every MCU row, and EXIF naming the camera.
  const fs::path photoJpeg = kWork / "photo.jpg", camera = kWork / "camera.jpg", tiny = kWork / "tiny.png";
  if (!fs::exists(photoJpeg) || !fs::exists(camera) || !fs::exists(tiny)) {
    VipsImage* image = vips_image_new_from_file(photo.c_str(), nullptr);
    const fs::path raw = kWork / "camera.v";
    VipsImage *shot = nullptr, *tagged = nullptr, *small = nullptr;
    const bool ok = image != nullptr && Save(image, photoJpeg.string() + "[Q=90]") &&
                    vips_crop(image, &small, 0, 0, 8, 8, nullptr) == 0 && Save(small, tiny) &&
                    MakePhoto(raw.string(), kCameraColumns, kCameraRows) &&
                    (shot = vips_image_new_from_file(raw.c_str(), nullptr)) != nullptr &&
                    vips_copy(shot, &tagged, "xres", 300 / 25.4, "yres", 300 / 25.4, nullptr) == 0;
    if (ok) {
      vips_image_set_string(tagged, "exif-ifd0-Make", "Vantrel");
      vips_image_set_string(tagged, "exif-ifd0-Model", "Bench Camera");
    }
    const std::string options = "[Q=92,subsample_mode=on,restart_interval=" + std::to_string(kCameraColumns / 16) + "]";
    const bool saved = ok && Save(tagged, camera.string() + options);
    for (VipsImage* i : {image, shot, tagged, small})
      if (i != nullptr) g_object_unref(i);
    fs::remove(raw);
    if (!saved) return false;
  }
  // The large picture: the photograph repeated, uncompressed.
  const fs::path large = kWork / "large.tif";
  if (!fs::exists(large)) {
    VipsImage *image = vips_image_new_from_file(photo.c_str(), nullptr), *repeated = nullptr, *cut = nullptr;
    const bool ok = image != nullptr &&
                    vips_replicate(image, &repeated, kLargeSide / kColumns + 1, kLargeSide / kRows + 1, nullptr) == 0 &&
                    vips_crop(repeated, &cut, 0, 0, kLargeSide, kLargeSide, nullptr) == 0 &&
                    Save(cut, kWork / "large.part.tif");
    for (VipsImage* i : {image, repeated, cut})
      if (i != nullptr) g_object_unref(i);
    if (!ok) return false;
    fs::rename(kWork / "large.part.tif", large);
  }
  for (int i = 0; i < kBatchFiles; ++i) {
    const fs::path copy = kWork / "batch" / ("file" + std::to_string(i) + ".png");
    if (!fs::exists(copy)) fs::copy_file(chart, copy);
  }
  // The permutation as a recombination matrix: output R from B, G from R, B from G.
  std::FILE* matrix = std::fopen((kWork / "brg.mat").c_str(), "w");
  if (matrix == nullptr) return false;
  std::fputs("3 3\n0 0 1\n1 0 0\n0 1 0\n", matrix);
  std::fclose(matrix);
  return std::system(("cd '" + kWork.string() + "' && vips matrixload brg.mat brg.v").c_str()) == 0;
}

// One job and how each tool does it.
struct Job {
  std::string name;   // benchmark names are JOB/TOOL
  std::string input;  // in the work folder
  std::string vantrel, vips, magick;  // the commands; "" when the tool is not run
  int repetitions;
};

std::vector<Job> Jobs() {
  std::vector<Job> jobs;
  for (const std::string picture : {"photo", "chart"}) {
    jobs.push_back({picture + "_png", picture + ".png",
                    kVantrel + " IN -o out.png --order 'B R G' --compression 6 -q",
                    "vips recomb IN 'out_vips.png[compression=6,filter=all]' brg.v",
                    kMagick + "-define png:compression-level=6 -define png:compression-filter=5 out_magick.png", 3});
    jobs.push_back({picture + "_tiff_deflate", picture + "_deflate.tif",
                    kVantrel + " IN -o out.tif --order 'B R G' --compression deflate -q",
                    kVipsRecomb + " IN 'out_vips.tif[compression=deflate]' brg.v",
                    kMagick + "-compress zip -quality 60 -define tiff:predictor=2 out_magick.tif", 3});
    jobs.push_back({picture + "_tiff_none", picture + "_none.tif", kVantrel + " IN -o out.tif --order 'B R G' -q",
                    kVipsRecomb + " IN out_vips.tif brg.v", kMagick + "-compress none out_magick.tif", 3});
  }
  for (const auto& [name, input, quality] : {std::tuple("photo_jpeg", "photo.jpg", "90"), std::tuple("camera_jpeg", "camera.jpg", "92")})
    jobs.push_back({name, input, kVantrel + " IN -o out.jpg --order 'B R G' --quality " + quality + " -q",
                    "vips recomb IN 'out_vips.jpg[Q=" + std::string(quality) + "]' brg.v",
                    kMagick + "-quality " + quality + " -sampling-factor 4:4:4 out_magick.jpg", 5});
  // Tens of milliseconds, which a busy disk or core stretches: more tries.
  jobs.push_back({"tiny_png", "tiny.png", kVantrel + " IN -o out.png --order 'B R G' -q",
                  "vips recomb IN out_vips.png brg.v", kMagick + "out_magick.png", 15});
  jobs.push_back({"chart16_tiff_none", "chart16.tif", kVantrel + " IN -o out16.tif --order 'B R G' -q",
                  kVipsRecomb + " IN out_vips16.tif brg.v", "", 3});
  jobs.push_back({"large_tiff_none", "large.tif", kVantrel + " IN -o out_large.tif --order 'B R G' -q",
                  kVipsRecomb + " IN out_vips_large.tif brg.v", "", 3});
  return jobs;
}

const char* const kTools[] = {"vantrel", "vips", "magick"};

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  using namespace vantrel::bench;
  if (!InitializeWithRepetitions(argc, argv, 3)) return 1;
  if (VIPS_INIT(argv[0]) != 0 || !Prepare()) {
    std::fprintf(stderr, "cli_bench: cannot prepare the pictures in %s\n", kWork.c_str());
    return 1;
  }
  auto whole = [](benchmark::internal::Benchmark* b, int repetitions) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(repetitions)->ComputeStatistics("min", Fastest);
  };
  const std::vector<Job> jobs = Jobs();
  for (const Job& job : jobs) {
    const std::string commands[] = {job.vantrel, job.vips, job.magick};
    for (int t = 0; t < 3; ++t)
      if (!commands[t].empty())
        whole(benchmark::RegisterBenchmark((job.name + "/" + kTools[t]).c_str(), Command, job.name + "/" + kTools[t],
                                           commands[t], job.input),
              job.repetitions);
  }
  // The vips command on the large picture as it is, writing recomb's floats.
  whole(benchmark::RegisterBenchmark("large_tiff_none/vips_command", Command, std::string("large_tiff_none/vips_command"),
                                     std::string("vips recomb IN out_vips_float.tif brg.v"), std::string("large.tif")),
        2);
  // The batch by one worker and by two, and by one worker whose PNG writer
  // has one thread, as each of two workers has on two cores: the figure that
  // shows how far the workers themselves scale.
  const std::string batch = kVantrel + " batch/*.png -o out_batch --order 'B R G' --compression 6 -q -j ";
  for (const std::string run : {"j1", "j2", "j1_one_thread"}) {
    const std::string command = batch + run.substr(1, 1) + (run == "j1_one_thread" ? " --threads 1" : "");
    whole(benchmark::RegisterBenchmark(("batch16/" + run).c_str(), Command, "batch16/" + run, command, std::string()),
          3);
  }

  CollectingReporter reporter;
  reporter.realTime = true;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  RemoveOutputs();

  std::printf("\nChannel order B R G, whole processes (wall clock, fastest repetition; x: that tool's time over "
              "vantrel's)\n");
  std::printf("%-20s %10s %10s %7s %10s %7s %9s %9s\n", "job", "vantrel", "libvips", "x", "ImageMagick", "x",
              "peak MB", "libvips");
  std::vector<std::string> slower;
  for (const Job& job : jobs) {
    const double ours = reporter.Seconds(job.name + "/vantrel"), vips = reporter.Seconds(job.name + "/vips"),
                 magick = reporter.Seconds(job.name + "/magick");
    if (ours <= 0) continue;
    std::printf("%-20s %9.3fs %9.3fs %7.2f", job.name.c_str(), ours, vips, vips > 0 ? vips / ours : 0.0);
    if (magick > 0)
      std::printf(" %10.3fs %7.2f", magick, magick / ours);
    else
      std::printf(" %11s %7s", "-", "-");
    std::printf(" %9.0f %9.0f\n", g_peakMb[job.name + "/vantrel"], g_peakMb[job.name + "/vips"]);
    if (vips > 0 && ours > vips) slower.push_back(job.name);
  }
  const double floats = reporter.Seconds("large_tiff_none/vips_command");
  if (floats > 0)
    std::printf("%-20s %10s %9.3fs  (the vips command, writing floats) %9s %9.0f\n", "large_tiff_none", "",
                floats, "", g_peakMb["large_tiff_none/vips_command"]);

  const double photoOurs = reporter.Seconds("photo_png/vantrel"), photoVips = reporter.Seconds("photo_png/vips");
  const double j1 = reporter.Seconds("batch16/j1"), j2 = reporter.Seconds("batch16/j2");
  const double largeOurs = reporter.Seconds("large_tiff_none/vantrel");
  std::printf("\nGoals\n");
  if (photoOurs > 0 && photoVips > 0)
    std::printf("  photograph PNG, vips recomb over vantrel: %.2fx (goal 1.5x)\n", photoVips / photoOurs);
  // The JPEG goals, and the bound each row meets on this machine: its
  // processor time shared by the cores, plus the start-up, which no core
  // shares (the 8 x 8 PNG's wall clock).
  const long cores = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
  const double startup = reporter.Seconds("tiny_png/vantrel");
  for (const auto& [name, goal] : {std::pair("photo_jpeg", 1.1), std::pair("camera_jpeg", 1.2)}) {
    const double ours = reporter.Seconds(std::string(name) + "/vantrel"), vips = reporter.Seconds(std::string(name) + "/vips");
    if (ours <= 0 || vips <= 0) continue;
    const double cpu = g_cpuS[std::string(name) + "/vantrel"];
    const double bound = startup + std::max(0.0, cpu - g_cpuS["tiny_png/vantrel"]) / double(cores);
    std::printf("  %s, vips recomb over vantrel: %.2fx (goal %.1fx)\n"
                "    bound: start-up %.3f s + the rest of vantrel's %.3f s of processor time over %ld cores = %.3f s"
                " (vips recomb over it: %.2fx)\n",
                name, vips / ours, goal, startup, cpu, cores, bound, vips / bound);
  }
  std::printf("  rows where vantrel is slower than libvips: %s\n", slower.empty() ? "none" : "");
  for (const std::string& name : slower) std::printf("    %s\n", name.c_str());
  if (largeOurs > 0)
    std::printf("  20000 x 20000 TIFF: vantrel %.0f MB in %.2f s; vips recomb %.0f MB in %.2f s (floats), "
                "cast back to 8 bits %.0f MB in %.2f s\n",
                g_peakMb["large_tiff_none/vantrel"], largeOurs, g_peakMb["large_tiff_none/vips_command"], floats,
                g_peakMb["large_tiff_none/vips"], reporter.Seconds("large_tiff_none/vips"));
  const double j1single = reporter.Seconds("batch16/j1_one_thread");
  if (j1 > 0 && j2 > 0 && j1single > 0)
    std::printf("  batch of %d PNG files: -j 1 %.2f s (its PNG writer on both cores), -j 2 %.2f s: %.2fx (goal 1.7x);\n"
                "    -j 1 with one writer thread, as each -j 2 worker has, %.2f s: -j 2 %.2fx that\n",
                kBatchFiles, j1, j2, j1 / j2, j1single, j1single / j2);
  if (j2 > 0)
    std::printf("    processor time of -j 2: %.2f s, so %ld cores need at least %.2f s for it\n", g_cpuS["batch16/j2"],
                cores, g_cpuS["batch16/j2"] / double(cores));
  benchmark::Shutdown();
  vips_shutdown();
  return 0;
}
