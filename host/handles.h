// Handle services: allocate, release, lock and unlock handles through the
// host's handle suite when it is usable, else through a fallback scheme of our
// own with the same master-pointer layout.
#pragma once

#include "records/host_records.h"
#include "host/platform_memory.h"

namespace vantrel::host {

// True when the host's suite can serve handle calls: version exactly 1, at
// least 7 entries, and new, dispose, getSize and setSize all present.
// Evaluated afresh on every call.
bool HandleSuiteUsable(const HandleProcs* procs);

// A new handle of `size` bytes, or nullptr when none can be had. A fallback
// handle's data is zero-filled and never moves.
Handle AllocHandle(const HandleProcs* procs, int32 size);
// Releases a handle made through the same side; nullptr is ignored.
void FreeHandle(const HandleProcs* procs, Handle h);
// The handle's data, or nullptr. When a usable suite has no lock entry the
// data is reached through the master pointer instead.
Ptr LockHandleData(const HandleProcs* procs, Handle h, bool moveHigh);
void UnlockHandleData(const HandleProcs* procs, Handle h);
// The size of a handle's data as the host's suite tells it, or -1 when there
// is no usable suite to ask.
int32 HandleSize(const HandleProcs* procs, Handle h);

// The record of a fallback handle: the master pointer first, then a tag.
struct FallbackHandle {
  char* data;
  uint32 tag;
};
constexpr uint32 FallbackHandleTag = FourCC("FOTO");

// Where fallback handles get their memory: zero-filled blocks that stay at one
// address.
using FallbackMemory = ZeroedMemory;
FallbackMemory DefaultFallbackMemory();
// Installs `memory` and answers the one it replaces.
FallbackMemory SetFallbackMemory(FallbackMemory memory);

}  // namespace vantrel::host
