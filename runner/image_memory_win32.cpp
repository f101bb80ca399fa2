// Image memory on Windows: large pages there need a privilege that programs
// rarely hold, so blocks come from the ordinary heap.
#include "runner/image_memory.h"

namespace vantrel::runner {

void* AllocateImageMemory(std::size_t bytes) { return ::operator new(bytes, std::nothrow); }

void ReleaseImageMemory(void* block, std::size_t /*bytes*/) { ::operator delete(block); }

}  // namespace vantrel::runner
