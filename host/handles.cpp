// Handle services over the host suite, with the fallback scheme behind them.
#include "host/handles.h"

#include "host/platform_memory.h"

namespace vantrel::host {
namespace {

FallbackMemory g_memory = {platform::AllocZeroedBlock, platform::ReleaseBlock};

constexpr int kMinimumHandleProcs = 7;

Handle FallbackAlloc(int32 size) {
  if (size < 0) return nullptr;
  auto* record = static_cast<FallbackHandle*>(g_memory.allocZeroed(sizeof(FallbackHandle)));
  if (record == nullptr) return nullptr;
  record->data = static_cast<char*>(g_memory.allocZeroed(static_cast<uint32>(size)));
  if (record->data == nullptr) {
    // Give the record back too: a handle without data is of no use to anyone.
    g_memory.release(record);
    return nullptr;
  }
  record->tag = FallbackHandleTag;
  return &record->data;
}

void FallbackFree(Handle h) {
  if (h == nullptr) return;
  auto* record = reinterpret_cast<FallbackHandle*>(h);
  if (record->data != nullptr) g_memory.release(record->data);
  g_memory.release(record);
}

}  // namespace

bool HandleSuiteUsable(const HandleProcs* procs) {
  if (procs == nullptr) return false;
  if (procs->handleProcsVersion != kCurrentHandleProcsVersion) return false;
  // The count is read before any entry, so a short suite is never read past
  // its end.
  if (static_cast<uint16>(procs->numHandleProcs) < kMinimumHandleProcs) return false;
  return procs->newProc != nullptr && procs->disposeProc != nullptr && procs->getSizeProc != nullptr &&
         procs->setSizeProc != nullptr;
}

Handle AllocHandle(const HandleProcs* procs, int32 size) {
  if (HandleSuiteUsable(procs)) return procs->newProc(size);
  return FallbackAlloc(size);
}

void FreeHandle(const HandleProcs* procs, Handle h) {
  if (HandleSuiteUsable(procs)) {
    if (h != nullptr) procs->disposeProc(h);
    return;
  }
  FallbackFree(h);
}

Ptr LockHandleData(const HandleProcs* procs, Handle h, bool moveHigh) {
  if (h == nullptr) return nullptr;
  if (HandleSuiteUsable(procs) && procs->lockProc != nullptr) return procs->lockProc(h, moveHigh ? 1 : 0);
  // Fallback handles never move, and host handles keep the same master
  // pointer convention, so the data is the master pointer's target.
  return *h;
}

void UnlockHandleData(const HandleProcs* procs, Handle h) {
  if (h == nullptr) return;
  if (HandleSuiteUsable(procs) && procs->unlockProc != nullptr) procs->unlockProc(h);
}

int32 HandleSize(const HandleProcs* procs, Handle h) {
  if (h == nullptr || !HandleSuiteUsable(procs)) return -1;
  return procs->getSizeProc(h);
}

FallbackMemory DefaultFallbackMemory() { return {platform::AllocZeroedBlock, platform::ReleaseBlock}; }

FallbackMemory SetFallbackMemory(FallbackMemory memory) {
  FallbackMemory previous = g_memory;
  g_memory = memory;
  return previous;
}

}  // namespace vantrel::host
