// An image as our host keeps it, in a header of its own so that code that
// only handles pixels (the image files of the command-line tool) need not
// know the host.
#pragma once

#include <cstddef>
#include <cstring>

#include "records/host_records.h"
#include "runner/image_memory.h"

namespace vantrel::runner {

// Interleaved planes of 8-bit samples, or of 16-bit ones in the machine's
// order (the deep modes, full scale 32768), the colour planes first and an
// optional extra (transparency) plane after them.
struct Image {
  int16 width = 0;
  int16 height = 0;
  int16 planes = 0;
  int16 sampleBytes = 1;  // 1 or 2
  ImageBytes pixels;

  Image() = default;
  Image(int16 w, int16 h, int16 p, int16 bytesPerSample = 1)
      : width(w), height(h), planes(p), sampleBytes(bytesPerSample),
        pixels(std::size_t(w) * std::size_t(h) * std::size_t(p) * std::size_t(bytesPerSample)) {}
  std::size_t PixelBytes() const { return std::size_t(planes) * std::size_t(sampleBytes); }
  // The first byte of a pixel.
  uint8* At(int row, int col) { return &pixels[(std::size_t(row) * width + col) * PixelBytes()]; }
  const uint8* At(int row, int col) const { return &pixels[(std::size_t(row) * width + col) * PixelBytes()]; }
  // Plane `k` of a pixel, at either sample size.
  uint16 Sample(int row, int col, int k) const {
    const uint8* p = At(row, col) + std::size_t(k) * std::size_t(sampleBytes);
    if (sampleBytes == 1) return *p;
    uint16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  void SetSample(int row, int col, int k, uint16 v) {
    uint8* p = At(row, col) + std::size_t(k) * std::size_t(sampleBytes);
    if (sampleBytes == 1) *p = static_cast<uint8>(v);
    else std::memcpy(p, &v, sizeof v);
  }
};

}  // namespace vantrel::runner
