// Host name table and platform code test.
#include "host/host_names.h"

namespace vantrel::host {

bool IsKnownPlatformCode(uint32 packedVersion) {
  const uint8 platformCode = static_cast<uint8>(packedVersion & 0xFF);
  return platformCode >= 10 && platformCode <= 12;
}

}  // namespace vantrel::host
