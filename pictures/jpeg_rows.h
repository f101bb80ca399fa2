// A JPEG decoder that decodes on every core where the file allows it: a
// baseline JPEG whose restart intervals fall on whole MCU rows every few
// rows, as camera files have them.
//
// Each restart interval starts afresh (no DC prediction carried in, on a
// byte boundary), so a run of whole MCU rows that starts and ends on a
// restart marker is a picture of its own: its intervals under the file's
// header, with the height of the run. Worker threads decode such runs with
// libjpeg-turbo, each with one MCU row more above and below than it keeps
// where the chroma is upsampled across rows (so that the rows it keeps see
// the chroma rows around them as in one decode of the whole file), and the
// rows are read back in order: the pixels libjpeg-turbo, and so libvips,
// decode from the whole file. A few runs are held at a time.
//
// The first sign of damage stops the decoding with a one-line reason: a
// restart marker out of its turn, a marker where the entropy-coded data
// should go on, a file that ends before its last interval, or any of
// libjpeg's warnings about corrupt data; unless damage is accepted, when
// what can be decoded is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vantrel::pictures {

struct JpegReadTuning {
  int threads = 0;            // 0: one per core
  bool acceptDamage = false;  // decode what can be decoded of a damaged file
};

class JpegRows {
 public:
  JpegRows();
  ~JpegRows();  // stops the threads
  JpegRows(const JpegRows&) = delete;
  JpegRows& operator=(const JpegRows&) = delete;

  // Opens the JPEG at `path`. Answers "" when it opened, or the reason the
  // file is damaged. A file that opened but that inPieces() does not take is
  // to be decoded otherwise (no restart markers, progressive or arithmetic
  // coding, scans of single components, intervals that seldom fall on a row
  // start, grey pictures; and with damage accepted, a damaged layout).
  std::string Open(const std::string& path, const JpegReadTuning& tuning = {});
  // Opens the JPEG of `size` bytes at `bytes`, which stay the caller's and
  // must outlive the reader. Answers as Open does.
  std::string OpenBytes(const uint8_t* bytes, std::size_t size, const JpegReadTuning& tuning = {});
  bool inPieces() const;

  int width() const;
  int height() const;
  // 3: RGB. 4: CMYK as files hold it (0 = no ink), an Adobe inversion undone.
  int channels() const;

  // Copies the next `count` rows, `stride` bytes apart, width * channels
  // bytes each. Answers "" or the reason the picture cannot be read further.
  std::string Read(uint8_t* rows, int count, std::ptrdiff_t stride);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vantrel::pictures
