// A PNG writer that compresses on every core: rows go in, top to bottom and
// any number at a time, and one valid PNG comes out.
//
// The rows are cut into pieces; each piece is row-filtered (adaptively, as
// libpng chooses per row) and deflated on a worker thread, primed with the
// last 32 KiB of the filtered data before it and ended on a byte boundary,
// and the pieces are joined into one zlib stream with one header and the
// checksum combined. The file is the same size, within a fraction of a per
// cent, as a one-thread libpng file at the same level, and the filtered rows
// in it are the very bytes libpng would have compressed. The same pixels and
// settings give the same bytes whatever the number of threads.
//
// Everything beside the pixels is written as libvips writes it, so the tool's
// PNG output carries what it carried when libvips wrote it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pictures/streamed_writer.h"
#include <vector>

namespace vantrel::pictures {

struct PngText {
  std::string key;  // 1 to 79 Latin-1 characters
  std::string value;
};

// The picture and what the file carries beside its pixels, in the order
// written: iCCP, eXIf, pHYs, then the XMP and the comments as compressed
// text chunks (zTXt), as libvips writes them.
struct PngHeader {
  int width = 0;
  int height = 0;
  int channels = 3;  // 1 grey, 2 grey and alpha, 3 RGB, 4 RGB and alpha
  int bitDepth = 8;  // 8, or 16 with the samples handed over as native uint16
  int level = 6;     // zlib level, 0 to 9
  std::string iccProfile;  // iCCP when not empty, under iccName
  std::string iccName = "icc";
  uint32_t xPixelsPerMetre = 0;  // pHYs when either is not 0
  uint32_t yPixelsPerMetre = 0;
  std::string exif;  // eXIf when not empty; a leading "Exif\0\0" is left out
  std::string xmp;   // text "XML:com.adobe.xmp" when not empty (up to a NUL)
  std::vector<PngText> comments;
};

// How the work is cut; 0 picks the default: a thread per core, and pieces of
// about 256 KiB of rows.
struct PngTuning {
  int threads = 0;
  int pieceRows = 0;
};

// The PNG writer. Open writes everything up to the pixels. A file not
// finished is left without its end chunk, so no reader takes it for a whole
// picture; the caller removes it.
using PngStream = StreamedWriter<PngHeader, PngTuning>;

}  // namespace vantrel::pictures
