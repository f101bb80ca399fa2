// A contact sheet: one image showing a thumbnail of the input under every
// channel order of its mode, each cell filtered by a run of its own through
// the plug-in's entry point and labelled with the order's index and name, in
// the order of the mode's table. CMYK cells are shown as RGB.
#pragma once

#include <string>

#include "cli/filter_job.h"

namespace vantrel::cli {

struct SheetSettings {
  JobSettings job;         // blend, channel to clear, drive and memory offer of every run
  bool allOrders = false;  // CMYK: all 256 orders, not only the 24 that use each ink once
  bool swapsOnly = false;  // only the orders that take each channel once, RGB too
  int thumbnailSize = 0;   // longest side of a thumbnail in pixels; 0: what lets the sheet fit a screen
};

// The screen a sheet fits by default.
inline constexpr int kScreenWidth = 1920;
inline constexpr int kScreenHeight = 1080;

// Whether this build makes contact sheets: the libvips build does.
bool MakesContactSheets();

// Makes the sheet of `input` at `sheet` (the format follows its extension),
// through a temporary file renamed into place when complete. `progress`
// hears of every cell done.
Outcome MakeContactSheet(runner::EntryProc entry, const SheetSettings& settings, const std::string& input,
                         const std::string& sheet, ProgressReport progress);

}  // namespace vantrel::cli
