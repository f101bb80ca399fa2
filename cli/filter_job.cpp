#include "cli/filter_job.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "cli/host_state.h"
#include "cli/platform.h"
#include "core/channel_orders.h"
#include "core/parameters.h"
#include "runner/host.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

ProgressReport g_progress = nullptr;

Boolean StopWhenInterrupted() { return platform::Interrupted() ? 1 : 0; }

void ReportProgress(int32 done, int32 total) {
  if (g_progress != nullptr) g_progress(done, total);
}

const char* ModeName(int16 mode) { return CmykMode(mode) ? "CMYK" : "RGB"; }

std::string Compact(const std::string& name) {
  std::string s;
  for (char c : name)
    if (!std::isspace(static_cast<unsigned char>(c))) s += char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The table row the settings name for `mode`, -1 when they keep the block's,
// or -2 with `why` set.
int OrderRow(const JobSettings& settings, int16 mode, std::string& why) {
  const int16 count = ChannelOrderCount(mode);
  const std::string hint = std::string(" (see --list-orders ") + (CmykMode(mode) ? "cmyk)" : "rgb)");
  if (!settings.orderName.empty()) {
    for (int16 i = 0; i < count; ++i)
      if (Compact(ChannelOrderName(mode, i)) == Compact(settings.orderName)) return i;
    why = "order \"" + settings.orderName + "\" is not one of the " + std::to_string(count) + " " + ModeName(mode) +
          " orders" + hint;
    return -2;
  }
  if (settings.orderIndex >= count) {
    why = "order index " + std::to_string(settings.orderIndex) + " is outside the " + ModeName(mode) + " table, 0 to " +
          std::to_string(count - 1) + hint;
    return -2;
  }
  return settings.orderIndex;
}

// Writes the settings into the block the way the filter lays it out, with
// the dialog not requested.
void WriteSettings(FilterParameters* block, const JobSettings& settings, int order) {
  block->showDialog = 0;
  if (order >= 0) block->orderIndex = int16(order);
  if (settings.blend != Blend::Keep) {
    block->blendEnabled = settings.blend != Blend::None;
    block->blendCross = settings.blend == Blend::Cross || settings.blend == Blend::Both;
    block->blendMix = settings.blend == Blend::Mix || settings.blend == Blend::Both;
  }
  if (settings.exclude >= 0) {
    block->excludeEnabled = settings.exclude > 0;
    if (settings.exclude > 0) block->excludedChannel = int16(settings.exclude);
  }
}

// Hands the host a block kept from an earlier run, as a host restores one.
void RestoreBlock(runner::Host& host, const std::vector<char>& bytes) {
  Handle h = host.NewHandle(int32(bytes.size()));
  std::memcpy(*h, bytes.data(), bytes.size());
  host.record().parameters = h;
}

std::string RunMessage(OSErr result) {
  return "the filter failed (result " + std::to_string(result) + ")";
}

// Writes the output through a temporary file beside it; nothing of it
// remains unless the whole file was written and the run was not cancelled.
Outcome WriteOutput(const Picture& picture, const runner::Image& pixels, const std::string& output,
                    const SaveOptions& save) {
  const std::string temporary = TemporaryBeside(output);
  std::string why = WritePicture(picture, pixels, temporary, save);
  std::error_code ignored;
  if (why.empty() && platform::Interrupted()) {
    fs::remove(temporary, ignored);
    return {kCancelled, output + ": cancelled; nothing written"};
  }
  // On the disk before it has its name: a file under the output's name is
  // always a whole one, which is what reruns that leave out existing
  // outputs rely on.
  if (why.empty()) {
    if (const std::string flush = platform::FlushToDisk(temporary); !flush.empty())
      why = "cannot write the file to the disk (" + flush + ")";
  }
  if (why.empty()) {
    std::error_code error;
    fs::rename(temporary, output, error);
    if (error) why = "cannot put the file in place (" + error.message() + ")";
  }
  if (!why.empty()) {
    fs::remove(temporary, ignored);
    return {kFailed, output + ": " + why};
  }
  return {};
}

// The table row the settings name for `mode`, checked with the channel to
// clear against the image: -1 keeps the block's row; on failure `outcome`
// names `input`.
int CheckedOrder(const JobSettings& settings, int16 mode, const std::string& input, Outcome& outcome) {
  std::string why;
  const int order = OrderRow(settings, mode, why);
  if (order == -2) {
    outcome = {kFailed, input + ": " + why};
    return -2;
  }
  const int colour = ColourPlanes(mode);
  if (settings.exclude > colour) {
    outcome = {kFailed, input + ": channel " + std::to_string(settings.exclude) + " cannot be excluded from an " +
                            ModeName(mode) + " image (1 to " + std::to_string(colour) + ")"};
    return -2;
  }
  return order;
}

// One run through the entry point over the image `host` holds, as an editor
// runs the filter: a block kept from an earlier run handed back, the
// settings written into the block before start or the user left to the
// filter's dialog, the progress and Ctrl-C through the host's callbacks.
// Answers the run's result.
OSErr RunOnce(runner::Host& host, const JobSettings& settings, int order, const std::vector<char>& stored,
              const runner::Descriptor* replay, ProgressReport progress) {
  FilterRecord& record = host.record();
  record.abortProc = StopWhenInterrupted;
  g_progress = progress;
  record.progressProc = ReportProgress;
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
    host.BeforeStart([&host, &settings, order] {
      if (FilterParameters* block = ParametersOf(&host.record())) WriteSettings(block, settings, order);
    });
  }
  const OSErr result = host.RunFilter(settings.dialog);
  g_progress = nullptr;
  return result;
}

}  // namespace

