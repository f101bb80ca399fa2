// Scripting parameters: the three values that travel through the host's
// descriptors ('Amnt', 'disP', 'entI'), and the host's wish for a dialog.
#pragma once

#include "core/globals.h"

namespace vantrel {

constexpr DescriptorKeyID keyAmount = FourCC("Amnt");
constexpr DescriptorKeyID keyDisplayMode = FourCC("disP");
constexpr DescriptorKeyID keyEntI = FourCC("entI");
constexpr DescriptorUnitID unitPercent = FourCC("#Prc");
constexpr DescriptorTypeID typeDisplayMode = FourCC("mooD");

// Reads the values into the parameter block and sets showDialog from the
// host's wish. A close error other than errMissingParameter becomes the
// result word. Answers the close result (0 when nothing was read).
OSErr ReadScriptingParameters(Globals* globals);

// Records the values in a new descriptor for the host. Never changes the
// result word.
OSErr WriteScriptingParameters(Globals* globals);

}  // namespace vantrel
