// What the command-line host keeps between runs, as files: the filter's
// parameter block, and the scripting values of a recorded run.
#pragma once

#include <string>
#include <vector>

#include "runner/host.h"

namespace vantrel::cli {

// Each answers "" on success, else a one-line reason.

// The parameter block as the filter laid it out, byte for byte.
std::string ReadParameterBlock(const std::string& path, std::vector<char>& block);

// A descriptor as text, one value a line: key, type and value, with
// four-character codes written as their characters:
//   Amnt UntF #Prc 50
//   disP enum mooD moD1
//   entI bool 1
std::string ReadDescriptorFile(const std::string& path, runner::Descriptor& items);
std::string DescriptorText(const runner::Descriptor& items);

// A file written whole under a temporary name beside its own, to be renamed
// into place (with others, one after the other) or removed.
struct StagedFile {
  std::string path;
  std::string temporary;
};
// Writes `contents` beside `path`, on the disk; "" or why not, with nothing
// left behind.
std::string StageFile(const std::string& path, const std::string& contents, StagedFile& staged);
// Renames each staged file into place; "" or the first failure, naming the
// file (the files after it are removed).
std::string PlaceStaged(const std::vector<StagedFile>& files);
void DiscardStaged(const std::vector<StagedFile>& files);

// Writes `contents` to `path` through a temporary file beside it, renamed into
// place only when complete.
std::string WriteFileAtomically(const std::string& path, const std::string& contents);

// A name beside `target`, with its extension, for writing before renaming.
std::string TemporaryBeside(const std::string& target);

}  // namespace vantrel::cli
