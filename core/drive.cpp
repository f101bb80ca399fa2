// Filtering drive: the prepare, start and continue selectors.
#include "core/entry.h"
#include "core/parameters.h"

namespace vantrel {

void DoPrepare(Globals* globals) {
  globals->filterRecord->bufferSpace = 0;
  EnsureParameters(globals);
}

void DoStart(Globals* globals) { EnsureParameters(globals); }

void DoContinue(Globals* /*globals*/) {}

}  // namespace vantrel
