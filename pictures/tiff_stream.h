// A deflate TIFF writer that compresses on every core: rows go in, top to
// bottom and any number at a time, and one TIFF in strips comes out.
//
// Strips of a TIFF are independent deflate streams, so each is predicted
// (horizontal differencing, per sample, per row) and deflated on a worker
// thread, and the strips are handed to libtiff in order as raw strips;
// libtiff writes the header, the tags and the strip offsets. The strips are
// the very bytes one-thread libtiff writes for the same rows at the same
// level (zlib, or libdeflate for a strip of one row, as libtiff picks), so the file is the size of libvips' own, and the same pixels and
// settings give the same bytes whatever the number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pictures/streamed_writer.h"

namespace vantrel::pictures {

// The picture and what the file carries beside its pixels.
struct TiffHeader {
  int width = 0;
  int height = 0;
  int samples = 3;      // the colour planes, then at most one transparency plane
  bool cmyk = false;    // separated (InkSet CMYK), else RGB
  int bitDepth = 8;     // 8, or 16 with the samples handed over as native uint16
  int level = 6;        // zlib level, 0 to 9
  int rowsPerStrip = 128;
  bool inches = false;  // resolution per inch, else per centimetre
  double xResolution = 10;  // pixels per unit
  double yResolution = 10;
  int orientation = 1;  // 1 to 8, as the Orientation tag
  std::string iccProfile;   // each written when not empty
  std::string xmp;
  std::string iptc;         // padded with zeros to whole 4-byte words
  std::string photoshop;
  std::string description;
  bool bigTiff = false;
};

// How the work is shared; 0: a thread per core.
struct TiffTuning {
  int threads = 0;
};

// The TIFF writer. A file not finished is left without its directory, so no
// reader takes it for a picture; the caller removes it.
using TiffStream = StreamedWriter<TiffHeader, TiffTuning>;

}  // namespace vantrel::pictures
