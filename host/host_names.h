// Identification of the host application by the internal name in its version
// block, and the test of a packed host version answer.
#pragma once

#include "records/host_records.h"

namespace vantrel::host {

// One known host application: its internal name and its signature.
struct HostNameEntry {
  const char* name;
  uint32 signature;
};

constexpr int kHostNameCount = 11;

// The known hosts, searched in this order; the first match wins.
extern const HostNameEntry HostNameTable[kHostNameCount];

// The signature of the first row whose name equals `name`, or begins with it,
// ASCII case ignored; 0 when no row does (an empty name included).
uint32 SignatureForHostName(const char* name);

// True when the low byte of a packed host version, the platform code, is 10,
// 11 or 12.
bool IsKnownPlatformCode(uint32 packedVersion);

}  // namespace vantrel::host
