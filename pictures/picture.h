// Image files as the command-line host reads and writes them: the pixels in
// the form a host hands them to the filter, and what else the file carried.
// One implementation per build: libvips natively, stb (PNG) on Windows; both
// read and write the plain raw format of raw_picture.h.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "host/image_modes.h"
#include "runner/image.h"

namespace vantrel::pictures {

// The TIFF compression methods the tool writes, as --compression names them;
// and the same in words ("none, lzw, ...").
inline constexpr const char* kTiffCompressions[] = {"none", "lzw", "deflate", "packbits", "zstd", "jpeg", "webp"};
std::string TiffCompressionNames();
// "" when `compression` is "" (the default) or a PNG level from 0 to 9, else
// why it is not.
std::string CheckPngLevel(const std::string& compression);

// The JPEG quality written when the input is no JPEG (a JPEG input's own
// quality is kept).
constexpr int kDefaultJpegQuality = 90;

struct SaveOptions {
  int quality = -1;         // JPEG quality 1 to 100; -1: a JPEG input's own, else kDefaultJpegQuality
  int subsample = -1;       // JPEG chroma halved (1, 4:2:0) or whole (0, 4:4:4); -1: a JPEG input's
                            // (4:2:2 taken as halved), else halved below quality 90
  std::string compression;  // PNG: zlib level 0 to 9; TIFF: method name; "": default
  int depth = 0;            // bits per sample written: 8 or 16; 0: the input's
  int threads = 0;          // threads compressing a PNG, JPEG or deflate TIFF file; 0: one per core
};

// An image read from a file. The pixels are interleaved planes, the colour
// planes first (R G B or C M Y K) and an optional transparency plane after
// them, in the host's convention: 8-bit samples, or for a 16-bit file 16-bit
// samples on the hosts' scale of 0 to 32768 (the files' 0 to 65535 halved,
// rounded to the nearest); a CMYK plane holds full scale (255 or 32768) for
// no ink and 0 for full ink, the other way round from the files.
struct Picture {
  runner::Image pixels;
  int16 imageMode = 0;         // RGB or CMYK, or their 16-bit modes RGB48 and CMYK64
  std::shared_ptr<void> file;  // the reader's own record of the file (profile, resolution, metadata)
};

// A picture without its pixels: its size (either side may be larger than a
// host's request can reach), planes and mode, and the reader's record of the
// file, as Picture has them.
struct PictureInfo {
  int width = 0;
  int height = 0;
  int16 planes = 0;
  int16 imageMode = 0;
  std::shared_ptr<void> file;
};
PictureInfo InfoOf(const Picture& picture);

// A picture's rows in the host's convention, read top to bottom a few at a
// time.
class RowReader {
 public:
  virtual ~RowReader() = default;
  // Copies the next `count` rows into `rows`, `stride` bytes apart. Answers
  // "" or the reason the picture cannot be read further.
  virtual std::string Read(uint8* rows, int count, std::ptrdiff_t stride) = 0;
};

// A file written row by row from rows in the host's convention, top to
// bottom. Dropped before Finish, it stops; the caller removes the file.
class RowWriter {
 public:
  virtual ~RowWriter() = default;
  // Takes the next `count` rows, `stride` bytes apart.
  virtual std::string Write(const uint8* rows, int count, std::ptrdiff_t stride) = 0;
  // Ends the file once every row is in it, and closes it.
  virtual std::string Finish() = 0;
  // What the file was written without of what the picture carried beside
  // its pixels (a colour profile or a block of metadata the format's library
  // refused), with the library's reason, as words; "" when nothing. Known
  // once Finish has answered.
  virtual std::string LeftOut() const { return ""; }
};

// Starts and stops the image library; call once per process. A reader
// meets a damaged file (cut short, or data its decoder cannot take) by
// failing at the first sign of it, or, where `acceptDamaged` and the
// decoder can, by taking what can be read; the damage is then among the
// warnings.
void StartPictures(const char* programPath, bool acceptDamaged = false);
void StopPictures();
// Makes every format of the image library known, also those it loads only
// when first needed (reading and writing files does it by itself).
void KnowEveryFormat();

// What the image library warned of since the last call, while reading or
// writing (one line: the first warning, and how many more), or ""; taken.
std::string TakeWarnings();

// Each answers "" on success, else a one-line reason without the file name.

// Reads the image at `path`; the reason names what the filter cannot take.
std::string ReadPicture(const std::string& path, Picture& picture);

// The largest size a thumbnail may have, chosen from the image's stored size
// and mode; a side of 0 is not limited.
struct Fit {
  int width = 0;
  int height = 0;
};
using FitFor = std::function<Fit(int width, int height, int16 imageMode)>;

// Reads the image at `path` as ReadPicture does, shrunk, keeping its
// proportions, to the size that `fit` answers; an image already that small
// is read as it is, never enlarged. The thumbnails of a contact sheet; the
// libvips build only.
std::string ReadThumbnail(const std::string& path, const FitFor& fit, Picture& picture);

// Opens the picture at `path` to be read row by row, as ReadPicture reads
// it whole; `info` describes it. Where the format allows, it is decoded on
// threads of its own a few rows ahead of the reading, holding a few
// megabytes however large the picture is; otherwise it is read whole first.
std::string OpenRows(const std::string& path, PictureInfo& info, std::unique_ptr<RowReader>& reader);

// Creates the file `path` for a picture like `info`, to be written row by
// row as WritePicture writes it. PNG, JPEG and TIFF (in strips) are encoded
// on threads of their own as the rows come, holding a few megabytes; other
// formats are written whole once the last row is in.
std::string CreateRows(const PictureInfo& info, const std::string& path, const SaveOptions& options,
                       std::unique_ptr<RowWriter>& writer);

// Rows served from a picture held whole, and rows gathered whole and
// written by WritePicture at Finish: how formats without a writer or reader
// of their own go row by row. Pictures of at most kMostSide a side.
std::unique_ptr<RowReader> HeldRows(Picture picture);
std::unique_ptr<RowWriter> GatheredRows(const PictureInfo& info, const std::string& path, const SaveOptions& options);

// Whether an image like `picture` can be written to `path` (its extension
// picks the format) with `options`, so that a doomed run fails before any
// filtering. Options that do not apply to the format are ignored.
std::string CheckWritable(const PictureInfo& picture, const std::string& path, const SaveOptions& options);
inline std::string CheckWritable(const Picture& picture, const std::string& path, const SaveOptions& options) {
  return CheckWritable(InfoOf(picture), path, options);
}

// Writes `pixels` (host convention, same size and planes as the picture's)
// to `path` with the picture's profile, resolution and metadata; what of
// those the format's library refused is left out, and said in `leftOut`
// (as RowWriter::LeftOut says it) when it is given.
std::string WritePicture(const Picture& picture, const runner::Image& pixels, const std::string& path,
                         const SaveOptions& options, std::string* leftOut = nullptr);

// The bits per sample a picture of `imageMode` is written with under `options`.
inline int OutputBits(int16 imageMode, const SaveOptions& options) {
  return options.depth != 0 ? options.depth : 8 * host::SampleBytes(imageMode);
}

// The lower-case extension of `path` with its dot ("" when there is none).
std::string Extension(const std::string& path);

}  // namespace vantrel::pictures
