// The recording view and the simulated user.
#include "dialog/recording_view.h"

#include <algorithm>

#include "resources/resource_ids.h"

namespace vantrel::dialog {

void RecordingView::InsertListRow(int id, int row, const char* text) {
  auto& rows = controls[id].rows;
  rows.insert(rows.begin() + std::clamp<int>(row, 0, static_cast<int>(rows.size())), text);
}

void RecordingView::ConfinePointer(const PixelRect& r) {
  confined = true;
  confinement = r;
}

void SimulatedUser::Click(int id) {
  RecordingView::Control& c = view_.controls[id];
  if (!c.enabled) return;
  if (id == IDC_BLEND || id == IDC_EXCLUDE) {
    c.checked = !c.checked;
    controller_.Toggle(id, c.checked);
  } else {
    controller_.Press(id);
  }
}

void SimulatedUser::PickRow(int row) {
  RecordingView::Control& list = view_.controls[IDC_ORDER_LIST];
  if (row < 0 || row >= static_cast<int>(list.rows.size())) return;
  list.selected = row;
  controller_.PickRow(row);
}

void SimulatedUser::MovePointerTo(PixelPoint p) {
  if (view_.confined) {
    // As the system confines it: right and bottom edges excluded.
    const PixelRect& r = view_.confinement;
    p.x = std::clamp(p.x, r.left, std::max(r.left, r.right - 1));
    p.y = std::clamp(p.y, r.top, std::max(r.top, r.bottom - 1));
  }
  view_.pointer = p;
  controller_.PointerMove(p);
}

void SimulatedUser::MovePointerBy(int32 dx, int32 dy) {
  const PixelRect& a = view_.anchor;
  MovePointerTo(PixelPoint{(a.left + a.right) / 2 + dx, (a.top + a.bottom) / 2 + dy});
}

}  // namespace vantrel::dialog
