// The dialog where the filter has no window system of its own (the native
// and the WebAssembly builds): the program that links the filter in may
// show it through a backend of its own, the way a GUI library keeps one core
// and a backend per platform. The program hands the backend to the filter as
// a host with a window system hands its window: in the record's platform
// data, so that every host shows its own dialogs, however they nest.
#pragma once

#include <cstdint>

#include "dialog/dialog_controller.h"
#include "dialog/dialog_view.h"

namespace vantrel::dialog {

class DialogBackend {
 public:
  DialogBackend();
  virtual ~DialogBackend();
  DialogBackend(const DialogBackend&) = delete;
  DialogBackend& operator=(const DialogBackend&) = delete;

  // The view the next dialog mirrors its controls into; asked for once per
  // dialog, before its controller initialises.
  virtual DialogView& View() = 0;
  // Acts on the initialised dialog as its user does and returns when the
  // user is done. A dialog still open then is accepted, as with OK. No
  // exception may leave it: one that does cancels the dialog.
  virtual void Run(DialogController& controller) = 0;

  // This backend as the host's window: what a host that shows the filter's
  // dialogs through it puts in the platform data's window.
  intptr_t AsWindow() const { return reinterpret_cast<intptr_t>(this); }
};

// The backend a host named as its window, while it lives; nullptr for no
// window (0), a backend gone, or anything else. Without one each dialog is
// initialised over a view that shows nothing and accepted at once, as if
// its user pressed OK.
DialogBackend* BackendOfWindow(intptr_t window);

}  // namespace vantrel::dialog
