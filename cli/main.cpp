// vantrel: filters image files through the plug-in's own entry point, as an
// image editor runs the filter. One file, or a batch run by worker processes.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch.h"
#include "cli/contact_sheet.h"
#include "cli/filter_job.h"
#include "cli/picture.h"
#include "cli/platform.h"
#include "cli/progress_bar.h"
#include "cli/selection.h"
#include "core/channel_orders.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDescription =
    "vantrel " VANTREL_VERSION " - filters image files through the Vantrel plug-in, as an image editor runs it.\n"
    "\n"
    "Each output plane of every pixel is taken from the source plane that the channel order names\n"
    "(24 orders for RGB images, 256 for CMYK); the result can be blended with the source and one\n"
    "channel cleared. Reads 8- and 16-bit RGB (palette images expanded to it) and CMYK images with\n"
    "or without transparency; the transparency plane comes out untouched. The output keeps the\n"
    "input's depth unless --depth says otherwise. 16-bit samples are handed to the filter as image\n"
    "editors hand them, from 0 to 32768: a file's 0 to 65535 are halved on the way in and doubled on\n"
    "the way out, rounded to the nearest, so the lowest bit of a 16-bit sample is not kept and a\n"
    "sample that the filter only moves comes back within 1 of what it was. Pictures stream through the\n"
    "filter a band at a time, decoded, filtered and encoded at once, whatever their size. A contact\n"
    "sheet shows a thumbnail of an image under every order at once.";

constexpr const char* kFooter =
    "Examples:\n"
    "  vantrel photo.png -o swapped.png --order \"B G R\"\n"
    "  vantrel print.tif -o out.tif --order \"K C M Y\" --blend mix\n"
    "  vantrel *.png -o done/ -j 2 --order-index 3 --exclude 2\n"
    "  vantrel --list-orders rgb\n"
    "  vantrel --contact-sheet sheet.png photo.jpg --blend mix\n"
    "  find in -name '*.jpg' | vantrel --inputs-from - -o out/ --shard 2/4 --skip-existing   # machine 2 of 4\n"
    "  vantrel.exe photo.png -o chosen.png --dialog --params block\n"
    "\nExit status: 0 every file written, 1 a file failed, 2 a bad command line, 130 cancelled (Ctrl-C, or\n"
    "Cancel in the dialog).";

int g_lastPermille = -1;

void DrawNothing(int32, int32) {}

ProgressBar* g_bar = nullptr;
std::string g_barLabel;

void DrawBar(int32 done, int32 total) {
  if (total > 0) g_bar->Show(g_barLabel, double(done + 1) / total);
}

// A worker tells its batch how far it is, in thousandths, on standard error.
void ReportToBatch(int32 done, int32 total) {
  const int permille = total > 0 ? int(int64_t(done + 1) * 1000 / total) : 0;
  if (permille == g_lastPermille) return;
  g_lastPermille = permille;
  std::fprintf(stderr, "%s%d\n", kProgressLine, permille);
  std::fflush(stderr);
}

void ListOrders(const std::string& which) {
  for (int16 mode : {plugInModeRGBColor, plugInModeCMYKColor}) {
    const bool cmyk = mode == plugInModeCMYKColor;
    if (!which.empty() && which != (cmyk ? "cmyk" : "rgb")) continue;
    std::printf("%s orders (--order NAME or --order-index N):\n", cmyk ? "CMYK" : "RGB");
    for (int16 i = 0; i < ChannelOrderCount(mode); ++i) std::printf("%5d  %s\n", i, ChannelOrderName(mode, i));
  }
}

// Appends the names listed in the file `list` ("-": standard input), one a
// line, to `inputs`; empty lines are skipped and a line's carriage return
// dropped. Answers "" or why the list cannot be read.
std::string ReadInputList(const std::string& list, std::vector<std::string>& inputs) {
  std::ifstream file;
  if (list != "-") {
    file.open(list);
    if (!file) return "cannot read the list of inputs";
  }
  std::istream& in = list == "-" ? std::cin : file;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) inputs.push_back(line);
  }
  return in.bad() ? "cannot read the list of inputs" : "";
}

