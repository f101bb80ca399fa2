// The version source on Windows: the running program's module path and the
// VERSION library's reading of its version block.
#include <windows.h>

#include "hostinfo/version_source.h"

namespace vantrel::hostinfo {
namespace {

uint32 Win32ExecutablePath(char* path, uint32 capacity) {
  // No module handle: the executable of the running process, that is the host.
  return GetModuleFileNameA(nullptr, path, capacity);
}

uint32 Win32VersionBlockSize(const char* path) {
  DWORD ignored = 0;
  return GetFileVersionInfoSizeA(path, &ignored);
}

bool Win32ReadVersionBlock(const char* path, uint32 size, void* block) {
  return GetFileVersionInfoA(path, 0, size, block) != FALSE;
}

bool Win32QueryValue(void* block, const char* subBlock, const void** value, uint32* length) {
  void* found = nullptr;
  UINT foundLength = 0;
  if (!VerQueryValueA(block, subBlock, &found, &foundLength) || found == nullptr) return false;
  *value = found;
  *length = foundLength;
  return true;
}

constexpr VersionSource kWin32VersionSource{Win32ExecutablePath, Win32VersionBlockSize, Win32ReadVersionBlock,
                                            Win32QueryValue};

}  // namespace

const VersionSource& PlatformVersionSource() { return kWin32VersionSource; }

}  // namespace vantrel::hostinfo
