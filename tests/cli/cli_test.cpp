// The command-line host as a user runs it: the same pixels from the native
// build and from the real plug-in loaded by the Windows tool under Wine, at 8
// and 16 bits, the CMYK convention, what is kept between runs, and every way
// a run can fail without leaving anything behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "cli/filter_job.h"
#include "pictures/picture.h"
#include "core/channel_orders.h"
#include "core/parameters.h"
#include "tests/support/batch_services.h"
#include "tests/support/png_chunks.h"
#include "tests/support/windows_builds.h"

extern char** environ;

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

struct Ran {
  int status;
  std::string output;  // standard output and error together
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command with its output going to a file (Wine's helpers keep
// pipes open), and answers the exit status and what it printed.
Ran Shell(const std::string& command, const fs::path& folder) {
  const fs::path log = folder / "command.log";
  const int raw =
      std::system(("cd " + Quote(folder.string()) + " && ( " + command + " ) >" + Quote(log.string()) + " 2>&1").c_str());
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text.str()};
}

std::string Words(const std::vector<std::string>& args) {
  std::string s;
  for (const std::string& a : args) s += " " + Quote(a);
  return s;
}

runner::Image Pixels(const fs::path& file) {
  pictures::Picture picture;
  const std::string why = pictures::ReadPicture(file.string(), picture);
  EXPECT_EQ(why, "") << file;
  return picture.pixels;
}

// A file's pixels as libvips decodes them, at any size.
struct Decoded {
  int width = 0, height = 0, bands = 0;
  VipsBandFormat format = VIPS_FORMAT_NOTSET;
  std::vector<uint8> bytes;
  bool operator==(const Decoded&) const = default;
};

Decoded Decode(const fs::path& file) {
  VipsImage* image = vips_image_new_from_file(file.c_str(), nullptr);
  EXPECT_NE(image, nullptr) << file;
  if (image == nullptr) return {};
  std::size_t size = 0;
  void* memory = vips_image_write_to_memory(image, &size);
  Decoded d{image->Xsize, image->Ysize, image->Bands, image->BandFmt,
            std::vector<uint8>(static_cast<uint8*>(memory), static_cast<uint8*>(memory) + size)};
  g_free(memory);
  g_object_unref(image);
  return d;
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The sample, made once for the whole program in a folder of its own.
class Cli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pictures::StartPictures("cli_test");
    root_ = fs::temp_directory_path() / ("vantrel-cli-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "sample");
    ASSERT_EQ(Shell(Quote(VANTREL_SAMPLE_MAKER) + " sample", root_).status, 0);
  }
  static void TearDownTestSuite() { fs::remove_all(root_); }

  void SetUp() override {
    work_ = root_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(work_);
    fs::create_directories(work_);
    for (const auto& entry : fs::directory_iterator(root_ / "sample")) fs::copy(entry.path(), work_);
  }

  Ran Vantrel(const std::vector<std::string>& args) { return Shell(Quote(VANTREL_CLI) + Words(args), work_); }

  static fs::path root_;
  fs::path work_;
};
fs::path Cli::root_;

// ---- Same pixels everywhere.

struct Setting {
  const char* name;
  std::vector<std::string> options;
};

const Setting kSettings[] = {
    {"order", {"--order-index", "1"}},
    {"mix_exclude", {"--order-index", "5", "--blend", "mix", "--exclude", "3"}},
    {"cross_small_bands", {"--order-index", "14", "--blend", "cross", "--max-space", "5000"}},
    {"both_exclude_first", {"--order-index", "20", "--blend", "both", "--exclude", "1", "--max-space", "70000"}},
};

struct WindowsTool {
  const char* exe;
  const char* plugin;  // the .8bf beside it, which it loads
  const char* loader;
  const char* prefix;
  const char* preset;  // the build that makes it
};

// Filters the sample (RGB, RGBA, CMYK, each at 8 and 16 bits) with every
// setting by both drives in one batch each, into out/<setting>_<drive>/.
void FilterAll(const std::function<Ran(const std::vector<std::string>&)>& run, const std::vector<std::string>& inputs) {
  for (const Setting& s : kSettings) {
    for (const char* drive : {"advance", "classic"}) {
      std::vector<std::string> args = inputs;
      // A folder name with a space: worker command lines must quote it.
      args.insert(args.end(), {"-o", std::string("out/new folder ") + s.name + "_" + drive, "-j", "2", "--drive", drive});
      args.insert(args.end(), s.options.begin(), s.options.end());
      const Ran ran = run(args);
      ASSERT_EQ(ran.status, 0) << s.name << " " << drive << "\n" << ran.output;
    }
  }
}

// The sample as the native tool reads it, and as the hosts that write only
// PNG and the raw format read it: the same pixels either way.
const std::vector<std::string> kNativeSample = {"chart.png",   "chart_alpha.png",   "chart_cmyk.tif",
                                                "chart16.tif", "chart16_alpha.png", "chart16_cmyk.tif"};
const std::vector<std::string> kRawSample = {"chart.png",    "chart_alpha.png",    "chart_cmyk.vraw",
                                             "chart16.vraw", "chart16_alpha.vraw", "chart16_cmyk.vraw"};
// A 16-bit PNG read by each host, with one setting, into <host>_png16.vraw.
const std::vector<std::string> kPng16Run = {"chart16_alpha.png", "--order-index", "14", "--blend", "both"};

TEST_F(Cli, SamePixelsNativeLinkedLoadedAndWindowsUnderWine) {
  const auto png16Run = [](std::vector<std::string> a, const std::string& output) {
    a.insert(a.end(), {"-o", output});
    return a;
  };
  FilterAll([&](const auto& a) { return Vantrel(a); }, kNativeSample);
  ASSERT_EQ(Vantrel(png16Run(kPng16Run, "native_png16.png")).status, 0);
  fs::rename(work_ / "out", work_ / "native");
  const auto loaded = [&](auto a) {
    a.insert(a.end(), {"--plugin", VANTREL_SHARED_LIBRARY});
    return Vantrel(a);
  };
  FilterAll(loaded, kRawSample);
  ASSERT_EQ(loaded(png16Run(kPng16Run, "loaded_png16.vraw")).status, 0);
  fs::rename(work_ / "out", work_ / "loaded");

  std::vector<std::string> hosts = {"loaded"};
  std::vector<WindowsTool> tools = {
      {VANTREL_WIN64_CLI, "Vantrel64.8bf", "/usr/lib/wine/wine64", "wine64prefix", "win64"}};
  const Ran probe = Shell("bash " + Quote(VANTREL_PROBE_32BIT), work_);
  ASSERT_NE(probe.status, 2) << probe.output;
  if (probe.status == 0) tools.push_back({VANTREL_WIN32_CLI, "Vantrel.8bf", "/usr/lib/wine/wine", "wine32prefix", "win32"});
  std::string notBuilt;  // Windows tools left out, each with the preset that builds it
  for (const WindowsTool& tool : tools) {
    if (const std::string why = testing::MissingWindowsBuild(tool.exe, tool.preset); !why.empty()) {
      ASSERT_FALSE(testing::WindowsBuildsRequired()) << why;
      notBuilt += "\n" + why;
      continue;
    }
    fs::copy_file(tool.exe, work_ / "vantrel.exe", fs::copy_options::overwrite_existing);
    fs::copy_file(fs::path(tool.exe).parent_path() / tool.plugin, work_ / tool.plugin, fs::copy_options::overwrite_existing);
    const std::string wine = "WINEDEBUG=-all WINEPREFIX=" + Quote((fs::path(VANTREL_BUILD_DIR) / tool.prefix).string()) +
                             " " + tool.loader + " vantrel.exe";
    FilterAll([&](const auto& a) { return Shell(wine + Words(a), work_); }, kRawSample);
    const Ran ran = Shell(wine + Words(png16Run(kPng16Run, std::string(tool.prefix) + "_png16.vraw")), work_);
    ASSERT_EQ(ran.status, 0) << ran.output;
    // Contact sheets are the libvips build's alone.
    const Ran sheet = Shell(wine + " --contact-sheet sheet.png chart.png", work_);
    EXPECT_EQ(sheet.status, 2) << sheet.output;
    EXPECT_NE(sheet.output.find("this build has none"), std::string::npos) << sheet.output;
    hosts.push_back(tool.prefix);
    fs::rename(work_ / "out", work_ / tool.prefix);
  }
  if (probe.status == 1) std::printf("32-bit Windows tool not compared: %s", probe.output.c_str());

  for (const Setting& s : kSettings) {
    for (const char* drive : {"advance", "classic"}) {
      const std::string folder = std::string("new folder ") + s.name + "_" + drive;
      for (std::size_t f = 0; f < kNativeSample.size(); ++f) {
        const runner::Image native = Pixels(work_ / "native" / folder / kNativeSample[f]);
        // The filter really ran: no setting here leaves an image as it was.
        EXPECT_NE(native.pixels, Pixels(work_ / kNativeSample[f]).pixels) << folder << " " << kNativeSample[f];
        for (const std::string& host : hosts)
          EXPECT_EQ(Pixels(work_ / host / folder / kRawSample[f]).pixels, native.pixels) << host << " " << folder;
      }
      // Where the tool plans the bands, both drives give the same pixels.
      const std::string advance = std::string("new folder ") + s.name + "_advance";
      if (std::find(s.options.begin(), s.options.end(), "--max-space") == s.options.end()) {
        for (const std::string& file : kNativeSample) {
          EXPECT_EQ(Pixels(work_ / "native" / folder / file).pixels, Pixels(work_ / "native" / advance / file).pixels)
              << folder << " " << file;
        }
      }
      // The transparency plane comes out untouched.
      const runner::Image rgba = Pixels(work_ / "native" / folder / "chart_alpha.png");
      const runner::Image alpha = Pixels(work_ / "chart_alpha.png");
      for (std::size_t i = 3; i < alpha.pixels.size(); i += 4) ASSERT_EQ(rgba.pixels[i], alpha.pixels[i]) << folder;
    }
  }
  const runner::Image png16 = Pixels(work_ / "native_png16.png");
  EXPECT_EQ(png16.sampleBytes, 2);
  for (const std::string& host : hosts)
    EXPECT_EQ(Pixels(work_ / (host + "_png16.vraw")).pixels, png16.pixels) << host;
  // The native hosts agreed; the Windows tools that are not built were not
  // asked. A failure above stands as it is, not as a skip.
  if (!notBuilt.empty() && !HasFailure()) GTEST_SKIP() << testing::kSkippedWithoutWindowsBuild << notBuilt;
}

// ---- Small images worked out by hand: the pixels written and the block kept.

struct HandWorked {
  const char* name;
  VipsInterpretation type;
  int width, height, bands;
  std::string bytes;  // interleaved, as files store them (CMYK: 0 for no ink)
  const char* input;  // .vraw, or written by libvips in the format of its extension
  std::vector<std::string> options;
  const char* output;
  std::vector<std::vector<double>> pixels;  // row by row, as the output file stores them
  std::vector<std::pair<int, int>> block;   // byte offset and value in the kept parameter block
  std::vector<uint16> deep = {};            // 16-bit samples in place of `bytes`
  VipsBandFormat written = VIPS_FORMAT_UCHAR;  // the output's samples
  const char* saveOptions = "";             // libvips' options for writing the input
};

TEST_F(Cli, HandWorkedImagesComeOutAsWorkedOut) {
  const HandWorked cases[] = {
      // CMYK as an editor hands it over: files store 0 for no ink. Two pixels
      // of inks 0, 1, 0, 5 and 1, 0, 1, 7; "M M M M" with Mix averages every
      // plane with M. In the editor's terms (255 - ink) the first becomes C
      // (255 + 254) >> 1 = 254, ink 1; M stays 254, ink 1; Y ink 1 like C;
      // K excluded: 255, no ink. The second, (254, 255, 254, 248): C and Y
      // (255 + 254) >> 1 = 254, ink 1, where averaging the inks would give 0.
      {"cmyk_exclusion_mix", VIPS_INTERPRETATION_CMYK, 2, 1, 4, std::string("\x00\x01\x00\x05\x01\x00\x01\x07", 8),
       "ink.vraw", {"--order", "M M M M", "--blend", "mix", "--exclude", "4"}, "out.tif",
       {{1, 1, 1, 0}, {1, 0, 1, 0}}, {{32, 0}, {33, 1}, {34, 1}, {35, 1}, {36, 4}}},
      // Cross and Mix together: the checkerboard's first cell (top left) keeps
      // the source, the other cells average the order "B R G" with it.
      // (100, 50, 0) reads (0, 100, 50): average (50, 75, 25); (1, 2, 5) reads
      // (5, 1, 2): average (3, 1, 3).
      {"rgb_both", VIPS_INTERPRETATION_sRGB, 2, 2, 3,
       std::string("\x0a\x14\x28\x64\x32\x00\x01\x02\x05\xc8\x64\xfa", 12), "both.png",
       {"--order", "B R G", "--blend", "both"}, "out.png",
       {{10, 20, 40}, {50, 75, 25}, {3, 1, 3}, {200, 100, 250}}, {{30, 1}, {32, 1}, {33, 1}, {34, 1}}},
      // CMYK with a transparency plane: "K C M Y" takes each ink from the
      // plane before it (C from K); the fifth plane comes out as it went in.
      {"cmyk_transparency", VIPS_INTERPRETATION_CMYK, 2, 1, 5,
       std::string("\x0a\x14\x1e\x28\x80\x00\xff\x07\x09\x00", 10), "inked.tif",
       {"--order", "K C M Y"}, "out_inked.tif", {{40, 10, 20, 30, 128}, {9, 0, 255, 7, 0}}, {}},
      // Palette files come in expanded to RGB, their transparency as a fourth
      // plane, and go out as full RGB: the same pixels as the two cases above
      // ("B R G" with both blends), each colour an entry of the palette.
      {"palette", VIPS_INTERPRETATION_sRGB, 2, 2, 3,
       std::string("\x0a\x14\x28\x64\x32\x00\x01\x02\x05\xc8\x64\xfa", 12), "indexed.png",
       {"--order", "B R G", "--blend", "both"}, "out_indexed.png",
       {{10, 20, 40}, {50, 75, 25}, {3, 1, 3}, {200, 100, 250}}, {}, {}, VIPS_FORMAT_UCHAR, "[palette]"},
      {"palette_transparency", VIPS_INTERPRETATION_sRGB, 2, 2, 4,
       std::string("\x0a\x14\x28\xff\x64\x32\x00\x80\x01\x02\x05\x07\xc8\x64\xfa\xff", 16),
       "indexed_alpha.png", {"--order", "B R G", "--blend", "both"}, "out_indexed_alpha.png",
       {{10, 20, 40, 255}, {50, 75, 25, 128}, {3, 1, 3, 7}, {200, 100, 250, 255}}, {}, {}, VIPS_FORMAT_UCHAR, "[palette]"},
      // 16 bits: the filter sees v * 32768 / 65535 rounded, the file gets the
      // result times 65535 / 32768 rounded. (12345, 1, 65535) is (6173, 1,
      // 32768) to the filter; "B R G" with Mix gives (19470, 3087, 16384),
      // written (38939, 6174, 32768). (40000, 32767, 2) is (20000, 16384, 1),
      // mixed (10000, 18192, 8192), written (20000, 36383, 16384).
      {"rgb16_mix", VIPS_INTERPRETATION_RGB16, 2, 1, 3, "", "deep.tif", {"--order", "B R G", "--blend", "mix"},
       "out_deep.tif", {{38939, 6174, 32768}, {20000, 36383, 16384}}, {}, {12345, 1, 65535, 40000, 32767, 2},
       VIPS_FORMAT_USHORT},
      // 16-bit CMYK: 32768 means no ink to the filter. Inks (1, 0, 65535,
      // 30000) are (32767, 32768, 0, 17768); "K C M Y" without K writes inks
      // (30000, 2, 0, 0): ink 1 comes back as 2, within the lowest bit.
      {"cmyk16_exclusion", VIPS_INTERPRETATION_CMYK, 2, 1, 4, "", "deep_cmyk.tif",
       {"--order", "K C M Y", "--exclude", "4"}, "out_deep_cmyk.tif", {{30000, 2, 0, 0}, {2, 65535, 65535, 0}}, {},
       {1, 0, 65535, 30000, 65535, 65535, 0, 1}, VIPS_FORMAT_USHORT},
      // A 16-bit PNG with transparency, "B G R": the transparency plane
      // passes untouched at the filter's scale, 12345 coming back as 12346.
      {"rgba16_png", VIPS_INTERPRETATION_RGB16, 1, 1, 4, "", "deep_alpha.png", {"--order", "B G R"},
       "out_deep_alpha.png", {{1000, 0, 65535, 12346}}, {}, {65535, 0, 1000, 12345}, VIPS_FORMAT_USHORT},
      // Another depth on the way out: 16 to 8 bits divides by 257 rounded,
      // 8 to 16 multiplies by 257.
      {"rgb16_to_8", VIPS_INTERPRETATION_RGB16, 1, 1, 3, "", "deep8.tif", {"--order", "R G B", "--depth", "8"},
       "out8.png", {{48, 0, 255}}, {}, {12345, 1, 65535}},
      {"rgb8_to_16", VIPS_INTERPRETATION_sRGB, 1, 1, 3, std::string("\x01\x80\xff", 3), "shallow.png",
       {"--order", "B R G", "--depth", "16"}, "out16.tif", {{65535, 257, 32896}}, {}, {}, VIPS_FORMAT_USHORT},
  };
  for (const HandWorked& c : cases) {
    SCOPED_TRACE(c.name);
    if (fs::path(c.input).extension() == ".vraw") {
      std::ofstream(work_ / c.input, std::ios::binary)
          << "VANTREL-RAW 1\n" << (c.type == VIPS_INTERPRETATION_CMYK ? "CMYK " : "RGB ") << c.width << " "
          << c.height << " " << c.bands << "\n" << c.bytes;
    } else {
      VipsImage* raw = c.deep.empty()
                           ? vips_image_new_from_memory_copy(c.bytes.data(), c.bytes.size(), c.width, c.height,
                                                             c.bands, VIPS_FORMAT_UCHAR)
                           : vips_image_new_from_memory_copy(c.deep.data(), c.deep.size() * 2, c.width, c.height,
                                                             c.bands, VIPS_FORMAT_USHORT);
      VipsImage* typed = nullptr;
      ASSERT_EQ(vips_copy(raw, &typed, "interpretation", c.type, nullptr), 0);
      ASSERT_EQ(vips_image_write_to_file(typed, ((work_ / c.input).string() + c.saveOptions).c_str(), nullptr), 0);
      g_object_unref(typed);
      g_object_unref(raw);
      VipsImage* written = vips_image_new_from_file((work_ / c.input).c_str(), nullptr);
      ASSERT_NE(written, nullptr);
      EXPECT_EQ(vips_image_get_typeof(written, "palette-bit-depth") != 0, *c.saveOptions != 0) << "a palette file";
      g_object_unref(written);
    }

    const std::string block = std::string(c.name) + ".block";
    std::vector<std::string> args = {c.input, "-o", c.output, "--params", block};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Ran ran = Vantrel(args);
    ASSERT_EQ(ran.status, 0) << ran.output;

    VipsImage* out = vips_image_new_from_file((work_ / c.output).c_str(), nullptr);
    ASSERT_NE(out, nullptr);
    // RGB is written as sRGB at 8 bits and as RGB16 at 16.
    const VipsInterpretation rgb = c.written == VIPS_FORMAT_USHORT ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB;
    EXPECT_EQ(out->Type, c.type == VIPS_INTERPRETATION_CMYK ? c.type : rgb);
    EXPECT_EQ(out->BandFmt, c.written);
    EXPECT_EQ(vips_image_get_typeof(out, "palette-bit-depth"), 0u);
    for (std::size_t i = 0; i < c.pixels.size(); ++i) {
      double* values = nullptr;
      int n = 0;
      ASSERT_EQ(vips_getpoint(out, &values, &n, int(i) % c.width, int(i) / c.width, nullptr), 0);
      EXPECT_EQ(std::vector<double>(values, values + n), c.pixels[i]) << "pixel " << i;
      g_free(values);
    }
    g_object_unref(out);

    std::ifstream in(work_ / block, std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(kept.size(), 40u);
    for (const auto& [offset, value] : c.block) EXPECT_EQ(uint8(kept[offset]), value) << "block byte " << offset;
  }
}

// ---- The tool plans the bands: the filter asks for every one at the same
// even height, and the writer gets each as soon as the filter is done with
// it, with the pixels of one request for the whole picture.

// Gathers the rows written, and how many came at a time.
class Gathering : public pictures::RowWriter {
 public:
  explicit Gathering(const runner::Image& like) : image(like.width, like.height, like.planes, like.sampleBytes) {}
  std::string Write(const uint8* rows, int count, std::ptrdiff_t stride) override {
    for (int i = 0; i < count; ++i)
      std::memcpy(image.At(next + i, 0), rows + i * stride, std::size_t(image.width) * image.PixelBytes());
    next += count;
    counts.push_back(count);
    return "";
  }
  std::string Finish() override {
    finished = true;
    return "";
  }
  runner::Image image;
  int next = 0;
  std::vector<int> counts;
  bool finished = false;
};

TEST_F(Cli, TheFilterAsksForThePlannedBandsAndEachGoesOnAsSoonAsItIsDone) {
  const std::pair<const char*, int> rows[] = {{"chart.png", 10}, {"chart_alpha.png", 2}, {"chart16_cmyk.tif", 6}};
  const runner::EntryProc entry = runner::LoadFilter().entry;
  ASSERT_NE(entry, nullptr);
  for (const auto& [input, band] : rows) {
    SCOPED_TRACE(input);
    pictures::Picture picture;
    ASSERT_EQ(pictures::ReadPicture((work_ / input).string(), picture), "");
    JobSettings settings;
    settings.orderIndex = 14;
    settings.blend = BlendMethod::Both;
    settings.bandBytes = band * int64_t(picture.pixels.width) * int64_t(picture.pixels.PixelBytes());
    Gathering written(picture.pixels);
    std::unique_ptr<runner::Host> last;
    const std::unique_ptr<pictures::RowReader> reader = pictures::HeldRows(picture);
    const Outcome done =
        FilterRows(entry, settings, pictures::InfoOf(picture), *reader, written, input, "out", nullptr, last);
    ASSERT_EQ(done.status, kSucceeded) << done.message;
    EXPECT_TRUE(written.finished);
    // The plan: even, at most the rows asked for, and where one is near, a
    // height that divides the picture's.
    const int planned = ParametersOf(&last->record())->bandRows;
    EXPECT_EQ(planned, PlanBandRows(picture.pixels.width, picture.pixels.height, picture.pixels.PixelBytes(),
                                    std::size_t(settings.bandBytes)));
    std::vector<int> bands(picture.pixels.height / planned, planned);
    if (picture.pixels.height % planned != 0) bands.push_back(picture.pixels.height % planned);
    EXPECT_EQ(written.counts, bands);

    settings.drive = Drive::Advance;
    runner::Image whole;
    ASSERT_EQ(FilterPixels(entry, settings, picture, input, whole).status, kSucceeded);
    EXPECT_EQ(written.image.pixels, whole.pixels);
    EXPECT_NE(whole.pixels, picture.pixels.pixels) << "the filter ran";
  }
}

// ---- A picture streamed through the filter band by band and written as the
// bands come comes out as the same picture held whole and filtered in one
// request: in every format that is written as it streams, and the lossless
// ones alike. Bands of 8 rows: twenty to a sample picture.

TEST_F(Cli, StreamedBandsWriteThePixelsOfOneWholeRequestInEveryFormat) {
  struct Row {
    const char* input;
    std::vector<std::string> outputs;  // "_deflate" asks for that TIFF compression
  };
  const Row rows[] = {
      {"chart.png", {".png", ".tif", "_deflate.tif", ".jpg"}},
      {"chart_alpha.png", {".png", ".tif", "_deflate.tif"}},
      {"chart_cmyk.tif", {".tif", ".jpg", "_deflate.tif"}},
      {"chart16.tif", {".png", "_deflate.tif"}},
      {"chart16_alpha.png", {".png", ".tif"}},
      {"chart16_cmyk.tif", {".tif", "_deflate.tif"}},
  };
  const runner::EntryProc entry = runner::LoadFilter().entry;
  ASSERT_NE(entry, nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    const runner::Image source = Pixels(work_ / row.input);
    for (Drive drive : {Drive::Classic, Drive::Advance}) {
      const std::string stem = (work_ / fs::path(row.input).stem()).string() + (drive == Drive::Classic ? "_bands" : "_whole");
      for (const std::string& output : row.outputs) {
        JobSettings settings;
        settings.orderIndex = 14;
        settings.blend = BlendMethod::Both;
        settings.drive = drive;
        settings.bandBytes = 8 * int64_t(source.width) * int64_t(source.PixelBytes());
        if (output.find("_deflate") == 0) settings.save.compression = "deflate";
        const Outcome done = FilterFile(entry, settings, (work_ / row.input).string(), stem + output, nullptr);
        ASSERT_EQ(done.status, kSucceeded) << done.message;
      }
    }
    const std::string stem = fs::path(row.input).stem().string();
    const Decoded first = Decode(work_ / (stem + "_bands" + row.outputs[0]));
    EXPECT_NE(first.bytes, Decode(work_ / row.input).bytes) << "the filter ran";
    for (const std::string& output : row.outputs) {
      const Decoded bands = Decode(work_ / (stem + "_bands" + output));
      EXPECT_EQ(bands, Decode(work_ / (stem + "_whole" + output))) << output;
      if (output != ".jpg") {
        EXPECT_EQ(bands, first) << output;
      }
    }
  }
}

// ---- Pictures wider or taller than a request can reach come out as the
// same picture's pieces filtered whole and joined: tiles and bands lie where
// one run over the whole picture would lay its checkerboard.

TEST_F(Cli, PicturesBeyondARequestComeOutAsTheirPiecesFilteredWholeAndJoined) {
  struct Row {
    const char* name;
    int width, height;
    bool deep;
    std::vector<std::string> whole;  // options of the run over the whole picture
  };
  // An offer of memory leaves the band height to the filter: 1 row of a
  // tile here, made even.
  const Row rows[] = {{"wide", 33000, 6, false, {}},
                      {"wide16", 33000, 6, true, {}},
                      {"tall", 6, 33000, false, {}},
                      {"tall16", 6, 33000, true, {}},
                      {"wide_offer", 33000, 6, false, {"--max-space", "1000"}}};
  const std::vector<std::string> options = {"--order", "B R G", "--blend", "both"};
  constexpr int kPieces = 3;  // at even offsets, not where the tiles meet
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string ext = row.deep ? ".tif" : ".png";
    const std::size_t samples = std::size_t(row.width) * row.height * 3;
    std::vector<uint16> pattern(samples);
    for (std::size_t i = 0; i < samples; ++i) pattern[i] = uint16((i * 2654435761u) >> (row.deep ? 16 : 24));
    std::vector<uint8> narrow(pattern.begin(), pattern.end());
    VipsImage* raw = row.deep ? vips_image_new_from_memory_copy(pattern.data(), samples * 2, row.width, row.height, 3,
                                                                VIPS_FORMAT_USHORT)
                              : vips_image_new_from_memory_copy(narrow.data(), samples, row.width, row.height, 3,
                                                                VIPS_FORMAT_UCHAR);
    VipsImage* typed = nullptr;
    ASSERT_EQ(vips_copy(raw, &typed, "interpretation", row.deep ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB,
                        nullptr), 0);
    const std::string input = std::string(row.name) + ext;
    ASSERT_EQ(vips_image_write_to_file(typed, (work_ / input).c_str(), nullptr), 0);
    std::vector<std::string> args = {input, "-o", "out" + ext};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), row.whole.begin(), row.whole.end());
    const Ran whole = Vantrel(args);
    ASSERT_EQ(whole.status, 0) << whole.output;

