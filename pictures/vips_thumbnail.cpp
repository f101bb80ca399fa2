// Thumbnails: a picture shrunk by libvips to the size a contact sheet's cell
// allows, never enlarged.
#include <vips/vips.h>

#include <algorithm>
#include <memory>
#include <string>

#include "host/image_modes.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

// Shrinks `image` by `scale` (below 1) for a thumbnail. A transparency plane
// weighs the colours while they are resampled, so that transparent pixels
// lend none of theirs to their neighbours.
VipsImage* Shrunk(VipsImage* image, int16 mode, double scale) {
  VipsImage* out = nullptr;
  if (image->Bands == host::ColourPlanes(mode)) {
    if (vips_resize(image, &out, scale, nullptr) != 0) return nullptr;
    return out;
  }
  VipsImage *weighed = nullptr, *resized = nullptr, *unweighed = nullptr;
  if (vips_premultiply(image, &weighed, nullptr) == 0 && vips_resize(weighed, &resized, scale, nullptr) == 0 &&
      vips_unpremultiply(resized, &unweighed, nullptr) == 0)
    vips_cast_uchar(unweighed, &out, nullptr);
  for (VipsImage* step : {weighed, resized, unweighed})
    if (step != nullptr) g_object_unref(step);
  return out;
}

}  // namespace

std::string ShrinkToFit(VipsImage* image, int16 mode, const FitFor& fit, std::shared_ptr<void>& shrunk) {
  const Fit box = fit(image->Xsize, image->Ysize, mode);
  double scale = 1;
  if (box.width > 0) scale = std::min(scale, double(box.width) / image->Xsize);
  if (box.height > 0) scale = std::min(scale, double(box.height) / image->Ysize);
  if (scale >= 1) return "";
  VipsImage* out = Shrunk(image, mode, scale);
  if (out == nullptr) return VipsReason("cannot shrink the image");
  shrunk = Keep(out);
  return "";
}

}  // namespace vantrel::pictures