// The filter settings as a worker's command line takes them.
std::vector<std::string> WorkerOptions(const JobSettings& s, const std::string& plugin) {
  std::vector<std::string> o;
  auto add = [&o](const char* name, const std::string& value) { o.insert(o.end(), {name, value}); };
  if (!s.orderName.empty()) add("--order", s.orderName);
  if (s.orderIndex >= 0) add("--order-index", std::to_string(s.orderIndex));
  static const std::map<Blend, const char*> blends = {
      {Blend::None, "none"}, {Blend::Cross, "cross"}, {Blend::Mix, "mix"}, {Blend::Both, "both"}};
  if (s.blend != Blend::Keep) add("--blend", blends.at(s.blend));
  if (s.exclude >= 0) add("--exclude", std::to_string(s.exclude));
  add("--drive", s.drive == Drive::Classic ? "classic" : "advance");
  if (s.maxSpace > 0) add("--max-space", std::to_string(s.maxSpace));
  if (!s.replayFile.empty()) add("--replay", s.replayFile);
  if (s.save.quality >= 0) add("--quality", std::to_string(s.save.quality));
  if (!s.save.compression.empty()) add("--compression", s.save.compression);
  if (s.save.depth > 0) add("--depth", std::to_string(s.save.depth));
  if (s.save.threads > 0) add("--threads", std::to_string(s.save.threads));
  if (s.handleSizes == runner::HandleHabits::Size::Zero) add("--handle-sizes", "zero");
  if (s.handleSizes == runner::HandleHabits::Size::Negative) add("--handle-sizes", "negative");
  if (!plugin.empty()) add("--plugin", plugin);
  return o;
}

// Loads the filter and the image library, runs `work` with a progress
// report (a bar named `label` on a terminal when `shown`), and tells what
// came of it: `written` on standard output when it succeeded and is `shown`,
// the reason on standard error when it failed.
int Filter(const std::string& plugin, const char* programPath, const std::string& label, const std::string& written,
           bool shown, const std::function<Outcome(runner::EntryProc, ProgressReport)>& work) {
  runner::LoadedFilter filter = runner::LoadFilter(plugin);
  if (filter.entry == nullptr) {
    std::fprintf(stderr, "%s\n", filter.error.c_str());
    return kFailed;
  }
  StartPictures(programPath);
  ProgressBar bar(shown && platform::StderrIsTerminal());
  g_bar = &bar;
  g_barLabel = label;
  const Outcome outcome = work(filter.entry, shown ? DrawBar : DrawNothing);
  bar.Clear();
  g_bar = nullptr;
  StopPictures();
  runner::UnloadFilter(filter);
  if (outcome.status != kSucceeded) {
    std::fprintf(stderr, "%s\n", outcome.message.c_str());
  } else if (shown) {
    std::printf("%s\n", written.c_str());
  }
  return outcome.status;
}

