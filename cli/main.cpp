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
#include "core/settings.h"

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

// The tables of `which` (both when ""), each order marked when it takes
// every channel once; only those when `swapsOnly`.
void ListOrders(const std::string& which, bool swapsOnly) {
  for (int16 mode : {plugInModeRGBColor, plugInModeCMYKColor}) {
    const bool cmyk = mode == plugInModeCMYKColor;
    if (!which.empty() && which != (cmyk ? "cmyk" : "rgb")) continue;
    std::printf("%s orders (--order NAME or --order-index N; * takes each %s once):\n", cmyk ? "CMYK" : "RGB",
                cmyk ? "ink" : "channel");
    for (int16 i = 0; i < ChannelOrderCount(mode); ++i) {
      const bool swap = ChannelOrderTakesEachOnce(mode, i);
      if (swap || !swapsOnly) std::printf("%5d  %s%s\n", i, ChannelOrderName(mode, i), swap ? "  *" : "");
    }
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

// Everything the command line says, as parsed, and the options the checks
// ask about.
struct CommandLine {
  std::vector<std::string> inputs;
  std::string output, listOrders, blend, drive, plugin, paramsTo, inputsFrom, reportFile, sheet, shareText;
  std::string handleSizes;
  JobSettings job;
  SheetSettings sheetSettings;
  int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  int jobs = cores;
  bool quiet = false, worker = false, skipExisting = false, acceptDamaged = false, swapsOnly = false;
  bool windows = platform::ShowsDialogs();
  CLI::Option *list = nullptr, *sheetOption = nullptr;
  // The options a batch hands on to its workers, marked where they are
  // defined: a new filter or output setting travels by saying so there.
  std::vector<const CLI::Option*> travelling;

  CLI::Option* Travels(CLI::Option* option) {
    travelling.push_back(option);
    return option;
  }
  bool batch() const { return inputs.size() > 1; }
  bool folderNamed() const { return !output.empty() && (output.back() == '/' || output.back() == '\\'); }
};

// The options of each group of the help, everyday ones first, the expert
// ones after; each answers the options that others exclude.
struct Defined {
  CLI::Option *output, *noClobber, *orderName, *orderIndex, *blend, *exclude, *params, *quality, *compression;
  CLI::Option *shard, *skip, *report, *dialog, *record, *replay;
};

void DefineInputOutput(CLI::App& app, CommandLine& c, Defined& d) {
  const char* io = "Input and output";
  app.add_option("FILE", c.inputs, "Image files to filter: PNG, JPEG, TIFF and whatever else libvips\n"
                                   "reads (.vraw, the raw format of ours, too)")
      ->option_text("...")
      ->group(io);
  d.output = app.add_option("-o,--output", c.output,
                            "Output file, or folder (with several inputs a folder: each output\n"
                            "named as its input). The format follows the extension")
                 ->option_text("PATH")
                 ->group(io);
  app.add_option("--inputs-from", c.inputsFrom,
                 "Also filter the files named in LIST, one a line (\"-\": standard\n"
                 "input): more than a command line holds, e.g. from find")
      ->option_text("LIST")
      ->group(io);
  d.noClobber = c.Travels(app.add_flag("--no-clobber", c.job.noClobber,
                                       "Keep an output that is already there: that file fails (status 1)\n"
                                       "(default: it is replaced, whole, once the new one is complete)")
                              ->group(io));
  c.Travels(app.add_flag("--accept-damaged", c.acceptDamaged,
                         "Filter what can be read of a damaged or cut-short file, with a\n"
                         "warning naming it (default: such a file fails at the first sign of\n"
                         "damage, and nothing is written for it)")
                ->group(io));
  app.add_flag("-q,--quiet", c.quiet, "No progress bar, no names of written files, no notes")->group(io);
}

void DefineFilterSettings(CLI::App& app, CommandLine& c, Defined& d) {
  const char* filter = "Filter settings";
  const int rgb = ChannelOrderCount(plugInModeRGBColor), cmyk = ChannelOrderCount(plugInModeCMYKColor);
  d.orderName = c.Travels(
      app.add_option("--order", c.job.orderName, "Channel order by name, e.g. \"B R G\" (RGB) or \"K C M Y\" (CMYK)")
          ->option_text("NAME")
          ->group(filter));
  d.orderIndex = c.Travels(app.add_option("--order-index", c.job.orderIndex,
                                          "Channel order by its index in the table of the image's mode\n(0 to " +
                                              std::to_string(rgb - 1) + " for RGB, 0 to " + std::to_string(cmyk - 1) +
                                              " for CMYK)")
                               ->check(CLI::Range(0, std::max(rgb, cmyk) - 1))
                               ->excludes(d.orderName)
                               ->option_text("N")
                               ->group(filter));
  d.blend = c.Travels(app.add_option("--blend", c.blend,
                                     "Blend with the source: cross (checkerboard), mix (average), both,\n"
                                     "or none (the default)")
                          ->check(CLI::IsMember(std::vector<std::string>(kBlendMethodNames.begin(), kBlendMethodNames.end())))
                          ->option_text("METHOD")
                          ->group(filter));
  d.exclude = c.Travels(app.add_option("--exclude", c.job.cleared,
                                       "Clear channel N (1 to 3 for RGB; 1 to 4 for CMYK, its ink removed);\n"
                                       "0: none (the default)")
                            ->check(CLI::Range(kNoChannelCleared, int(kMaxOrderPlanes)))
                            ->option_text("N")
                            ->group(filter));
  d.params = app.add_option("--params", c.job.paramsFile,
                            "Keep the filter's settings in FILE between runs: read when present\n"
                            "(settings given here override them), written after a run")
                 ->option_text("FILE")
                 ->group(filter);
  c.list = app.add_option("--list-orders", c.listOrders,
                          "Print the tables of channel orders and their indexes, marking the\n"
                          "orders that take each channel once, and exit")
               ->expected(0, 1)
               ->check(CLI::IsMember({"rgb", "cmyk"}))
               ->option_text("[rgb|cmyk]")
               ->group(filter);
  app.add_flag("--swaps-only", c.swapsOnly,
               "With --list-orders or --contact-sheet: only the orders that take each\n"
               "channel once (true swaps, which lose nothing)")
      ->group(filter);
}

void DefineOutputFiles(CLI::App& app, CommandLine& c, Defined& d) {
  const char* format = "Output files";
  d.quality = c.Travels(app.add_option("--quality", c.job.save.quality,
                                       "JPEG quality, 1 to 100 (default: a JPEG input's own quality and\n"
                                       "chroma subsampling; else " +
                                           std::to_string(pictures::kDefaultJpegQuality) + ")")
                            ->check(CLI::Range(1, 100))
                            ->option_text("N")
                            ->group(format));
  d.compression = c.Travels(app.add_option("--compression", c.job.save.compression,
                                           "PNG: zlib level 0 to 9 (default 6);\nTIFF: " +
                                               pictures::TiffCompressionNames() + " (default none)")
                                ->option_text("C")
                                ->group(format));
  c.Travels(app.add_option("--depth", c.job.save.depth, "Bits per sample of the output: 8 or 16 (default: the input's)")
                ->check(CLI::IsMember({8, 16}))
                ->option_text("8|16")
                ->group(format));
}

void DefineBatches(CLI::App& app, CommandLine& c, Defined& d) {
  const char* batches = "Batches";
  app.add_option("-j,--jobs", c.jobs, "Worker processes of a batch (default: one per core)")
      ->check(CLI::Range(1, 256))
      ->option_text("N")
      ->group(batches);
  d.shard = app.add_option("--shard", c.shareText,
                           "Take only the K-th of N shares of the inputs (K from 1 to N), so\n"
                           "that N machines or jobs given the same inputs split them, each file\n"
                           "to exactly one share, whatever order each lists them in")
                ->check(CLI::Validator([](std::string& text) { Share s; return ParseShare(text, s); }, "K/N", "share"))
                ->option_text("K/N")
                ->group(batches);
  d.skip = app.add_flag("--skip-existing", c.skipExisting,
                        "Leave out inputs whose output is already there (outputs appear\n"
                        "under their name only when complete), so that a batch rerun after\n"
                        "a failure does only what is missing")
               ->group(batches);
  d.report = app.add_option("--report", c.reportFile,
                            "Write what came of every input to FILE, one JSON object a line:\n"
                            "input, output, status (written, skipped, failed, cancelled) and\n"
                            "message. The failed inputs again: jq -r 'select(.status ==\n"
                            "\"failed\") | .input' FILE | vantrel --inputs-from - ...")
                 ->option_text("FILE")
                 ->group(batches);
}

void DefineSheets(CLI::App& app, CommandLine& c) {
  const char* sheets = "Contact sheets";
  c.sheetOption = app.add_option("--contact-sheet", c.sheet,
                                 MakesContactSheets()
                                     ? "Write one image showing a thumbnail of the input (one file) under\n"
                                       "every channel order of its mode, each a run of the filter, labelled\n"
                                       "with its index and name, in table order; --blend and --exclude\n"
                                       "apply to every cell; CMYK cells are shown as RGB"
                                     : "Not in this build: contact sheets need the Linux build of vantrel (libvips)")
                      ->option_text("SHEET")
                      ->group(sheets);
  int16 swaps = 0;
  for (int16 i = 0; i < ChannelOrderCount(plugInModeCMYKColor); ++i) swaps += ChannelOrderTakesEachOnce(plugInModeCMYKColor, i);
  app.add_flag("--all-orders", c.sheetSettings.allOrders,
               "On a CMYK contact sheet, all " + std::to_string(ChannelOrderCount(plugInModeCMYKColor)) +
                   " orders (default: the " + std::to_string(swaps) + " that take\neach ink once)")
      ->needs(c.sheetOption)
      ->excludes("--swaps-only")
      ->group(sheets);
  app.add_option("--thumbnail-size", c.sheetSettings.thumbnailSize,
                 "The longest side of a contact sheet's thumbnails, in pixels\n"
                 "(default: what lets the sheet fit a screen of " + std::to_string(kScreenWidth) + " x " +
                     std::to_string(kScreenHeight) + ";\nnever larger than the input)")
      ->check(CLI::Range(8, 4096))
      ->needs(c.sheetOption)
      ->option_text("PIXELS")
      ->group(sheets);
}

void DefineExpert(CLI::App& app, CommandLine& c, Defined& d) {
  const char* expert = "Expert";
  // The dialog needs a window system: only the Windows build lists it.
  d.dialog = app.add_flag("--dialog", c.job.dialog,
                          "Show the plug-in's own dialog (one input) and filter with what is\n"
                          "chosen there instead of --order, --order-index, --blend and\n"
                          "--exclude. OK filters, Cancel writes nothing (status 130); with\n"
                          "--params the dialog starts from the kept block, which keeps the choice")
                 ->group(c.windows ? expert : "");
  if (c.windows) d.dialog->excludes(d.orderName, d.orderIndex, d.blend, d.exclude);
  const std::string most = std::to_string(kMostSide);
  c.Travels(app.add_option("--drive", c.drive,
                           std::string("How the image travels: classic (the default") +
                               (c.windows ? "; advance with --dialog" : "") +
                               "):\nbands of a few megabytes streamed from the input file through the\n"
                               "filter into the output, any size; or advance: the whole picture in\n"
                               "one request, as editors with a preview run it, at most " + most + " pixels\n"
                               "a side. Both give the same pixels")
                ->check(CLI::IsMember({"advance", "classic"}))
                ->option_text("classic|advance")
                ->group(expert));
  c.Travels(app.add_option("--max-space", c.job.maxSpace,
                           "Memory offered to the filter at prepare, in bytes: the filter then\n"
                           "chooses the band height (an odd one lays the Cross checkerboard band\n"
                           "by band; pictures beyond " + most + " pixels a side take it rounded up to\n"
                           "even). Default: bands of about 2 MB that the tool plans")
                ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}))
                ->option_text("BYTES")
                ->group(expert));
  d.record = app.add_option("--record", c.job.recordFile, "Write the scripting values the filter records to FILE")
                 ->option_text("FILE")
                 ->group(expert);
  d.replay = c.Travels(app.add_option("--replay", c.job.replayFile, "Hand the scripting values in FILE to the filter")
                           ->check(CLI::ExistingFile)
                           ->option_text("FILE")
                           ->group(expert));
  c.Travels(app.add_option("--plugin", c.plugin,
                           "Load the plug-in library at PATH instead of the built-in filter\n"
                           "(natively a shared library; on Windows a .8bf of the program's\n"
                           "bitness, by default the one beside the program)")
                ->option_text("PATH")
                ->group(expert));
  // Between a batch and its workers, and for tests.
  app.add_flag("--worker", c.worker, "")->group("");
  app.add_option("--threads", c.job.save.threads, "")->check(CLI::Range(1, 256))->group("");
  app.add_option("--params-to", c.paramsTo, "")->group("");
  c.Travels(app.add_option("--handle-sizes", c.handleSizes, "")
                ->check(CLI::IsMember({"honest", "zero", "negative"}))
                ->group(""));
}

