// A photograph-like picture for the benchmarks: fractal surfaces (libvips'
// fractsurf), one per channel, stretched to the full range, with grain, so
// that it has smooth areas and fine detail as a photograph has. Made once
// and kept in a file, so that every run measures the same picture.
#pragma once

#include <vips/vips.h>

#include <string>

namespace vantrel::bench {

// Writes the picture, `width` by `height` RGB at 8 bits, to `file` in the
// format of its extension (with libvips' options after it). Answers whether
// it could.
inline bool MakePhoto(const std::string& file, int width, int height) {
  VipsImage* bands[3] = {};
  for (VipsImage*& band : bands)
    if (vips_fractsurf(&band, width, height, 2.4, nullptr) != 0) return false;
  VipsImage *joined = nullptr, *scaled = nullptr, *noise = nullptr, *grainy = nullptr, *photo = nullptr, *typed = nullptr;
  const bool ok = vips_bandjoin(bands, &joined, 3, nullptr) == 0 && vips_scale(joined, &scaled, nullptr) == 0 &&
                  vips_gaussnoise(&noise, width, height, "sigma", 3.0, "mean", 0.0, nullptr) == 0 &&
                  vips_add(scaled, noise, &grainy, nullptr) == 0 &&
                  vips_cast(grainy, &photo, VIPS_FORMAT_UCHAR, nullptr) == 0 &&
                  vips_copy(photo, &typed, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr) == 0 &&
                  vips_image_write_to_file(typed, file.c_str(), nullptr) == 0;
  for (VipsImage* image : {bands[0], bands[1], bands[2], joined, scaled, noise, grainy, photo, typed})
    if (image != nullptr) g_object_unref(image);
  return ok;
}

}  // namespace vantrel::bench