    const bool wide = row.width > row.height;
    const int side = (wide ? row.width : row.height) / kPieces;
    std::vector<Decoded> pieces;
    for (int k = 0; k < kPieces; ++k) {
      const std::string piece = "piece" + std::to_string(k) + ext;
      VipsImage* cut = nullptr;
      ASSERT_EQ(vips_crop(typed, &cut, wide ? k * side : 0, wide ? 0 : k * side, wide ? side : row.width,
                          wide ? row.height : side, nullptr), 0);
      ASSERT_EQ(vips_image_write_to_file(cut, (work_ / piece).c_str(), nullptr), 0);
      g_object_unref(cut);
      args = {piece, "-o", "out_" + piece, "--drive", "advance"};
      args.insert(args.end(), options.begin(), options.end());
      const Ran ran = Vantrel(args);
      ASSERT_EQ(ran.status, 0) << ran.output;
      pieces.push_back(Decode(work_ / ("out_" + piece)));
    }
    g_object_unref(typed);
    g_object_unref(raw);

    const Decoded out = Decode(work_ / ("out" + ext));
    ASSERT_EQ(out.width, row.width);
    ASSERT_EQ(out.height, row.height);
    const std::size_t pixel = 3 * (row.deep ? 2 : 1);
    std::vector<uint8> joined(out.bytes.size());
    for (int k = 0; k < kPieces; ++k)
      for (int y = 0; y < pieces[k].height; ++y) {
        const std::size_t rowBytes = std::size_t(pieces[k].width) * pixel;
        const std::size_t at = wide ? (std::size_t(y) * row.width + std::size_t(k) * side) * pixel
                                    : (std::size_t(k) * side + y) * std::size_t(row.width) * pixel;
        std::memcpy(joined.data() + at, pieces[k].bytes.data() + y * rowBytes, rowBytes);
      }
    EXPECT_TRUE(out.bytes == joined);
    const Decoded in = Decode(work_ / input);
    EXPECT_FALSE(out.bytes == in.bytes) << "the filter ran";
  }
}

