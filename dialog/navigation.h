// Preview navigation: the offsets that nudges, drags and zooms move the
// preview window by, and the bounds that keep it inside the filter rectangle.
#pragma once

#include "dialog/geometry.h"

namespace vantrel::dialog {

// Image pixels one nudge moves the window, whatever the zoom factor.
constexpr int32 kNudgeStep = 50;

// The direction of a nudge button in whole steps: -1, 0 or +1 on each axis
// (positive moves the window right or down). Answers false for other ids.
bool NudgeDirection(int id, int32& h, int32& v);

// Offsets are image pixels from the centred window. The committed pair is
// what nudges and zooms start from; the live pair is shown during a drag,
// whose displacement so far is the delta, measured against the anchor point.
struct PreviewNavigation {
  int32 committedH = 0, committedV = 0;
  int32 liveH = 0, liveV = 0;
  int32 deltaH = 0, deltaV = 0;
  int32 anchorX = 0, anchorY = 0;
  bool dragging = false;
  // Horizontal offsets stay within [-marginLeft, marginRight], vertical ones
  // within [-marginTop, marginBottom].
  int32 marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
  PixelRect previewRect;  // where the proxy is drawn, client pixels

  // Bounds of a window centred in `host` (the host's filter rectangle) that
  // a fetch narrowed it to `window`; 0 on an axis the fetch did not narrow.
  void SetMargins(const Rect& host, const Rect& window);
  void Clamp(int32& h, int32& v) const;
  // Inside or on the edge of the preview rectangle.
  bool Contains(PixelPoint p) const;
  // Follows the pointer to `p` during a drag at zoom factor `zoom`: the live
  // offsets move opposite to the pointer, zoom image pixels per client pixel.
  // Pushing past a margin holds the offset there and re-anchors at `p`, so
  // that moving back moves the window at once.
  void DragTo(PixelPoint p, int32 zoom);
  // Ends a drag: its displacement becomes part of the committed offsets.
  void CommitDrag();
  // Forgets every movement: offsets, drag and anchor back to 0.
  void Recentre();
};

// Whether the next zoom factor after `zoom` still fills the preview: the
// host's filter rectangle divided by zoom + 1 reaches the preview
// rectangle's right and bottom client coordinates.
bool ZoomOutAllowed(const Rect& host, int32 zoom, const PixelRect& previewRect);

}  // namespace vantrel::dialog
