// Colour component counts by image mode.
#include "host/component_counts.h"

namespace vantrel::host {
namespace {

constexpr int16 kUseDefault = -1;

// Indexed by image mode: bitmap, grayscale, indexed colour, RGB, CMYK, HSL,
// HSB, multichannel, duotone, Lab, 16-bit grayscale, 48-bit RGB.
constexpr int16 kComponents[] = {1, 1, 3, 3, 4, 3, 3, kUseDefault, 1, 3, 1, 3};

}  // namespace

int16 ColorComponentCount(int16 imageMode, int16 defaultCount) {
  if (imageMode < 0 || imageMode >= int16(sizeof kComponents / sizeof kComponents[0])) return defaultCount;
  const int16 count = kComponents[imageMode];
  return count == kUseDefault ? defaultCount : count;
}

}  // namespace vantrel::host
