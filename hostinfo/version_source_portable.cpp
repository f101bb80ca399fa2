// The version source of builds without platform version information: the
// host executable is never found, so no host is ever identified.
#include "hostinfo/version_source.h"

namespace vantrel::hostinfo {
namespace {

uint32 NoPath(char* path, uint32 capacity) {
  if (path != nullptr && capacity > 0) path[0] = 0;
  return 0;
}
uint32 NoBlock(const char*) { return 0; }
bool NoRead(const char*, uint32, void*) { return false; }
bool NoValue(void*, const char*, const void**, uint32*) { return false; }

constexpr VersionSource kNoVersionSource{NoPath, NoBlock, NoRead, NoValue};

}  // namespace

const VersionSource& PlatformVersionSource() { return kNoVersionSource; }

}  // namespace vantrel::hostinfo
