// Other projects' test pictures (build/corpus/, fetched by scripts/corpus.sh)
// through vantrel as a user runs it, with libvips as the oracle. Where
// libvips reads a file as 8- or 16-bit RGB or CMYK, with or without alpha,
// `vantrel FILE --order ...` swapping the first and third channels writes
// PNG (RGB), TIFF and, where the format holds the picture, JPEG: the PNG's
// (or for CMYK the TIFF's) pixels are libvips' decode with those channels
// swapped, alpha untouched, and the profile, resolution and orientation
// kept. Where libvips refuses a file, finds it damaged, or reads it as grey,
// Lab, float, coded or multi-band, vantrel exits 1 with a line naming the
// file and writes nothing. Never a crash, a hang, a sanitizer report, or
// exit 0 with nothing written.
//
// VANTREL_CORPUS_WHOLE=1 (scripts/corpus_test.sh) runs every file;
// otherwise one file in kSampleEvery of the sorted list, so that the test
// command stays short.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kTimeLimit = 60s;  // per run of the tool, under the sanitizers
constexpr int kSampleEvery = 4;

// ---- What libvips makes of a file.

enum class Kind { Refused, Rgb, Cmyk };

// What libvips keeps of a picture beside its pixels when it writes it.
struct Meta {
  std::string profile;
  long xres = 0, yres = 0;  // pixels per metre; 0: the file gives none
  int orientation = 1;
};

struct Judged {
  Kind kind = Kind::Refused;
  bool damaged = false;  // read with warnings of damage, which fail it at libvips' strictest
  std::string outcome;   // the outcome's name in the counts
  int width = 0, height = 0, bands = 0;
  bool deep = false;
  std::vector<uint8_t> pixels;  // as libvips decodes them, for RGB and CMYK
  Meta kept;                    // as libvips' own saver keeps it in the first output's format
};

std::string FirstLine(std::string text) {
  const auto newline = text.find('\n');
  if (newline != std::string::npos) text.resize(newline);
  return text;
}

std::string Blob(VipsImage* image, const char* name) {
  const void* data = nullptr;
  std::size_t length = 0;
  if (vips_image_get_typeof(image, name) == 0 || vips_image_get_blob(image, name, &data, &length) != 0) return "";
  return std::string(static_cast<const char*>(data), length);
}

Meta MetaOf(VipsImage* image) {
  Meta m;
  m.profile = Blob(image, VIPS_META_ICC_NAME);
  m.xres = std::lround(image->Xres * 1000), m.yres = std::lround(image->Yres * 1000);
  if (vips_image_get_typeof(image, VIPS_META_ORIENTATION) == 0 ||
      vips_image_get_int(image, VIPS_META_ORIENTATION, &m.orientation) != 0)
    m.orientation = 1;
  vips_error_clear();
  return m;
}

// What libvips keeps of `image` writing it as PNG (or TIFF), read back; what
// the image carries when libvips cannot write it.
Meta KeptBy(VipsImage* image, bool tiff) {
  void* bytes = nullptr;
  std::size_t size = 0;
  const int saved = tiff ? vips_tiffsave_buffer(image, &bytes, &size, nullptr)
                         : vips_pngsave_buffer(image, &bytes, &size, nullptr);
  VipsImage* back = saved == 0 ? vips_image_new_from_buffer(bytes, size, "", nullptr) : nullptr;
  const Meta kept = MetaOf(back != nullptr ? back : image);
  if (back != nullptr) g_object_unref(back);
  g_free(bytes);
  vips_error_clear();
  return kept;
}

// The samples libvips decodes from `file` (its first page or frame) when it
// fails on `failOn`, or nothing.
bool Decode(const fs::path& file, VipsFailOn failOn, std::vector<uint8_t>* pixels) {
  VipsImage* image = vips_image_new_from_file(file.c_str(), "fail_on", failOn, nullptr);
  std::size_t size = 0;
  void* memory = image != nullptr ? vips_image_write_to_memory(image, &size) : nullptr;
  if (memory != nullptr && pixels != nullptr)
    pixels->assign(static_cast<uint8_t*>(memory), static_cast<uint8_t*>(memory) + size);
  g_free(memory);
  if (image != nullptr) g_object_unref(image);
  vips_error_clear();
  return memory != nullptr;
}

