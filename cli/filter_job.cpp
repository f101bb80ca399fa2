#include "cli/filter_job.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "cli/host_state.h"
#include "cli/platform.h"
#include "cli/tiled_run.h"
#include "core/channel_orders.h"
#include "core/parameters.h"
#include "core/results.h"
#include "core/settings.h"
#include "runner/host.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

ProgressReport g_progress = nullptr;

constexpr const char* kKeptOutput = "already there; not replaced (--no-clobber)";

Boolean StopWhenInterrupted() { return platform::Interrupted() ? 1 : 0; }

void ReportProgress(int32 done, int32 total) {
  if (g_progress != nullptr) g_progress(done, total);
}

const char* ModeName(int16 mode) { return host::CmykMode(mode) ? "CMYK" : "RGB"; }

// What the settings choose for a picture of `mode`: the table row they name
// (none: the block's is kept), or why they name none.
struct OrderFor {
  std::optional<int16> row;
  std::string why;
};
OrderFor OrderRow(const JobSettings& settings, int16 mode) {
  const int16 count = ChannelOrderCount(mode);
  const std::string hint = std::string(" (see --list-orders ") + (host::CmykMode(mode) ? "cmyk)" : "rgb)");
  if (!settings.orderName.empty()) {
    if (const int16 row = ChannelOrderNamed(mode, settings.orderName); row >= 0) return {row, ""};
    return {std::nullopt, "order \"" + settings.orderName + "\" is not one of the " + std::to_string(count) + " " +
                              ModeName(mode) + " orders" + hint};
  }
  if (settings.orderIndex && *settings.orderIndex >= count)
    return {std::nullopt, "order index " + std::to_string(*settings.orderIndex) + " is outside the " +
                              ModeName(mode) + " table, 0 to " + std::to_string(count - 1) + hint};
  if (settings.orderIndex) return {int16(*settings.orderIndex), ""};
  return {};
}

// The band height the tool has the classic drive use for a picture
// `width` by `height` of `pixelBytes` a pixel: even, so that every band
// starts on an even row and the Cross checkerboard lies as in one request
// for the whole picture; 0 leaves it to the filter, when the memory offer
// is the user's.
int PlannedBands(const JobSettings& settings, int width, int height, std::size_t pixelBytes) {
  if (settings.drive != Drive::Classic || settings.maxSpace > 0) return 0;
  return PlanBandRows(width, height, pixelBytes, settings.bandBytes > 0 ? std::size_t(settings.bandBytes) : kBandBytes);
}

// Writes the settings into the block the way the filter lays it out, with
// the dialog not requested, and the band height when the tool plans it:
// the block's height is the drive's state, which prepare only ever grows.
void WriteSettings(FilterParameters* block, const JobSettings& settings, std::optional<int16> order, int bandRows) {
  if (bandRows > 0) block->bandRows = int16(bandRows);
  block->showDialog = 0;
  ApplyChoice(*block, {order, settings.blend, settings.cleared});
}

// Hands the host a block kept from an earlier run, as a host restores one.
void RestoreBlock(runner::Host& host, const std::vector<char>& bytes) {
  Handle h = host.NewHandle(int32(bytes.size()));
  std::memcpy(*h, bytes.data(), bytes.size());
  host.record().parameters = h;
}

// The warning for an output written without what its format's library
// refused of the input's metadata, or "".
std::string LeftOutWarning(const std::string& output, const std::string& leftOut) {
  return leftOut.empty() ? "" : output + ": warning: written without " + leftOut;
}

std::string RunMessage(OSErr result) { return "the filter failed: " + ResultText(result); }

