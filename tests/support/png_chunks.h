// A PNG file as its chunks, for tests that compare what files carry beside
// their pixels or the compressed data itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vantrel::testing {

struct PngChunk {
  std::string type;
  std::string data;
};

inline std::string FileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The chunks after the signature, in order; stops at a chunk that runs past
// the end of the file.
inline std::vector<PngChunk> PngChunks(const std::string& file) {
  std::vector<PngChunk> chunks;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const auto byte = [&](std::size_t i) { return uint32_t(uint8_t(file[at + i])); };
    const std::size_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    if (at + 12 + length > file.size()) break;
    chunks.push_back({file.substr(at + 4, 4), file.substr(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

// The chunks before the image data: the header and all that the file carries
// beside its pixels.
inline std::vector<PngChunk> ChunksBeforePixels(const std::string& file) {
  std::vector<PngChunk> before;
  for (PngChunk& chunk : PngChunks(file)) {
    if (chunk.type == "IDAT") break;
    before.push_back(std::move(chunk));
  }
  return before;
}

inline bool operator==(const PngChunk& a, const PngChunk& b) { return a.type == b.type && a.data == b.data; }

}  // namespace vantrel::testing
