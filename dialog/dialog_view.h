// What the parameter dialog's controller needs of its window. The Win32
// binding implements it over the real dialog; natively a recording view
// stands in. Implementations do what they are told and report no errors.
#pragma once

#include "dialog/geometry.h"

namespace vantrel::dialog {

class DialogView {
 public:
  virtual ~DialogView() = default;

  // ---- The controller's control state, mirrored into the controls (ids
  // from resources/resource_ids.h).
  virtual void SetChecked(int id, bool checked) = 0;
  virtual void SetEnabled(int id, bool enabled) = 0;
  // Inserts `text` (ASCII) as row `row` of list `id`, without sorting.
  virtual void InsertListRow(int id, int row, const char* text) = 0;
  virtual void SelectListRow(int id, int row) = 0;
  // Sets the label of control `id` (ASCII).
  virtual void SetText(int id, const char* text) = 0;
  virtual void FocusControl(int id) = 0;

  // ---- What the user changed in the controls themselves.
  // The state of an automatic check box, which toggles itself when clicked.
  virtual bool IsChecked(int id) = 0;
  // The selected row of list `id`; -1 when none is.
  virtual int SelectedListRow(int id) = 0;

  // ---- The preview.
  // Marks `r` (client pixels) for repainting, without erasing it first.
  virtual void InvalidatePreview(const PixelRect& r) = 0;
  // Shows the closed hand (dragging) or the open hand.
  virtual void ShowHandCursor(bool closed) = 0;
  // Keeps the pointer inside `r` (client pixels) until released.
  virtual void ConfinePointer(const PixelRect& r) = 0;
  virtual void ReleasePointer() = 0;
  // The preview anchor's window rectangle, screen pixels.
  virtual PixelRect AnchorOnScreen() = 0;
  // Where the client area's top-left corner lies on the screen.
  virtual PixelPoint ClientOriginOnScreen() = 0;
  // The pointer's position now, client pixels.
  virtual PixelPoint PointerPosition() = 0;

  // Closes the dialog; the dialog answers `result` (1 OK, 2 Cancel).
  virtual void EndDialog(int result) = 0;
};

// What a paint of the dialog offers the controller.
class PaintTarget {
 public:
  virtual ~PaintTarget() = default;
  // Draws a one-pixel black frame on the edge pixels of `r`: its left and
  // top rows and columns and those just inside its right and bottom.
  virtual void DrawFrame(const PixelRect& r) = 0;
  // The device context handed to the host's displayPixels.
  virtual void* PlatformContext() = 0;
};

}  // namespace vantrel::dialog
