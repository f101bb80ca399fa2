// How large a picture the page takes: what one request of the filter
// interface reaches, and what a browser tab can hold several times over.
#pragma once

#include <string>

namespace vantrel::web {

constexpr int kLargestSide = 32767;
constexpr long long kMostPixels = 100'000'000;

// "" when a picture of `width` x `height` pixels fits, else why not, in words
// for the page's message.
inline std::string SizeProblem(int width, int height, int planes) {
  if (width < 1 || height < 1 || planes < 3 || planes > 4) return "the picture has no pixels the filter can take";
  if (width > kLargestSide || height > kLargestSide || (long long)width * height > kMostPixels)
    return "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; the page takes at most " + std::to_string(kLargestSide) + " pixels a side and " +
           std::to_string(kMostPixels / 1'000'000) + " megapixels (vantrel takes any size)";
  return "";
}

}  // namespace vantrel::web
