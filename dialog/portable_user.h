// The native build has no window to show the dialog in: whoever links the
// filter in may act as the user of each dialog it shows.
#pragma once

#include "dialog/recording_view.h"

namespace vantrel::dialog {

// Called with a simulated user of each dialog once it is initialised. A
// dialog that the user leaves open is then accepted, as with OK. Without a
// user every dialog is accepted at once.
using PortableUser = void (*)(SimulatedUser& user, void* context);
void SetPortableUser(PortableUser user, void* context);

}  // namespace vantrel::dialog
