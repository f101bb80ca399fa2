// Preview painting: where the proxy lies in the dialog, its frame, and the
// pixel map that hands the host's output buffer to displayPixels.
#pragma once

#include <cstddef>
#include <memory>

#include "dialog/geometry.h"

namespace vantrel::dialog {

// The anchor's rectangle (client pixels) as the fetch reads it: top, left,
// bottom, right, in the host's 16-bit coordinates.
Rect PreviewFrame(const PixelRect& anchor);

// A proxy of `width` x `height` pixels centred on the anchor, in client
// pixels. Halves truncate, so an odd difference puts the proxy half a pixel
// up or left.
PixelRect PlacePreview(const PixelRect& anchor, int32 width, int32 height);

// The one-pixel black frame drawn around a placed proxy: the image sits
// directly inside it.
PixelRect FrameAround(const PixelRect& placed);

// A 16-bit sample (full scale 32768) as an 8-bit one: v * 255 / 32768
// rounded to the nearest, anything above full scale drawn as full.
uint8 EightBitSample(uint16 v);

// The dialog's own 8-bit copy of a deep preview. The open hosts' displayPixels
// draw 8-bit pictures only, so the host's 16-bit output buffer is converted
// sample by sample, every plane of the pixel, into interleaved bytes that are
// drawn in its place. The memory is kept from one paint to the next.
class EightBitPicture {
 public:
  // Converts `height` rows of `width` pixels of `planes` 16-bit samples from
  // `pixels`, rows `rowBytes` apart. False, with nothing converted, when the
  // memory cannot be had or the picture is larger than any preview.
  bool Convert(const void* pixels, int32 rowBytes, int32 width, int32 height, int32 planes);
  uint8* data() { return bytes_.get(); }

 private:
  std::unique_ptr<uint8[]> bytes_;
  std::size_t capacity_ = 0;
};

// What displayPixels is given for the output buffer after a fetch: the map
// of the buffer (with at most one mask: the host's floating selection mask,
// else the output's last plane when the layer has transparency) and the
// source rectangle. The map points at the mask, so the record is filled in
// place and never copied.
//
// In the deep modes the map describes `deep` instead, converted from the
// output buffer, as an 8-bit picture of the mode's 8-bit counterpart (RGB or
// CMYK), and the transparency mask is its last plane likewise; it then looks
// as the 8-bit preview of the same image does.
struct PreviewPixels {
  PSPixelMap map{};
  PSPixelMask mask{};
  VRect source{};
  // Whether the buffer, as the record describes it, holds every pixel of the
  // source with the mode's colour planes (and, in a deep mode, whether it
  // could be converted). A host that reads a map beyond its own buffer is
  // never handed one.
  bool drawable = false;

  PreviewPixels(const FilterRecord& record, EightBitPicture& deep);
  PreviewPixels(const PreviewPixels&) = delete;
  PreviewPixels& operator=(const PreviewPixels&) = delete;
};

}  // namespace vantrel::dialog
