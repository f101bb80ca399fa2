// The native build links the filter into the host program.
#include "core/entry.h"
#include "host/handles.h"
#include "hostinfo/host_detection.h"
#include "runner/filter_loader.h"

namespace vantrel::runner {

LoadedFilter LoadFilter(const std::string& /*path*/) {
  LoadedFilter filter;
  filter.entry = &ENTRYPOINT;
  return filter;
}

void UnloadFilter(LoadedFilter& filter) { filter = LoadedFilter{}; }

void ResetLinkedFilterState() {
  ResetLibraryStateForTesting();
  hostinfo::ResetHostIdentityForTesting();
}

void ReleaseForeignHandle(Handle h) { host::FreeHandle(nullptr, h); }

}  // namespace vantrel::runner
