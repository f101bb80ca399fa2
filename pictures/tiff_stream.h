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
#include <memory>
#include <string>

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

class TiffStream {
 public:
  TiffStream();
  // Stops the threads. A file not finished is left without its directory,
  // so no reader takes it for a picture; the caller removes it.
  ~TiffStream();
  TiffStream(const TiffStream&) = delete;
  TiffStream& operator=(const TiffStream&) = delete;

  // Each answers "" or a one-line reason; after a failure every later call
  // answers the same reason.

  // Creates the file at `path`.
  std::string Open(const std::string& path, const TiffHeader& header, const TiffTuning& tuning = {});
  // Takes the next `count` rows, `stride` bytes apart, each width * samples
  // samples of the header's depth.
  std::string Write(const void* rows, int count, std::ptrdiff_t stride);
  // Waits for the last strips, writes the directory and closes the file; the
  // reason when rows are missing or anything failed.
  std::string Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The whole picture at once: Open, Write every row, Finish.
std::string WriteTiff(const std::string& path, const TiffHeader& header, const void* pixels, std::ptrdiff_t stride,
                      const TiffTuning& tuning = {});

}  // namespace vantrel::pictures
