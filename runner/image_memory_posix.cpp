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
  // The exact size, so that memory checkers see a stray access past the end.
  void* block = nullptr;
  if (posix_memalign(&block, kLargePage, bytes) != 0) return nullptr;
  // Only advice: where large pages are not to be had, small ones serve.
  madvise(block, bytes, MADV_HUGEPAGE);
  return block;
}

void ReleaseImageMemory(void* block, std::size_t bytes) {
  if (bytes < kLargeBlock)
    ::operator delete(block);
  else
    std::free(block);
}

}  // namespace vantrel::runner
