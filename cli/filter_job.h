// One file filtered through the plug-in's entry point as an image editor runs
// a filter: the image in a host record, the settings written into the
// filter's parameter block before start (the dialog not requested) or chosen
// by the user in the filter's own dialog, the selectors in order, and the
// output written only when all went well.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/settings.h"
#include "pictures/picture.h"
#include "runner/filter_loader.h"
#include "runner/host.h"

namespace vantrel::cli {

enum class Drive { Advance, Classic };

// Settings of a run. Settings not given keep what the parameter block
// holds: the filter's defaults, or the block restored from `paramsFile`.
struct JobSettings {
  std::string orderName;          // a display name of the image's mode ("B R G")
  std::optional<int> orderIndex;  // or a row of its table
  std::optional<BlendMethod> blend;
  std::optional<int> cleared;     // the channel cleared (--exclude), or kNoChannelCleared
  bool dialog = false;            // the user chooses in the filter's dialog; the three above then keep
  Drive drive = Drive::Classic;
  int64_t maxSpace = 0;   // memory offered at prepare; 0: the host's default, and bands the tool plans
  int64_t bandBytes = 0;  // bytes of rows in a band the tool plans; 0: about 2 MB
  std::string paramsFile;     // the block, restored before the run when present
  std::string paramsOut;      // where the block goes after the run ("": paramsFile)
  std::string replayFile;     // scripting values handed to the filter at start
  std::string recordFile;     // scripting values the filter writes at finish
  pictures::SaveOptions save;
  bool noClobber = false;     // an output already there is kept, and the file fails
  // What the tool's host answers for the size of its handles: the truth, or
  // as some real hosts do, 0 or a negative number, for tests of the filter
  // against them.
  runner::HandleHabits::Size handleSizes = runner::HandleHabits::Size::Honest;
};

// Exit statuses of the tool.
enum Status { kSucceeded = 0, kFailed = 1, kBadCommandLine = 2, kCancelled = 130 };

struct Outcome {
  int status = kSucceeded;
  std::string message;  // one line naming the file and the reason, on failure
  std::string warning = {};  // one line naming the file and what the image library warned of, or ""
};

using ProgressReport = void (*)(int32 done, int32 total);

// Filters `input` into `output`. The input is never written; the output
// appears only when the run succeeded, through a temporary file beside it,
// and replaces a file of that name unless `noClobber`. What the image
// library warned of while the file was read and written comes back with
// the outcome.
// By the classic drive the picture streams from its file through the filter
// into the output a band at a time, in bands of an even height the tool
// plans unless `maxSpace` leaves the height to the filter, and may be of any
// size (see tiled_run.h); by the advanceState drive, or with the dialog, it
// is held whole, at most kMostSide pixels a side.
Outcome FilterFile(runner::EntryProc entry, const JobSettings& settings, const std::string& input,
                   const std::string& output, ProgressReport progress);

// What FilterFile does between its files by the classic drive: filters the
// rows `reader` serves of a picture like `info` into `writer`, band by band
// and in tiles, and finishes `writer`. Messages name `input` for the
// picture and the reader, `output` for the writer. On success `last` holds
// the host of the last run, with its block and recorded values.
Outcome FilterRows(runner::EntryProc entry, const JobSettings& settings, const pictures::PictureInfo& info,
                   pictures::RowReader& reader, pictures::RowWriter& writer, const std::string& input,
                   const std::string& output, ProgressReport progress, std::unique_ptr<runner::Host>& last);

// Filters `picture` in memory by one run through the entry point, with the
// settings' order, blend and channel to clear and no kept block, scripting
// values or dialog; on success `filtered` holds the pixels (host
// convention). Messages name the image `name`.
Outcome FilterPixels(runner::EntryProc entry, const JobSettings& settings, const pictures::Picture& picture,
                     const std::string& name, runner::Image& filtered);

}  // namespace vantrel::cli