// The tool's options, in the order the help lists them.
void DefineOptions(CLI::App& app, CommandLine& c) {
  app.formatter(std::make_shared<HelpLayout>());
  app.footer(std::string(kExamples) + (c.windows ? kWindowsExample : "") + kExitStatus);
  // Help and version are listed last; set again once the rest is in place.
  app.set_help_flag();
  Defined d{};
  DefineInputOutput(app, c, d);
  DefineFilterSettings(app, c, d);
  DefineOutputFiles(app, c, d);
  DefineBatches(app, c, d);
  DefineSheets(app, c);
  DefineExpert(app, c, d);
  c.sheetOption->excludes(d.output, d.orderName, d.orderIndex, d.dialog, d.params, d.record, d.replay, d.quality,
                          d.compression, d.shard, d.skip, d.noClobber, d.report);
  app.set_help_flag("-h,--help", "Print this help and exit")->group("Help");
  app.set_version_flag("--version", "vantrel " VANTREL_VERSION)->group("Help");
}

// The command line checked whole, before any file is read or written:
// "" or why it is refused.
std::string CheckCommandLine(CommandLine& c) {
  if (!c.inputsFrom.empty()) {
    if (std::string why = ReadInputList(c.inputsFrom, c.inputs); !why.empty()) return c.inputsFrom + ": " + why;
  }
  const bool sheet = c.sheetOption->count() > 0;
  if (sheet && !MakesContactSheets()) return "--contact-sheet needs the Linux build of vantrel (libvips); this build has none";
  if (sheet && c.inputs.size() != 1) return "--contact-sheet shows one input file";
  if (c.job.dialog && c.batch()) return "--dialog filters one file; run it on one, then the batch with --params";
  if (c.job.dialog && !c.windows)
    return "--dialog needs the Windows build (vantrel.exe), where the dialog has a screen";
  if (c.inputs.empty() || (c.output.empty() && c.sheet.empty()))
    return "give one or more input files and -o OUTPUT (see --help)";
  const JobSettings& job = c.job;
  if (!job.orderName.empty() && ChannelOrderNamed(plugInModeRGBColor, job.orderName) < 0 &&
      ChannelOrderNamed(plugInModeCMYKColor, job.orderName) < 0)
    return "--order \"" + job.orderName +
           "\" is not a channel order: names are the planes' letters with spaces, e.g. \"B G R\" or "
           "\"K C M Y\" (vantrel --list-orders shows them all)";
  const bool orderGiven = !job.orderName.empty() || job.orderIndex || job.cleared.value_or(kNoChannelCleared) > 0 ||
                          !job.paramsFile.empty() || !job.replayFile.empty() || job.dialog || !c.sheet.empty();
  if (!orderGiven)
    return "no channel order given, so every output would equal its input: choose one with --order "
           "\"B G R\" or --order-index N (vantrel --list-orders shows them), or keep one with --params FILE";
  std::error_code error;
  if (c.batch() && !c.folderNamed() &&
      (fs::exists(c.output, error) ? !fs::is_directory(c.output, error) : !pictures::Extension(c.output).empty()))
    return "-o " + c.output + ": " + std::to_string(c.inputs.size()) +
           " inputs are written into a folder, each under its own name; give one (e.g. -o out/)";
  return "";
}

