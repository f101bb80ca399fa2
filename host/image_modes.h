// How each image mode a host can report lays out its samples: their size,
// and the mode of the same colour planes at 8 bits. Header-only: our host
// (the runner) reads them too, in builds where the filter is a library of its
// own.
#pragma once

#include "records/host_records.h"

namespace vantrel::host {

// Full scale of a 16-bit sample as hosts hand them over: 0 to 32768, not to
// 65535. A host may still hand over a larger value.
constexpr uint16 kDeepFullScale = 32768;

// Bytes per sample of `imageMode`: 2 for the 16-bit modes (Gray16, RGB48,
// Lab48, CMYK64, deep multichannel, Duotone16), 4 for the 32-bit ones (RGB96,
// Gray32), 1 for every other mode, known or not. Samples wider than a byte are
// in the machine's order.
constexpr int16 SampleBytes(int16 imageMode) {
  if (imageMode >= plugInModeGray16 && imageMode <= plugInModeDuotone16) return 2;
  if (imageMode == plugInModeRGB96 || imageMode == plugInModeGray32) return 4;
  return 1;
}

// The mode with the same colour planes at 8 bits: RGB for RGB48 and RGB96,
// CMYK for CMYK64, grayscale for Gray16 and Gray32, and so on. Every other
// mode answers itself.
constexpr int16 EightBitMode(int16 imageMode) {
  switch (imageMode) {
    case plugInModeGray16:
    case plugInModeGray32: return plugInModeGrayScale;
    case plugInModeRGB48:
    case plugInModeRGB96: return plugInModeRGBColor;
    case plugInModeLab48: return plugInModeLabColor;
    case plugInModeCMYK64: return plugInModeCMYKColor;
    case plugInModeDeepMultichannel: return plugInModeMultichannel;
    case plugInModeDuotone16: return plugInModeDuotone;
    default: return imageMode;
  }
}

// Whether `imageMode` holds 16-bit samples (RGB48, CMYK64 and the other
// modes SampleBytes answers 2 for).
constexpr bool DeepMode(int16 imageMode) { return SampleBytes(imageMode) == 2; }

// Whether `imageMode` is CMYK, at either depth.
constexpr bool CmykMode(int16 imageMode) { return EightBitMode(imageMode) == plugInModeCMYKColor; }

// The colour planes of the RGB and CMYK modes: 4 for CMYK, 3 for RGB, at
// either depth.
constexpr int16 ColourPlanes(int16 imageMode) { return CmykMode(imageMode) ? 4 : 3; }

}  // namespace vantrel::host
