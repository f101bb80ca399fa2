// The JPEG writer of jpeg_stream.h: the strips of jpeg_strips.h encoded on
// worker threads and joined in order into the file, the first strip's header
// first, then the strips' data with a restart marker before every strip but
// the first.
#include "pictures/jpeg_stream.h"

#include "pictures/jpeg_strips.h"
#include "pictures/piece_line.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

namespace vantrel::pictures {
namespace {

// About this many bytes of rows per strip.
constexpr std::size_t kStripBytes = 512 * 1024;

// A strip on its way through a worker.
struct Strip : PieceRows {  // raw: the rows as handed over
  int index = 0;
  JpegStrip encoded;
};

}  // namespace

template <>
struct JpegStream::State : LineState<Strip> {
  JpegHeader header;
  std::string path;
  std::size_t rowBytes = 0;
  JpegCut cut;

  std::FILE* file = nullptr;
  bool created = false;

  int nextStrip = 0;

  ~State() {
    line.Stop();
    if (!finished) Remove();
  }

  // Closes and removes a file not finished (a plain file only).
  void Remove() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    if (created) std::remove(path.c_str());
    created = false;
  }

  std::string Fail(const std::string& why) {
    const std::string first = LineState::Fail(why);
    Remove();
    return first;
  }

  // ---- Workers.

  void Process(Strip& strip) {
    if (header.channels == 4)
      for (uint8_t& v : strip.raw) v = uint8_t(255 - v);  // inverted, as under the Adobe marker
    strip.error = EncodeJpegStrip(header, cut, strip.index, strip.raw.data(), strip.rows, strip.encoded);
    std::vector<uint8_t>().swap(strip.raw);
  }

  // ---- The caller's side.

  std::string Start(const std::string& where, const JpegHeader& h, const JpegTuning& tuning) {
    if (std::string why = CheckJpegHeader(h); !why.empty()) return why;
    header = h;
    path = where;
    leftOut = OversizedJpegBlocks(h);
    rowBytes = std::size_t(h.width) * std::size_t(h.channels);
    cut = CutJpeg(h, tuning.stripRows, kStripBytes);
    const int threads = tuning.threads > 0 ? tuning.threads : int(std::max(1u, std::thread::hardware_concurrency()));

    file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return std::string("cannot create the file (") + std::strerror(errno) + ")";
    // Only a plain file is removed when the writing fails, never a device.
    struct stat status {};
    created = fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
    return line.Start(threads, rowBytes, h.height, cut.stripRows, [this](Strip& strip) { Process(strip); });
  }

  std::string Put(const uint8_t* bytes, std::size_t size) {
    if (size != 0 && std::fwrite(bytes, 1, size, file) != size)
      return std::string("cannot write the file (") + std::strerror(errno != 0 ? errno : EIO) + ")";
    return "";
  }

  // Writes a finished strip to the file, behind its restart marker.
  std::string Deliver(Strip& strip) {
    std::string why;
    if (strip.index == 0) {
      why = Put(strip.encoded.head.data(), strip.encoded.head.size());
    } else {
      const uint8_t restart[2] = {0xFF, JpegRestartCode(strip.index)};
      why = Put(restart, 2);
    }
    if (why.empty()) why = Put(strip.encoded.entropy.data(), strip.encoded.entropy.size());
    strip.encoded = JpegStrip{};
    return why;
  }

  std::string Take(const uint8_t* rows, int count, std::ptrdiff_t stride) {
    return TakeNumbered(line, nextStrip, rows, count, stride, [&](Strip& strip) { return Deliver(strip); });
  }

  std::string End() {
    if (std::string why = line.Finish([&](Strip& strip) { return Deliver(strip); }); !why.empty()) return Fail(why);
    const uint8_t end[2] = {0xFF, 0xD9};
    if (std::string why = Put(end, 2); !why.empty()) return Fail(why);
    if (std::string why = CloseWritten(file); !why.empty()) return Fail(why);
    finished = true;
    return "";
  }
};

template class StreamedWriter<JpegHeader, JpegTuning>;

}  // namespace vantrel::pictures
