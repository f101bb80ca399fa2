// libFuzzer target for the JPEG reader that decodes restart intervals on
// several threads (pictures/jpeg_rows.h) and for the settings read from a
// JPEG's header (pictures/jpeg_settings.h). The input is the file. It is
// read twice: by its path, from a file in memory, on three threads and
// stopping at the first sign of damage; and from the bytes (held at their
// exact size, so the sanitizers see any read past them) on two threads with
// damage accepted. Rows are asked for a few at a time, a count that varies
// with the input, and one row more than the picture has at the end.
//
// Whatever the input, it checks: a picture read in pieces without damage
// accepted is the one libjpeg-turbo decodes from the whole file as libvips
// reads it, which finds no damage in it either, and damage is reported only
// where libjpeg finds some; with damage accepted the same file reads to the
// same rows; a picture read in pieces has settings that can be read; the
// settings are a quality from 1 to 100 and a subsampling the header
// promises.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "pictures/jpeg_rows.h"
#include "pictures/jpeg_settings.h"

namespace {

using namespace vantrel::pictures;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Samples read at most from one picture: a small file may claim a picture
// of gigabytes, which a reader that accepts damage decodes all the same.
// Reading stops there and the reader is dropped with its threads at work.
constexpr std::size_t kSampleBudget = std::size_t(1) << 22;

struct Rows {
  std::string why;        // from Open, or from the first Read that failed
  bool inPieces = false;
  int channels = 0;
  bool small = false;     // a picture within the budget
  bool whole = false;     // every row read
  std::vector<uint8_t> samples;
};

template <typename Open>
Rows ReadAll(Open open, int chunk) {
  Rows out;
  JpegRows jpeg;
  out.why = open(jpeg);
  out.inPieces = jpeg.inPieces();
  out.channels = jpeg.channels();
  const std::ptrdiff_t stride = std::ptrdiff_t(jpeg.width()) * jpeg.channels();
  out.small = jpeg.width() > 0 && jpeg.height() > 0 && std::size_t(stride) * std::size_t(jpeg.height()) <= kSampleBudget;
  if (!out.inPieces) Require(jpeg.Read(nullptr, 1, 0) != "");
  if (!out.why.empty() || !out.inPieces) return out;
  Require(jpeg.width() > 0 && jpeg.height() > 0 && (out.channels == 3 || out.channels == 4));
  if (!out.small) {
    // A few rows, then the reader is dropped before the end.
    out.samples.resize(std::size_t(stride) * std::size_t(chunk));
    out.why = jpeg.Read(out.samples.data(), chunk, stride);
    return out;
  }
  out.samples.assign(std::size_t(stride) * std::size_t(jpeg.height()), 0);
  for (int y = 0; out.why.empty() && y < jpeg.height(); y += chunk)
    out.why = jpeg.Read(out.samples.data() + y * stride, std::min(chunk, jpeg.height() - y), stride);
  out.whole = out.why.empty();
  if (out.whole) {
    std::vector<uint8_t> past(static_cast<std::size_t>(stride));
    Require(jpeg.Read(past.data(), 1, stride) != "");
  }
  Require(out.why.find('\n') == std::string::npos);
  return out;
}

// libjpeg-turbo's decode of the whole file as libvips reads it: every row,
// not on to the end marker. The samples as the reader gives them (RGB, or
// CMYK with an Adobe inversion undone); `warning` the code of the first
// warning, or -1.
struct Whole {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  std::jmp_buf jump{};
  int warning = -1;
  std::vector<uint8_t> samples;
};

[[noreturn]] void WholeFails(j_common_ptr info) { std::longjmp(static_cast<Whole*>(info->client_data)->jump, 1); }
void WholeWarns(j_common_ptr info, int level) {
  auto* whole = static_cast<Whole*>(info->client_data);
  if (level < 0 && whole->warning < 0) whole->warning = info->err->msg_code;
}

bool DecodeWhole(const uint8_t* data, std::size_t size, int channels, Whole& w) {
  w.info.err = jpeg_std_error(&w.errors);
  w.errors.error_exit = WholeFails;
  w.errors.emit_message = WholeWarns;
  w.info.client_data = &w;
  if (setjmp(w.jump) != 0) {
    jpeg_destroy_decompress(&w.info);
    return false;
  }
  jpeg_create_decompress(&w.info);
  jpeg_mem_src(&w.info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&w.info, TRUE);
  w.info.out_color_space = channels == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&w.info);
  const std::size_t rowBytes = std::size_t(w.info.output_width) * std::size_t(w.info.output_components);
  w.samples.assign(rowBytes * w.info.output_height, 0);
  while (w.info.output_scanline < w.info.output_height) {
    JSAMPROW row = w.samples.data() + rowBytes * w.info.output_scanline;
    jpeg_read_scanlines(&w.info, &row, 1);
  }
  if (channels == 4 && w.info.saw_Adobe_marker)
    for (uint8_t& v : w.samples) v = uint8_t(255 - v);
  jpeg_destroy_decompress(&w.info);
  return true;
}

// A file in memory holding the input, known by a path.
std::string InMemoryFile(const uint8_t* data, std::size_t size) {
  static const int fd = memfd_create("jpeg", MFD_CLOEXEC);
  Require(fd >= 0);
  Require(ftruncate(fd, 0) == 0);
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = pwrite(fd, data + done, size - done, off_t(done));
    Require(n > 0);
    done += std::size_t(n);
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = InMemoryFile(data, size);
  const int chunk = size > 0 ? 1 + data[size / 2] % 40 : 1;

  const Rows strict = ReadAll([&](JpegRows& j) { return j.Open(path, JpegReadTuning{3, false}); }, chunk);
  const Rows lenient = ReadAll([&](JpegRows& j) { return j.OpenBytes(data, size, JpegReadTuning{2, true}); }, chunk);

  JpegSettings settings;
  const std::string why = ReadJpegSettings(path, settings);
  if (why.empty()) {
    Require(settings.quality >= 1 && settings.quality <= 100);
    Require(settings.subsampling == "" || settings.subsampling == "4:4:4" || settings.subsampling == "4:2:2" ||
            settings.subsampling == "4:2:0");
  }

  if (strict.inPieces && strict.why.empty()) {
    Require(why.empty());
    Require(lenient.inPieces && lenient.why.empty());
    Require(strict.whole == lenient.whole);
  }
  // Within the budget, the reader against the whole file. Damage found on
  // opening counts too.
  if (strict.small && (strict.inPieces || !strict.why.empty())) {
    Whole whole;
    const bool decoded = DecodeWhole(data, size, strict.channels, whole);
    if (strict.why.empty()) {
      // libjpeg counts bytes left over that it had read ahead only at a
      // later restart marker, which may lie in a later run.
      Require(decoded && (whole.warning < 0 || whole.warning == JWRN_EXTRANEOUS_DATA));
      Require(whole.samples == strict.samples && lenient.samples == strict.samples);
    } else {
      // No damage reported where libjpeg finds none.
      Require(!decoded || whole.warning >= 0);
    }
  }
  return 0;
}
