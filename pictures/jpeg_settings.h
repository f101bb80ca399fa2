// What a JPEG file's header tells of how it was written: the quality its
// quantisation tables were scaled for, and its chroma subsampling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel::pictures {

struct JpegSettings {
  // The quality from 1 to 100 whose scaled standard tables (as libjpeg and
  // the tools built on it scale them) lie nearest to the file's tables.
  int quality = 0;
  // "4:4:4", "4:2:2" or "4:2:0" for a colour file whose first plane is
  // sampled once, twice across, or twice both ways as often as the others;
  // "" for any other layout.
  std::string subsampling;
};

// Reads the header of the JPEG file at `path`. Answers "" or why it cannot.
std::string ReadJpegSettings(const std::string& path, JpegSettings& settings);
// The same from the file's first `size` bytes at `bytes`.
std::string ReadJpegSettings(const uint8_t* bytes, std::size_t size, JpegSettings& settings);

}  // namespace vantrel::pictures
