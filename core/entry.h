// The library's one entry for the host, and the steps behind it.
#pragma once

#include <cstdint>

#include "core/globals.h"
#include "records/host_records.h"

extern "C" {
// Called by the host once per selector; everything is reported through
// `*result`.
void ENTRYPOINT(int16 selector, void* record, intptr_t* data, int16* result);
}

namespace vantrel {

using GlobalsInitialiser = bool (*)(Globals*);

// Recovers the locked Globals kept in `*data`, or makes, locks and initialises
// a new one and keeps it there. On success `*result` is noErr. Answers nullptr
// when no block can be had.
Globals* AcquireGlobals(int16* result, FilterRecord* record, const HandleProcs* procs, int32 size,
                        intptr_t* data, GlobalsInitialiser initialiser);

// Selector handlers. Results travel through `*globals->result`.
void DoParameters(Globals* globals);
void DoPrepare(Globals* globals);
void DoStart(Globals* globals);
void DoContinue(Globals* globals);
void DoFinish(Globals* globals);

}  // namespace vantrel
