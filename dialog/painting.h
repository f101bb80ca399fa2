// Preview painting: where the proxy lies in the dialog, its frame, and the
// pixel map that hands the host's output buffer to displayPixels.
#pragma once

#include "dialog/geometry.h"

namespace vantrel::dialog {

// The anchor control's rectangle converted from screen to client pixels, as
// the fetch reads it: top, left, bottom, right.
Rect PreviewFrame(const PixelRect& anchorOnScreen, PixelPoint clientOrigin);

// A proxy of `width` x `height` pixels centred on the anchor, in client
// pixels. The centring is done in screen pixels and halves truncate toward
// zero, so an odd difference puts the proxy half a pixel up or left.
PixelRect PlacePreview(const PixelRect& anchorOnScreen, PixelPoint clientOrigin, int32 width, int32 height);

// The one-pixel black frame drawn around a placed proxy: the image sits
// directly inside it.
PixelRect FrameAround(const PixelRect& placed);

// What displayPixels is given for the output buffer after a fetch: the map
// of the buffer (with at most one mask: the host's floating selection mask,
// else the output's last plane when the layer has transparency) and the
// source rectangle. The map points at the mask, so the record is filled in
// place and never copied.
struct PreviewPixels {
  PSPixelMap map{};
  PSPixelMask mask{};
  VRect source{};
  // Whether the buffer, as the record describes it, holds every pixel of the
  // source with the mode's colour planes. A host that reads a map beyond its
  // own buffer is never handed one.
  bool drawable = false;

  explicit PreviewPixels(const FilterRecord& record);
  PreviewPixels(const PreviewPixels&) = delete;
  PreviewPixels& operator=(const PreviewPixels&) = delete;
};

}  // namespace vantrel::dialog