// The settings of every run, from the options as given.
void SettleJob(CommandLine& c) {
  JobSettings& job = c.job;
  job.paramsOut = c.paramsTo;
  // The dialog's preview needs the whole picture at hand.
  job.drive = c.drive == "advance" || (c.drive.empty() && job.dialog) ? Drive::Advance : Drive::Classic;
  if (!c.blend.empty()) job.blend = BlendMethodNamed(c.blend);
  static const std::map<std::string, runner::HandleHabits::Size> sizes = {
      {"", runner::HandleHabits::Size::Honest},
      {"honest", runner::HandleHabits::Size::Honest},
      {"zero", runner::HandleHabits::Size::Zero},
      {"negative", runner::HandleHabits::Size::Negative}};
  job.handleSizes = sizes.at(c.handleSizes);
}

// Where each input goes: into the folder -o names, for a batch or a list
// that names one file, else to -o itself. "" or why the plan is refused.
std::string PlanOutputs(CommandLine& c, std::vector<BatchFile>& files) {
  std::error_code error;
  if (c.batch() || c.folderNamed()) {
    std::map<std::string, std::string> claimed;  // output name -> the input that writes it
    for (const std::string& in : c.inputs) {
      files.push_back({in, (fs::path(c.output) / fs::path(in).filename()).string()});
      if (auto [it, fresh] = claimed.emplace(files.back().output, in); !fresh)
        return it->first + ": " + in + " would be written there too; give inputs of different names";
    }
  } else {
    std::string output = c.output;
    if (fs::is_directory(output, error)) output = (fs::path(output) / fs::path(c.inputs[0]).filename()).string();
    files.push_back({c.inputs[0], output});
  }
  return "";
}

