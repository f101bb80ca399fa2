// How our host reaches a filter's entry point: linked in natively, loaded from
// the plug-in library of the build's bitness on Windows.
#pragma once

#include <string>

#include "records/host_records.h"

namespace vantrel::runner {

using EntryProc = void (*)(int16 selector, void* record, intptr_t* data, int16* result);

// The file name under which the plug-in of this build's bitness ships.
inline constexpr const char* kPluginFileName = sizeof(void*) == 8 ? "Vantrel64.8bf" : "Vantrel.8bf";

struct LoadedFilter {
  EntryProc entry = nullptr;
  void* module = nullptr;  // the loaded library, when there is one
  std::string error;       // why loading failed, when it did
};

// Loads the filter from the library file `path`. With an empty path: on
// Windows the kPluginFileName beside the running program, natively the filter
// linked into the program. On failure `entry` is null and `error` says why.
LoadedFilter LoadFilter(const std::string& path = "");
// Unloads what LoadFilter loaded.
void UnloadFilter(LoadedFilter& filter);

// Puts the library-wide state of a linked filter back as after loading; a
// loaded library gets the same by being unloaded and loaded again.
void ResetLinkedFilterState();

// Releases a handle that the filter made with its own fallback memory, as a
// host does when it disposes of a block that did not come from its suite.
void ReleaseForeignHandle(Handle h);

}  // namespace vantrel::runner
