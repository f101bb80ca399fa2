// The page's file writers in the module: the pieces of a PNG file and the
// strips of a JPEG file, made by the tool's own code (pictures/png_pieces.h,
// pictures/jpeg_strips.h) so that the page's files hold what the tool's
// hold; and what a JPEG file's header says of how it was written
// (pictures/jpeg_settings.h). Each piece or strip is made on its own, by
// whichever of the page's workers is free, and web/encode.js joins them in
// order. Plain C exports of the module encoder.js, called by web/encode.js.
#include <emscripten.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "pictures/jpeg_settings.h"
#include "pictures/jpeg_strips.h"
#include "pictures/png_pieces.h"

using namespace vantrel::pictures;

namespace {

std::vector<uint8_t> g_encoded;  // the last piece or strip made
std::string g_problem;
uint32_t g_adler = 1;            // of the last PNG piece's filtered rows
JpegSettings g_read;             // of the last JPEG header read

void BigEndian32(uint32_t v, uint8_t* out) {
  for (int k = 0; k < 4; ++k) out[k] = uint8_t(v >> (24 - 8 * k));
}

// The rows a PNG piece needs above its own for its dictionary: those whose
// filtered bytes fill deflate's window, and the row above them.
int PngContextRows(int width, int planes) {
  const std::size_t filteredRow = std::size_t(width) * std::size_t(planes) + 1;
  return int((kDeflateWindow + filteredRow - 1) / filteredRow) + 1;
}

// A JPEG header of RGB pixels as the page writes them.
JpegHeader JpegOf(int width, int height, int quality, bool subsampled) {
  JpegHeader h;
  h.width = width;
  h.height = height;
  h.channels = 3;
  h.quality = quality;
  h.subsampled = subsampled;
  return h;
}

}  // namespace

