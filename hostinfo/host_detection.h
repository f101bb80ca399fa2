// What the plug-in knows about the application that loaded it.
#pragma once

#include "core/host_records.h"

namespace vantrel::hostinfo {

// Whether the host belongs to the signature group entered at `key`; 0 when it
// does not or cannot be identified, else its packed version.
uint32 QueryHostVersion(uint32 key);

}  // namespace vantrel::hostinfo
