// The picture of the whole-run benchmarks: 12 megapixels of RGB bytes from a
// linear congruential sequence (bench/web_run.js makes the same bytes).
#pragma once

#include "bench/bench_support.h"
#include "runner/host.h"

namespace vantrel::bench {

inline runner::Image RandomImage() {
  runner::Image image(kColumns, kRows, 3);
  uint32 x = 0x9E3779B9;
  for (uint8& b : image.pixels) {
    x = x * 1664525u + 1013904223u;
    b = uint8(x >> 24);
  }
  return image;
}

}  // namespace vantrel::bench