// ---- 16-bit files that the filter only permutes come back within 1 of the
// original samples: the filter's scale has half the steps of the files'.

TEST_F(Cli, DeepFilesThatAreOnlyPermutedComeBackWithinOne) {
  struct Row {
    const char* input;
    const char* order;
    std::vector<int> sources;  // the input plane of each output plane
  };
  const Row rows[] = {{"chart16.tif", "B R G", {2, 0, 1}},
                      {"chart16_alpha.png", "G B R", {1, 2, 0, 3}},
                      {"chart16_cmyk.tif", "K C M Y", {3, 0, 1, 2}}};
  for (const Row& r : rows) {
    const std::string output = std::string("out_") + r.input;
    ASSERT_EQ(Vantrel({r.input, "-o", output, "--order", r.order}).status, 0) << r.input;
    std::vector<uint16> samples[2];
    for (int i = 0; i < 2; ++i) {
      VipsImage* image = vips_image_new_from_file((work_ / (i == 0 ? r.input : output)).c_str(), nullptr);
      ASSERT_NE(image, nullptr);
      ASSERT_EQ(image->BandFmt, VIPS_FORMAT_USHORT) << r.input;
      ASSERT_EQ(image->Bands, int(r.sources.size())) << r.input;
      std::size_t size = 0;
      void* memory = vips_image_write_to_memory(image, &size);
      samples[i].assign(static_cast<uint16*>(memory), static_cast<uint16*>(memory) + size / 2);
      g_free(memory);
      g_object_unref(image);
    }
    const std::size_t bands = r.sources.size();
    int differing = 0;
    for (std::size_t p = 0; p < samples[0].size(); p += bands)
      for (std::size_t k = 0; k < bands; ++k) {
        const int in = samples[0][p + std::size_t(r.sources[k])], out = samples[1][p + k];
        ASSERT_LE(std::abs(out - in), 1) << r.input << " sample " << p + k;
        differing += out != in;
      }
    EXPECT_GT(differing, 0) << r.input << ": the lowest bit is not kept";
  }
}

