// The modal parameter dialog shown at start.
#pragma once

#include "core/globals.h"

namespace vantrel::dialog {

// Runs the dialog over the current parameter block. A cancelled dialog leaves
// userCanceledErr in the result word. Answers whether the user accepted.
bool ShowParameterDialog(Globals* globals);

}  // namespace vantrel::dialog
