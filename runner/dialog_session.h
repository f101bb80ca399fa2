// A scripted user of the filter's parameter dialog: what our host does in
// each dialog the filter shows during a start call. On Windows a second
// thread finds the real dialog and sends it messages; natively the filter's
// windowless dialog is acted on directly.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "records/host_records.h"

namespace vantrel::runner {

struct DialogStep {
  enum class Kind { Click, PickRow, PointerBy, PressLeft, ReleaseLeft, DoubleClickLeft, Inspect };
  Kind kind = Kind::Click;
  int value = 0;         // the control clicked, or the row picked
  int32 dx = 0, dy = 0;  // pointer position from the centre of the preview anchor, client pixels
  std::function<void(void* window)> inspect;

  // A click as the user makes it: nothing when the control is disabled.
  static DialogStep Click(int id) { return Make(Kind::Click, id); }
  static DialogStep PickRow(int row) { return Make(Kind::PickRow, row); }
  // Moves the pointer (held inside any confinement) and sends a mouse move.
  static DialogStep PointerBy(int32 dx, int32 dy) { return Make(Kind::PointerBy, 0, dx, dy); }
  static DialogStep PressLeft() { return Make(Kind::PressLeft); }
  static DialogStep ReleaseLeft() { return Make(Kind::ReleaseLeft); }
  static DialogStep DoubleClickLeft() { return Make(Kind::DoubleClickLeft); }
  // Runs `look` while the dialog is open and painted, with the dialog's
  // window (an HWND, on the user's thread) on Windows, nullptr natively.
  static DialogStep Inspect(std::function<void(void* window)> look) {
    DialogStep step = Make(Kind::Inspect);
    step.inspect = std::move(look);
    return step;
  }

 private:
  static DialogStep Make(Kind kind, int value = 0, int32 dx = 0, int32 dy = 0) {
    DialogStep step;
    step.kind = kind;
    step.value = value;
    step.dx = dx;
    step.dy = dy;
    return step;
  }
};
using DialogScript = std::vector<DialogStep>;

// Runs `call` while a user plays `script` in every dialog it shows; a dialog
// left open after the script is accepted with OK. Adds the dialogs seen to
// `shown`. `platform` is the record's platform data: where there is no
// window system the user's dialogs are named there as the host's window for
// the call.
void RunWithDialogUser(const DialogScript& script, int& shown, PlatformData& platform,
                       const std::function<void()>& call);

// The filter's parameter dialog as process `processId` shows it (an HWND), for
// a user outside that process; 0 while it shows none, and always 0 where there
// is no window system.
intptr_t FindParameterDialog(uint32 processId);
// Plays `script` in a dialog found so, as the scripted user does. Nothing
// where there is no window system.
void PlayInDialog(intptr_t dialog, const DialogScript& script);

}  // namespace vantrel::runner
