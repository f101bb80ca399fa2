// Memory for image pixels. Blocks of several megabytes are asked of the
// system in a way that lets it back them with large pages: a 12-megapixel
// image then costs a few dozen page faults instead of thousands, which is a
// good part of a whole run's time.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

#include "records/host_records.h"

namespace vantrel::runner {

// A block of `bytes`, or nullptr. Released with the same size.
void* AllocateImageMemory(std::size_t bytes);
void ReleaseImageMemory(void* block, std::size_t bytes);

template <class T>
struct ImageAllocator {
  using value_type = T;
  ImageAllocator() = default;
  template <class U>
  ImageAllocator(const ImageAllocator<U>&) {}
  T* allocate(std::size_t n) {
    if (void* block = AllocateImageMemory(n * sizeof(T))) return static_cast<T*>(block);
    throw std::bad_alloc();
  }
  void deallocate(T* block, std::size_t n) { ReleaseImageMemory(block, n * sizeof(T)); }
  friend bool operator==(const ImageAllocator&, const ImageAllocator&) { return true; }
};

using ImageBytes = std::vector<uint8, ImageAllocator<uint8>>;

}  // namespace vantrel::runner