// Puts the file written at `temporary` in place as `output`, and then the
// files kept beside it (`kept`, written already), or removes them all when
// `why` says the output failed or the run was cancelled: nothing of them
// remains unless the whole output was written, and an output in place has
// its kept files beside it.
Outcome PlaceOutput(const std::string& temporary, const std::string& output, bool replace, std::string why,
                    const std::vector<StagedFile>& kept) {
  std::error_code ignored;
  if (why.empty() && platform::Interrupted()) {
    fs::remove(temporary, ignored);
    DiscardStaged(kept);
    return {kCancelled, output + ": cancelled; nothing written"};
  }
  // On the disk before it has its name: a file under the output's name is
  // always a whole one, which is what reruns that leave out existing
  // outputs rely on.
  if (why.empty()) {
    if (const std::string flush = platform::FlushToDisk(temporary); !flush.empty())
      why = "cannot write the file to the disk (" + flush + ")";
  }
  if (why.empty() && replace) {
    std::error_code error;
    fs::rename(temporary, output, error);
    if (error) why = "cannot put the file in place (" + error.message() + ")";
  }
  if (why.empty() && !replace) {
    if (std::string placed = platform::RenameWithoutReplacing(temporary, output); placed == "already there")
      why = kKeptOutput;
    else if (!placed.empty())
      why = "cannot put the file in place (" + placed + ")";
  }
  if (!why.empty()) {
    fs::remove(temporary, ignored);
    DiscardStaged(kept);
    return {kFailed, output + ": " + why};
  }
  if (std::string placed = PlaceStaged(kept); !placed.empty()) return {kFailed, placed};
  return {};
}

// The table row the settings name for `mode`, checked with the channel to
// clear against the image; false with `outcome` naming `input` when they do
// not fit the image.
bool CheckedOrder(const JobSettings& settings, int16 mode, const std::string& input, std::optional<int16>& order,
                  Outcome& outcome) {
  OrderFor chosen = OrderRow(settings, mode);
  if (!chosen.why.empty()) {
    outcome = {kFailed, input + ": " + chosen.why};
    return false;
  }
  const int colour = host::ColourPlanes(mode);
  if (settings.cleared && *settings.cleared > colour) {
    outcome = {kFailed, input + ": channel " + std::to_string(*settings.cleared) + " cannot be excluded from an " +
                            ModeName(mode) + " image (1 to " + std::to_string(colour) + ")"};
    return false;
  }
  order = chosen.row;
  return true;
}

// Readies `host` for a run through the entry point as an editor runs the
// filter: a block kept from an earlier run handed back, the settings
// written into the block before start (with the band height, when planned)
// or the user left to the filter's dialog, Ctrl-C through the host's abort
// callback.
void PrepareHost(runner::Host& host, const JobSettings& settings, std::optional<int16> order, int bandRows,
                 const std::vector<char>& stored, const runner::Descriptor* replay) {
  FilterRecord& record = host.record();
  record.abortProc = StopWhenInterrupted;
  runner::HostHabits habits = host.habits();
  habits.handles.size = settings.handleSizes;
  host.SetHabits(habits);
  // A host without displayPixels gets the classic band protocol.
  host.OfferDisplayPixels(settings.drive == Drive::Advance);
  if (settings.maxSpace > 0) record.maxSpace = int32(settings.maxSpace);
  if (!stored.empty()) RestoreBlock(host, stored);
  if (replay != nullptr) {
    host.SetDescriptor(*replay);
    host.SetPlayInfo(settings.dialog ? plugInDialogDisplay : plugInDialogDontDisplay);
  }
  if (settings.dialog) {
    // As when the user asks for the filter's dialog: the parameters selector
    // first, and at start the dialog, left to the person at the screen.
    host.LeaveDialogsToPerson(true);
  } else {
    // Once the filter has made (or been given) its block, the settings go in.
    host.BeforeStart([&host, &settings, order, bandRows] {
      if (FilterParameters* block = ParametersOf(&host.record())) WriteSettings(block, settings, order, bandRows);
    });
  }
}

