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

#include "pictures/jpeg_header.h"
#include "pictures/streamed_writer.h"

namespace vantrel::pictures {

// How the work is cut; 0 picks the default: a thread per core, and strips of
// about 512 KiB of rows (rounded to whole MCU rows).
struct JpegTuning {
  int threads = 0;
  int stripRows = 0;  // rounded up to whole MCU rows
};

// The JPEG writer: 8-bit samples. A file not finished is removed.
using JpegStream = StreamedWriter<JpegHeader, JpegTuning>;

}  // namespace vantrel::pictures
