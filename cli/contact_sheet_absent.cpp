// The Windows tool makes no contact sheets: the thumbnails, labels and joins
// are libvips' work, and that build reads and writes its images with stb.
#include "cli/contact_sheet.h"

namespace vantrel::cli {

bool MakesContactSheets() { return false; }

Outcome MakeContactSheet(runner::EntryProc, const SheetSettings&, const std::string&, const std::string& sheet,
                         ProgressReport) {
  return {kBadCommandLine, sheet + ": this build makes no contact sheets; the Linux build of vantrel does"};
}

}  // namespace vantrel::cli