extern "C" {

// The reason the last writer call that failed gives.
EMSCRIPTEN_KEEPALIVE const char* vantrel_encode_problem() { return g_problem.c_str(); }

// The bytes the last piece or strip made, and how many.
EMSCRIPTEN_KEEPALIVE const uint8_t* vantrel_encoded() { return g_encoded.data(); }
EMSCRIPTEN_KEEPALIVE int vantrel_encoded_size() { return int(g_encoded.size()); }
// Gives back the memory of the last piece or strip once it is taken.
EMSCRIPTEN_KEEPALIVE void vantrel_encoded_drop() { std::vector<uint8_t>().swap(g_encoded); }

// Reads the header of the JPEG file of `size` bytes at `bytes` as the tool
// reads it: answers the quality its tables were scaled for (1 to 100), with
// its chroma subsampling in vantrel_jpeg_subsampling ("4:4:4", "4:2:2",
// "4:2:0" or ""); 0 when libjpeg cannot read it.
EMSCRIPTEN_KEEPALIVE int vantrel_jpeg_read(const uint8_t* bytes, int size) {
  g_read = JpegSettings{};
  if (bytes == nullptr || size <= 0 || !ReadJpegSettings(bytes, std::size_t(size), g_read).empty()) return 0;
  return g_read.quality;
}
EMSCRIPTEN_KEEPALIVE const char* vantrel_jpeg_subsampling() { return g_read.subsampling.c_str(); }

// ---- PNG.

// The rows of context a piece is handed above its own (fewer at the top).
EMSCRIPTEN_KEEPALIVE int vantrel_png_context_rows(int width, int planes) { return PngContextRows(width, planes); }

// Makes the piece of rows `first` to `first + count` of a picture `width`
// pixels wide of `planes` 8-bit samples (3 or 4), as one IDAT chunk: the
// rows filtered, and deflated at `level` primed with the last 32 KiB of the
// filtered rows before them, ending on a byte boundary, or ending the zlib
// stream when `last`; the first piece (first 0) opens it with the zlib
// header. `rows` holds the picture's rows from row `top` on (top <= first,
// and first - top at least vantrel_png_context_rows unless top is 0). The
// Adler-32 of the piece's filtered rows is in vantrel_png_adler. Answers
// the chunk's size, or -1 with the reason in vantrel_encode_problem.
EMSCRIPTEN_KEEPALIVE int vantrel_png_piece(const uint8_t* rows, int width, int planes, int top, int first, int count,
                                           int level, bool last) {
  g_problem.clear();
  if (rows == nullptr || width < 1 || planes < 3 || planes > 4 || top < 0 || first < top || count < 1 ||
      level < 0 || level > 9 || (top > 0 && first - top < PngContextRows(width, planes))) {
    g_problem = "the piece's rows are not as the PNG writer needs them";
    return -1;
  }
  const std::size_t rowBytes = std::size_t(width) * std::size_t(planes), filteredRow = rowBytes + 1;
  // Every row from `top` on, filtered below the one above it (zeros above the
  // picture's first); the row at `top` serves only as the row above the next
  // unless it is the picture's first.
  const int from = top == 0 ? 0 : top + 1;
  std::vector<uint8_t> filtered(std::size_t(first + count - from) * filteredRow);
  const std::vector<uint8_t> zeros(top == 0 ? rowBytes : 0);
  for (int y = from; y < first + count; ++y) {
    const uint8_t* row = rows + std::size_t(y - top) * rowBytes;
    const uint8_t* above = y == 0 ? zeros.data() : row - rowBytes;
    FilterPngRow(row, above, rowBytes, std::size_t(planes), filtered.data() + std::size_t(y - from) * filteredRow);
  }
  const std::size_t own = std::size_t(first - from) * filteredRow;
  const std::size_t dictionary = std::min(own, kDeflateWindow);
  const uint8_t* data = filtered.data() + own;
  const std::size_t size = std::size_t(count) * filteredRow;
  g_adler = uint32_t(adler32_z(adler32_z(0, nullptr, 0), data, size));

  std::vector<uint8_t> deflated;
  if (first == 0) ZlibHeader(level, deflated);
  std::vector<uint8_t> piece;
  g_problem = DeflatePiece(data, size, data - dictionary, dictionary, level, last ? Z_FINISH : Z_SYNC_FLUSH, piece);
  if (!g_problem.empty()) return -1;
  deflated.insert(deflated.end(), piece.begin(), piece.end());
  std::vector<uint8_t>().swap(filtered);

  g_encoded.assign(12 + deflated.size(), 0);
  BigEndian32(uint32_t(deflated.size()), g_encoded.data());
  std::copy_n("IDAT", 4, g_encoded.begin() + 4);
  std::copy(deflated.begin(), deflated.end(), g_encoded.begin() + 8);
  const uLong crc = crc32_z(crc32_z(0, nullptr, 0), g_encoded.data() + 4, 4 + deflated.size());
  BigEndian32(uint32_t(crc), g_encoded.data() + 8 + deflated.size());
  return int(g_encoded.size());
}
EMSCRIPTEN_KEEPALIVE uint32_t vantrel_png_adler() { return g_adler; }

// ---- JPEG.

// The pixel rows of each strip a `width` x `height` RGB picture is cut into
// at `quality` with chroma halved or not, about `stripBytes` of rows a
// strip; 0 with the reason in vantrel_encode_problem when the picture cannot
// be written as JPEG.
EMSCRIPTEN_KEEPALIVE int vantrel_jpeg_strip_rows(int width, int height, int quality, bool subsampled, int stripBytes) {
  const JpegHeader h = JpegOf(width, height, quality, subsampled);
  g_problem = CheckJpegHeader(h);
  if (!g_problem.empty()) return 0;
  return CutJpeg(h, 0, std::size_t(std::max(stripBytes, 1))).stripRows;
}

// Encodes strip `index` of the picture cut in strips of `stripRows` rows
// (vantrel_jpeg_strip_rows): `rows` RGB rows at `pixels`. The first strip
// carries the header, with the EXIF block (`exifSize` bytes at `exif`) and
// the colour profile (`profileSize` bytes at `profile`) when given; every
// other strip begins with its restart marker. Answers the size of what it
// made, or -1 with the reason in vantrel_encode_problem. The strips one
// after the other and an end marker (FF D9) make the file.
EMSCRIPTEN_KEEPALIVE int vantrel_jpeg_strip(const uint8_t* pixels, int width, int height, int quality, bool subsampled,
                                            int stripRows, int index, int rows, const uint8_t* exif, int exifSize,
                                            const uint8_t* profile, int profileSize) {
  JpegHeader h = JpegOf(width, height, quality, subsampled);
  g_problem = CheckJpegHeader(h);
  const JpegCut cut = CutJpeg(h, stripRows, 0);
  if (g_problem.empty() && (pixels == nullptr || index < 0 || rows < 1 || cut.stripRows != stripRows ||
                            index * stripRows + rows > height || (rows != stripRows && index * stripRows + rows != height)))
    g_problem = "the strip's rows are not as the JPEG writer needs them";
  if (!g_problem.empty()) return -1;
  if (index == 0) {
    if (exif != nullptr && exifSize > 0) h.exif.assign(reinterpret_cast<const char*>(exif), std::size_t(exifSize));
    if (profile != nullptr && profileSize > 0)
      h.iccProfile.assign(reinterpret_cast<const char*>(profile), std::size_t(profileSize));
  }
  JpegStrip strip;
  g_problem = EncodeJpegStrip(h, cut, index, pixels, rows, strip);
  if (!g_problem.empty()) return -1;
  g_encoded = std::move(strip.head);
  if (index > 0) g_encoded.insert(g_encoded.end(), {uint8_t(0xFF), JpegRestartCode(index)});
  g_encoded.insert(g_encoded.end(), strip.entropy.begin(), strip.entropy.end());
  return int(g_encoded.size());
}

// What of the blocks beside the pixels the JPEG file is written without
// (an EXIF block too large for its marker), as words; "" when nothing.
EMSCRIPTEN_KEEPALIVE const char* vantrel_jpeg_left_out(int exifSize) {
  JpegHeader h;
  h.exif.assign(std::size_t(std::max(exifSize, 0)), '\0');
  g_problem = OversizedJpegBlocks(h);
  return g_problem.c_str();
}

}  // extern "C"
