// vantrel: filters image files through the plug-in's own entry point, as an
// image editor runs the filter. One file, or a batch run by worker processes.
#include <CLI/CLI.hpp>

#include <algorithm>
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
#include "pictures/picture.h"
#include "cli/platform.h"
#include "cli/progress_bar.h"
#include "cli/report.h"
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

constexpr const char* kExamples =
    "Examples:\n"
    "  vantrel photo.png -o swapped.png --order \"B G R\"\n"
    "  vantrel print.tif -o out.tif --order \"K C M Y\" --blend mix\n"
    "  vantrel *.png -o done/ -j 2 --order-index 3 --exclude 2 --report done.jsonl\n"
    "  vantrel --list-orders rgb\n"
    "  vantrel --contact-sheet sheet.png photo.jpg --blend mix\n"
    "  find in -name '*.jpg' | vantrel --inputs-from - -o out/ --order-index 5 --shard 2/4 --skip-existing\n";

constexpr const char* kWindowsExample = "  vantrel.exe photo.png -o chosen.png --dialog --params block\n";

constexpr const char* kExitStatus =
    "\nExit status:\n"
    "  0    every file written, or left out by --skip-existing\n"
    "  1    a file failed (the others were written)\n"
    "  2    a bad command line: nothing was read or written\n"
    "  130  cancelled: Ctrl-C, or Cancel in the dialog";

// The help as people read it: the options in their groups, everyday ones
// first, each group with its positional arguments; no lists of which
// options exclude which (a wrong pair is refused with a message).
class HelpLayout : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
    if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
    std::string out = make_description(app) + "\n" + make_usage(app, name) + "\nOptions:\n";
    for (const std::string& group : app->get_groups()) {
      const auto options = app->get_options([&group](const CLI::Option* o) { return o->get_group() == group; });
      if (!group.empty() && !options.empty()) out += make_group(group, false, options);
    }
    return out + "\n" + make_footer(app);
  }
  std::string make_usage(const CLI::App*, std::string name) const override {
    return "Usage: " + name + " FILE... -o OUTPUT [OPTIONS]\n  or:  " + name + " --contact-sheet SHEET FILE [OPTIONS]\n";
  }
  std::string make_option_opts(const CLI::Option* o) const override {
    return o->get_option_text().empty() ? "" : " " + o->get_option_text();
  }
};

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

// The options of a batch that its workers run with: the filter and output
// settings among `travelling`, as they were given.
std::vector<std::string> WorkerOptions(const std::vector<const CLI::Option*>& travelling) {
  std::vector<std::string> o;
  for (const CLI::Option* option : travelling) {
    if (option->count() == 0) continue;
    // Every one has a long name (get_name() answers none for hidden ones).
    const std::string name = "--" + option->get_single_name();
    if (option->get_expected_max() == 0) {
      // A flag: named when it is on.
      if (option->as<bool>()) o.push_back(name);
      continue;
    }
    for (const std::string& value : option->results()) o.insert(o.end(), {name, value});
  }
  return o;
}

// Loads the filter and the image library, runs `work` with a progress
// report (a bar named `label` on a terminal when `shown`), and tells what
// came of it: `written` on standard output when it succeeded and is `shown`,
// the reason on standard error when it failed, and what the image library
// warned of (marked for the batch, in a worker).
Outcome Filter(const std::string& plugin, const char* programPath, bool acceptDamaged, const std::string& label,
               const std::string& written, bool shown, bool worker,
               const std::function<Outcome(runner::EntryProc, ProgressReport)>& work) {
  runner::LoadedFilter filter = runner::LoadFilter(plugin);
  if (filter.entry == nullptr) {
    std::fprintf(stderr, "%s\n", filter.error.c_str());
    return {kFailed, filter.error};
  }
  pictures::StartPictures(programPath, acceptDamaged);
  ProgressBar bar(shown && platform::StderrIsTerminal());
  g_bar = &bar;
  g_barLabel = label;
  const Outcome outcome = work(filter.entry, shown ? DrawBar : DrawNothing);
  bar.Clear();
  g_bar = nullptr;
  pictures::StopPictures();
  runner::UnloadFilter(filter);
  if (!outcome.warning.empty()) std::fprintf(stderr, "%s%s\n", worker ? kWarningLine : "", outcome.warning.c_str());
  if (outcome.status != kSucceeded) {
    std::fprintf(stderr, "%s\n", outcome.message.c_str());
  } else if (shown) {
    std::printf("%s\n", written.c_str());
  }
  return outcome;
}

