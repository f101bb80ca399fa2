// The page's file writers in the module: the pieces of a PNG file and the
// strips of a JPEG file, made by the tool's own code (the row filters of
// pictures/png_pieces.h, the strips of pictures/jpeg_strips.h) so that the
// page's files hold what the tool's hold; and what a JPEG file's header says
// of how it was written (pictures/jpeg_settings.h). Each piece or strip is made on its own, by
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

std::vector<uint8_t> g_encoded;  // the last piece, strip or filtered rows made
std::string g_problem;
uint32_t g_adler = 1;            // of the last PNG piece's filtered rows
JpegSettings g_read;             // of the last JPEG header read

void BigEndian32(uint32_t v, uint8_t* out) {
  for (int k = 0; k < 4; ++k) out[k] = uint8_t(v >> (24 - 8 * k));
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

// The image data of a PNG file made in pieces: each piece's rows filtered
// here as libpng filters them (vantrel_png_filter), deflated by the
// browser's zlib (CompressionStream, native code on every core the page
// has) as a zlib stream of its own, and made here into an IDAT chunk that
// goes on where the piece before it ended (vantrel_png_join): its last block
// no longer the stream's last, ended on a byte boundary as a flush ends it.
// The chunks in order, and one with the Adler-32 of all the filtered rows,
// make the picture's zlib stream.

// Filters the rows `first` to `first + count` of a picture `width` pixels
// wide of `planes` 8-bit samples (3 or 4); `rows` holds the picture's rows
// from row `top` on, where `top` is `first` at the picture's top, else the
// row above it. Answers the filtered rows' size (in vantrel_encoded; their
// Adler-32 in vantrel_png_adler), or -1 with the reason.
EMSCRIPTEN_KEEPALIVE int vantrel_png_filter(const uint8_t* rows, int width, int planes, int top, int first, int count) {
  g_problem.clear();
  if (rows == nullptr || width < 1 || planes < 3 || planes > 4 || count < 1 || top != std::max(0, first - 1)) {
    g_problem = "the piece's rows are not as the PNG writer needs them";
    return -1;
  }
  const std::size_t rowBytes = std::size_t(width) * std::size_t(planes), filteredRow = rowBytes + 1;
  const std::vector<uint8_t> zeros(first == 0 ? rowBytes : 0);
  g_encoded.resize(std::size_t(count) * filteredRow);
  const uint8_t* row = rows + (first == 0 ? 0 : rowBytes);
  const uint8_t* above = first == 0 ? zeros.data() : rows;
  for (int y = 0; y < count; ++y, above = row, row += rowBytes)
    FilterPngRow(row, above, rowBytes, std::size_t(planes), g_encoded.data() + std::size_t(y) * filteredRow);
  g_adler = uint32_t(adler32_z(adler32_z(0, nullptr, 0), g_encoded.data(), g_encoded.size()));
  return int(g_encoded.size());
}
EMSCRIPTEN_KEEPALIVE uint32_t vantrel_png_adler() { return g_adler; }

namespace {

// Where the last block of the raw deflate data `data` begins, in bits from
// its start, and how many bits of its last byte are left over after the
// block's end; false when the data are not one whole deflate stream. zlib's
// inflate stops at every block boundary when asked to (Z_BLOCK), saying how
// many bits of the last byte it took are left, and whether the block begun
// is the stream's last.
bool LastBlock(const uint8_t* data, std::size_t size, std::size_t& lastBlockBit, int& spareBits) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  std::vector<uint8_t> out(std::size_t(1) << 16);  // what it inflates is not kept
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(size);
  lastBlockBit = 0;
  spareBits = -1;
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    result = inflate(&z, Z_BLOCK);
    const std::size_t bit = std::size_t(z.total_in) * 8 - std::size_t(z.data_type & 7);
    if (result == Z_OK && (z.data_type & 128) != 0) {
      if ((z.data_type & 64) == 0)
        lastBlockBit = bit;  // a block ended and the last is yet to come: the next starts here
      else if (z.total_in == size)
        spareBits = z.data_type & 7;  // the last block ended, in the data's last byte
    }
    if (result == Z_BUF_ERROR && z.avail_out != 0) break;  // the data ended before the stream
  }
  const bool whole = result == Z_STREAM_END && z.avail_in == 0 && spareBits >= 0;
  inflateEnd(&z);
  return whole;
}

}  // namespace

// Makes the zlib stream of `size` bytes at `stream` (a piece's filtered rows
// deflated as a stream of their own) into an IDAT chunk that goes on where
// the piece before it ended: the first piece keeps the stream's header; the
// Adler-32 at its end is left out (the picture's follows the last piece);
// and but for the `last` piece, the last block is no longer the stream's
// last and an empty stored block after it ends the piece on a byte
// boundary, as a flush does. Answers the chunk's size, or -1 with the reason.
EMSCRIPTEN_KEEPALIVE int vantrel_png_join(const uint8_t* stream, int size, bool first, bool last) {
  g_problem.clear();
  std::size_t lastBlockBit = 0;
  int spareBits = 0;
  if (stream == nullptr || size < 7 || (stream[0] & 0x0F) != 8 || ((stream[0] << 8) | stream[1]) % 31 != 0 ||
      (stream[1] & 0x20) != 0 || !LastBlock(stream + 2, std::size_t(size) - 6, lastBlockBit, spareBits)) {
    g_problem = "the browser's deflate gave no stream the PNG writer can join";
    return -1;
  }
  std::vector<uint8_t> data(stream + (first ? 0 : 2), stream + size - 4);
  if (!last) {
    uint8_t* deflate = data.data() + (first ? 2 : 0);
    deflate[lastBlockBit / 8] &= uint8_t(~(1u << (lastBlockBit % 8)));  // its BFINAL bit
    data.back() &= uint8_t((1u << (8 - spareBits)) - 1);                // the bits after its end: 0
    // An empty stored block: its 3 header bits 0 (not last, stored) in the
    // spare bits or the next byte, then lengths 0 and ~0 on a byte boundary.
    if (spareBits < 3) data.push_back(0);
    data.insert(data.end(), {0x00, 0x00, 0xFF, 0xFF});
  }
  g_encoded.assign(12 + data.size(), 0);
  BigEndian32(uint32_t(data.size()), g_encoded.data());
  std::copy_n("IDAT", 4, g_encoded.begin() + 4);
  std::copy(data.begin(), data.end(), g_encoded.begin() + 8);
  const uLong crc = crc32_z(crc32_z(0, nullptr, 0), g_encoded.data() + 4, 4 + data.size());
  BigEndian32(uint32_t(crc), g_encoded.data() + 8 + data.size());
  return int(g_encoded.size());
}

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
