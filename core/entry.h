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

struct FilterParameters;

using GlobalsInitialiser = FilterParameters* (*)(Globals*);

// Recovers the locked Globals kept in `*data`, or makes, locks and initialises
// a new one and keeps it there. On success `*result` is noErr. Answers nullptr
// when no block can be had.
//
// Only a word this load of the library stored is taken for a handle of ours.
// Any other non-zero word (one host saves the word between runs, each in a
// process of its own, and hands it back) names nothing we made: it is never
// locked, and new Globals take its place.
Globals* AcquireGlobals(int16* result, FilterRecord* record, const HandleProcs* procs, int32 size,
                        intptr_t* data, GlobalsInitialiser initialiser);

// Selector handlers. Results travel through `*globals->result`.
void DoParameters(Globals* globals);
void DoPrepare(Globals* globals);
void DoStart(Globals* globals);
void DoContinue(Globals* globals);
void DoFinish(Globals* globals);

}  // namespace vantrel
