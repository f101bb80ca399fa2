// The one walk over a JPEG file's markers that the reader and the writer in
// strips share: where the frame header and the first scan's coded data are.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel::pictures {

struct JpegMarkers {
  std::size_t frame = 0;  // where the SOF0 or SOF1 marker begins; 0 when none was met
  std::size_t data = 0;   // just past the first scan's header (SOS); 0 when not reached within the bytes
};

// Walks the markers from the start of the image to the first scan's header
// as libjpeg steps over them: fill bytes, markers without a length (TEM,
// RSTn) and segments. It stops at anything else, such as stray bytes,
// which libjpeg skips with a warning: what lies after is not counted.
inline JpegMarkers WalkJpegMarkers(const uint8_t* bytes, std::size_t size) {
  JpegMarkers found;
  for (std::size_t at = 2; at + 4 <= size && bytes[at] == 0xFF;) {
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    const std::size_t end = at + 2 + std::size_t(bytes[at + 2] << 8 | bytes[at + 3]);
    if (marker == 0xC0 || marker == 0xC1) found.frame = at;
    if (marker == 0xDA) {
      found.data = end <= size ? end : 0;
      break;
    }
    at = end;
  }
  return found;
}

}  // namespace vantrel::pictures