// ---- The output keeps what the input file carried besides its pixels.
// ---- Contact sheets: every cell is the single run of its order, found once
// in the sheet pixel for pixel, and the cells come in table order. The inputs
// are small enough to be their own thumbnails; were they shrunk, no cell
// would match a run over the whole image.

// An image as a sheet shows it: RGB as stored, CMYK turned to RGB by libvips.
runner::Image Shown(const fs::path& file) {
  VipsImage* in = vips_image_new_from_file(file.c_str(), nullptr);
  EXPECT_NE(in, nullptr) << file;
  if (in == nullptr) return {};
  VipsImage *rgb = nullptr, *bytes = nullptr;
  if (in->Type == VIPS_INTERPRETATION_CMYK) {
    EXPECT_EQ(vips_colourspace(in, &rgb, VIPS_INTERPRETATION_sRGB, nullptr), 0);
  } else {
    rgb = in;
    g_object_ref(rgb);
  }
  EXPECT_EQ(vips_cast_uchar(rgb, &bytes, nullptr), 0);
  runner::Image image(int16(bytes->Xsize), int16(bytes->Ysize), int16(bytes->Bands));
  std::size_t size = 0;
  void* memory = vips_image_write_to_memory(bytes, &size);
  EXPECT_EQ(size, image.pixels.size());
  std::memcpy(image.pixels.data(), memory, std::min(size, image.pixels.size()));
  g_free(memory);
  for (VipsImage* i : {in, rgb, bytes}) g_object_unref(i);
  return image;
}

// Every place where `part` lies in `whole`, as (row, column).
std::vector<std::pair<int, int>> Places(const runner::Image& whole, const runner::Image& part) {
  std::vector<std::pair<int, int>> found;
  if (whole.planes != part.planes) return found;
  const std::size_t rowBytes = std::size_t(part.width) * part.planes;
  const uint8* corner = part.At(0, 0);
  for (int y = 0; y + part.height <= whole.height; ++y)
    for (int x = 0; x + part.width <= whole.width; ++x) {
      const uint8* at = whole.At(y, x);
      bool same = at[0] == corner[0] && at[1] == corner[1] && at[2] == corner[2];
      for (int row = 0; same && row < part.height; ++row) same = std::memcmp(whole.At(y + row, x), part.At(row, 0), rowBytes) == 0;
      if (same) found.emplace_back(y, x);
    }
  return found;
}

// Whether `text`, set as the sheet sets its labels (black on white, in every
// colour plane), lies in `sheet` just below the thumbnail `cell` found at
// `place`, somewhere across it.
bool LabelledBelow(const runner::Image& sheet, std::pair<int, int> place, const runner::Image& cell,
                   const std::string& text) {
  VipsImage* ink = nullptr;
  if (vips_text(&ink, text.c_str(), "font", "sans 10", "dpi", 96, nullptr) != 0) return false;
  std::size_t size = 0;
  auto* glyphs = static_cast<uint8*>(vips_image_write_to_memory(ink, &size));
  const int w = ink->Xsize, h = ink->Ysize;
  g_object_unref(ink);
  bool found = false;
  for (int y = place.first + cell.height; !found && y <= place.first + cell.height + 8; ++y)
    for (int x = std::max(0, place.second - w); !found && x <= place.second + cell.width; ++x) {
      if (y + h > sheet.height || x + w > sheet.width) continue;
      bool same = true;
      for (int row = 0; same && row < h; ++row)
        for (int col = 0; same && col < w; ++col) same = sheet.At(y + row, x + col)[0] == 255 - glyphs[row * w + col];
      found = same;
    }
  g_free(glyphs);
  return found;
}

TEST_F(Cli, ContactSheetCellsAreSingleRunsInTableOrder) {
  ASSERT_EQ(Shell("vips crop chart_cmyk.tif small_cmyk.tif 8 40 24 12", work_).status, 0);
  struct Sheet {
    const char* input;
    std::vector<std::string> options;
    std::vector<int> orders;  // compared with single runs, in table order
    int16 mode = plugInModeRGBColor;
    std::vector<int> absent = {};  // orders the sheet leaves out
  };
  std::vector<int> first24(24);
  std::iota(first24.begin(), first24.end(), 0);
  // Settings under which no two cells of a sheet are alike: a cleared RGB
  // channel would make "R G B" and "R R B" one.
  const Sheet sheets[] = {
      {"chart.png", {"--blend", "mix"}, first24},
      {"chart_alpha.png", {"--blend", "cross"}, {0, 5, 11, 17, 23}},
      // The 24 orders that take each ink once are the table's first 24.
      {"chart_cmyk.tif", {"--exclude", "4", "--drive", "classic"}, {0, 6, 13, 18, 23}, plugInModeCMYKColor},
      {"small_cmyk.tif", {"--all-orders", "--blend", "both"}, {0, 23, 24, 137, 255}, plugInModeCMYKColor},
      // The true swaps alone: the table's first six.
      {"chart.png", {"--swaps-only", "--blend", "cross"}, {0, 1, 2, 3, 4, 5}, plugInModeRGBColor, {6, 23}},
  };
  for (const Sheet& sheet : sheets) {
    SCOPED_TRACE(sheet.input);
    std::vector<std::string> args = {"--contact-sheet", "sheet.png", sheet.input};
    args.insert(args.end(), sheet.options.begin(), sheet.options.end());
    const Ran made = Vantrel(args);
    ASSERT_EQ(made.status, 0) << made.output;
    const runner::Image shown = Shown(work_ / "sheet.png");
    std::pair<int, int> previous(-1, -1);
    std::vector<int> looked = sheet.orders;
    looked.insert(looked.end(), sheet.absent.begin(), sheet.absent.end());
    for (int order : looked) {
      const std::string single = "order" + std::to_string(order) + fs::path(sheet.input).extension().string();
      std::vector<std::string> run = {sheet.input, "-o", single, "--order-index", std::to_string(order)};
      run.insert(run.end(), sheet.options.begin(), sheet.options.end());
      std::erase(run, "--all-orders");
      std::erase(run, "--swaps-only");
      ASSERT_EQ(Vantrel(run).status, 0) << order;
      const runner::Image cell = Shown(work_ / single);
      const auto places = Places(shown, cell);
      const bool absent = std::find(sheet.absent.begin(), sheet.absent.end(), order) != sheet.absent.end();
      if (absent) {
        EXPECT_TRUE(places.empty()) << "order " << order;
        continue;
      }
      ASSERT_EQ(places.size(), 1u) << "order " << order;
      EXPECT_LT(previous, places[0]) << "order " << order;
      // Labelled with the index and the name that pick it on a command line.
      const std::string label = std::to_string(order) + "  " + ChannelOrderName(sheet.mode, int16(order));
      EXPECT_TRUE(LabelledBelow(shown, places[0], cell, label)) << label;
      previous = places[0];
    }
  }
  // The list of true swaps: a heading and the six rows, each marked.
  const Ran swaps = Vantrel({"--list-orders", "rgb", "--swaps-only"});
  EXPECT_EQ(std::count(swaps.output.begin(), swaps.output.end(), '\n'), 7) << swaps.output;
  EXPECT_NE(swaps.output.find("    5  B G R  *\n"), std::string::npos) << swaps.output;
  // Without a size, a large image's sheet fits a 1920 x 1080 screen, and
  // not far short of it either, one way or the other.
  ASSERT_EQ(Shell(Quote(VANTREL_SAMPLE_MAKER) + " --size 1800x1200 large.png", work_).status, 0);
  ASSERT_EQ(Vantrel({"--contact-sheet", "large_sheet.png", "large.png"}).status, 0);
  VipsImage* large = vips_image_new_from_file((work_ / "large_sheet.png").c_str(), nullptr);
  ASSERT_NE(large, nullptr);
  EXPECT_LE(large->Xsize, 1920);
  EXPECT_LE(large->Ysize, 1080);
  EXPECT_TRUE(large->Xsize > 1700 || large->Ysize > 950) << large->Xsize << " x " << large->Ysize;
  g_object_unref(large);
}

// ---- The output keeps what the input file carried besides its pixels: a
// PNG all of it, in the same chunks as libvips' own PNG writer puts it.

