// Preview placement and the pixel map of the host's output buffer.
#include "dialog/painting.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "host/component_counts.h"
#include "host/image_modes.h"

namespace vantrel::dialog {

Rect PreviewFrame(const PixelRect& anchor) {
  return Rect{static_cast<int16>(anchor.top), static_cast<int16>(anchor.left), static_cast<int16>(anchor.bottom),
              static_cast<int16>(anchor.right)};
}

PixelRect PlacePreview(const PixelRect& anchor, int32 width, int32 height) {
  const int32 left = (anchor.left + anchor.right - width) / 2;
  const int32 top = (anchor.top + anchor.bottom - height) / 2;
  return PixelRect{left, top, left + width, top + height};
}

PixelRect FrameAround(const PixelRect& p) { return PixelRect{p.left - 1, p.top - 1, p.right + 1, p.bottom + 1}; }

uint8 EightBitSample(uint16 v) {
  const uint32 full = host::kDeepFullScale;
  const uint32 clamped = v < full ? v : full;
  return static_cast<uint8>((clamped * 255 + full / 2) / full);
}

bool EightBitPicture::Convert(const void* pixels, int32 rowBytes, int32 width, int32 height, int32 planes) {
  // A preview is a few hundred pixels a side; a picture far beyond that comes
  // from a host that rewrote the rectangle, and is not worth the memory.
  constexpr uint64_t kLargest = uint64_t{1} << 26;
  const uint64_t rowSamples = uint64_t(width) * uint64_t(planes);
  const uint64_t bytes = rowSamples * uint64_t(height);
  if (width <= 0 || height <= 0 || planes <= 0 || bytes > kLargest) return false;
  if (bytes > capacity_) {
    bytes_.reset(new (std::nothrow) uint8[bytes]);
    capacity_ = bytes_ != nullptr ? std::size_t(bytes) : 0;
    if (bytes_ == nullptr) return false;
  }
  for (int32 i = 0; i < height; ++i) {
    const auto* row = static_cast<const uint8*>(pixels) + std::ptrdiff_t(i) * rowBytes;
    uint8* to = bytes_.get() + std::size_t(i) * rowSamples;
    for (std::size_t k = 0; k < rowSamples; ++k) {
      uint16 v;
      std::memcpy(&v, row + 2 * k, sizeof v);  // no alignment is promised
      to[k] = EightBitSample(v);
    }
  }
  return true;
}

PreviewPixels::PreviewPixels(const FilterRecord& record, EightBitPicture& deep) {
  const Rect& out = record.outRect;
  const int32 pixelPlanes = record.outHiPlane - record.outLoPlane + 1;
  const int32 sampleBytes = host::SampleBytes(record.imageMode);
  source = VRect{out.top, out.left, out.bottom, out.right};
  map.version = 1;
  map.bounds = source;
  map.imageMode = record.imageMode;
  map.rowBytes = record.outRowBytes;
  map.colBytes = pixelPlanes;
  map.planeBytes = 1;
  map.baseAddr = record.outData;
  const int32 width = out.right - out.left;
  const int32 height = out.bottom - out.top;
  const int32 colour = host::ColorComponentCount(host::EightBitMode(record.imageMode), 0);
  drawable = record.outData != nullptr && width > 0 && height > 0 && pixelPlanes >= colour && pixelPlanes >= 1 &&
             int64_t{record.outRowBytes} >= int64_t{width} * pixelPlanes * sampleBytes && sampleBytes <= 2;
  void* pixels = record.outData;
  if (drawable && sampleBytes == 2) {
    drawable = deep.Convert(record.outData, record.outRowBytes, width, height, pixelPlanes);
    pixels = deep.data();
    map.imageMode = host::EightBitMode(record.imageMode);
    map.rowBytes = width * pixelPlanes;
    map.baseAddr = pixels;
  }

  if (record.isFloating && record.maskData != nullptr) {
    mask.maskData = record.maskData;
    mask.rowBytes = record.maskRowBytes;
    mask.colBytes = 1;
    map.masks = &mask;
  } else if (record.inLayerPlanes != 0 && record.inTransparencyMask != 0 && pixels != nullptr) {
    mask.maskData = static_cast<uint8*>(pixels) + (pixelPlanes - 1);
    mask.rowBytes = map.rowBytes;
    mask.colBytes = pixelPlanes;
    map.masks = &mask;
  }
}

}  // namespace vantrel::dialog