// One run over the image `host` holds, with the progress through the
// host's callback. Answers the run's result.
OSErr RunOnce(runner::Host& host, const JobSettings& settings, std::optional<int16> order, const std::vector<char>& stored,
              const runner::Descriptor* replay, ProgressReport progress) {
  const runner::Image& image = host.source();
  PrepareHost(host, settings, order, PlannedBands(settings, image.width, image.height, image.PixelBytes()), stored,
              replay);
  g_progress = progress;
  host.record().progressProc = ReportProgress;
  const OSErr result = host.RunFilter(settings.dialog);
  g_progress = nullptr;
  return result;
}

// What a job reads before it filters: the kept block and the scripting
// values to hand over. Answers "" or the failure, naming the file.
std::string ReadKept(const JobSettings& settings, std::vector<char>& stored, runner::Descriptor& replay) {
  std::error_code noFile;
  if (!settings.paramsFile.empty() && fs::exists(settings.paramsFile, noFile)) {
    if (std::string why = ReadParameterBlock(settings.paramsFile, stored); !why.empty())
      return settings.paramsFile + ": " + why;
  }
  if (!settings.replayFile.empty()) {
    if (std::string why = ReadDescriptorFile(settings.replayFile, replay); !why.empty())
      return settings.replayFile + ": " + why;
  }
  return "";
}

// What a job keeps after it: the block `host` holds and the values the
// filter recorded, where the settings ask for them, written beside their
// names into `kept`, to be put in place with the output. On failure nothing
// is staged.
Outcome StageKept(const JobSettings& settings, runner::Host& host, std::vector<StagedFile>& kept) {
  const std::string paramsOut = settings.paramsOut.empty() ? settings.paramsFile : settings.paramsOut;
  // Kept only when it is a whole block of ours.
  const auto* block = reinterpret_cast<const char*>(ParametersOf(&host.record()));
  std::vector<std::pair<std::string, std::string>> files;
  if (!paramsOut.empty() && block != nullptr)
    files.emplace_back(paramsOut, std::string(block, block + sizeof(FilterParameters)));
  if (!settings.recordFile.empty()) files.emplace_back(settings.recordFile, DescriptorText(host.writtenDescriptor()));
  for (const auto& [path, contents] : files) {
    StagedFile staged;
    if (std::string why = StageFile(path, contents, staged); !why.empty()) {
      DiscardStaged(kept);
      kept.clear();
      return {kFailed, path + ": " + why};
    }
    kept.push_back(staged);
  }
  return {};
}

// What a run's result means for the file.
Outcome RunOutcome(OSErr result, const JobSettings& settings, const std::string& input, runner::Host* host) {
  // With the dialog shown, the filter also answers so when the user cancels it.
  if (result == userCanceledErr && (settings.dialog || platform::Interrupted()))
    return {kCancelled, input + ": cancelled; nothing written"};
  if (result != noErr) return {kFailed, input + ": " + RunMessage(result)};
  if (!settings.recordFile.empty() && (host == nullptr || !host->descriptorWritten()))
    return {kFailed, settings.recordFile + ": the filter recorded no values"};
  return {};
}

