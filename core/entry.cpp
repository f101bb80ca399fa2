// Entry point and selector dispatch.
#include "core/entry.h"

#include "core/collaborators.h"
#include "core/parameters.h"
#include "host/handles.h"

namespace vantrel {

void* moduleInstance = nullptr;
int32 parametersRequested = 0;

void ResetLibraryStateForTesting() { parametersRequested = 0; }

namespace {

constexpr int16 kAboutTextId = 16000;

using Handler = void (*)(Globals*);
constexpr Handler kHandlers[] = {DoParameters, DoPrepare, DoStart, DoContinue, DoFinish};

Globals* StartGlobals(Globals* globals, int16* result, FilterRecord* record) {
  globals->result = result;
  *result = noErr;
  globals->filterRecord = record;
  return globals;
}

}  // namespace

Globals* AcquireGlobals(int16* result, FilterRecord* record, const HandleProcs* procs, int32 size,
                        intptr_t* data, GlobalsInitialiser initialiser) {
  if (*data != 0) {
    Ptr block = host::LockHandleData(procs, reinterpret_cast<Handle>(*data), true);
    if (block == nullptr) return nullptr;
    return StartGlobals(reinterpret_cast<Globals*>(block), result, record);
  }

  Handle h = host::AllocHandle(procs, size);
  if (h == nullptr) return nullptr;
  Ptr block = host::LockHandleData(procs, h, true);
  if (block == nullptr) {
    host::FreeHandle(procs, h);
    return nullptr;
  }
  Globals* globals = StartGlobals(reinterpret_cast<Globals*>(block), result, record);
  initialiser(globals);
  *data = reinterpret_cast<intptr_t>(h);
  return globals;
}

void DoParameters(Globals* globals) {
  if (!EnsureParameters(globals)) return;
  ParametersOf(globals->filterRecord)->showDialog = 1;
  parametersRequested = 1;
}

}  // namespace vantrel

extern "C" void ENTRYPOINT(int16 selector, void* record, intptr_t* data, int16* result) {
  using namespace vantrel;
  if (selector == filterSelectorAbout) {
    hostinfo::ShowAboutBox(static_cast<const AboutRecord*>(record), moduleInstance, kAboutTextId);
    return;
  }

  // Checked at the door: without a result word nothing can be reported, and
  // without a record or a data word there is nothing to work on.
  if (result == nullptr) return;
  if (record == nullptr || data == nullptr) {
    *result = filterBadParameters;
    return;
  }

  auto* filterRecord = static_cast<FilterRecord*>(record);
  const HandleProcs* procs = filterRecord->handleProcs;
  Globals* globals = AcquireGlobals(result, filterRecord, procs, sizeof(Globals), data, EnsureParameters);
  if (globals == nullptr) {
    *result = memFullErr;
    return;
  }

  if (selector >= filterSelectorParameters && selector <= filterSelectorFinish) {
    kHandlers[selector - filterSelectorParameters](globals);
  } else {
    *result = filterBadParameters;
  }

  if (*data != 0) host::UnlockHandleData(procs, reinterpret_cast<Handle>(*data));
}