Outcome FilterPixels(runner::EntryProc entry, const JobSettings& settings, const Picture& picture,
                     const std::string& name, runner::Image& filtered) {
  Outcome outcome;
  const int order = CheckedOrder(settings, picture.imageMode, name, outcome);
  if (order == -2) return outcome;
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

  Picture picture;
  if (std::string why = ReadPicture(input, picture); !why.empty()) return {kFailed, input + ": " + why};
  Outcome checked;
  const int order = CheckedOrder(settings, picture.imageMode, input, checked);
  if (order == -2) return checked;
  std::string why;
  if (why = CheckWritable(picture, output, settings.save); !why.empty()) return {kFailed, output + ": " + why};

  std::vector<char> stored;
  std::error_code noFile;
  if (!settings.paramsFile.empty() && fs::exists(settings.paramsFile, noFile)) {
    if (why = ReadParameterBlock(settings.paramsFile, stored); !why.empty())
      return {kFailed, settings.paramsFile + ": " + why};
  }
  runner::Descriptor replay;
  if (!settings.replayFile.empty()) {
    if (why = ReadDescriptorFile(settings.replayFile, replay); !why.empty())
      return {kFailed, settings.replayFile + ": " + why};
  }

  runner::Host host(entry);
  host.SetImage(std::move(picture.pixels), picture.imageMode);
  FilterRecord& record = host.record();
  const OSErr result =
      RunOnce(host, settings, order, stored, settings.replayFile.empty() ? nullptr : &replay, progress);
  // With the dialog shown, the filter also answers so when the user cancels it.
  if (result == userCanceledErr && (settings.dialog || platform::Interrupted()))
    return {kCancelled, input + ": cancelled; nothing written"};
  if (result != noErr) return {kFailed, input + ": " + RunMessage(result)};
  if (!settings.recordFile.empty() && !host.descriptorWritten())
    return {kFailed, settings.recordFile + ": the filter recorded no values"};

  if (Outcome written = WriteOutput(picture, host.destination(), output, settings.save); written.status != kSucceeded)
    return written;

  const std::string paramsOut = settings.paramsOut.empty() ? settings.paramsFile : settings.paramsOut;
  // Kept only when it is a whole block of ours.
  const auto* block = reinterpret_cast<const char*>(ParametersOf(&record));
  if (!paramsOut.empty() && block != nullptr) {
    if (why = WriteParameterBlock(paramsOut, std::vector<char>(block, block + sizeof(FilterParameters)));
        !why.empty())
      return {kFailed, paramsOut + ": " + why};
  }
  if (!settings.recordFile.empty()) {
    if (why = WriteDescriptorFile(settings.recordFile, host.writtenDescriptor()); !why.empty())
      return {kFailed, settings.recordFile + ": " + why};
  }
  return {};
}

}  // namespace vantrel::cli
