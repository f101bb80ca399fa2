// A batch: every file filtered by a worker process of its own, at most `jobs`
// at a time (the filter keeps library-wide state, so one process runs one
// filter at a time). A failing file is reported and the others go on.
#pragma once

#include <string>
#include <vector>

#include "cli/report.h"

namespace vantrel::cli {

struct BatchFile {
  std::string input;
  std::string output;
};

struct BatchSettings {
  std::vector<std::string> workerOptions;  // the filter settings, as command-line options
  int jobs = 1;
  bool progress = false;   // draw the batch's progress bar
  bool quiet = false;      // print no names of written files
  std::string paramsFile;  // kept across the batch: read by every worker, written from the last file
  std::string recordFile;  // likewise the scripting values
};

// Answers the tool's exit status: kSucceeded when every file was written.
// `results` gets what came of each file, in the order of `files`; the
// workers' messages are printed as they come.
int RunBatch(const BatchSettings& settings, const std::vector<BatchFile>& files, std::vector<FileResult>& results);

// How a worker tells its parent how far it is, and what the image library
// warned of: lines on standard error that begin so. Any other line is a
// message of its file's.
inline constexpr const char* kProgressLine = "@progress ";
inline constexpr const char* kWarningLine = "@warning ";

}  // namespace vantrel::cli
