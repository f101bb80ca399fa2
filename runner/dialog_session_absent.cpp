// No scripted user: where the program that runs the filter shows its dialogs
// itself (the page's dialog backend), every dialog is left to it.
#include "runner/dialog_session.h"

namespace vantrel::runner {

intptr_t FindParameterDialog(uint32) { return 0; }
void PlayInDialog(intptr_t, const DialogScript&) {}
void RunWithDialogUser(const DialogScript&, int&, PlatformData&, const std::function<void()>& call) { call(); }

}  // namespace vantrel::runner
