// What came of each input of a run: the summary at the end of a batch and
// the report file, so that the failures can be found, and rerun, after the
// messages have scrolled away.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vantrel::cli {

struct FileResult {
  enum Kind { Written, Skipped, Failed, Cancelled };
  std::string input;
  std::string output;
  Kind kind = Failed;
  std::string message;  // why it failed (or was cancelled), naming the file
  std::string warning;  // what the image library warned of, naming the file
};

// The summary on `out`: how many files were written, skipped and failed, and
// every failure's message, one a line.
void PrintSummary(std::FILE* out, const std::vector<FileResult>& results);

// Writes one JSON object a line to `path`, for each result in order:
//   {"input": "in/a.jpg", "output": "out/a.jpg", "status": "failed", "message": "..."}
// with "status" one of "written", "skipped", "failed", "cancelled", and
// "message" and "warning" only when there is one. Answers "" or the reason.
std::string WriteReport(const std::string& path, const std::vector<FileResult>& results);

}  // namespace vantrel::cli