// Reads `file` as libvips does by default, then at its strictest.
Judged Judge(const fs::path& file) {
  Judged j;
  VipsImage* image = vips_image_new_from_file(file.c_str(), nullptr);
  if (image == nullptr) {
    j.outcome = "refused: libvips cannot read it";
    vips_error_clear();
    return j;
  }
  j.width = image->Xsize, j.height = image->Ysize, j.bands = image->Bands;
  j.deep = image->BandFmt == VIPS_FORMAT_USHORT;
  const VipsInterpretation type = image->Type;
  if (image->Coding != VIPS_CODING_NONE) {
    j.outcome = "refused: coded pixels";
  } else if (image->BandFmt != VIPS_FORMAT_UCHAR && !j.deep) {
    j.outcome = "refused: neither 8- nor 16-bit unsigned samples";
  } else if (type == VIPS_INTERPRETATION_CMYK && (j.bands == 4 || j.bands == 5)) {
    j.kind = Kind::Cmyk;
  } else if ((type == VIPS_INTERPRETATION_sRGB || type == VIPS_INTERPRETATION_RGB ||
              type == VIPS_INTERPRETATION_RGB16) &&
             (j.bands == 3 || j.bands == 4)) {
    j.kind = Kind::Rgb;
  } else if (type == VIPS_INTERPRETATION_B_W || type == VIPS_INTERPRETATION_GREY16) {
    j.outcome = "refused: greyscale";
  } else {
    j.outcome = std::string("refused: ") + vips_enum_nick(VIPS_TYPE_INTERPRETATION, type) + " of " +
                std::to_string(j.bands) + " bands";
  }
  if (j.kind != Kind::Refused && !Decode(file, VIPS_FAIL_ON_NONE, &j.pixels)) {
    j.kind = Kind::Refused;
    j.outcome = "refused: damaged beyond reading";
  }
  if (j.kind != Kind::Refused) {
    j.damaged = !Decode(file, VIPS_FAIL_ON_WARNING, nullptr);
    j.kept = KeptBy(image, j.kind == Kind::Cmyk);
    j.outcome = std::string(j.kind == Kind::Rgb ? "RGB" : "CMYK") + (j.deep ? " 16-bit" : " 8-bit") +
                (j.bands > (j.kind == Kind::Rgb ? 3 : 4) ? " with alpha" : "") +
                (j.damaged ? ", damaged: refused, or written with a warning; taken with --accept-damaged"
                           : ": written");
  }
  g_object_unref(image);
  return j;
}

// ---- The tool, as a user runs it.

struct Ran {
  int status = -1;  // exit status; -1 when it did not exit by itself
  bool timedOut = false;
  std::string output;
};

Ran RunTool(const std::vector<std::string>& args, const fs::path& log) {
  std::vector<std::string> argv = {VANTREL_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  Ran ran;
  const int spawned = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ran.output = std::string("cannot start ") + VANTREL_CLI + ": " + std::strerror(spawned);
    return ran;
  }
  const auto until = std::chrono::steady_clock::now() + kTimeLimit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ran.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  if (!ran.timedOut && WIFEXITED(status)) ran.status = WEXITSTATUS(status);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  ran.output = text.str();
  return ran;
}

// ---- The checks. Each answers "" or what is wrong.

std::string Sanitizers(const Ran& ran) {
  for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error:"})
    if (ran.output.find(report) != std::string::npos) return "a sanitizer report:\n" + ran.output;
  if (ran.timedOut) return "no end within the time limit";
  if (ran.status < 0) return "no exit of its own:\n" + ran.output;
  return "";
}

// A refusal: exit 1, a line naming the input, nothing written.
std::string Refused(const Ran& ran, const std::string& input, const fs::path& output, std::string& reason) {
  if (std::string why = Sanitizers(ran); !why.empty()) return why;
  if (ran.status != 1) return "exit " + std::to_string(ran.status) + " where the file is refused:\n" + ran.output;
  if (fs::exists(output)) return "an output written for a refused file";
  std::istringstream lines(ran.output);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(input + ": ", 0) == 0) {
      reason = line.substr(input.size() + 2);
      return "";
    }
  return "no line naming the file:\n" + ran.output;
}

