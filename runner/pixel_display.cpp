// Our host's displayPixels: what the filter asks to draw, rendered as RGB.
#include <cstddef>

#include "core/settings.h"
#include "runner/host.h"
#include "runner/host_window.h"

namespace vantrel::runner {

bool RenderPixelMap(const PSPixelMap& map, const VRect& source, Image& rgb) {
  const VRect& b = map.bounds;
  const int32 width = source.right - source.left;
  const int32 height = source.bottom - source.top;
  const int32 channels = map.imageMode == plugInModeRGBColor ? 3 : map.imageMode == plugInModeCMYKColor ? 4 : 0;
  if (map.baseAddr == nullptr || map.rowBytes == 0 || channels == 0 || map.planeBytes != 1 ||
      map.colBytes < channels || width <= 0 || height <= 0 || width > kMostSide || height > kMostSide ||
      source.top < b.top || source.left < b.left || source.bottom > b.bottom || source.right > b.right)
    return false;
  const PSPixelMask* mask = map.version >= 1 ? map.masks : nullptr;
  if (mask != nullptr && mask->maskData == nullptr) mask = nullptr;

  rgb = Image(static_cast<int16>(width), static_cast<int16>(height), 3);
  for (int32 i = 0; i < height; ++i) {
    const std::ptrdiff_t row = source.top - b.top + i;
    for (int32 j = 0; j < width; ++j) {
      const std::ptrdiff_t col = source.left - b.left + j;
      const uint8* p = static_cast<const uint8*>(map.baseAddr) + row * map.rowBytes + col * map.colBytes;
      uint8* d = rgb.At(i, j);
      if (channels == 3) {
        d[0] = p[0], d[1] = p[1], d[2] = p[2];
      } else {
        // The host's CMYK planes hold 255 where there is no ink.
        for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8>(p[k] * p[3] / 255);
      }
      if (mask != nullptr) {
        // Over white: 255 in the mask is opaque.
        const int m = static_cast<const uint8*>(mask->maskData)[row * mask->rowBytes + col * mask->colBytes];
        for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8>((d[k] * m + 255 * (255 - m) + 127) / 255);
      }
    }
  }
  return true;
}

OSErr Host::DisplayPixelsProc(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                              void* platformContext) {
  if (current_->habits_.displaysOnlyRgbAndGray && source != nullptr && source->imageMode != plugInModeRGBColor &&
      source->imageMode != plugInModeGrayScale) {
    ++current_->fatalCalls_;
    return filterBadParameters;
  }
  DisplayCall call;
  if (source != nullptr) call.map = *source;
  if (source != nullptr && source->version >= 1 && source->masks != nullptr) {
    call.hasMask = true;
    call.mask = *source->masks;
  }
  if (srcRect != nullptr) call.source = *srcRect;
  call.row = dstRow;
  call.col = dstCol;
  call.context = platformContext;
  const bool drawable = source != nullptr && srcRect != nullptr && RenderPixelMap(*source, *srcRect, call.drawn);
  if (drawable) DrawOnDevice(platformContext, dstRow, dstCol, call.drawn);
  // Only the newest picture is kept: a person panning the preview for long
  // would otherwise pile up one copy per repaint.
  std::vector<DisplayCall>& calls = current_->displayCalls_;
  if (!calls.empty()) calls.back().drawn = Image{};
  calls.push_back(std::move(call));
  return drawable ? noErr : filterBadParameters;
}

}  // namespace vantrel::runner
