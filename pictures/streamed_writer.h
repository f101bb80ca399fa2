// The shape of our writers that compress on every core (PNG, TIFF, JPEG):
// rows go in top to bottom, any number at a time, and one file comes out.
// Each format brings its `Header` (what the file says about the picture), its
// `Tuning` (how the work is cut) and its `State`, defined beside its writer.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace vantrel::pictures {

template <class Header, class Tuning>
class StreamedWriter {
 public:
  StreamedWriter();
  // Stops the threads; what becomes of a file not finished, each format says.
  ~StreamedWriter();
  StreamedWriter(const StreamedWriter&) = delete;
  StreamedWriter& operator=(const StreamedWriter&) = delete;

  // Each answers "" or a one-line reason; after a failure every later call
  // answers the same reason.

  // Creates the file at `path` and writes what comes before the pixels.
  std::string Open(const std::string& path, const Header& header, const Tuning& tuning = {});
  // Takes the next `count` rows, `stride` bytes apart, each width * channels
  // samples of the header's depth.
  std::string Write(const void* rows, int count, std::ptrdiff_t stride);
  // Waits for the last pieces, ends the file and closes it; the reason when
  // rows are missing or anything failed.
  std::string Finish();
  // What the file is written without of what the header carries beside the
  // pixels (a profile or a block of metadata its format's library refused),
  // with the library's reason, as words ("the colour profile (libpng: ...)");
  // "" when nothing. Never a reason for the file to fail.
  std::string LeftOut() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// The whole picture at once: Open, Write every row, Finish; what the file
// is written without goes to `leftOut` when it is given.
template <class Header, class Tuning>
std::string WriteWhole(const std::string& path, const Header& header, const void* pixels, std::ptrdiff_t stride,
                       const Tuning& tuning, std::string* leftOut = nullptr) {
  StreamedWriter<Header, Tuning> writer;
  std::string why = writer.Open(path, header, tuning);
  if (why.empty()) why = writer.Write(pixels, header.height, stride);
  if (why.empty()) why = writer.Finish();
  if (leftOut != nullptr) *leftOut = writer.LeftOut();
  return why;
}

}  // namespace vantrel::pictures