// Options that the outputs' formats do not take, and an index that names
// two orders, are said once, before any work.
void SayNotes(const CommandLine& c, const std::vector<BatchFile>& files) {
  const JobSettings& job = c.job;
  if (job.save.quality >= 0) {
    if (std::string others = NotFor(files, {".jpg", ".jpeg", ".jpe"}); !others.empty())
      std::fprintf(stderr, "vantrel: note: --quality is for JPEG output; it does nothing to %s\n", others.c_str());
  }
  if (!job.save.compression.empty()) {
    if (std::string others = NotFor(files, {".png", ".tif", ".tiff"}); !others.empty())
      std::fprintf(stderr, "vantrel: note: --compression is for PNG and TIFF output; it does nothing to %s\n",
                   others.c_str());
  }
  if (!job.orderIndex || !c.batch() || c.quiet) return;
  const int16 index = int16(*job.orderIndex);
  const int16 rgb = ChannelOrderCount(plugInModeRGBColor);
  if (index < rgb)
    std::fprintf(stderr, "vantrel: note: --order-index %d is \"%s\" for RGB files and \"%s\" for CMYK files\n", index,
                 ChannelOrderName(plugInModeRGBColor, index), ChannelOrderName(plugInModeCMYKColor, index));
  else
    std::fprintf(stderr, "vantrel: note: --order-index %d is \"%s\" for CMYK files; RGB files have %d orders and fail\n",
                 index, ChannelOrderName(plugInModeCMYKColor, index), rgb);
}

