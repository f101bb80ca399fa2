// Natively the filter is linked into the host program; a built plug-in library
// (the shared library exporting ENTRYPOINT) can be loaded instead by its path.
#include <dlfcn.h>

#include "core/entry.h"
#include "host/handles.h"
#include "hostinfo/host_detection.h"
#include "runner/filter_loader.h"

namespace vantrel::runner {

LoadedFilter LoadFilter(const std::string& path) {
  LoadedFilter filter;
  if (path.empty()) {
    filter.entry = &ENTRYPOINT;
    return filter;
  }
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    filter.error = "cannot load " + path + (why != nullptr ? std::string(" (") + why + ")" : std::string());
    return filter;
  }
  auto entry = reinterpret_cast<EntryProc>(dlsym(module, "ENTRYPOINT"));
  if (entry == nullptr) {
    dlclose(module);
    filter.error = path + " exports no ENTRYPOINT";
    return filter;
  }
  filter.entry = entry;
  filter.module = module;
  return filter;
}

void UnloadFilter(LoadedFilter& filter) {
  if (filter.module != nullptr) dlclose(filter.module);
  filter = LoadedFilter{};
}

void ResetLinkedFilterState() {
  ResetLibraryStateForTesting();
  hostinfo::ResetHostIdentityForTesting();
}

void ReleaseForeignHandle(Handle h) { host::FreeHandle(nullptr, h); }

}  // namespace vantrel::runner