int Run(int argc, char** argv) {
  CLI::App app(kDescription, "vantrel");
  app.footer(kFooter);
  app.set_version_flag("--version", "vantrel " VANTREL_VERSION);

  std::vector<std::string> inputs;
  std::string output, listOrders, blend, drive, plugin, paramsTo;
  JobSettings job;
  int jobs = int(std::max(1u, std::thread::hardware_concurrency()));
  bool quiet = false, worker = false;

  std::string inputsFrom;
  app.add_option("inputs", inputs, "Image files to filter (PNG, JPEG, TIFF, ...; .vraw, the raw format of ours)");
  app.add_option("--inputs-from", inputsFrom,
                 "Also filter the files named in LIST, one a line (\"-\": standard input): more than a command\n"
                 "line holds, e.g. from find")
      ->option_text("LIST");
  auto* outputOption = app.add_option("-o,--output", output,
                 "Output file, or folder (with several inputs: a batch, each output named as its input).\n"
                 "The format follows the extension")
      ->option_text("PATH");
  auto* list = app.add_option("--list-orders", listOrders, "Print the table of channel orders with their indexes and exit")
                   ->expected(0, 1)
                   ->check(CLI::IsMember({"rgb", "cmyk"}))
                   ->option_text("[rgb|cmyk]");
  auto* orderName =
      app.add_option("--order", job.orderName, "Channel order by display name of the image's mode, e.g. \"B R G\" or \"K C M Y\"")
          ->option_text("NAME");
  auto* orderIndex = app.add_option("--order-index", job.orderIndex, "Channel order by its index in the mode's table")
      ->check(CLI::Range(0, 255))
      ->excludes(orderName)
      ->option_text("N");
  auto* blendOption = app.add_option("--blend", blend, "Blend with the source: cross (checkerboard), mix (average), both, or none")
      ->check(CLI::IsMember({"none", "cross", "mix", "both"}))
      ->option_text("METHOD");
  auto* exclude = app.add_option("--exclude", job.exclude, "Clear channel N (1-based: 1 to 3 for RGB, 1 to 4 for CMYK); 0: none")
      ->check(CLI::Range(0, 4))
      ->option_text("N");
  auto* dialog = app.add_flag("--dialog", job.dialog,
               "Show the plug-in's own dialog (Windows builds, one input) and filter with what is chosen there\n"
               "instead of --order, --order-index, --blend and --exclude. OK filters, Cancel writes nothing\n"
               "(status 130); with --params the dialog starts from the kept block and the block keeps the choice")
      ->excludes(orderName, orderIndex, blendOption, exclude);
  app.add_option("--drive", drive,
                 "How the image travels: classic (the default; bands of a few megabytes streamed from the input\n"
                 "file through the filter into the output, for pictures of any size) or advance (the whole\n"
                 "picture in one request, as editors with a preview run it; at most 32767 pixels a side; the\n"
                 "default with --dialog). Both give the same pixels")
      ->check(CLI::IsMember({"advance", "classic"}))
      ->option_text("classic|advance");
  app.add_option("--max-space", job.maxSpace,
                 "Memory offered to the filter at prepare, in bytes: the filter then chooses the band height\n"
                 "(an odd one lays the Cross checkerboard band by band; pictures beyond 32767 pixels a side\n"
                 "take it rounded up to even)")
      ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}))
      ->option_text("BYTES");
  auto* params = app.add_option("--params", job.paramsFile,
                 "Keep the filter's parameter block in FILE between runs: read when present, written after a run")
      ->option_text("FILE");
  auto* record = app.add_option("--record", job.recordFile, "Write the scripting values the filter records to FILE")->option_text("FILE");
  auto* replay = app.add_option("--replay", job.replayFile, "Hand the scripting values in FILE to the filter")
      ->check(CLI::ExistingFile)
      ->option_text("FILE");
  auto* quality = app.add_option("--quality", job.save.quality, "JPEG quality, 1 to 100")->check(CLI::Range(1, 100))->option_text("N");
  auto* compression = app.add_option("--compression", job.save.compression,
                 "PNG: zlib level 0 to 9; TIFF: none, lzw, deflate, packbits, zstd or jpeg")
      ->option_text("C");
  app.add_option("--depth", job.save.depth, "Bits per sample of the output: 8 or 16 (default: the input's)")
      ->check(CLI::IsMember({8, 16}))
      ->option_text("8|16");
  app.add_option("-j,--jobs", jobs, "Worker processes of a batch (default: the number of cores)")
      ->check(CLI::Range(1, 256))
      ->option_text("N");
  app.add_option("--plugin", plugin,
                 "Load the plug-in library at PATH instead of the built-in filter (natively a shared library,\n"
                 "on Windows a .8bf of the program's bitness; default there: the one beside the program)")
      ->option_text("PATH");
  std::string shareText;
  Share share;
  bool skipExisting = false;
  auto* shard = app.add_option("--shard", shareText,
                 "Take only the K-th of N shares of the inputs (K from 1 to N), so that N machines or jobs given\n"
                 "the same inputs split them, each file to exactly one share, whatever order each lists them in")
      ->check(CLI::Validator([](std::string& text) { Share s; return ParseShare(text, s); }, "K/N", "share"))
      ->option_text("K/N");
  auto* skip = app.add_flag("--skip-existing", skipExisting,
               "Leave out inputs whose output is already there (outputs appear under their name only when\n"
               "complete), so that a batch rerun after a failure does only what is missing");
  std::string sheet;
  SheetSettings sheetSettings;
  auto* sheetOption =
      app.add_option("--contact-sheet", sheet,
                     MakesContactSheets()
                         ? "Write one image showing a thumbnail of the input (one file) under every channel order of\n"
                           "its mode, each through a run of the filter and labelled with its index and name, in table\n"
                           "order; --blend and --exclude apply to every cell; CMYK cells are shown as RGB"
                         : "Not in this build: contact sheets need the Linux build of vantrel (libvips)")
          ->option_text("SHEET");
  app.add_flag("--all-orders", sheetSettings.allOrders,
               "On a CMYK contact sheet, all 256 orders (default: the 24 that take each ink once)")
      ->needs(sheetOption);
  app.add_option("--thumbnail-size", sheetSettings.thumbnailSize,
                 "The longest side of a contact sheet's thumbnails, in pixels (default: what lets the sheet fit\n"
                 "a screen of " + std::to_string(kScreenWidth) + " x " + std::to_string(kScreenHeight) +
                     "; never larger than the input)")
      ->check(CLI::Range(8, 4096))
      ->needs(sheetOption)
      ->option_text("PIXELS");
  sheetOption->excludes(outputOption, orderName, orderIndex, dialog, params, record, replay, quality, compression,
                        shard, skip);
  app.add_flag("-q,--quiet", quiet, "No progress bar and no names of written files");
  app.add_flag("--worker", worker, "")->group("");
  app.add_option("--threads", job.save.threads, "")->check(CLI::Range(1, 256))->group("");
  app.add_option("--params-to", paramsTo, "")->group("");
  const std::map<std::string, runner::HandleHabits::Size> handleSizes = {
      {"honest", runner::HandleHabits::Size::Honest},
      {"zero", runner::HandleHabits::Size::Zero},
      {"negative", runner::HandleHabits::Size::Negative}};
  app.add_option("--handle-sizes", job.handleSizes, "")->transform(CLI::CheckedTransformer(handleSizes))->group("");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kSucceeded : kBadCommandLine;
  }
  if (list->count() > 0) {
    ListOrders(listOrders);
    return kSucceeded;
  }
  if (!inputsFrom.empty()) {
    if (std::string why = ReadInputList(inputsFrom, inputs); !why.empty()) {
      std::fprintf(stderr, "%s: %s\n", inputsFrom.c_str(), why.c_str());
      return kBadCommandLine;
    }
  }
  if (sheetOption->count() > 0 && !MakesContactSheets()) {
    std::fprintf(stderr, "vantrel: --contact-sheet needs the Linux build of vantrel (libvips); this build has none\n");
    return kBadCommandLine;
  }
  if (sheetOption->count() > 0 && inputs.size() != 1) {
    std::fprintf(stderr, "vantrel: --contact-sheet shows one input file\n");
    return kBadCommandLine;
  }
  if (job.dialog && inputs.size() > 1) {
    std::fprintf(stderr, "vantrel: --dialog filters one file; run it on one, then the batch with --params\n");
    return kBadCommandLine;
  }
  if (job.dialog && !platform::ShowsDialogs()) {
    std::fprintf(stderr, "vantrel: --dialog needs the Windows build (vantrel.exe), where the dialog has a screen\n");
    return kBadCommandLine;
  }
  if (inputs.empty() || (output.empty() && sheet.empty())) {
    std::fprintf(stderr, "vantrel: give one or more input files and -o OUTPUT (see --help)\n");
    return kBadCommandLine;
  }
  job.paramsOut = paramsTo;
  // The dialog's preview needs the whole picture at hand.
  job.drive = drive == "advance" || (drive.empty() && job.dialog) ? Drive::Advance : Drive::Classic;
  static const std::map<std::string, Blend> blends = {
      {"", Blend::Keep}, {"none", Blend::None}, {"cross", Blend::Cross}, {"mix", Blend::Mix}, {"both", Blend::Both}};
  job.blend = blends.at(blend);

  platform::CatchInterrupt();
  if (!sheet.empty()) {
    sheetSettings.job = job;
    return Filter(plugin, argv[0], fs::path(sheet).filename().string(), sheet, !quiet,
                  [&](runner::EntryProc entry, ProgressReport progress) {
                    return MakeContactSheet(entry, sheetSettings, inputs[0], sheet, progress);
                  });
  }
  std::error_code error;
  const bool batch = inputs.size() > 1;
  // A folder, for a batch or for a list that names one file.
  const bool toFolder = batch || output.back() == '/' || output.back() == '\\';
  std::vector<BatchFile> files;
  if (toFolder) {
    if (!fs::is_directory(output, error) && !fs::create_directories(output, error)) {
      std::fprintf(stderr, "%s: cannot make the output folder\n", output.c_str());
      return kFailed;
    }
    std::map<std::string, std::string> claimed;  // output name -> the input that writes it
    for (const std::string& in : inputs) {
      files.push_back({in, (fs::path(output) / fs::path(in).filename()).string()});
      if (auto [it, fresh] = claimed.emplace(files.back().output, in); !fresh) {
        std::fprintf(stderr, "%s: %s would be written there too; give inputs of different names\n",
                     it->first.c_str(), in.c_str());
        return kBadCommandLine;
      }
    }
  } else {
    if (fs::is_directory(output, error)) output = (fs::path(output) / fs::path(inputs[0]).filename()).string();
    files.push_back({inputs[0], output});
  }
  if (!batch) output = files[0].output;
  if (!shareText.empty()) {
    ParseShare(shareText, share);
    std::erase_if(files, [&](const BatchFile& f) {
      return ShareOf(fs::path(f.output).filename().string(), share.count) != share.index;
    });
    if (!quiet)
      std::fprintf(stderr, "share %d/%d: %zu of %zu inputs\n", share.index, share.count, files.size(), inputs.size());
  }
  if (skipExisting) {
    const std::size_t before = files.size();
    std::erase_if(files, [](const BatchFile& f) { return OutputDone(f.output); });
    if (!quiet && files.size() < before)
      std::fprintf(stderr, "%zu of %zu inputs left out: their outputs are there\n", before - files.size(), before);
  }
  if (files.empty()) return kSucceeded;
  if (batch) {
    // The workers share the cores: each compresses on its share of them.
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    job.save.threads = std::max(1, cores / std::min<int>(jobs, int(files.size())));
    BatchSettings settings{WorkerOptions(job, plugin), jobs, !quiet && platform::StderrIsTerminal(), quiet,
                           job.paramsFile, job.recordFile};
    return RunBatch(settings, files);
  }

  return Filter(plugin, argv[0], fs::path(inputs[0]).filename().string(), output, !quiet && !worker,
                [&](runner::EntryProc entry, ProgressReport progress) {
                  return FilterFile(entry, job, inputs[0], output, worker ? ReportToBatch : progress);
                });
}

}  // namespace
}  // namespace vantrel::cli

int main(int argc, char** argv) { return vantrel::cli::Run(argc, argv); }