TEST_F(Cli, OutputKeepsProfileResolutionDescriptionAndOrientation) {
  struct Tagged {
    const char* source;
    const char* file;  // the tagged copy, in the format of its extension
    const char* profile;
    int orientation;   // as the tagged copy stores it (PNG in its EXIF data)
  };
  const Tagged files[] = {{"chart_cmyk.tif", "chart_cmyk.tif", "cmyk", 6},
                          {"chart.png", "chart.png", "srgb", 6},
                          {"chart.png", "chart.jpg", "srgb", 6}};
  auto orientation = [](VipsImage* image) {
    int value = 1;
    if (vips_image_get_typeof(image, VIPS_META_ORIENTATION) != 0) vips_image_get_int(image, VIPS_META_ORIENTATION, &value);
    return value;
  };
  for (const auto& [source, file, profileName, storedOrientation] : files) {
    VipsBlob* profile = nullptr;
    ASSERT_EQ(vips_profile_load(profileName, &profile, nullptr), 0);
    std::size_t length = 0;
    const void* bytes = vips_blob_get(profile, &length);
    VipsImage* in = vips_image_new_from_file((work_ / source).c_str(), nullptr);
    VipsImage* tagged = nullptr;
    ASSERT_EQ(vips_copy(in, &tagged, "xres", 150 / 25.4, "yres", 150 / 25.4, nullptr), 0);
    vips_image_set_blob_copy(tagged, VIPS_META_ICC_NAME, bytes, length);
    vips_image_set_string(tagged, "image-description", "a chart of ours");
    // Rotated a quarter turn for display; the pixels stay as stored.
    vips_image_set_int(tagged, VIPS_META_ORIENTATION, 6);
    const bool png = std::string(file).ends_with(".png");
    if (png) {
      const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
      vips_image_set_blob_copy(tagged, VIPS_META_XMP_NAME, xmp.data(), xmp.size());
      vips_image_set_string(tagged, "png-comment-0-Title", "a chart of ours");
      // EXIF as libvips makes it for a JPEG of the picture.
      void* jpeg = nullptr;
      std::size_t jpegLength = 0;
      ASSERT_EQ(vips_image_write_to_buffer(tagged, ".jpg", &jpeg, &jpegLength, nullptr), 0);
      VipsImage* withExif = vips_image_new_from_buffer(jpeg, jpegLength, "", nullptr);
      ASSERT_NE(withExif, nullptr);
      const void* exif = nullptr;
      std::size_t exifLength = 0;
      ASSERT_EQ(vips_image_get_blob(withExif, VIPS_META_EXIF_NAME, &exif, &exifLength), 0);
      vips_image_set_blob_copy(tagged, VIPS_META_EXIF_NAME, exif, exifLength);
      g_object_unref(withExif);
      g_free(jpeg);
    }
    const fs::path input = work_ / ("tagged_" + std::string(file));
    ASSERT_EQ(vips_image_write_to_file(tagged, input.c_str(), nullptr), 0);
    g_object_unref(tagged);
    g_object_unref(in);

    const std::string output = "out_" + std::string(file);
    ASSERT_EQ(Vantrel({input.string(), "-o", output, "--order-index", "1"}).status, 0) << file;
    VipsImage* out = vips_image_new_from_file((work_ / output).c_str(), nullptr);
    ASSERT_NE(out, nullptr);
    const void* kept = nullptr;
    std::size_t keptLength = 0;
    ASSERT_EQ(vips_image_get_blob(out, VIPS_META_ICC_NAME, &kept, &keptLength), 0) << file;
    EXPECT_EQ(std::string(static_cast<const char*>(kept), keptLength),
              std::string(static_cast<const char*>(bytes), length)) << file;
    // As the tagged file stores it (PNG rounds to whole pixels per metre).
    VipsImage* stored = vips_image_new_from_file(input.c_str(), nullptr);
    EXPECT_NEAR(out->Xres * 25.4, 150, 0.1) << file;
    EXPECT_EQ(out->Xres, stored->Xres) << file;
    EXPECT_EQ(orientation(stored), storedOrientation) << file;
    EXPECT_EQ(orientation(out), storedOrientation) << file;
    EXPECT_EQ(std::pair(out->Xsize, out->Ysize), std::pair(stored->Xsize, stored->Ysize)) << file;
    if (png) {
      // Everything before the pixels as libvips writes it for the same input.
      const fs::path reference = work_ / "reference.png";
      ASSERT_EQ(vips_image_write_to_file(stored, (reference.string() + "[filter=all]").c_str(), nullptr), 0);
      const auto chunks = testing::ChunksBeforePixels(testing::FileBytes(work_ / output));
      std::string types;
      for (const auto& chunk : chunks) types += chunk.type + " ";
      EXPECT_EQ(types, "IHDR iCCP eXIf pHYs zTXt zTXt ");
      EXPECT_TRUE(chunks == testing::ChunksBeforePixels(testing::FileBytes(reference)));
      // And a valid file throughout (libvips' own repeats the eXIf chunk after the pixels).
      const Ran check = Shell("pngcheck " + Quote(output), work_);
      EXPECT_EQ(check.status, 0) << check.output;
    }
    g_object_unref(stored);
    if (std::string(file).ends_with(".tif")) {
      const char* description = nullptr;
      ASSERT_EQ(vips_image_get_string(out, "image-description", &description), 0);
      EXPECT_STREQ(description, "a chart of ours");
    }
    g_object_unref(out);
    vips_area_unref(VIPS_AREA(profile));
  }
}

// ---- Deflate TIFF, written by our own writer on every core, is byte for
// byte the file libvips writes for the same picture, tags and all, by either
// drive.

TEST_F(Cli, DeflateTiffIsTheFileLibvipsWritesByEitherDrive) {
  // 16-bit samples that the trip to the host's scale and back leaves alone:
  // the tool's own output.
  ASSERT_EQ(Vantrel({"chart16.tif", "-o", "deep.tif", "--order", "R G B"}).status, 0);
  struct Row {
    const char* input;
    const char* profile;
    const char* unit;     // resolution unit the input came with
    const char* order;    // leaves the pixels as they are
  };
  const Row rows[] = {{"chart.png", "srgb", "cm", "R G B"},
                      {"chart_alpha.png", "srgb", "in", "R G B"},
                      {"chart_cmyk.tif", "cmyk", "in", "C M Y K"},
                      {"deep.tif", "srgb", "cm", "R G B"}};
  const std::string iptc("\x1c\x02\x00\x00\x02\x00\x04\x00", 8), photoshop = "8BIM\x04\x04\0\0\0\0\0\0";
  const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    VipsBlob* profile = nullptr;
    ASSERT_EQ(vips_profile_load(row.profile, &profile, nullptr), 0);
    std::size_t length = 0;
    const void* bytes = vips_blob_get(profile, &length);
    VipsImage* in = vips_image_new_from_file((work_ / row.input).c_str(), nullptr);
    ASSERT_NE(in, nullptr);
    VipsImage* tagged = nullptr;
    ASSERT_EQ(vips_copy(in, &tagged, "xres", 150 / 25.4, "yres", 75 / 25.4, nullptr), 0);
    vips_image_set_blob_copy(tagged, VIPS_META_ICC_NAME, bytes, length);
    vips_image_set_blob_copy(tagged, VIPS_META_XMP_NAME, xmp.data(), xmp.size());
    vips_image_set_blob_copy(tagged, VIPS_META_IPTC_NAME, iptc.data(), iptc.size());
    vips_image_set_blob_copy(tagged, VIPS_META_PHOTOSHOP_NAME, photoshop.data(), photoshop.size());
    vips_image_set_string(tagged, VIPS_META_IMAGEDESCRIPTION, "a chart of ours");
    vips_image_set_string(tagged, "resolution-unit", row.unit);
    vips_image_set_int(tagged, VIPS_META_ORIENTATION, 6);
    ASSERT_EQ(vips_image_write_to_file(tagged, (work_ / "tagged.tif").c_str(), nullptr), 0);
    g_object_unref(tagged);
    g_object_unref(in);
    vips_area_unref(VIPS_AREA(profile));

    ASSERT_EQ(Shell("vips copy tagged.tif 'reference.tif[compression=deflate]'", work_).status, 0);
    const std::string reference = testing::FileBytes(work_ / "reference.tif");
    for (const char* drive : {"classic", "advance"}) {
      const Ran ran = Vantrel({"tagged.tif", "-o", "out.tif", "--order", row.order, "--compression", "deflate",
                               "--drive", drive});
      ASSERT_EQ(ran.status, 0) << ran.output;
      EXPECT_TRUE(testing::FileBytes(work_ / "out.tif") == reference) << drive;
    }
  }
}

// ---- The progress bar: on a terminal, not in a file, not with --quiet.

TEST_F(Cli, ProgressBarOnlyOnATerminalAndNotWhenQuiet) {
  auto onTerminal = [&](const std::string& options) {
    return Shell("script -qec \"" + std::string(VANTREL_CLI) + " chart.png --order-index 1 " + options + "\" /dev/null",
                 work_)
        .output;
  };
  const std::string shown = onTerminal("-o a.png");
  EXPECT_NE(shown.find("chart.png ["), std::string::npos) << shown;
  EXPECT_NE(shown.find("] 100%"), std::string::npos) << shown;
  EXPECT_EQ(onTerminal("-o b.png --quiet").find('%'), std::string::npos);
  EXPECT_EQ(Vantrel({"chart.png", "-o", "c.png", "--order-index", "1"}).output, "c.png\n");
}

// ---- Host settings reach the filter, save settings the writer.

TEST_F(Cli, DriveAndMemoryOfferDecideTheBandHeightKeptInTheBlock) {
  // The 240-pixel-wide RGB chart costs 240 * 7 bytes a row at prepare, so
  // 5000 bytes buy 3 rows; the advanceState drive then stores the whole
  // height, 160 rows, where the classic drive keeps its bands.
  struct Row {
    std::vector<std::string> options;
    int bandRows;
  };
  const Row rows[] = {{{"--drive", "advance", "--max-space", "5000"}, 160},
                      {{"--drive", "classic", "--max-space", "5000"}, 3},
                      {{"--drive", "classic", "--max-space", "1"}, 1}};
  for (const Row& row : rows) {
    fs::remove(work_ / "block");
    std::vector<std::string> args = {"chart.png", "-o", "out.png", "--params", "block"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    ASSERT_EQ(Vantrel(args).status, 0) << row.options[1];
    std::ifstream in(work_ / "block", std::ios::binary);
    uint8 bytes[40] = {};
    in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    EXPECT_EQ(bytes[16] | bytes[17] << 8, row.bandRows) << row.options.back();
  }
}

TEST_F(Cli, QualityAndCompressionReachTheWriter) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> smallerThan[] = {
      {{"-o", "low.jpg", "--quality", "10"}, {"-o", "high.jpg", "--quality", "95"}},
      {{"-o", "packed.png", "--compression", "9"}, {"-o", "stored.png", "--compression", "0"}},
      {{"-o", "lzw.tif", "--compression", "lzw"}, {"-o", "none.tif", "--compression", "none"}},
  };
  for (const auto& [small, large] : smallerThan) {
    for (const auto& options : {small, large}) {
      std::vector<std::string> args = {"chart.png", "--order-index", "1"};
      args.insert(args.end(), options.begin(), options.end());
      ASSERT_EQ(Vantrel(args).status, 0) << options[1];
    }
    EXPECT_LT(fs::file_size(work_ / small[1]), fs::file_size(work_ / large[1])) << small[1];
  }
}

// ---- What a host keeps between runs.

TEST_F(Cli, ParameterBlockAndScriptingValuesCarryOverToTheNextRun) {
  // Also where the host keeps the block but answers 0, or less, for the size
  // of every handle, as some real hosts do.
  for (const char* sizes : {"honest", "zero", "negative"}) {
    SCOPED_TRACE(sizes);
    fs::remove(work_ / "block");
    ASSERT_EQ(Vantrel({"chart.png", "-o", "first.png", "--order", "G B R", "--blend", "mix", "--params", "block",
                       "--handle-sizes", sizes})
                  .status,
              0);
    ASSERT_EQ(fs::file_size(work_ / "block"), 40u);
    // No settings given: the stored block decides.
    ASSERT_EQ(Vantrel({"chart.png", "-o", "second.png", "--params", "block", "--handle-sizes", sizes}).status, 0);
    const runner::Image first = Pixels(work_ / "first.png");
    EXPECT_EQ(Pixels(work_ / "second.png").pixels, first.pixels);
    EXPECT_NE(first.pixels, Pixels(work_ / "chart.png").pixels);
  }

  // Written as on Windows, with a carriage return ending each line.
  std::ofstream(work_ / "values") << "Amnt UntF #Prc 37.9\r\ndisP enum mooD moD3\r\nentI bool 1\r\n";
  const Ran ran = Vantrel({"chart.png", "-o", "third.png", "--replay", "values", "--record", "recorded"});
  ASSERT_EQ(ran.status, 0) << ran.output;
  std::ifstream in(work_ / "recorded");
  std::stringstream recorded;
  recorded << in.rdbuf();
  EXPECT_EQ(recorded.str(), "Amnt UntF #Prc 37\ndisP enum mooD moD3\nentI bool 1\n");
}

