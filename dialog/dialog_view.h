// What the parameter dialog's controller needs of its window. A platform
// binding implements it over its controls: the Win32 one over the real
// dialog, the page's over its elements; natively a recording view stands in.
// Every call tells the window something: what the user did reaches the
// controller through its own calls, with the positions and states they
// carry, so a view never has to be read back. Implementations do what they
// are told and report no errors.
#pragma once

#include "dialog/geometry.h"

namespace vantrel::dialog {

// The preview anchor of the dialog's template at two pixels per dialog unit,
// client pixels: where a window without a layout of its own places it.
constexpr PixelRect kTemplateAnchor{108, 96, 230, 236};

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

  // ---- The preview.
  // The preview anchor's rectangle, client pixels: the proxy is centred on
  // it, and the host is asked for as many pixels as reach its right and
  // bottom edges.
  virtual PixelRect PreviewAnchor() = 0;
  // Marks `r` (client pixels) for repainting, without erasing it first.
  virtual void InvalidatePreview(const PixelRect& r) = 0;
  // Shows the closed hand (dragging) or the open hand.
  virtual void ShowHandCursor(bool closed) = 0;
  // A drag began inside `r` (client pixels): keep the pointer there, where
  // the platform can, until released. The drag ends at the next release
  // wherever it happens.
  virtual void ConfinePointer(const PixelRect& r) = 0;
  virtual void ReleasePointer() = 0;

  // Closes the dialog, accepted (OK) or not (Cancel).
  virtual void EndDialog(bool accepted) = 0;
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
