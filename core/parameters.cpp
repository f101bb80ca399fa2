// Creation of the persistent parameter block with its defaults.
#include "core/parameters.h"

#include "core/collaborators.h"
#include "host/handles.h"
#include "host/host_names.h"

namespace vantrel {

FilterParameters* ParametersOf(const FilterRecord* record) {
  if (record == nullptr || record->parameters == nullptr) return nullptr;
  return reinterpret_cast<FilterParameters*>(*record->parameters);
}

bool EnsureParameters(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  if (record->parameters != nullptr) return true;

  record->parameters = host::AllocHandle(record->handleProcs, sizeof(FilterParameters));
  FilterParameters* p = ParametersOf(record);
  if (p == nullptr) {
    // A host handle whose master pointer is empty is as good as none; give it
    // back rather than leave the host a block we cannot use.
    if (record->parameters != nullptr) host::FreeHandle(record->handleProcs, record->parameters);
    record->parameters = nullptr;
    *globals->result = memFullErr;
    return false;
  }

  *p = FilterParameters{};
  p->amount = kDefaultAmount;
  p->bandRows = kDefaultBandRows;
  p->modeCode = kDefaultModeCode;
  p->zoomFactor = kDefaultZoomFactor;
  p->excludedChannel = kDefaultExcludedChannel;
  p->hostIsPremiere = host::IsKnownPlatformCode(hostinfo::QueryHostVersion(kPremiereSignature)) ? 1 : 0;
  return true;
}

}  // namespace vantrel