// The picture held whole: read, filtered by one run, written.
Outcome FilterHeld(runner::EntryProc entry, const JobSettings& settings, const std::string& input,
                   const std::string& output, ProgressReport progress) {
  pictures::Picture picture;
  if (std::string why = pictures::ReadPicture(input, picture); !why.empty()) return {kFailed, input + ": " + why};
  Outcome checked;
  std::optional<int16> order;
  if (!CheckedOrder(settings, picture.imageMode, input, order, checked)) return checked;
  if (std::string why = pictures::CheckWritable(picture, output, settings.save); !why.empty())
    return {kFailed, output + ": " + why};
  std::vector<char> stored;
  runner::Descriptor replay;
  if (std::string why = ReadKept(settings, stored, replay); !why.empty()) return {kFailed, why};

  runner::Host host(entry);
  host.SetImage(std::move(picture.pixels), picture.imageMode);
  const OSErr result =
      RunOnce(host, settings, order, stored, settings.replayFile.empty() ? nullptr : &replay, progress);
  if (Outcome ran = RunOutcome(result, settings, input, &host); ran.status != kSucceeded) return ran;
  const std::string temporary = TemporaryBeside(output);
  std::shared_ptr<void> flushing = platform::FlushWhileWriting(temporary);
  std::string leftOut;
  const std::string why = pictures::WritePicture(picture, host.destination(), temporary, settings.save, &leftOut);
  flushing.reset();
  std::vector<StagedFile> kept;
  if (why.empty()) {
    if (Outcome staged = StageKept(settings, host, kept); staged.status != kSucceeded) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return staged;
    }
  }
  Outcome placed = PlaceOutput(temporary, output, !settings.noClobber, why, kept);
  if (placed.status == kSucceeded) placed.warning = LeftOutWarning(output, leftOut);
  return placed;
}

// The band height the filter makes of the memory offered for a picture
// like the first tile of `plan`, made even: pictures in tiles need one.
int OfferedBands(runner::EntryProc entry, const JobSettings& settings, const pictures::PictureInfo& info,
                 const TilePlan& plan, const std::vector<char>& stored) {
  runner::Host host(entry);
  runner::Image shape;
  shape.width = int16(plan.columns.front().size);
  shape.height = int16(plan.rows.front().size);
  shape.planes = info.planes;
  shape.sampleBytes = host::SampleBytes(info.imageMode);
  host.SetImage(std::move(shape), info.imageMode);
  host.record().maxSpace = int32(settings.maxSpace);
  if (!stored.empty()) RestoreBlock(host, stored);
  host.Call(filterSelectorPrepare);
  const FilterParameters* block = ParametersOf(&host.record());
  const int rows = block != nullptr ? block->bandRows : 1;
  return std::clamp(rows + rows % 2, 2, kTileSide - 1);
}

// The picture streamed: read, filtered and written a band at a time, in
// tiles when it is larger than a request can be.
Outcome FilterStreamed(runner::EntryProc entry, const JobSettings& settings, const std::string& input,
                       const std::string& output, ProgressReport progress) {
  pictures::PictureInfo info;
  std::unique_ptr<pictures::RowReader> reader;
  if (std::string why = pictures::OpenRows(input, info, reader); !why.empty()) return {kFailed, input + ": " + why};
  if (std::string why = pictures::CheckWritable(info, output, settings.save); !why.empty())
    return {kFailed, output + ": " + why};
  const std::string temporary = TemporaryBeside(output);
  std::unique_ptr<pictures::RowWriter> writer;
  Outcome outcome;
  std::unique_ptr<runner::Host> last;
  std::shared_ptr<void> flushing;
  if (std::string why = pictures::CreateRows(info, temporary, settings.save, writer); !why.empty()) {
    outcome = {kFailed, output + ": " + why};
  } else {
    flushing = platform::FlushWhileWriting(temporary);
    outcome = FilterRows(entry, settings, info, *reader, *writer, input, output, progress, last);
  }
  reader.reset();  // the decoder stops where it is
  const std::string leftOut = writer != nullptr ? writer->LeftOut() : "";
  writer.reset();  // a writer not finished stops here
  flushing.reset();
  std::vector<StagedFile> kept;
  if (outcome.status == kSucceeded) outcome = StageKept(settings, *last, kept);
  if (outcome.status != kSucceeded) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return outcome;
  }
  Outcome placed = PlaceOutput(temporary, output, !settings.noClobber, "", kept);
  if (placed.status == kSucceeded) placed.warning = LeftOutWarning(output, leftOut);
  return placed;
}

}  // namespace

