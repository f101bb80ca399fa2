// A reader for Windows library files (PE32 and PE32+) that takes them apart as
// bytes, without loading them: headers, exports, imports and resources. The
// shipped-file tests use it on every machine, whether or not it can run the
// library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::testing {

using Bytes = std::vector<std::uint8_t>;

struct PeResource {
  std::string type;  // "#<number>" for a numbered type, else its name
  std::string name;  // likewise
  std::uint16_t language = 0;
  Bytes data;
};

struct PeImage {
  std::uint16_t machine = 0;          // 0x14C i386, 0x8664 x86-64
  std::uint16_t characteristics = 0;  // of the file header
  std::uint16_t optionalMagic = 0;    // 0x10B PE32, 0x20B PE32+
  std::vector<std::string> exportNames;
  std::uint32_t exportedFunctions = 0;
  std::vector<std::string> imports;  // library names as stored
  std::vector<PeResource> resources;

  // The resource of that type and name, or nullptr.
  const PeResource* Find(const std::string& type, const std::string& name) const;
};

// Reads the file at `path`. On failure returns false and says why in `error`;
// a malformed file never makes it read outside the bytes it holds.
bool ReadPeImage(const std::string& path, PeImage& image, std::string& error);

// "#<id>", the way a numbered type or name is listed.
std::string ResourceId(unsigned id);

}  // namespace vantrel::testing
