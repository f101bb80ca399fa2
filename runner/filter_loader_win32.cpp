// On Windows the host loads the plug-in library and finds ENTRYPOINT by name,
// as a real host does.
#include <windows.h>

#include "runner/filter_loader.h"

namespace vantrel::runner {
namespace {

std::string BesideProgram(const char* fileName) {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  const auto slash = s.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : s.substr(0, slash + 1)) + fileName;
}

}  // namespace

LoadedFilter LoadFilter(const std::string& path) {
  LoadedFilter filter;
  const std::string file = path.empty() ? BesideProgram(kPluginFileName) : path;
  HMODULE module = LoadLibraryA(file.c_str());
  if (module == nullptr) {
    filter.error = "cannot load " + file + " (error " + std::to_string(GetLastError()) + ")";
    return filter;
  }
  auto entry = reinterpret_cast<EntryProc>(reinterpret_cast<void*>(GetProcAddress(module, "ENTRYPOINT")));
  if (entry == nullptr) {
    FreeLibrary(module);
    filter.error = file + " exports no ENTRYPOINT";
    return filter;
  }
  filter.entry = entry;
  filter.module = module;
  return filter;
}

void UnloadFilter(LoadedFilter& filter) {
  if (filter.module != nullptr) FreeLibrary(static_cast<HMODULE>(filter.module));
  filter = LoadedFilter{};
}

void ResetLinkedFilterState() {}

void ReleaseForeignHandle(Handle h) {
  // A filter's own handle is a locked global block holding the master pointer,
  // whose data is another locked global block.
  if (h == nullptr) return;
  for (void* block : {static_cast<void*>(*h), static_cast<void*>(h)}) {
    if (block == nullptr) continue;
    HGLOBAL g = GlobalHandle(block);
    if (g == nullptr) continue;
    GlobalUnlock(g);
    GlobalFree(g);
  }
}

}  // namespace vantrel::runner