// libvips' decode of the tool's output `file`, against `expected` (samples
// as libvips decodes them): equal, 16-bit samples within 1.
std::string SamePixels(const fs::path& file, const Judged& in, const std::vector<uint8_t>& expected, bool metadata,
                       const std::string& toolSaid) {
  VipsImage* image = vips_image_new_from_file(file.c_str(), "fail_on", VIPS_FAIL_ON_WARNING, nullptr);
  if (image == nullptr) {
    const std::string why = FirstLine(vips_error_buffer());
    vips_error_clear();
    return file.filename().string() + " does not read back: " + why;
  }
  std::string why;
  std::size_t size = 0;
  void* memory = nullptr;
  if (image->Xsize != in.width || image->Ysize != in.height || image->Bands != in.bands ||
      (image->BandFmt == VIPS_FORMAT_USHORT) != in.deep)
    why = "a picture of another shape: " + std::to_string(image->Xsize) + "x" + std::to_string(image->Ysize) + "x" +
          std::to_string(image->Bands) + " where " + std::to_string(in.width) + "x" + std::to_string(in.height) + "x" +
          std::to_string(in.bands) + " was read";
  else if ((memory = vips_image_write_to_memory(image, &size)) == nullptr || size != expected.size())
    why = "pixels that do not decode";
  if (why.empty()) {
    const auto* got = static_cast<const uint8_t*>(memory);
    for (std::size_t i = 0; i < size && why.empty(); i += in.deep ? 2 : 1) {
      const int a = in.deep ? *reinterpret_cast<const uint16_t*>(got + i) : got[i];
      const int b = in.deep ? *reinterpret_cast<const uint16_t*>(expected.data() + i) : expected[i];
      if (std::abs(a - b) > (in.deep ? 1 : 0))
        why = "sample " + std::to_string(i / (in.deep ? 2 : 1)) + " is " + std::to_string(a) + ", not " +
              std::to_string(b);
    }
  }
  g_free(memory);
  if (why.empty() && metadata) {
    const Meta got = MetaOf(image), &kept = in.kept;
    // A profile the format's library refuses is left out, and said.
    if (got.profile != kept.profile &&
        !(got.profile.empty() && toolSaid.find("written without the colour profile") != std::string::npos))
      why = "the colour profile is not the one libvips keeps";
    // A file that gives no resolution has none to keep.
    else if (kept.xres > 0 && kept.yres > 0 && (got.xres != kept.xres || got.yres != kept.yres))
      why = "the resolution is not the one libvips keeps";
    else if (got.orientation != kept.orientation)
      why = "the orientation is not the one libvips keeps";
  }
  vips_error_clear();
  g_object_unref(image);
  return why.empty() ? "" : file.filename().string() + ": " + why;
}

// The decode with the first and third channels swapped: B G R for RGB,
// Y M C K for CMYK, transparency untouched.
std::vector<uint8_t> Swapped(const Judged& j) {
  std::vector<uint8_t> out = j.pixels;
  const std::size_t sample = j.deep ? 2 : 1, pixel = sample * std::size_t(j.bands);
  for (std::size_t at = 0; at + pixel <= out.size(); at += pixel)
    std::swap_ranges(out.begin() + std::ptrdiff_t(at), out.begin() + std::ptrdiff_t(at + sample),
                     out.begin() + std::ptrdiff_t(at + 2 * sample));
  return out;
}

struct Result {
  std::string file;
  std::string outcome;
  std::string reason;   // the tool's, for a refusal
  std::string problem;  // "" when the tool did as the oracle says
};

// What is wrong with the JPEG the tool wrote, or "".
std::string ReadableJpeg(const fs::path& output, const Judged& j) {
  VipsImage* jpeg = vips_image_new_from_file(output.c_str(), "fail_on", VIPS_FAIL_ON_WARNING, nullptr);
  std::string why;
  if (jpeg == nullptr || jpeg->Xsize != j.width || jpeg->Ysize != j.height || vips_image_wio_input(jpeg) != 0)
    why = "out.jpg does not read back: " + FirstLine(vips_error_buffer());
  vips_error_clear();
  if (jpeg != nullptr) g_object_unref(jpeg);
  return why;
}