Outcome FilterRows(runner::EntryProc entry, const JobSettings& settings, const pictures::PictureInfo& info,
                   pictures::RowReader& reader, pictures::RowWriter& writer, const std::string& input,
                   const std::string& output, ProgressReport progress, std::unique_ptr<runner::Host>& last) {
  Outcome checked;
  std::optional<int16> order;
  if (!CheckedOrder(settings, info.imageMode, input, order, checked)) return checked;
  const std::size_t pixelBytes = std::size_t(info.planes) * std::size_t(host::SampleBytes(info.imageMode));
  int bandRows = PlannedBands(settings, info.width, info.height, pixelBytes);
  TilePlan plan = PlanTiles(info.width, info.height, bandRows);
  if (plan.columns.size() > std::size_t(kMostTileColumns))
    return {kFailed, input + ": " + std::to_string(info.width) + " pixels wide; the tool takes at most " +
                         std::to_string(kMostTileColumns * (kTileSide - 1))};
  std::vector<char> stored;
  runner::Descriptor replay;
  if (std::string why = ReadKept(settings, stored, replay); !why.empty()) return {kFailed, why};
  const runner::Descriptor* replayed = settings.replayFile.empty() ? nullptr : &replay;
  if (bandRows == 0 && plan.columns.size() * plan.rows.size() > 1) {
    bandRows = OfferedBands(entry, settings, info, plan, stored);
    plan = PlanTiles(info.width, info.height, bandRows);
  }

  TiledRun run(
      entry, info, [&](runner::Host& host) { PrepareHost(host, settings, order, bandRows, stored, replayed); },
      [progress](int done, int total) {
        if (progress != nullptr) progress(done - 1, total);
      });
  std::string reading, writing;
  const OSErr result = run.Run(plan, reader, writer, reading, writing);
  if (result == noErr && writing.empty()) writing = writer.Finish();
  if (!reading.empty()) return {kFailed, input + ": " + reading};
  if (!writing.empty()) return {kFailed, output + ": " + writing};
  Outcome outcome = RunOutcome(result, settings, input, run.lastHost());
  last = run.TakeLastHost();
  return outcome;
}

Outcome FilterPixels(runner::EntryProc entry, const JobSettings& settings, const pictures::Picture& picture,
                     const std::string& name, runner::Image& filtered) {
  Outcome outcome;
  std::optional<int16> order;
  if (!CheckedOrder(settings, picture.imageMode, name, order, outcome)) return outcome;
  runner::Host host(entry);
  host.SetImage(picture.pixels, picture.imageMode);
  const OSErr result = RunOnce(host, settings, order, {}, nullptr, nullptr);
  if (result == userCanceledErr && platform::Interrupted()) return {kCancelled, name + ": cancelled"};
  if (result != noErr) return {kFailed, name + ": " + RunMessage(result)};
  filtered = host.destination();
  return {};
}

Outcome FilterFile(runner::EntryProc entry, const JobSettings& settings, const std::string& input,
                   const std::string& output, ProgressReport progress) {
  std::error_code error;
  if (!fs::is_regular_file(input, error)) return {kFailed, input + ": no such file"};
  if (fs::exists(output, error) && fs::equivalent(input, output, error))
    return {kFailed, output + ": is the input file; choose another output"};
  const fs::path folder = fs::path(output).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, error)) return {kFailed, output + ": no such folder"};
  if (settings.noClobber && fs::exists(fs::symlink_status(output, error))) return {kFailed, output + ": " + kKeptOutput};
  // The dialog's preview asks for any part of the picture at any time.
  Outcome outcome = settings.drive == Drive::Advance || settings.dialog
                        ? FilterHeld(entry, settings, input, output, progress)
                        : FilterStreamed(entry, settings, input, output, progress);
  // Warnings matter only for a file that was written: a failure says why.
  if (std::string warned = pictures::TakeWarnings(); !warned.empty() && outcome.status == kSucceeded)
    outcome.warning = input + ": warning: " + warned + (outcome.warning.empty() ? "" : "; " + outcome.warning);
  return outcome;
}

}  // namespace vantrel::cli
