// Points and rectangles of the dialog's client area, in pixels.
#pragma once

#include "records/host_records.h"

namespace vantrel::dialog {

struct PixelPoint {
  int32 x = 0;
  int32 y = 0;
};

// Right and bottom are exclusive where pixels are drawn.
struct PixelRect {
  int32 left = 0;
  int32 top = 0;
  int32 right = 0;
  int32 bottom = 0;
};

inline int32 Width(const Rect& r) { return r.right - r.left; }
inline int32 Height(const Rect& r) { return r.bottom - r.top; }

inline bool operator==(const PixelPoint& a, const PixelPoint& b) { return a.x == b.x && a.y == b.y; }
inline bool operator==(const PixelRect& a, const PixelRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace vantrel::dialog