Result Check(const fs::path& root, const fs::path& file, const fs::path& work) {
  Result r{fs::relative(file, root).string(), "", "", ""};
  const Judged j = Judge(file);
  r.outcome = j.outcome;
  const std::string input = file.string();
  fs::create_directories(work);
  const fs::path log = work / "log.txt";
  if (j.kind == Kind::Refused) {
    const fs::path output = work / "out.png";
    const Ran ran = RunTool({input, "-o", output.string(), "--order", "B G R"}, log);
    r.problem = Refused(ran, input, output, r.reason);
    fs::remove_all(work);
    return r;
  }
  const char* order = j.kind == Kind::Rgb ? "B G R" : "Y M C K";
  const bool alpha = j.bands > (j.kind == Kind::Rgb ? 3 : 4);
  // The first output, whose pixels and metadata are checked; then the other
  // formats that hold the picture.
  std::vector<std::string> outputs = {j.kind == Kind::Rgb ? "out.png" : "out.tif"};
  if (j.kind == Kind::Rgb) outputs.push_back("out.tif");
  if (!j.deep && !alpha) outputs.push_back("out.jpg");
  const std::vector<uint8_t> expected = Swapped(j);
  for (const std::string& name : outputs) {
    const fs::path output = work / name;
    const Ran ran = RunTool({input, "-o", output.string(), "--order", order}, log);
    std::string why = Sanitizers(ran);
    // A damaged file is refused at the first sign of damage, or taken with
    // a warning naming it when its reader makes nothing of the damage.
    if (why.empty() && j.damaged && ran.status == 1) {
      why = Refused(ran, input, output, r.reason);
      if (why.empty()) break;
    }
    if (why.empty() && ran.status != 0) why = "exit " + std::to_string(ran.status) + ":\n" + ran.output;
    if (why.empty() && !fs::exists(output)) why = "exit 0 and no " + name;
    if (why.empty() && j.damaged && ran.output.find(input + ": warning: ") == std::string::npos)
      why = "a damaged file taken without a warning:\n" + ran.output;
    if (why.empty())
      why = name == "out.jpg" ? ReadableJpeg(output, j) : SamePixels(output, j, expected, name == outputs.front(), ran.output);
    fs::remove(output);
    if (!why.empty()) {
      r.problem = why;
      break;
    }
  }
  // Damage accepted, what can be read is written.
  if (r.problem.empty() && j.damaged) {
    const fs::path output = work / outputs.front();
    const Ran ran = RunTool({input, "-o", output.string(), "--order", order, "--accept-damaged"}, log);
    std::string why = Sanitizers(ran);
    if (why.empty() && (ran.status != 0 || !fs::exists(output)))
      why = "--accept-damaged: exit " + std::to_string(ran.status) + ":\n" + ran.output;
    r.problem = why;
  }
  fs::remove_all(work);
  return r;
}

TEST(Corpus, EveryPictureIsFilteredAsLibvipsReadsItOrRefusedWithItsReason) {
  // VANTREL_CORPUS_DIR names another folder of pictures (a part of the
  // corpus, say, to look into one outcome).
  const char* otherRoot = std::getenv("VANTREL_CORPUS_DIR");
  const fs::path root = otherRoot != nullptr ? otherRoot : VANTREL_CORPUS_DIR;
  if (!fs::exists(root / ".complete")) {
    const std::string why = "no corpus in " + root.string() + " (bash scripts/corpus.sh fetches it)";
    if (std::getenv("VANTREL_REQUIRE_CORPUS") != nullptr) FAIL() << why;
    GTEST_SKIP() << "Corpus absent, case skipped: " << why;
  }
  // libvips as it starts by itself, every module loaded; its cache would
  // answer a file read before, under the same name, for the next output.
  ASSERT_EQ(VIPS_INIT("corpus_tests"), 0);
  vips_cache_set_max(0);
  const char* wholeSetting = std::getenv("VANTREL_CORPUS_WHOLE");
  const bool whole = wholeSetting != nullptr && std::string(wholeSetting) == "1";
  std::vector<fs::path> all, files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file() && entry.path().filename() != ".complete") all.push_back(entry.path());
  std::sort(all.begin(), all.end());
  if (otherRoot == nullptr) {
    ASSERT_GT(all.size(), 1000u);
  }
  for (std::size_t i = 0; i < all.size(); ++i)
    if (whole || i % kSampleEvery == 0) files.push_back(all[i]);

  const auto started = std::chrono::steady_clock::now();
  std::vector<Result> results(files.size());
  std::atomic<std::size_t> next{0};
  const fs::path work = fs::temp_directory_path() / ("vantrel-corpus-" + std::to_string(getpid()));
  std::vector<std::thread> workers;
  for (unsigned w = 0; w < std::max(2u, std::thread::hardware_concurrency()); ++w)
    workers.emplace_back([&, w] {
      for (std::size_t i; (i = next++) < files.size();)
        results[i] = Check(root, files[i], work / std::to_string(w));
    });
  for (std::thread& t : workers) t.join();
  fs::remove_all(work);

  std::map<std::string, int> counts;
  for (const Result& r : results) {
    ++counts[r.problem.empty() ? r.outcome : "FAILED"];
    if (!r.problem.empty()) ADD_FAILURE() << r.file << " (" << r.outcome << "): " << r.problem;
  }
  std::printf("%zu files of the corpus's %zu%s in %.0f s:\n", files.size(), all.size(),
              whole ? "" : (" (one in " + std::to_string(kSampleEvery) + ")").c_str(),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  for (const auto& [outcome, count] : counts) std::printf("  %5d  %s\n", count, outcome.c_str());
  std::printf("Refused, each with the tool's reason:\n");
  for (const Result& r : results)
    if (r.problem.empty() && !r.reason.empty()) std::printf("  %s: %s\n", r.file.c_str(), r.reason.c_str());
}

}  // namespace
