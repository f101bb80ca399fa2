// What the core calls in the folders above it: the about box and host
// detection (hostinfo/) and the parameter dialog (dialog/). They are declared
// here, in the namespaces of the folders that define them, so that the core
// includes nothing from above and those folders include this header instead.
#pragma once

#include "core/globals.h"
#include "records/host_records.h"

namespace vantrel::hostinfo {

// Shows text `textId` with caption `textId + 1`, owned by the host window named
// in the record's platform data (none when the record or its data is absent).
// Returns when the user has closed the box.
void ShowAboutBox(const AboutRecord* about, void* moduleInstance, int16 textId);

// Whether the host belongs to the signature group entered at `key`; 0 when it
// does not or cannot be identified, else its packed version. A key that is
// not in the host signature table (0 included) answers 0 without reading
// anything.
uint32 QueryHostVersion(uint32 key);

}  // namespace vantrel::hostinfo

namespace vantrel::dialog {

// Runs the dialog over the current parameter block. A cancelled dialog leaves
// userCanceledErr in the result word. Answers whether the user accepted.
bool ShowParameterDialog(Globals* globals);

}  // namespace vantrel::dialog