// Leaves out the inputs of other shares and those already done; answers
// the latter as skipped.
std::vector<FileResult> LeaveOut(const CommandLine& c, std::vector<BatchFile>& files) {
  std::vector<FileResult> results;
  if (!c.shareText.empty()) {
    Share share;
    ParseShare(c.shareText, share);
    std::erase_if(files, [&](const BatchFile& f) {
      return ShareOf(fs::path(f.output).filename().string(), share.count) != share.index;
    });
    if (!c.quiet)
      std::fprintf(stderr, "share %d/%d: %zu of %zu inputs\n", share.index, share.count, files.size(), c.inputs.size());
  }
  if (c.skipExisting) {
    std::erase_if(files, [&](const BatchFile& f) {
      if (!OutputDone(f.output)) return false;
      results.push_back({f.input, f.output, FileResult::Skipped, "", ""});
      return true;
    });
    if (!c.quiet && !results.empty())
      std::fprintf(stderr, "%zu of %zu inputs left out: their outputs are there\n", results.size(),
                   results.size() + files.size());
  }
  return results;
}

// Makes the folder -o names when it is not there; false, said, when it
// cannot be made.
bool MakeOutputFolder(const std::string& folder) {
  std::error_code error;
  if (fs::is_directory(folder, error) || fs::create_directories(folder, error)) return true;
  std::fprintf(stderr, "%s: cannot make the output folder\n", folder.c_str());
  return false;
}