int BadCommandLine(const std::string& why) {
  std::fprintf(stderr, "vantrel: %s\n", why.c_str());
  return kBadCommandLine;
}

// The outputs' formats that an option for `formats` (lower-case extensions)
// does not apply to, in words ("2 .png outputs"), or "".
std::string NotFor(const std::vector<BatchFile>& files, std::initializer_list<const char*> formats) {
  std::map<std::string, int> others;
  for (const BatchFile& f : files) {
    const std::string ext = pictures::Extension(f.output);
    if (std::find_if(formats.begin(), formats.end(), [&](const char* e) { return ext == e; }) == formats.end())
      ++others[ext.empty() ? "extension-less" : ext];
  }
  std::string words;
  for (const auto& [ext, count] : others)
    words += (words.empty() ? "" : " and ") + (count == 1 ? "the " + ext + " output" : std::to_string(count) + " " + ext + " outputs");
  return words;
}

int Run(int argc, char** argv) {
  CLI::App app(kDescription, "vantrel");
  app.formatter(std::make_shared<HelpLayout>());
  const bool windows = platform::ShowsDialogs();
  app.footer(std::string(kExamples) + (windows ? kWindowsExample : "") + kExitStatus);
  // Help and version are listed last; set again once the rest is in place.
  app.set_help_flag();

  std::vector<std::string> inputs;
  std::string output, listOrders, blend, drive, plugin, paramsTo, inputsFrom, reportFile, sheet, shareText;
  JobSettings job;
  SheetSettings sheetSettings;
  Share share;
  std::string handleSizes;
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  int jobs = cores;
  bool quiet = false, worker = false, skipExisting = false, acceptDamaged = false;
  // The options a batch hands on to its workers, marked where they are
  // defined: a new filter or output setting travels by saying so there.
  std::vector<const CLI::Option*> travelling;
  auto travels = [&travelling](CLI::Option* option) {
    travelling.push_back(option);
    return option;
  };

  // Everyday options first, the expert ones after.
  const char* io = "Input and output";
  app.add_option("FILE", inputs, "Image files to filter: PNG, JPEG, TIFF and whatever else libvips\n"
                                 "reads (.vraw, the raw format of ours, too)")
      ->option_text("...")
      ->group(io);
  auto* outputOption = app.add_option("-o,--output", output,
                 "Output file, or folder (with several inputs a folder: each output\n"
                 "named as its input). The format follows the extension")
      ->option_text("PATH")
      ->group(io);
  app.add_option("--inputs-from", inputsFrom,
                 "Also filter the files named in LIST, one a line (\"-\": standard\n"
                 "input): more than a command line holds, e.g. from find")
      ->option_text("LIST")
      ->group(io);
  auto* noClobber = travels(app.add_flag("--no-clobber", job.noClobber,
               "Keep an output that is already there: that file fails (status 1)\n"
               "(default: it is replaced, whole, once the new one is complete)")
      ->group(io));
  travels(app.add_flag("--accept-damaged", acceptDamaged,
               "Filter what can be read of a damaged or cut-short file, with a\n"
               "warning naming it (default: such a file fails at the first sign of\n"
               "damage, and nothing is written for it)")
      ->group(io));
  app.add_flag("-q,--quiet", quiet, "No progress bar, no names of written files, no notes")->group(io);

  const char* filter = "Filter settings";
  auto* orderName = travels(
      app.add_option("--order", job.orderName, "Channel order by name, e.g. \"B R G\" (RGB) or \"K C M Y\" (CMYK)")
          ->option_text("NAME")
          ->group(filter));
  auto* orderIndex = travels(app.add_option("--order-index", job.orderIndex,
                                    "Channel order by its index in the table of the image's mode\n"
                                    "(0 to 23 for RGB, 0 to 255 for CMYK)")
      ->check(CLI::Range(0, 255))
      ->excludes(orderName)
      ->option_text("N")
      ->group(filter));
  auto* blendOption = travels(app.add_option("--blend", blend,
                 "Blend with the source: cross (checkerboard), mix (average), both,\n"
                 "or none (the default)")
      ->check(CLI::IsMember({"none", "cross", "mix", "both"}))
      ->option_text("METHOD")
      ->group(filter));
  auto* exclude = travels(app.add_option("--exclude", job.exclude,
                 "Clear channel N (1 to 3 for RGB; 1 to 4 for CMYK, its ink removed);\n"
                 "0: none (the default)")
      ->check(CLI::Range(0, 4))
      ->option_text("N")
      ->group(filter));
  auto* params = app.add_option("--params", job.paramsFile,
                 "Keep the filter's settings in FILE between runs: read when present\n"
                 "(settings given here override them), written after a run")
      ->option_text("FILE")
      ->group(filter);
  auto* list = app.add_option("--list-orders", listOrders, "Print the tables of channel orders and their indexes, and exit")
                   ->expected(0, 1)
                   ->check(CLI::IsMember({"rgb", "cmyk"}))
                   ->option_text("[rgb|cmyk]")
                   ->group(filter);

  const char* format = "Output files";
  auto* quality = travels(app.add_option("--quality", job.save.quality,
                 "JPEG quality, 1 to 100 (default: a JPEG input's own quality and\n"
                 "chroma subsampling; else " + std::to_string(pictures::kDefaultJpegQuality) + ")")
      ->check(CLI::Range(1, 100))
      ->option_text("N")
      ->group(format));
  auto* compression = travels(app.add_option("--compression", job.save.compression,
                 "PNG: zlib level 0 to 9 (default 6);\nTIFF: " + pictures::TiffCompressionNames() + " (default none)")
      ->option_text("C")
      ->group(format));
  travels(app.add_option("--depth", job.save.depth, "Bits per sample of the output: 8 or 16 (default: the input's)")
      ->check(CLI::IsMember({8, 16}))
      ->option_text("8|16")
      ->group(format));

  const char* batches = "Batches";
  app.add_option("-j,--jobs", jobs, "Worker processes of a batch (default: one per core)")
      ->check(CLI::Range(1, 256))
      ->option_text("N")
      ->group(batches);
  auto* shard = app.add_option("--shard", shareText,
                 "Take only the K-th of N shares of the inputs (K from 1 to N), so\n"
                 "that N machines or jobs given the same inputs split them, each file\n"
                 "to exactly one share, whatever order each lists them in")
      ->check(CLI::Validator([](std::string& text) { Share s; return ParseShare(text, s); }, "K/N", "share"))
      ->option_text("K/N")
      ->group(batches);
  auto* skip = app.add_flag("--skip-existing", skipExisting,
               "Leave out inputs whose output is already there (outputs appear\n"
               "under their name only when complete), so that a batch rerun after\n"
               "a failure does only what is missing")
      ->group(batches);
  auto* report = app.add_option("--report", reportFile,
                 "Write what came of every input to FILE, one JSON object a line:\n"
                 "input, output, status (written, skipped, failed, cancelled) and\n"
                 "message. The failed inputs again: jq -r 'select(.status ==\n"
                 "\"failed\") | .input' FILE | vantrel --inputs-from - ...")
      ->option_text("FILE")
      ->group(batches);

  const char* sheets = "Contact sheets";
  auto* sheetOption =
      app.add_option("--contact-sheet", sheet,
                     MakesContactSheets()
                         ? "Write one image showing a thumbnail of the input (one file) under\n"
                           "every channel order of its mode, each a run of the filter, labelled\n"
                           "with its index and name, in table order; --blend and --exclude\n"
                           "apply to every cell; CMYK cells are shown as RGB"
                         : "Not in this build: contact sheets need the Linux build of vantrel (libvips)")
          ->option_text("SHEET")
          ->group(sheets);
  app.add_flag("--all-orders", sheetSettings.allOrders,
               "On a CMYK contact sheet, all 256 orders (default: the 24 that take\n"
               "each ink once)")
      ->needs(sheetOption)
      ->group(sheets);
  app.add_option("--thumbnail-size", sheetSettings.thumbnailSize,
                 "The longest side of a contact sheet's thumbnails, in pixels\n"
                 "(default: what lets the sheet fit a screen of " + std::to_string(kScreenWidth) + " x " +
                     std::to_string(kScreenHeight) + ";\nnever larger than the input)")
      ->check(CLI::Range(8, 4096))
      ->needs(sheetOption)
      ->option_text("PIXELS")
      ->group(sheets);

  const char* expert = "Expert";
  // The dialog needs a window system: only the Windows build lists it.
  auto* dialog = app.add_flag("--dialog", job.dialog,
               "Show the plug-in's own dialog (one input) and filter with what is\n"
               "chosen there instead of --order, --order-index, --blend and\n"
               "--exclude. OK filters, Cancel writes nothing (status 130); with\n"
               "--params the dialog starts from the kept block, which keeps the choice")
      ->group(windows ? expert : "");
  if (windows) dialog->excludes(orderName, orderIndex, blendOption, exclude);
  travels(app.add_option("--drive", drive,
                 std::string("How the image travels: classic (the default") + (windows ? "; advance with --dialog" : "") +
                     "):\nbands of a few megabytes streamed from the input file through the\n"
                     "filter into the output, any size; or advance: the whole picture in\n"
                     "one request, as editors with a preview run it, at most 32767 pixels\n"
                     "a side. Both give the same pixels")
      ->check(CLI::IsMember({"advance", "classic"}))
      ->option_text("classic|advance")
      ->group(expert));
  travels(app.add_option("--max-space", job.maxSpace,
                 "Memory offered to the filter at prepare, in bytes: the filter then\n"
                 "chooses the band height (an odd one lays the Cross checkerboard band\n"
                 "by band; pictures beyond 32767 pixels a side take it rounded up to\n"
                 "even). Default: bands of about 2 MB that the tool plans")
      ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}))
      ->option_text("BYTES")
      ->group(expert));
  auto* record = app.add_option("--record", job.recordFile, "Write the scripting values the filter records to FILE")
      ->option_text("FILE")
      ->group(expert);
  auto* replay = travels(app.add_option("--replay", job.replayFile, "Hand the scripting values in FILE to the filter")
      ->check(CLI::ExistingFile)
      ->option_text("FILE")
      ->group(expert));
  travels(app.add_option("--plugin", plugin,
                 "Load the plug-in library at PATH instead of the built-in filter\n"
                 "(natively a shared library; on Windows a .8bf of the program's\n"
                 "bitness, by default the one beside the program)")
      ->option_text("PATH")
      ->group(expert));
  sheetOption->excludes(outputOption, orderName, orderIndex, dialog, params, record, replay, quality, compression,
                        shard, skip, noClobber, report);
  app.set_help_flag("-h,--help", "Print this help and exit")->group("Help");
  app.set_version_flag("--version", "vantrel " VANTREL_VERSION)->group("Help");
  // Between a batch and its workers, and for tests.
  app.add_flag("--worker", worker, "")->group("");
  app.add_option("--threads", job.save.threads, "")->check(CLI::Range(1, 256))->group("");
  app.add_option("--params-to", paramsTo, "")->group("");
  travels(app.add_option("--handle-sizes", handleSizes, "")->check(CLI::IsMember({"honest", "zero", "negative"}))
              ->group(""));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kSucceeded : kBadCommandLine;
  }
  if (list->count() > 0) {
    ListOrders(listOrders);
    return kSucceeded;
  }

  // ---- The command line checked whole before any file is read or written.
  if (!inputsFrom.empty()) {
    if (std::string why = ReadInputList(inputsFrom, inputs); !why.empty()) return BadCommandLine(inputsFrom + ": " + why);
  }
  if (sheetOption->count() > 0 && !MakesContactSheets())
    return BadCommandLine("--contact-sheet needs the Linux build of vantrel (libvips); this build has none");
  if (sheetOption->count() > 0 && inputs.size() != 1) return BadCommandLine("--contact-sheet shows one input file");
  if (job.dialog && inputs.size() > 1)
    return BadCommandLine("--dialog filters one file; run it on one, then the batch with --params");
  if (job.dialog && !windows)
    return BadCommandLine("--dialog needs the Windows build (vantrel.exe), where the dialog has a screen");
  if (inputs.empty() || (output.empty() && sheet.empty()))
    return BadCommandLine("give one or more input files and -o OUTPUT (see --help)");
  if (!job.orderName.empty() && OrderNamed(job.orderName, plugInModeRGBColor) < 0 &&
      OrderNamed(job.orderName, plugInModeCMYKColor) < 0)
    return BadCommandLine("--order \"" + job.orderName +
                          "\" is not a channel order: names are the planes' letters with spaces, e.g. \"B G R\" or "
                          "\"K C M Y\" (vantrel --list-orders shows them all)");
  const bool orderGiven = !job.orderName.empty() || job.orderIndex >= 0 || job.exclude > 0 ||
                          !job.paramsFile.empty() || !job.replayFile.empty() || job.dialog || !sheet.empty();
  if (!orderGiven)
    return BadCommandLine("no channel order given, so every output would equal its input: choose one with --order "
                          "\"B G R\" or --order-index N (vantrel --list-orders shows them), or keep one with --params FILE");
  std::error_code error;
  const bool batch = inputs.size() > 1;
  const bool folderNamed = !output.empty() && (output.back() == '/' || output.back() == '\\');
  if (batch && !folderNamed &&
      (fs::exists(output, error) ? !fs::is_directory(output, error) : !pictures::Extension(output).empty()))
    return BadCommandLine("-o " + output + ": " + std::to_string(inputs.size()) +
                          " inputs are written into a folder, each under its own name; give one (e.g. -o out/)");

  job.paramsOut = paramsTo;
  // The dialog's preview needs the whole picture at hand.
  job.drive = drive == "advance" || (drive.empty() && job.dialog) ? Drive::Advance : Drive::Classic;
  static const std::map<std::string, Blend> blends = {
      {"", Blend::Keep}, {"none", Blend::None}, {"cross", Blend::Cross}, {"mix", Blend::Mix}, {"both", Blend::Both}};
  job.blend = blends.at(blend);
  static const std::map<std::string, runner::HandleHabits::Size> sizes = {
      {"", runner::HandleHabits::Size::Honest},
      {"honest", runner::HandleHabits::Size::Honest},
      {"zero", runner::HandleHabits::Size::Zero},
      {"negative", runner::HandleHabits::Size::Negative}};
  job.handleSizes = sizes.at(handleSizes);

  platform::CatchInterrupt();
  if (!sheet.empty()) {
    sheetSettings.job = job;
    return Filter(plugin, argv[0], acceptDamaged, fs::path(sheet).filename().string(), sheet, !quiet, false,
                  [&](runner::EntryProc entry, ProgressReport progress) {
                    return MakeContactSheet(entry, sheetSettings, inputs[0], sheet, progress);
                  })
        .status;
  }
  // A folder, for a batch or for a list that names one file.
  const bool toFolder = batch || folderNamed;
  std::vector<BatchFile> files;
  if (toFolder) {
    std::map<std::string, std::string> claimed;  // output name -> the input that writes it
    for (const std::string& in : inputs) {
      files.push_back({in, (fs::path(output) / fs::path(in).filename()).string()});
      if (auto [it, fresh] = claimed.emplace(files.back().output, in); !fresh)
        return BadCommandLine(it->first + ": " + in + " would be written there too; give inputs of different names");
    }
  } else {
    if (fs::is_directory(output, error)) output = (fs::path(output) / fs::path(inputs[0]).filename()).string();
    files.push_back({inputs[0], output});
  }
  // Options that the outputs' formats do not take, and an index that names
  // two orders, are said once, before any work.
  if (job.save.quality >= 0) {
    if (std::string others = NotFor(files, {".jpg", ".jpeg", ".jpe"}); !others.empty())
      std::fprintf(stderr, "vantrel: note: --quality is for JPEG output; it does nothing to %s\n", others.c_str());
  }
  if (!job.save.compression.empty()) {
    if (std::string others = NotFor(files, {".png", ".tif", ".tiff"}); !others.empty())
      std::fprintf(stderr, "vantrel: note: --compression is for PNG and TIFF output; it does nothing to %s\n",
                   others.c_str());
  }
  if (job.orderIndex >= 0 && batch && !quiet) {
    const int16 index = int16(job.orderIndex);
    if (index < ChannelOrderCount(plugInModeRGBColor))
      std::fprintf(stderr, "vantrel: note: --order-index %d is \"%s\" for RGB files and \"%s\" for CMYK files\n",
                   index, ChannelOrderName(plugInModeRGBColor, index), ChannelOrderName(plugInModeCMYKColor, index));
    else
      std::fprintf(stderr, "vantrel: note: --order-index %d is \"%s\" for CMYK files; RGB files have 24 orders and fail\n",
                   index, ChannelOrderName(plugInModeCMYKColor, index));
  }

  // What comes of every input, in order: those left out first marked so.
  std::vector<FileResult> results;
  if (!shareText.empty()) {
    ParseShare(shareText, share);
    std::erase_if(files, [&](const BatchFile& f) {
      return ShareOf(fs::path(f.output).filename().string(), share.count) != share.index;
    });
    if (!quiet)
      std::fprintf(stderr, "share %d/%d: %zu of %zu inputs\n", share.index, share.count, files.size(), inputs.size());
  }
  if (skipExisting) {
    std::erase_if(files, [&](const BatchFile& f) {
      if (!OutputDone(f.output)) return false;
      results.push_back({f.input, f.output, FileResult::Skipped, "", ""});
      return true;
    });
    if (!quiet && !results.empty())
      std::fprintf(stderr, "%zu of %zu inputs left out: their outputs are there\n", results.size(),
                   results.size() + files.size());
  }

  int status = kSucceeded;
  if (files.empty()) {
  } else if (batch) {
    if (!fs::is_directory(output, error) && !fs::create_directories(output, error)) {
      std::fprintf(stderr, "%s: cannot make the output folder\n", output.c_str());
      return kFailed;
    }
    // The workers share the cores: each compresses on its share of them.
    std::vector<std::string> workerOptions = WorkerOptions(travelling);
    const int threads = std::max(1, cores / std::min<int>(jobs, int(files.size())));
    workerOptions.insert(workerOptions.end(), {"--threads", std::to_string(threads)});
    BatchSettings settings{workerOptions, jobs, !quiet && platform::StderrIsTerminal(), quiet, job.paramsFile,
                           job.recordFile};
    std::vector<FileResult> ran;
    status = RunBatch(settings, files, ran);
    results.insert(results.end(), ran.begin(), ran.end());
  } else {
    if (toFolder && !fs::is_directory(output, error) && !fs::create_directories(output, error)) {
      std::fprintf(stderr, "%s: cannot make the output folder\n", output.c_str());
      return kFailed;
    }
    const Outcome outcome =
        Filter(plugin, argv[0], acceptDamaged, fs::path(files[0].input).filename().string(), files[0].output,
               !quiet && !worker, worker, [&](runner::EntryProc entry, ProgressReport progress) {
                 return FilterFile(entry, job, files[0].input, files[0].output, worker ? ReportToBatch : progress);
               });
    status = outcome.status;
    results.push_back({files[0].input, files[0].output,
                       status == kSucceeded   ? FileResult::Written
                       : status == kCancelled ? FileResult::Cancelled
                                              : FileResult::Failed,
                       outcome.message, outcome.warning});
  }
  if (batch) PrintSummary(stderr, results);
  if (!reportFile.empty()) {
    if (std::string why = WriteReport(reportFile, results); !why.empty()) {
      std::fprintf(stderr, "%s: %s\n", reportFile.c_str(), why.c_str());
      if (status == kSucceeded) status = kFailed;
    }
  }
  return status;
}

}  // namespace
}  // namespace vantrel::cli

int main(int argc, char** argv) { return vantrel::cli::Run(argc, argv); }
