// Identification of the host application by name, and the test of a packed
// host version answer.
#pragma once

#include "core/host_records.h"

namespace vantrel::host {

// True when the low byte of a packed host version, the platform code, is 10,
// 11 or 12.
bool IsKnownPlatformCode(uint32 packedVersion);

}  // namespace vantrel::host
