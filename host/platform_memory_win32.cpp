// Fallback handle memory on Windows movable global memory, locked for the
// block's whole life so that its address never changes.
#include <windows.h>

#include "host/platform_memory.h"

namespace vantrel::host::platform {

void* AllocZeroedBlock(uint32 size) {
  // A movable block of zero bytes cannot be locked, so ask for at least one.
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size == 0 ? 1 : size);
  if (h == nullptr) return nullptr;
  void* p = GlobalLock(h);
  if (p == nullptr) {
    GlobalFree(h);
    return nullptr;
  }
  return p;
}

void ReleaseBlock(void* block) {
  if (block == nullptr) return;
  HGLOBAL h = GlobalHandle(block);
  if (h == nullptr) return;
  GlobalUnlock(h);
  GlobalFree(h);
}

}  // namespace vantrel::host::platform
