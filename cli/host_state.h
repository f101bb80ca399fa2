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
std::string WriteParameterBlock(const std::string& path, const std::vector<char>& block);

// A descriptor as text, one value a line: key, type and value, with
// four-character codes written as their characters:
//   Amnt UntF #Prc 50
//   disP enum mooD moD1
//   entI bool 1
std::string ReadDescriptorFile(const std::string& path, runner::Descriptor& items);
std::string WriteDescriptorFile(const std::string& path, const runner::Descriptor& items);

// Writes `contents` to `path` through a temporary file beside it, renamed into
// place only when complete.
std::string WriteFileAtomically(const std::string& path, const std::string& contents);

// A name beside `target`, with its extension, for writing before renaming.
std::string TemporaryBeside(const std::string& target);

}  // namespace vantrel::cli
