// The number of colour components of each image mode a host can report.
#pragma once

#include "records/host_records.h"

namespace vantrel::host {

// Colour components of `imageMode`: 1 for bitmap, grayscale, duotone and
// 16-bit grayscale; 3 for indexed, RGB, HSL, HSB, Lab and 48-bit RGB; 4 for
// CMYK. Multichannel images and modes outside 0..11 answer `defaultCount`.
int16 ColorComponentCount(int16 imageMode, int16 defaultCount);

}  // namespace vantrel::host
