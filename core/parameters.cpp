// Creation of the persistent parameter block with its defaults.
#include "core/parameters.h"

#include "core/collaborators.h"
#include "host/handles.h"
#include "host/host_names.h"

namespace vantrel {

FilterParameters* ParametersOf(const FilterRecord* record) {
  if (record == nullptr || record->parameters == nullptr || *record->parameters == nullptr) return nullptr;
  const int32 size = host::HandleSize(record->handleProcs, record->parameters);
  if (size > 0 && size < int32{sizeof(FilterParameters)}) return nullptr;
  return reinterpret_cast<FilterParameters*>(*record->parameters);
}

FilterParameters* BlockOf(const Globals* globals) {
  if (globals == nullptr || globals->filterRecord == nullptr) return nullptr;
  const Handle h = globals->filterRecord->parameters;
  // A block accepted or made in this run is ours whatever its measure: a host
  // that under-reports the size of its own handles would otherwise have it
  // replaced on every call.
  if (h != nullptr && h == globals->parametersHandle) {
    return *h != nullptr ? reinterpret_cast<FilterParameters*>(*h) : nullptr;
  }
  return ParametersOf(globals->filterRecord);
}

FilterParameters* EnsureParameters(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  if (FilterParameters* kept = BlockOf(globals)) {
    globals->parametersHandle = record->parameters;
    return kept;
  }

  // A block the host handed back that cannot hold ours (purged, or an older
  // or foreign block) stays the host's: it is neither written nor freed, and
  // stays in the record when no new block can be had.
  Handle made = host::AllocHandle(record->handleProcs, sizeof(FilterParameters));
  if (made != nullptr && *made == nullptr) {
    // A new handle whose master pointer is empty is as good as none; give it
    // back rather than leave the host a block nobody can use.
    host::FreeHandle(record->handleProcs, made);
    made = nullptr;
  }
  if (made == nullptr) {
    *globals->result = memFullErr;
    return nullptr;
  }
  record->parameters = made;
  globals->parametersHandle = made;
  FilterParameters* p = reinterpret_cast<FilterParameters*>(*made);

  *p = FilterParameters{};
  p->amount = kDefaultAmount;
  p->bandRows = kDefaultBandRows;
  p->modeCode = kDefaultModeCode;
  p->zoomFactor = kDefaultZoomFactor;
  p->excludedChannel = kDefaultExcludedChannel;
  p->hostIsPremiere = host::IsKnownPlatformCode(hostinfo::QueryHostVersion(kPremiereSignature)) ? 1 : 0;
  return p;
}

}  // namespace vantrel
