// The pieces of png_pieces.h: row filters written as loops the compiler
// vectorises, and zlib.
#include "pictures/png_pieces.h"

#include <zlib.h>

#include <algorithm>

namespace vantrel::pictures {
namespace {

// Input handed to zlib per call, which counts in 32 bits.
constexpr std::size_t kZlibStep = std::size_t(1) << 30;

inline unsigned Magnitude(uint8_t v) { return v < 128 ? v : 256u - v; }

inline uint8_t Average(uint8_t a, uint8_t b) { return uint8_t((unsigned(a) + b) >> 1); }

inline uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  const int p = int(b) - c, q = int(a) - c;
  const int pa = p < 0 ? -p : p, pb = q < 0 ? -q : q, pc = p + q < 0 ? -(p + q) : p + q;
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Each filter over a row: `x` the row, `b` the row above, `a` and `c` the
// same `bpp` bytes to the left (so that the first pixel, which has nothing to
// its left, is filtered by the caller). Either answers the filtered bytes'
// sum of magnitudes or writes them to `out`; one loop each, which the
// compiler vectorises.
template <class Filter>
uint64_t SumOf(const uint8_t* x, const uint8_t* a, const uint8_t* b, const uint8_t* c, std::size_t n, Filter f) {
  uint64_t total = 0;
  // In strides short enough that a 32-bit sum cannot overflow.
  for (std::size_t from = 0; from < n; from += 65536) {
    const std::size_t to = std::min(n, from + 65536);
    uint32_t sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += Magnitude(uint8_t(x[i] - f(a[i], b[i], c[i])));
    total += sum;
  }
  return total;
}

template <class Filter>
void Apply(const uint8_t* x, const uint8_t* a, const uint8_t* b, const uint8_t* c, std::size_t n, Filter f,
           uint8_t* out) {
  for (std::size_t i = 0; i < n; ++i) out[i] = uint8_t(x[i] - f(a[i], b[i], c[i]));
}

}  // namespace

void FilterPngRow(const uint8_t* row, const uint8_t* above, std::size_t size, std::size_t bpp, uint8_t* out) {
  const auto none = [](uint8_t, uint8_t, uint8_t) { return uint8_t(0); };
  const auto sub = [](uint8_t a, uint8_t, uint8_t) { return a; };
  const auto up = [](uint8_t, uint8_t b, uint8_t) { return b; };
  const auto average = [](uint8_t a, uint8_t b, uint8_t) { return Average(a, b); };
  const auto paeth = [](uint8_t a, uint8_t b, uint8_t c) { return Paeth(a, b, c); };
  const std::size_t lead = std::min(bpp, size), rest = size - lead;
  static const uint8_t kZeros[16] = {};  // a pixel has at most 8 bytes
  const uint8_t *x = row + lead, *a = row, *b = above + lead, *c = above;
  uint64_t sums[5] = {
      SumOf(row, kZeros, above, kZeros, lead, none) + SumOf(x, a, b, c, rest, none),
      SumOf(row, kZeros, above, kZeros, lead, sub) + SumOf(x, a, b, c, rest, sub),
      SumOf(row, kZeros, above, kZeros, lead, up) + SumOf(x, a, b, c, rest, up),
      SumOf(row, kZeros, above, kZeros, lead, average) + SumOf(x, a, b, c, rest, average),
      SumOf(row, kZeros, above, kZeros, lead, paeth) + SumOf(x, a, b, c, rest, paeth),
  };
  int best = 0;
  for (int k = 1; k < 5; ++k)
    if (sums[k] < sums[best]) best = k;
  out[0] = uint8_t(best);
  auto write = [&](auto f) {
    Apply(row, kZeros, above, kZeros, lead, f, out + 1);
    Apply(x, a, b, c, rest, f, out + 1 + lead);
  };
  switch (best) {
    case 0: write(none); break;
    case 1: write(sub); break;
    case 2: write(up); break;
    case 3: write(average); break;
    default: write(paeth);
  }
}

void ZlibHeader(int level, std::vector<uint8_t>& out) {
  const unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = (0x78u << 8) | (flags << 6);
  header += 31 - header % 31;
  out.push_back(uint8_t(header >> 8));
  out.push_back(uint8_t(header));
}

std::string DeflatePiece(const uint8_t* data, std::size_t size, const uint8_t* dictionary, std::size_t dictionarySize,
                         int level, int flush, std::vector<uint8_t>& out) {
  z_stream z{};
  // Filtered rows suit zlib's filtered strategy; libpng picks it too.
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_FILTERED) != Z_OK) return "cannot start zlib";
  std::string why;
  if (dictionarySize != 0 && deflateSetDictionary(&z, dictionary, uInt(dictionarySize)) != Z_OK)
    why = "zlib refused the dictionary";
  out.resize(std::max<std::size_t>(deflateBound(&z, uLong(std::min(size, kZlibStep))), 1024));
  std::size_t in = 0, written = 0;
  while (why.empty()) {
    if (out.size() - written < 64) out.resize(out.size() * 2);
    const std::size_t step = std::min(size - in, kZlibStep);
    const bool final = in + step == size;
    const std::size_t room = std::min(out.size() - written, kZlibStep);
    z.next_in = const_cast<Bytef*>(data + in);
    z.avail_in = uInt(step);
    z.next_out = out.data() + written;
    z.avail_out = uInt(room);
    const int result = deflate(&z, final ? flush : Z_NO_FLUSH);
    in += step - z.avail_in;
    written += room - z.avail_out;
    if (result == Z_STREAM_ERROR) why = "zlib failed";
    if (final && in == size && (flush == Z_FINISH ? result == Z_STREAM_END : z.avail_out != 0)) break;
  }
  deflateEnd(&z);
  out.resize(written);
  return why;
}

}  // namespace vantrel::pictures
