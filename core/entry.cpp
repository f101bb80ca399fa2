// Entry point and selector dispatch.
#include "core/entry.h"

#include "core/collaborators.h"
#include "core/parameters.h"
#include "core/settings.h"
#include "host/handles.h"

namespace vantrel {

void* moduleInstance = nullptr;
int32 parametersRequested = 0;

namespace {

constexpr int16 kAboutTextId = 16000;

using Handler = void (*)(Globals*);
constexpr Handler kHandlers[] = {DoParameters, DoPrepare, DoStart, DoContinue, DoFinish};

// The data words this load stored, newest last; a handful covers every run a
// host keeps going at once.
constexpr int kKnownWords = kMostRunsAtOnce;
intptr_t g_knownWords[kKnownWords] = {};
int g_nextKnownWord = 0;

bool StoredByThisLoad(intptr_t word) {
  for (intptr_t known : g_knownWords)
    if (known == word) return true;
  return false;
}

void Remember(intptr_t word) {
  g_knownWords[g_nextKnownWord] = word;
  g_nextKnownWord = (g_nextKnownWord + 1) % kKnownWords;
}

Globals* StartGlobals(Globals* globals, int16* result, FilterRecord* record) {
  globals->result = result;
  *result = noErr;
  globals->filterRecord = record;
  return globals;
}

}  // namespace

void ResetLibraryStateForTesting() {
  parametersRequested = 0;
  for (intptr_t& word : g_knownWords) word = 0;
  g_nextKnownWord = 0;
}

Globals* AcquireGlobals(int16* result, FilterRecord* record, const HandleProcs* procs, int32 size,
                        intptr_t* data, GlobalsInitialiser initialiser) {
  if (*data != 0 && StoredByThisLoad(*data)) {
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
  globals->previewFrame = Rect{};
  globals->parametersHandle = nullptr;
  initialiser(globals);
  *data = reinterpret_cast<intptr_t>(h);
  Remember(*data);
  return globals;
}

void DoParameters(Globals* globals) {
  FilterParameters* block = EnsureParameters(globals);
  if (block == nullptr) return;
  block->showDialog = 1;
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
