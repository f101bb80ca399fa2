// A JPEG written in strips, each encoded wherever there is a core for it:
// a strip is whole MCU rows that libjpeg-turbo encodes as a picture of its
// own with the restart interval of the whole file (a strip's MCUs), taken
// apart into its header and its entropy-coded data. The file is the first
// strip's header with the whole picture's height, every strip's data in
// order with a restart marker before each but the first, and an end marker:
// the very file one-thread libjpeg writes with that restart interval. The
// tool's writer (jpeg_stream.h) encodes the strips on threads; the page on
// its workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pictures/jpeg_header.h"

namespace vantrel::pictures {

// How a picture is cut into strips.
struct JpegCut {
  int mcuRows = 8;               // pixel rows of an MCU row: 16 with chroma halved, else 8
  int stripRows = 8;             // pixel rows of a strip (the last may have fewer)
  unsigned restartInterval = 0;  // MCUs of a strip
};

// "" when `h` can be written, else why not.
std::string CheckJpegHeader(const JpegHeader& h);

// Strips of `stripRows` pixel rows (rounded up to whole MCU rows), or when
// 0, of about `stripBytes` bytes of rows; never more MCUs than a restart
// interval counts.
JpegCut CutJpeg(const JpegHeader& h, int stripRows, std::size_t stripBytes);

// The blocks of `h` too large for the one marker each goes in, which are
// left out of the file, as words; "" when every block fits.
std::string OversizedJpegBlocks(const JpegHeader& h);

struct JpegStrip {
  std::vector<uint8_t> head;     // the first strip's: everything up to its scan's data, with the picture's height
  std::vector<uint8_t> entropy;  // the entropy-coded data, without the end marker
};

// Encodes strip `index` (counted from 0): `rows` rows at `pixels`, each
// width * channels samples (CMYK inverted as stored), of the picture `h`
// cut by `cut`. The first strip also carries the markers beside the pixels
// (EXIF, XMP, IPTC, profile, as libvips writes them). Answers "" or
// libjpeg's reason.
std::string EncodeJpegStrip(const JpegHeader& h, const JpegCut& cut, int index, const uint8_t* pixels, int rows,
                            JpegStrip& strip);

// The restart marker's second byte in front of strip `index` (from 1 on).
inline uint8_t JpegRestartCode(int index) { return uint8_t(0xD0 + (index - 1) % 8); }

}  // namespace vantrel::pictures
