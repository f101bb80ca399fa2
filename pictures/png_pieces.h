// A PNG's image data made in pieces, each wherever there is a core for it:
// rows filtered as libpng filters them, and a piece's filtered rows deflated
// by zlib primed with the last 32 KiB of the filtered data before it and
// ended on a byte boundary, so that the pieces join into one zlib stream
// behind one header, their checksums combined. The tool's writer
// (png_stream.h) makes the pieces on threads; the page on its workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::pictures {

// Deflate's window: each piece is primed with this much of the data before it.
constexpr std::size_t kDeflateWindow = 32768;

// Filters `row` (`size` bytes, `bpp` bytes a pixel) below `above` into `out`:
// the filter type byte, then `size` filtered bytes. The filter is the one
// libpng's adaptive filtering chooses: whose output bytes, read as signed,
// have the least sum of magnitudes; on a tie the first of None, Sub, Up,
// Average, Paeth.
void FilterPngRow(const uint8_t* row, const uint8_t* above, std::size_t size, std::size_t bpp, uint8_t* out);

// Appends the two bytes that open a zlib stream, as deflate writes them for
// `level` with a 32 KiB window.
void ZlibHeader(int level, std::vector<uint8_t>& out);

// Deflates `size` bytes at `data` into `out` (raw deflate data), primed with
// `dictionarySize` bytes at `dictionary`, ending with `flush` (Z_SYNC_FLUSH:
// on a byte boundary, the stream going on; Z_FINISH: the stream's last
// block). Answers "" or zlib's reason.
std::string DeflatePiece(const uint8_t* data, std::size_t size, const uint8_t* dictionary, std::size_t dictionarySize,
                         int level, int flush, std::vector<uint8_t>& out);

}  // namespace vantrel::pictures
