// Scripting parameters: what travels through the host's descriptors.
#include "core/entry.h"

namespace vantrel {

void DoFinish(Globals* /*globals*/) {}

}  // namespace vantrel
