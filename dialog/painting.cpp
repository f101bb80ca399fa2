// Preview placement and the pixel map of the host's output buffer.
#include "dialog/painting.h"

#include <cstdint>

#include "host/component_counts.h"

namespace vantrel::dialog {

Rect PreviewFrame(const PixelRect& anchor, PixelPoint origin) {
  return Rect{static_cast<int16>(anchor.top - origin.y), static_cast<int16>(anchor.left - origin.x),
              static_cast<int16>(anchor.bottom - origin.y), static_cast<int16>(anchor.right - origin.x)};
}

PixelRect PlacePreview(const PixelRect& anchor, PixelPoint origin, int32 width, int32 height) {
  const auto left = static_cast<int16>((anchor.left + anchor.right - width) / 2 - origin.x);
  const auto top = static_cast<int16>((anchor.top + anchor.bottom - height) / 2 - origin.y);
  return PixelRect{left, top, static_cast<int16>(left + width), static_cast<int16>(top + height)};
}

PixelRect FrameAround(const PixelRect& p) { return PixelRect{p.left - 1, p.top - 1, p.right + 1, p.bottom + 1}; }

PreviewPixels::PreviewPixels(const FilterRecord& record) {
  const Rect& out = record.outRect;
  const int32 pixelBytes = record.outHiPlane - record.outLoPlane + 1;
  source = VRect{out.top, out.left, out.bottom, out.right};
  map.version = 1;
  map.bounds = source;
  map.imageMode = record.imageMode;
  map.rowBytes = record.outRowBytes;
  map.colBytes = pixelBytes;
  map.planeBytes = 1;
  map.baseAddr = record.outData;
  const int32 width = out.right - out.left;
  const int32 colour = host::ColorComponentCount(record.imageMode, 0);
  drawable = record.outData != nullptr && width > 0 && out.bottom > out.top && pixelBytes >= colour &&
             pixelBytes >= 1 && int64_t{record.outRowBytes} >= int64_t{width} * pixelBytes;

  if (record.isFloating && record.maskData != nullptr) {
    mask.maskData = record.maskData;
    mask.rowBytes = record.maskRowBytes;
    mask.colBytes = 1;
    map.masks = &mask;
  } else if (record.inLayerPlanes != 0 && record.inTransparencyMask != 0 && record.outData != nullptr) {
    mask.maskData = static_cast<uint8*>(record.outData) + (pixelBytes - 1);
    mask.rowBytes = record.outRowBytes;
    mask.colBytes = pixelBytes;
    map.masks = &mask;
  }
}

}  // namespace vantrel::dialog
