// The summary and the report file, as JSON lines through nlohmann's JSON.
#include "cli/report.h"

#include <nlohmann/json.hpp>

#include "cli/host_state.h"

namespace vantrel::cli {
namespace {

constexpr const char* kStatus[] = {"written", "skipped", "failed", "cancelled"};

}  // namespace

void PrintSummary(std::FILE* out, const std::vector<FileResult>& results) {
  std::size_t count[4] = {};
  for (const FileResult& r : results) ++count[r.kind];
  std::fprintf(out, "%zu files: %zu written", results.size(), count[FileResult::Written]);
  if (count[FileResult::Skipped] > 0) std::fprintf(out, ", %zu skipped (their outputs were there)", count[FileResult::Skipped]);
  if (count[FileResult::Cancelled] > 0) std::fprintf(out, ", %zu cancelled", count[FileResult::Cancelled]);
  std::fprintf(out, ", %zu failed%s\n", count[FileResult::Failed], count[FileResult::Failed] > 0 ? ":" : "");
  for (const FileResult& r : results)
    if (r.kind == FileResult::Failed) std::fprintf(out, "  %s\n", r.message.c_str());
}

std::string WriteReport(const std::string& path, const std::vector<FileResult>& results) {
  std::string lines;
  for (const FileResult& r : results) {
    nlohmann::ordered_json line = {{"input", r.input}, {"output", r.output}, {"status", kStatus[r.kind]}};
    if (!r.message.empty()) line["message"] = r.message;
    if (!r.warning.empty()) line["warning"] = r.warning;
    // A name that is not UTF-8 cannot be told in JSON: its stray bytes are
    // replaced, and the line still written.
    lines += line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  return WriteFileAtomically(path, lines);
}

}  // namespace vantrel::cli
