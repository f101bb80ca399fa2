// A baseline JPEG writer that encodes on every core: rows go in, top to
// bottom and any number at a time, and one JPEG comes out.
//
// The rows are cut into strips of whole MCU rows; libjpeg-turbo encodes each
// strip on a worker thread as a picture of its own, with the same tables, and
// the strips' entropy-coded data are joined in order with a restart marker
// between each two, under one header whose restart interval is a strip's
// MCUs. Every strip starts as a restart starts (no DC prediction carried in,
// on a byte boundary), so the file is the very file one-thread libjpeg writes
// with that restart interval: the same coefficients, so the same pixels as
// libvips' jpegsave file at the same settings, and its size within a few
// bytes a strip. The same pixels and settings give the same bytes whatever
// the number of threads.
//
// Beside the pixels it writes what libvips' jpegsave writes, in its order:
// no JFIF header, the Adobe marker for CMYK (from libjpeg), EXIF, XMP, IPTC,
// then the ICC profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pictures/streamed_writer.h"

namespace vantrel::pictures {

// libvips' jpegsave defaults: quality 75, and chroma subsampled (4:2:0) below
// quality 90, kept whole (4:4:4) from 90 on.
constexpr int kJpegDefaultQuality = 75;
inline bool JpegSubsampledAt(int quality) { return quality < 90; }

struct JpegHeader {
  int width = 0;
  int height = 0;
  // 3: RGB, stored as YCbCr. 4: CMYK as files hold it (0 = no ink), stored
  // inverted under the Adobe marker, as libvips and Photoshop store it.
  int channels = 3;
  int quality = kJpegDefaultQuality;  // 1 to 100, libjpeg's scaling of its standard tables
  bool subsampled = true;             // RGB: chroma at half size both ways (4:2:0), else 4:4:4
  std::string exif;        // APP1 when not empty; "Exif\0\0" put in front when missing
  std::string xmp;         // APP1 behind the XMP namespace, when not empty
  std::string iptc;        // APP13 when not empty
  std::string iccProfile;  // APP2 in pieces when not empty
};

// How the work is cut; 0 picks the default: a thread per core, and strips of
// about 512 KiB of rows (rounded to whole MCU rows).
struct JpegTuning {
  int threads = 0;
  int stripRows = 0;  // rounded up to whole MCU rows
};

// The JPEG writer: 8-bit samples. A file not finished is removed.
using JpegStream = StreamedWriter<JpegHeader, JpegTuning>;

}  // namespace vantrel::pictures
