// A batch: every file filtered by a worker process of its own, at most `jobs`
// at a time (the filter keeps library-wide state, so one process runs one
// filter at a time). A failing file is reported and the others go on.
#pragma once

#include <string>
#include <vector>

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
int RunBatch(const BatchSettings& settings, const std::vector<BatchFile>& files);

// How a worker tells its parent how far it is: a line on standard error.
inline constexpr const char* kProgressLine = "@progress ";

}  // namespace vantrel::cli