// Filters the files by worker processes, or the one file here; adds what
// came of each to `results` and answers the exit status.
int FilterFiles(const CommandLine& c, const char* programPath, const std::vector<BatchFile>& files,
                std::vector<FileResult>& results) {
  if (files.empty()) return kSucceeded;
  if (c.batch()) {
    if (!MakeOutputFolder(c.output)) return kFailed;
    // The workers share the cores: each compresses on its share of them.
    std::vector<std::string> workerOptions = WorkerOptions(c.travelling);
    const int threads = std::max(1, c.cores / std::min<int>(c.jobs, int(files.size())));
    workerOptions.insert(workerOptions.end(), {"--threads", std::to_string(threads)});
    BatchSettings settings{workerOptions, c.jobs, !c.quiet && platform::StderrIsTerminal(), c.quiet, c.job.paramsFile,
                           c.job.recordFile};
    std::vector<FileResult> ran;
    const int status = RunBatch(settings, files, ran);
    results.insert(results.end(), ran.begin(), ran.end());
    return status;
  }
  if (c.folderNamed() && !MakeOutputFolder(c.output)) return kFailed;
  const BatchFile& file = files[0];
  const Outcome outcome =
      Filter(c.plugin, programPath, c.acceptDamaged, fs::path(file.input).filename().string(), file.output,
             !c.quiet && !c.worker, c.worker, [&](runner::EntryProc entry, ProgressReport progress) {
               return FilterFile(entry, c.job, file.input, file.output, c.worker ? ReportToBatch : progress);
             });
  results.push_back({file.input, file.output,
                     outcome.status == kSucceeded   ? FileResult::Written
                     : outcome.status == kCancelled ? FileResult::Cancelled
                                                    : FileResult::Failed,
                     outcome.message, outcome.warning});
  return outcome.status;
}

// Makes the contact sheet the command line asks for; answers the exit status.
int MakeSheet(CommandLine& c, const char* programPath) {
  c.sheetSettings.job = c.job;
  return Filter(c.plugin, programPath, c.acceptDamaged, fs::path(c.sheet).filename().string(), c.sheet, !c.quiet, false,
                [&](runner::EntryProc entry, ProgressReport progress) {
                  return MakeContactSheet(entry, c.sheetSettings, c.inputs[0], c.sheet, progress);
                })
      .status;
}

// Says what came of a batch, writes the report asked for, and answers the
// exit status.
int Conclude(const CommandLine& c, const std::vector<FileResult>& results, int status) {
  if (c.batch()) PrintSummary(stderr, results);
  if (c.reportFile.empty()) return status;
  if (std::string why = WriteReport(c.reportFile, results); !why.empty()) {
    std::fprintf(stderr, "%s: %s\n", c.reportFile.c_str(), why.c_str());
    if (status == kSucceeded) status = kFailed;
  }
  return status;
}

int Run(int argc, char** argv) {
  CLI::App app(kDescription, "vantrel");
  CommandLine c;
  DefineOptions(app, c);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kSucceeded : kBadCommandLine;
  }
  if (c.list->count() > 0) {
    ListOrders(c.listOrders, c.swapsOnly);
    return kSucceeded;
  }
  if (c.swapsOnly && c.sheet.empty()) return BadCommandLine("--swaps-only goes with --list-orders or --contact-sheet");
  c.sheetSettings.swapsOnly = c.swapsOnly;
  if (std::string why = CheckCommandLine(c); !why.empty()) return BadCommandLine(why);
  SettleJob(c);
  platform::CatchInterrupt();
  if (!c.sheet.empty()) return MakeSheet(c, argv[0]);
  std::vector<BatchFile> files;
  if (std::string why = PlanOutputs(c, files); !why.empty()) return BadCommandLine(why);
  SayNotes(c, files);
  std::vector<FileResult> results = LeaveOut(c, files);
  const int status = FilterFiles(c, argv[0], files, results);
  return Conclude(c, results, status);
}

}  // namespace
}  // namespace vantrel::cli

int main(int argc, char** argv) { return vantrel::cli::Run(argc, argv); }
