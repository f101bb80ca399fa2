// The platform's zero-filled, non-moving memory that backs fallback handles.
#pragma once

#include "records/host_records.h"

namespace vantrel::host {

// A replaceable source of zero-filled blocks, so that tests can count
// allocations or make them fail.
struct ZeroedMemory {
  void* (*allocZeroed)(uint32 size);  // nullptr on failure
  void (*release)(void* block);       // nullptr is ignored
};

}  // namespace vantrel::host

namespace vantrel::host::platform {

// A zero-filled block of `size` bytes whose address stays fixed, or nullptr.
void* AllocZeroedBlock(uint32 size);
// Releases a block from AllocZeroedBlock; nullptr is ignored.
void ReleaseBlock(void* block);

}  // namespace vantrel::host::platform
