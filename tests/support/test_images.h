// Images for the dialog tests: every pixel differs from its neighbours and
// no plane is ever 0, so the preview's black frame stands out, also as a deep
// image; and the RGB result the rules give for an order with or without the
// Mix blend.
#pragma once

#include <array>

#include "runner/host.h"

namespace vantrel::testing {

inline runner::Image Pattern(int16 width, int16 height, int16 planes = 3) {
  runner::Image image(width, height, planes);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8* p = image.At(y, x);
      for (int k = 0; k < planes; ++k) p[k] = static_cast<uint8>(40 + (x * (3 + 2 * k) + y * (5 + k) + 61 * k) % 200);
    }
  return image;
}

// The same picture at 16 bits: each sample v as v * 32768 / 255 rounded, the
// value a host's deep document holds for it, so that converting back to 8
// bits gives v again.
inline runner::Image Deepened(const runner::Image& image) {
  runner::Image deep(image.width, image.height, image.planes, 2);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      for (int k = 0; k < image.planes; ++k)
        deep.SetSample(y, x, k, static_cast<uint16>((image.Sample(y, x, k) * 32768 + 127) / 255));
  return deep;
}

// The RGB pixel that `source` becomes under the order whose output planes
// read source planes `order`, with the Mix blend when `mix`.
inline std::array<uint8, 3> MappedRgb(const uint8* source, const std::array<int, 3>& order, bool mix) {
  std::array<uint8, 3> out{};
  for (int k = 0; k < 3; ++k)
    out[k] = mix ? static_cast<uint8>((source[order[k]] + source[k]) >> 1) : source[order[k]];
  return out;
}

// "B R G", row 1 of the RGB table.
constexpr int16 kRowBRG = 1;
constexpr std::array<int, 3> kOrderBRG = {2, 0, 1};

}  // namespace vantrel::testing
