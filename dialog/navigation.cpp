// Preview navigation arithmetic.
#include "dialog/navigation.h"

#include <algorithm>

#include "resources/resource_ids.h"

namespace vantrel::dialog {
namespace {

// The nudge buttons ring the preview like the keys Q W E / A D / Z X C.
struct Nudge {
  int id;
  int32 h, v;
};
constexpr Nudge kNudges[] = {
    {IDC_NUDGE_UP_LEFT, -1, -1},   {IDC_NUDGE_UP, 0, -1},   {IDC_NUDGE_UP_RIGHT, 1, -1},
    {IDC_NUDGE_LEFT, -1, 0},       {IDC_NUDGE_RIGHT, 1, 0},  //
    {IDC_NUDGE_DOWN_LEFT, -1, 1},  {IDC_NUDGE_DOWN, 0, 1},  {IDC_NUDGE_DOWN_RIGHT, 1, 1},
};

// One axis of a drag step; see DragTo.
void DragAxis(int32 pointer, int32 zoom, int32 lowMargin, int32 highMargin, int32& anchor, int32& delta,
              int32& live, int32& committed) {
  delta = zoom * (anchor - pointer);
  live = committed + delta;
  if (live < -lowMargin) {
    live = committed = -lowMargin;
    anchor = pointer;
    delta = 0;
  }
  if (live > highMargin) {
    live = committed = highMargin;
    anchor = pointer;
    delta = 0;
  }
}

}  // namespace

bool NudgeDirection(int id, int32& h, int32& v) {
  for (const Nudge& n : kNudges) {
    if (n.id != id) continue;
    h = n.h;
    v = n.v;
    return true;
  }
  return false;
}

void PreviewNavigation::SetMargins(const Rect& host, const Rect& window) {
  marginLeft = window.left - host.left;
  marginRight = host.right - window.right;
  marginTop = window.top - host.top;
  marginBottom = host.bottom - window.bottom;
}

void PreviewNavigation::Clamp(int32& h, int32& v) const {
  h = std::min(std::max(h, -marginLeft), marginRight);
  v = std::min(std::max(v, -marginTop), marginBottom);
}

bool PreviewNavigation::Contains(PixelPoint p) const {
  return p.x >= previewRect.left && p.x <= previewRect.right && p.y >= previewRect.top &&
         p.y <= previewRect.bottom;
}

void PreviewNavigation::DragTo(PixelPoint p, int32 zoom) {
  DragAxis(p.x, zoom, marginLeft, marginRight, anchorX, deltaH, liveH, committedH);
  DragAxis(p.y, zoom, marginTop, marginBottom, anchorY, deltaV, liveV, committedV);
}

void PreviewNavigation::CommitDrag() {
  committedH += deltaH;
  committedV += deltaV;
  deltaH = deltaV = 0;
}

void PreviewNavigation::Recentre() {
  committedH = committedV = liveH = liveV = deltaH = deltaV = anchorX = anchorY = 0;
}

bool ZoomOutAllowed(const Rect& host, int32 zoom, const PixelRect& previewRect) {
  return Width(host) / (zoom + 1) >= previewRect.right && Height(host) / (zoom + 1) >= previewRect.bottom;
}

}  // namespace vantrel::dialog
