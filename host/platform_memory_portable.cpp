// Fallback handle memory on an ordinary zero-filling allocator.
#include <cstdlib>

#include "host/platform_memory.h"

namespace vantrel::host::platform {

void* AllocZeroedBlock(uint32 size) { return std::calloc(1, size == 0 ? 1 : size); }

void ReleaseBlock(void* block) { std::free(block); }

}  // namespace vantrel::host::platform
