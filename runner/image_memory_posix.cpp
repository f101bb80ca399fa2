// Image memory where the kernel offers transparent large pages on request:
// large blocks are aligned to the large page size and marked for them.
#include <sys/mman.h>

#include <cstdlib>

#include "runner/image_memory.h"

namespace vantrel::runner {
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kLargeBlock = 2 * kLargePage;

}  // namespace

void* AllocateImageMemory(std::size_t bytes) {
  if (bytes < kLargeBlock) return ::operator new(bytes, std::nothrow);
  const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
  void* block = std::aligned_alloc(kLargePage, rounded);
  // Only advice: where large pages are not to be had, small ones serve.
  if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);
  return block;
}

void ReleaseImageMemory(void* block, std::size_t bytes) {
  if (bytes < kLargeBlock)
    ::operator delete(block);
  else
    std::free(block);
}

}  // namespace vantrel::runner