// ---- Command lines as people give them: the status, the message naming
// the file (or the option) and saying why, and what is on the disk
// afterwards. A failure leaves no output and nothing temporary; the inputs
// are never touched.

struct CommandLine {
  const char* name;
  std::vector<std::string> args;
  int status;
  const char* message;
  std::vector<std::string> written = {};  // new files and folders, below the work folder
};

// A run that names no order of its own is given one, so that it is about
// what its row is about: with none at all the tool refuses to copy.
std::vector<std::string> WithOrder(std::vector<std::string> args) {
  for (const char* own : {"--order", "--order-index", "--params", "--replay", "--dialog", "--contact-sheet", "--exclude",
                          "--inputs-from", "--blend"})
    if (std::find(args.begin(), args.end(), own) != args.end()) return args;
  if (args.size() > 1) args.insert(args.end(), {"--order-index", "1"});
  return args;
}

// Every file and folder below `folder`, by its path from there.
std::vector<std::string> Tree(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    names.push_back(fs::relative(entry.path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(Cli, CommandLinesEndAsTheySayAndLeaveWhatTheySay) {
  std::ofstream(work_ / "text.png") << "not an image";
  // A picture of several bands whose compressed pixels are damaged towards
  // the end: the file opens, and the run fails once its first bands are
  // written. JPEG and PNG cut short, as a broken download leaves them.
  ASSERT_EQ(Shell(Quote(VANTREL_SAMPLE_MAKER) + " --size 2000x1500 large.png && vips copy large.png "
                  "'damaged.tif[compression=deflate]' && vips copy large.png 'large.jpg[Q=90]'"
                  " && head -c 60000 large.jpg > cut.jpg && head -c $(( $(stat -c %s large.png) / 2 )) large.png > cut.png"
                  " && rm large.png large.jpg && head -c 4000 /dev/zero | "
                  "dd of=damaged.tif bs=1 seek=$(( $(stat -c %s damaged.tif) * 3 / 4 )) conv=notrunc 2>/dev/null",
                  work_)
                .status,
            0);
  ASSERT_EQ(Shell("vips cast chart.png float.tif float && vips colourspace chart.png grey.png b-w"
                  " && vips black wide.png 33000 2 --bands 3"
                  " && head -c 100 chart_cmyk.vraw > short.vraw && printf 'x' > badblock"
                  " && printf 'Amnt long\\n' > badvalues && mkdir kept out.d && cp chart_alpha.png kept/chart.png"
                  " && printf 'x' > notes && convert chart.png -interlace Plane -define tiff:tile-geometry=16x16 planar.tif",
                  work_)
                .status,
            0);
  const CommandLine lines[] = {
      // Files that cannot be read, or not as they are.
      {"missing", {"gone.png", "-o", "out.png"}, 1, "gone.png: no such file"},
      {"not an image", {"text.png", "-o", "out.png"}, 1, "text.png: "},
      {"greyscale", {"grey.png", "-o", "out.png"}, 1, "grey.png: a greyscale image"},
      {"floating-point", {"float.tif", "-o", "out.tif"}, 1, "float.tif: floating-point samples"},
      {"short raw", {"short.vraw", "-o", "out.png"}, 1, "short.vraw: raw image of the wrong length"},
      {"damaged TIFF", {"damaged.tif", "-o", "out.png"}, 1, "damaged.tif: "},
      {"damaged TIFF to TIFF", {"damaged.tif", "-o", "out.tif"}, 1, "damaged.tif: "},
      {"damaged TIFF to deflate TIFF", {"damaged.tif", "-o", "out.tif", "--compression", "deflate"}, 1, "damaged.tif: "},
      {"cut JPEG", {"cut.jpg", "-o", "out.png"}, 1, "cut.jpg: the file is damaged or cut short"},
      {"cut JPEG held whole", {"cut.jpg", "-o", "out.png", "--drive", "advance"}, 1, "cut.jpg: the file is damaged"},
      {"cut PNG", {"cut.png", "-o", "out.png"}, 1, "cut.png: the file is damaged or cut short"},
      {"cut JPEG taken", {"cut.jpg", "-o", "out.png", "--accept-damaged"}, 0, "cut.jpg: warning: ", {"out.png"}},
      // What accepting damage cannot help with, and why.
      {"not an image, damage accepted", {"text.png", "-o", "out.png", "--accept-damaged"}, 1,
       "text.png: VipsForeignLoad: \"text.png\" is not a known file format; --accept-damaged cannot help: libvips "
       "cannot open the file at all"},
      {"a layout libvips does not read", {"planar.tif", "-o", "out.png", "--accept-damaged"}, 1,
       "planar.tif: libvips does not read the pixels of this file (tiff2vips: tiled separate planes not supported); "
       "--accept-damaged cannot help"},
      {"cut PNG in a batch", {"cut.png", "chart.png", "-o", "out/"}, 1, "  cut.png: the file is damaged",
       {"out", "out/chart.png"}},
      // Outputs that cannot be written.
      {"16-bit to JPEG", {"chart16.tif", "-o", "out.jpg"}, 1, ".jpg files cannot hold 16-bit samples; write .png,"},
      {"16-bit CMYK to JPEG", {"chart16_cmyk.tif", "-o", "out.jpg"}, 1,
       ".jpg files cannot hold 16-bit CMYK samples; write .tif,"},
      {"raw beyond its size", {"wide.png", "-o", "out.vraw"}, 1, "out.vraw: raw images hold at most 32767"},
      {"CMYK to PNG", {"chart_cmyk.tif", "-o", "out.png"}, 1, "out.png: .png files cannot hold CMYK pixels; write .jpg, .tif"},
      {"alpha to JPEG", {"chart_alpha.png", "-o", "out.jpg"}, 1, "cannot hold the transparency plane; write .png,"},
      {"extension", {"chart.png", "-o", "out.xyz"}, 1, "out.xyz: no image format for the extension \".xyz\"; vantrel writes .png, .jpg, .tif,"},
      {"PNG level", {"chart.png", "-o", "out.png", "--compression", "12"}, 1, "not a level from 0 to 9"},
      {"TIFF method", {"chart.png", "-o", "out.tif", "--compression", "zip"}, 1, "not one of none, lzw, deflate,"},
      {"folder", {"chart.png", "-o", "nowhere/out.png"}, 1, "nowhere/out.png: no such folder"},
      {"over the input", {"chart.png", "-o", "chart.png"}, 1, "chart.png: is the input file"},
      // The block kept beside the output is written before the output is put
      // in place: neither is there when either cannot be written.
      {"kept block", {"chart.png", "-o", "out.png", "--params", "nowhere/block"}, 1, "nowhere/block: cannot write"},
      {"kept values, held whole", {"chart.png", "-o", "out.png", "--order", "B G R", "--record", "nowhere/values",
                                   "--drive", "advance"}, 1, "nowhere/values: cannot write"},
      {"kept output", {"chart.png", "-o", "kept/chart.png", "--no-clobber"}, 1,
       "kept/chart.png: already there; not replaced (--no-clobber)"},
      {"kept output in a batch", {"chart.png", "chart_cmyk.tif", "-o", "kept", "--no-clobber"}, 1,
       "2 files: 1 written, 1 failed:\n  kept/chart.png: already there", {"kept/chart_cmyk.tif"}},
      // Settings the filter or the file cannot take.
      {"order of the other mode", {"chart.png", "-o", "out.png", "--order", "K C M Y"}, 1, "not one of the 24 RGB orders"},
      {"RGB order index", {"chart.png", "-o", "out.png", "--order-index", "24"}, 1, "outside the RGB table, 0 to 23"},
      {"channel", {"chart.png", "-o", "out.png", "--exclude", "4"}, 1, "channel 4 cannot be excluded"},
      {"parameter block", {"chart.png", "-o", "out.png", "--params", "badblock"}, 1, "badblock: not a parameter block"},
      {"scripting values", {"chart.png", "-o", "out.png", "--replay", "badvalues"}, 1, "badvalues: line 1"},
      {"plug-in library", {"chart.png", "-o", "out.png", "--plugin", "text.png"}, 1, "cannot load text.png"},
      // Command lines refused before any work.
      {"no order", {"chart.png", "-o", "out.png", "--blend", "mix"}, 2, "no channel order given"},
      {"order in neither table", {"chart.png", "-o", "out.png", "--order", "B,G,R"}, 2,
       "--order \"B,G,R\" is not a channel order"},
      {"order index", {"chart_cmyk.tif", "-o", "out.tif", "--order-index", "256"}, 2, "--order-index"},
      {"several inputs and a file", {"chart.png", "chart_alpha.png", "-o", "one.png"}, 2,
       "-o one.png: 2 inputs are written into a folder"},
      {"several inputs and a file without an extension", {"chart.png", "chart_alpha.png", "-o", "notes"}, 2,
       "-o notes: 2 inputs are written into a folder"},
      {"blend", {"chart.png", "-o", "out.png", "--blend", "sideways"}, 2, "--blend"},
      {"share past the last", {"chart.png", "-o", "out.png", "--shard", "4/3"}, 2, "\"4/3\" is not K/N"},
      {"share counted from 0", {"chart.png", "-o", "out.png", "--shard", "0/3"}, 2, "K counted from 1"},
      {"list of inputs", {"--inputs-from", "nolist", "-o", "out"}, 2, "nolist: cannot read the list of inputs"},
      {"no output", {"chart.png"}, 2, "-o OUTPUT"},
      {"dialog natively", {"chart.png", "-o", "out.png", "--dialog"}, 2, "--dialog needs the Windows build"},
      {"dialog and a setting", {"chart.png", "-o", "out.png", "--dialog", "--blend", "mix"}, 2, "--dialog needs the Windows"},
      {"dialog in a batch", {"chart.png", "chart_alpha.png", "-o", "out", "--dialog"}, 2, "--dialog filters one file"},
      {"sheet of two files", {"--contact-sheet", "s.png", "chart.png", "chart_alpha.png"}, 2, "shows one input file"},
      {"sheet and an order", {"--contact-sheet", "s.png", "chart.png", "--order", "B G R"}, 2, "excludes --contact-sheet"},
      {"all orders without a sheet", {"chart.png", "-o", "out.png", "--all-orders"}, 2, "requires --contact-sheet"},
      {"swaps only without a list or a sheet", {"chart.png", "-o", "out.png", "--swaps-only", "--order", "B G R"}, 2,
       "--swaps-only goes with --list-orders or --contact-sheet"},
      {"sheet of a grey image", {"--contact-sheet", "s.png", "grey.png"}, 1, "grey.png: a greyscale image"},
      {"sheet channel", {"--contact-sheet", "s.png", "chart.png", "--exclude", "4"}, 1, "channel 4 cannot be excluded"},
      {"sheet format", {"--contact-sheet", "s.xyz", "chart.png"}, 1, "s.xyz: no image format"},
      // Said once, before any work, and then done.
      {"quality on PNG", {"chart.png", "-o", "out.png", "--quality", "50"}, 0,
       "note: --quality is for JPEG output; it does nothing to the .png output", {"out.png"}},
      {"compression on JPEG", {"chart.png", "-o", "out.jpg", "--compression", "6"}, 0,
       "note: --compression is for PNG and TIFF output; it does nothing to the .jpg output", {"out.jpg"}},
      {"a folder with an extension", {"chart.png", "chart_alpha.png", "-o", "out.d"}, 0, "2 files: 2 written",
       {"out.d/chart.png", "out.d/chart_alpha.png"}},
      {"an index in both tables", {"chart.png", "chart_cmyk.tif", "-o", "out", "--order-index", "5"}, 0,
       "--order-index 5 is \"B G R\" for RGB files and \"C K Y M\" for CMYK files", {"out", "out/chart.png", "out/chart_cmyk.tif"}},
  };
  fs::remove(work_ / "command.log");
  const auto before = Tree(work_);
  const auto chart = Pixels(work_ / "chart.png").pixels;
  const std::string kept = testing::FileBytes(work_ / "kept" / "chart.png");
  for (const CommandLine& c : lines) {
    SCOPED_TRACE(c.name);
    const Ran ran = Vantrel(WithOrder(c.args));
    EXPECT_EQ(ran.status, c.status) << ran.output;
    EXPECT_NE(ran.output.find(c.message), std::string::npos) << ran.output;
    fs::remove(work_ / "command.log");
    std::vector<std::string> expected = before;
    expected.insert(expected.end(), c.written.begin(), c.written.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Tree(work_), expected);
    for (const std::string& made : c.written)
      if (made != "kept/chart.png" && made != "kept") fs::remove_all(work_ / made);
  }
  EXPECT_EQ(Pixels(work_ / "chart.png").pixels, chart);
  EXPECT_TRUE(testing::FileBytes(work_ / "kept" / "chart.png") == kept);
}

// A JPEG comes out at the quality and chroma subsampling it came in with,
// as another reader (ImageMagick's) finds them; other pictures at the
// documented default, 90, subsampled as libvips does at it.
TEST_F(Cli, JpegOutputKeepsTheInputsQualityAndSubsampling) {
  constexpr const char* k420 = "2x2,1x1,1x1";
  constexpr const char* k444 = "1x1,1x1,1x1";
  struct Row {
    const char* input;
    const char* made;  // how the input is made from the chart
    std::vector<std::string> options;
    int quality;
    const char* sampling;  // of the output
  } rows[] = {{"q95.jpg", "vips copy chart.png 'q95.jpg[Q=95,subsample_mode=on]'", {}, 95, k420},
              {"q92.jpg", "vips copy chart.png 'q92.jpg[Q=92,subsample_mode=off]'", {}, 92, k444},
              // 4:2:2 comes out 4:2:0: the writer halves chroma both ways or not at all.
              {"q75.jpg", "convert chart.png -quality 75 -sampling-factor 2x1 q75.jpg", {}, 75, k420},
              {"chart.png", "true", {}, pictures::kDefaultJpegQuality, k444},
              {"q92.jpg", "true", {"--quality", "60"}, 60, k444}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.input);
    ASSERT_EQ(Shell(row.made, work_).status, 0);
    std::vector<std::string> args = {row.input, "-o", "out.jpg", "--order", "B G R"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    ASSERT_EQ(Vantrel(args).status, 0);
    const Ran read = Shell("identify -format '%Q %[jpeg:sampling-factor]' out.jpg", work_);
    EXPECT_EQ(read.output, std::to_string(row.quality) + " " + row.sampling);
  }
}

// At the end of a batch: the counts, every failure again, and a report from
// which the failures alone are run again by one command.
TEST_F(Cli, BatchEndsWithEveryFailureAndAReportThatRerunsThem) {
  ASSERT_EQ(Shell("mkdir out && cp chart.png out/ && head -c 300 chart_alpha.png > cut.png", work_).status, 0);
  const Ran ran = Vantrel({"chart.png", "gone.png", "cut.png", "chart_cmyk.tif", "-o", "out", "-j", "2", "--order-index",
                           "3", "--skip-existing", "--report", "report.jsonl"});
  EXPECT_EQ(ran.status, 1);
  const std::string summary = ran.output.substr(ran.output.find("4 files: "));
  EXPECT_NE(summary.find("4 files: 1 written, 1 skipped (their outputs were there), 2 failed:\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("\n  gone.png: no such file\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("\n  cut.png: "), std::string::npos) << summary;
  const Ran statuses = Shell("jq -r '[.input, .status] | join(\" \")' report.jsonl", work_);
  EXPECT_EQ(statuses.output, "chart.png skipped\ngone.png failed\ncut.png failed\nchart_cmyk.tif written\n");
  ASSERT_EQ(Shell("cp chart_alpha.png cut.png && cp chart.png gone.png", work_).status, 0);
  const Ran rerun = Shell("jq -r 'select(.status == \"failed\") | .input' report.jsonl | " + Quote(VANTREL_CLI) +
                              " --inputs-from - -o out/ --order-index 3 --report again.jsonl",
                          work_);
  EXPECT_EQ(rerun.status, 0) << rerun.output;
  EXPECT_EQ(Listing(work_ / "out"), (std::vector<std::string>{"chart.png", "chart_cmyk.tif", "cut.png", "gone.png"}));
  EXPECT_EQ(Shell("jq -r .status again.jsonl", work_).output, "written\nwritten\n");
}

TEST_F(Cli, BatchKeepsTheBlockAndValuesOfItsLastFileAndNoPartFiles) {
  std::ofstream(work_ / "values") << "Amnt UntF #Prc 12\n";
  const Ran ran = Vantrel({"chart.png", "chart_cmyk.tif", "gone.png", "-o", "out", "--order-index", "17", "--params",
                           "block", "--replay", "values", "--record", "recorded"});
  EXPECT_EQ(ran.status, 1) << ran.output;
  // The last file that succeeded, the CMYK one, left its band height (its
  // 128 rows, by the advanceState drive) and the chosen order in the block.
  std::ifstream in(work_ / "block", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<uint8> block(bytes.begin(), bytes.end());
  ASSERT_EQ(block.size(), 40u);
  EXPECT_EQ(block[16] | block[17] << 8, 128);
  EXPECT_EQ(block[30] | block[31] << 8, 17);
  std::ifstream values(work_ / "recorded");
  std::string first;
  std::getline(values, first);
  EXPECT_EQ(first, "Amnt UntF #Prc 12");
  EXPECT_EQ(Listing(work_), (std::vector<std::string>{"block", "chart.png", "chart16.tif", "chart16.vraw",
                                                       "chart16_alpha.png", "chart16_alpha.vraw", "chart16_cmyk.tif",
                                                       "chart16_cmyk.vraw", "chart_alpha.png", "chart_cmyk.tif",
                                                       "chart_cmyk.vraw", "command.log", "out", "recorded", "values"}));
}

// A batch's workers run with every filter and output setting given to the
// batch: each file comes out as the same file run alone comes out.
TEST_F(Cli, BatchWorkersTakeEverySettingOfTheBatch) {
  std::ofstream(work_ / "values") << "Amnt UntF #Prc 37\ndisP enum mooD moD3\nentI bool 1\n";
  ASSERT_EQ(Shell("vips copy chart.png chart.jpg && head -c 3000 chart.jpg > cut.jpg", work_).status, 0);
  struct Row {
    const char* name;
    std::string input;
    std::vector<std::string> options;
    bool outputThere;  // an output of that name is already there
  } rows[] = {
      {"order, blend and a channel cleared", "chart.png", {"--order", "B R G", "--blend", "mix", "--exclude", "2"}, false},
      {"depth and PNG level", "chart.png", {"--order-index", "5", "--depth", "16", "--compression", "9"}, false},
      {"JPEG quality", "chart.jpg", {"--order-index", "3", "--quality", "40"}, false},
      {"memory offered", "chart.png", {"--order-index", "14", "--blend", "cross", "--max-space", "5000"}, false},
      {"scripting values", "chart.png", {"--replay", "values"}, false},
      {"damage accepted", "cut.jpg", {"--order-index", "1", "--accept-damaged"}, false},
      {"output kept", "chart.png", {"--order-index", "1", "--no-clobber"}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const char* folder : {"alone", "batch"}) {
      fs::remove_all(work_ / folder);
      fs::create_directories(work_ / folder);
      if (row.outputThere) std::ofstream(work_ / folder / row.input) << "kept";
    }
    std::vector<std::string> alone = {row.input, "-o", "alone/"}, batch = {row.input, "chart_alpha.png", "-o", "batch"};
    alone.insert(alone.end(), row.options.begin(), row.options.end());
    batch.insert(batch.end(), row.options.begin(), row.options.end());
    const Ran one = Vantrel(alone), many = Vantrel(batch);
    ASSERT_EQ(one.status, row.outputThere ? 1 : 0) << one.output;
    ASSERT_EQ(many.status, one.status) << many.output;
    const fs::path a = work_ / "alone" / row.input, b = work_ / "batch" / row.input;
    if (row.outputThere)
      EXPECT_EQ(testing::FileBytes(b), "kept");
    else if (pictures::Extension(row.input) == ".png")
      EXPECT_TRUE(testing::FileBytes(a) == testing::FileBytes(b));
    else
      EXPECT_TRUE(Decode(a) == Decode(b));
  }
}

// ---- A batch split across machines. Every way below splits the same batch:
// ten JPEG charts in in/, written whole by one run into whole/, then one of
// them damaged (kept aside in kept.jpg), so that the share holding it fails
// until it is mended.

class Batch : public Cli {
 protected:
  // `options`: the filter settings of the one-machine run, as the shares use them.
  void MakeDamagedBatch(const std::vector<std::string>& options) {
    fs::create_directories(work_ / "in");
    std::string make;
    for (int i = 0; i < 10; ++i)
      make += Quote(VANTREL_SAMPLE_MAKER) + " --size " + std::to_string(40 + i) + "x30 in/chart" + std::to_string(i) +
              ".jpg && ";
    ASSERT_EQ(Shell(make + Quote(VANTREL_CLI) + " in/* -o whole -j 2 -q" + Words(options) +
                        " && cp in/chart3.jpg kept.jpg && echo x > in/chart3.jpg",
                    work_).status, 0);
  }
  // Every output of the one-machine run is in `split` with its pixels, and nothing else is.
  void ExpectAsOneMachine(const fs::path& split) {
    ASSERT_EQ(Listing(split), Listing(work_ / "whole"));
    for (const std::string& name : Listing(work_ / "whole"))
      EXPECT_EQ(Pixels(split / name).pixels, Pixels(work_ / "whole" / name).pixels) << name;
  }
};

// GNU parallel's local jobs stand for the machines. Each share lists the
// inputs in its own order and way; the share that fails on the damaged input
// is rerun once it is mended, as --resume-failed reruns it from the job log.
TEST_F(Batch, SharesRunByGnuParallelWriteEveryOutputOnceAsOneMachineDoes) {
  MakeDamagedBatch({"--order-index", "7"});
  auto shares = [](const std::string& parallelOptions) {
    const std::string vantrel = std::string(VANTREL_CLI) + " --shard {}/3 --skip-existing -j 1 --order-index 7 -o ../split";
    // Odd shares read the names sorted from a pipe, even ones in reverse from
    // a list file.
    return "parallel --will-cite --joblog jobs.log " + parallelOptions + " -j 3 'cd in && if [ $(({} % 2)) = 1 ]; then "
           "ls | sort | " + vantrel + " --inputs-from -; else ls | sort -r > ../list{} && " + vantrel +
           " --inputs-from ../list{}; fi' ::: 1 2 3 >written.txt 2>errors.txt";
  };
  auto written = [&] {
    std::ifstream in(work_ / "written.txt");
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) names.push_back(fs::path(line).filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  // One share fails on the damaged file and writes the rest of its inputs.
  EXPECT_EQ(Shell(shares(""), work_).status, 1);
  std::vector<std::string> first = written();
  EXPECT_EQ(std::count(first.begin(), first.end(), "chart3.jpg"), 0);
  ASSERT_EQ(first.size(), 9u) << Shell("cat errors.txt jobs.log", work_).output;

  ASSERT_EQ(Shell("cp kept.jpg in/chart3.jpg && " + shares("--resume-failed"), work_).status, 0)
      << Shell("cat errors.txt jobs.log", work_).output;
  EXPECT_EQ(written(), std::vector<std::string>{"chart3.jpg"});
  first.push_back("chart3.jpg");
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, Listing(work_ / "whole"));
  ExpectAsOneMachine(work_ / "split");
}

// The README's recipes, run as written: the case's folder for /srv/photos
// (and the pods' /data), the built tool for vantrel, the machines this one
// has; each on services the case brings up here and stops after. The first
// run meets the damaged input and exactly one share fails; once the input is
// mended, the recipe's rerun makes the missing output and touches no other.
class Recipes : public Batch {
 protected:
  void SetUp() override {
    Batch::SetUp();
    MakeDamagedBatch({"--order", "B G R"});
    blocks_ = testing::CodeBlocks(VANTREL_README, "A batch across machines");
  }

  // The one block of the README's batch section that holds every one of
  // `words`, as this machine runs it.
  std::string Block(const std::vector<std::string>& words,
                    std::vector<std::pair<std::string, std::string>> machines = {}) {
    std::vector<std::string> found;
    for (const std::string& block : blocks_)
      if (std::all_of(words.begin(), words.end(), [&](const std::string& w) { return block.find(w) != std::string::npos; }))
        found.push_back(block);
    if (found.size() != 1) ADD_FAILURE() << found.size() << " blocks of the README's batch section hold " << words[0];
    machines.insert(machines.end(), {{"/srv/photos", work_.string()}, {"/data", work_.string()},
                                     {"vantrel --", std::string(VANTREL_CLI) + " --"}});
    return found.size() == 1 ? testing::Substituted(found[0], machines) : "false";
  }
  // Runs a block by bash with `environment` (shell assignments) before it.
  Ran RunBlock(const std::string& environment, const std::string& block) {
    std::ofstream(work_ / "recipe.sh") << block;
    return Shell(environment + " bash recipe.sh", work_);
  }

  // `run(again)` runs the recipe, or its rerun, and answers how many shares failed.
  void RunTwice(const std::function<int(bool again)>& run) {
    const fs::path out = work_ / "out";
    ASSERT_EQ(run(false), 1);
    std::vector<std::string> expected = Listing(work_ / "whole");
    expected.erase(std::find(expected.begin(), expected.end(), "chart3.jpg"));
    ASSERT_EQ(Listing(out), expected);
    auto stamps = [&] {
      std::vector<std::pair<ino_t, int64_t>> s;
      for (const std::string& name : expected) {
        struct stat st{};
        stat((out / name).c_str(), &st);
        s.emplace_back(st.st_ino, int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
      }
      return s;
    };
    const auto before = stamps();
    fs::copy_file(work_ / "kept.jpg", work_ / "in" / "chart3.jpg", fs::copy_options::overwrite_existing);
    ASSERT_EQ(run(true), 0);
    ExpectAsOneMachine(out);
    EXPECT_EQ(stamps(), before) << "the rerun rewrote outputs that were there";
  }

  std::vector<std::string> blocks_;
};

TEST_F(Recipes, GnuParallelOverSshWithTwoLogins) {
  testing::SshLogins ssh(work_ / "ssh", {"alpha", "beta"});
  if (!ssh.why.empty()) GTEST_SKIP() << testing::kSkippedWithoutService << "sshd: " << ssh.why;
  const std::vector<std::pair<std::string, std::string>> twoLogins = {{"1/alpha,1/beta,1/gamma", "1/alpha,1/beta"}};
  RunTwice([&](bool again) {
    const Ran ran = RunBlock(ssh.environment, Block({again ? "--resume-failed" : "find in", "parallel"}, twoLogins));
    if (ran.status > 1) ADD_FAILURE() << ran.output;
    return ran.status;
  });
  // Both logins ran shares: the job log's second column.
  const std::string hosts = Shell("cut -f 2 batch.log | LC_ALL=C sort -u | tr '\\n' ' '", work_).output;
  EXPECT_EQ(hosts, "Host alpha beta ");
}

TEST_F(Recipes, SlurmArrayJobOnOneNode) {
  testing::SlurmNode slurm(work_ / "slurm");
  if (!slurm.why.empty()) GTEST_SKIP() << testing::kSkippedWithoutService << "Slurm: " << slurm.why;
  RunTwice([&](bool) {
    const Ran ran = RunBlock(slurm.environment, Block({"sbatch"}));
    const std::size_t at = ran.output.find("Submitted batch job ");
    if (ran.status != 0 || at == std::string::npos) {
      ADD_FAILURE() << ran.output;
      return -1;
    }
    const std::vector<std::string> states = slurm.Wait(std::to_string(std::atoi(ran.output.c_str() + at + 20)), 180);
    EXPECT_EQ(states.size(), 8u);
    return int(states.size() - std::count(states.begin(), states.end(), "COMPLETED"));
  });
}

// No cluster here: the manifest parses, and its pod's command, run with
// every index, does what the recipes above do.
TEST_F(Recipes, KubernetesIndexedJobsPodCommandWithEveryIndex) {
  std::ofstream(work_ / "job.yaml") << Block({"apiVersion:"});
  std::ofstream(work_ / "pod.py") << "import sys, yaml\n"
                                     "job = yaml.safe_load(open('job.yaml'))\n"
                                     "spec = job['spec']\n"
                                     "command = spec['template']['spec']['containers'][0]['command']\n"
                                     "assert job['kind'] == 'Job' and spec['completionMode'] == 'Indexed', job\n"
                                     "assert command[:2] == ['sh', '-c'], command\n"
                                     "print(spec['completions'])\n"
                                     "open('pod.cmd', 'w').write(command[2])\n";
  const Ran parsed = Shell("/usr/bin/python3 pod.py && find in -name '*.jpg' > list", work_);
  ASSERT_EQ(parsed.status, 0) << parsed.output;
  const std::string pods = "$(seq 0 " + std::to_string(std::atoi(parsed.output.c_str()) - 1) + ")";
  RunTwice([&](bool) {
    return Shell("failed=0; for i in " + pods + "; do JOB_COMPLETION_INDEX=$i sh -c \"$(cat pod.cmd)\" || "
                 "failed=$((failed + 1)); done; exit $failed", work_).status;
  });
}

TEST_F(Cli, CtrlCCancelsTheRunAndLeavesNoOutput) {
  ASSERT_EQ(Shell(Quote(VANTREL_SAMPLE_MAKER) + " --size 3000x2000 big.png", work_).status, 0);
  // The hidden worker mode reports progress on standard error: the signal
  // goes once the filter has begun.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  const std::string out = (work_ / "out.png").string(), in = (work_ / "big.png").string();
  std::vector<const char*> argv = {VANTREL_CLI, "--worker", "--order-index", "1", "--drive", "classic", "--max-space", "1000",
                                   in.c_str(), "-o", out.c_str(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, VANTREL_CLI, &actions, nullptr, const_cast<char**>(argv.data()), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  std::string seen;
  char c;
  while (seen.find("@progress") == std::string::npos && read(pipeEnds[0], &c, 1) == 1) seen += c;
  kill(pid, SIGINT);
  while (read(pipeEnds[0], &c, 1) == 1) seen += c;
  close(pipeEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << seen;
  EXPECT_NE(seen.find("big.png: cancelled; nothing written"), std::string::npos) << seen;
  EXPECT_EQ(Listing(work_), (std::vector<std::string>{"big.png", "chart.png", "chart16.tif", "chart16.vraw",
                                                       "chart16_alpha.png", "chart16_alpha.vraw", "chart16_cmyk.tif",
                                                       "chart16_cmyk.vraw", "chart_alpha.png", "chart_cmyk.tif",
                                                       "chart_cmyk.vraw", "command.log"}));
}

}  // namespace
}  // namespace vantrel::cli
