// The dialog where the filter has no window system of its own (the native
// and the WebAssembly builds): the program that links the filter in may
// show it through a backend of its own, the way a GUI library keeps one core
// and a backend per platform.
#pragma once

#include "dialog/dialog_controller.h"
#include "dialog/dialog_view.h"

namespace vantrel::dialog {

class DialogBackend {
 public:
  virtual ~DialogBackend() = default;
  // The view the next dialog mirrors its controls into; asked for once per
  // dialog, before its controller initialises.
  virtual DialogView& View() = 0;
  // Acts on the initialised dialog as its user does and returns when the
  // user is done. A dialog still open then is accepted, as with OK. No
  // exception may leave it: one that does cancels the dialog.
  virtual void Run(DialogController& controller) = 0;
};

// The backend of the dialogs shown from now on. Without one (nullptr) each
// dialog is initialised over a view that shows nothing and accepted at once,
// as if its user pressed OK.
void SetDialogBackend(DialogBackend* backend);

}  // namespace vantrel::dialog
