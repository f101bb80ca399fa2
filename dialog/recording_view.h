// The parameter dialog without a window: a view that keeps what the
// controller shows and records what it asks for, and a simulated user that
// acts on it as a user of the real controls would. Tests drive the
// controller through it, and our host's scripted user acts in the native
// build's dialogs through it; no product links it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "dialog/dialog_controller.h"
#include "dialog/dialog_view.h"

namespace vantrel::dialog {

class RecordingView : public DialogView {
 public:
  // The window it stands for: the template's preview anchor at two pixels
  // per dialog unit.
  PixelRect anchor = kTemplateAnchor;
  PixelPoint pointer{0, 0};  // client pixels

  struct Control {
    bool checked = false;
    bool enabled = true;
    std::string text;
    std::vector<std::string> rows;
    int selected = -1;
  };
  std::map<int, Control> controls;
  int focused = 0;
  bool closedHand = false;
  bool confined = false;
  PixelRect confinement;
  std::vector<PixelRect> invalidated;
  int endResult = 0;  // 0 while open, then 1 accepted or 2 cancelled

  const Control& control(int id) { return controls[id]; }

  void SetChecked(int id, bool checked) override { controls[id].checked = checked; }
  void SetEnabled(int id, bool enabled) override { controls[id].enabled = enabled; }
  void InsertListRow(int id, int row, const char* text) override;
  void SelectListRow(int id, int row) override { controls[id].selected = row; }
  void SetText(int id, const char* text) override { controls[id].text = text; }
  void FocusControl(int id) override { focused = id; }
  PixelRect PreviewAnchor() override { return anchor; }
  void InvalidatePreview(const PixelRect& r) override { invalidated.push_back(r); }
  void ShowHandCursor(bool closed) override { closedHand = closed; }
  void ConfinePointer(const PixelRect& r) override;
  void ReleasePointer() override { confined = false; }
  void EndDialog(bool accepted) override { endResult = accepted ? 1 : 2; }
};

// Acts on a dialog as its user would through the controls and the pointer.
class SimulatedUser {
 public:
  SimulatedUser(DialogController& controller, RecordingView& view) : controller_(controller), view_(view) {}

  // A click on a button: nothing when it is disabled; a check box toggles.
  void Click(int id);
  // Picks a row of the order list.
  void PickRow(int row);
  // Moves the pointer to `p` (client pixels), held inside a confinement as
  // the system holds it, and tells the controller.
  void MovePointerTo(PixelPoint p);
  // The same relative to the centre of the preview anchor.
  void MovePointerBy(int32 dx, int32 dy);
  // The left button where the pointer is.
  void PressLeft() { controller_.PointerDown(view_.pointer); }
  void ReleaseLeft() { controller_.PointerUp(view_.pointer); }
  void DoubleClickLeft() { controller_.DoubleClick(view_.pointer); }

  DialogController& controller() { return controller_; }
  RecordingView& view() { return view_; }

 private:
  DialogController& controller_;
  RecordingView& view_;
};

}  // namespace vantrel::dialog
