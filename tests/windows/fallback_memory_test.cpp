// The fallback handle scheme on real Windows movable global memory.
#include <windows.h>

#include <gtest/gtest.h>

#include "host/handles.h"

namespace vantrel::host {
namespace {

TEST(FallbackGlobalMemory, RecordAndDataAreLockedMovableZeroFilledBlocks) {
  Handle h = AllocHandle(nullptr, 100);
  ASSERT_NE(h, nullptr);
  for (void* block : {static_cast<void*>(h), static_cast<void*>(*h)}) {
    HGLOBAL g = GlobalHandle(block);
    ASSERT_NE(g, nullptr);
    EXPECT_NE(static_cast<void*>(g), block) << "a movable block has a handle of its own";
    EXPECT_EQ(GlobalFlags(g) & GMEM_LOCKCOUNT, 1u);
  }
  EXPECT_GE(GlobalSize(GlobalHandle(*h)), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ((*h)[i], 0);
  EXPECT_EQ(LockHandleData(nullptr, h, true), *h);
  UnlockHandleData(nullptr, h);
  EXPECT_EQ(GlobalFlags(GlobalHandle(*h)) & GMEM_LOCKCOUNT, 1u) << "unlock must leave the block locked";
  FreeHandle(nullptr, h);
}

TEST(FallbackGlobalMemory, ZeroSizedHandleStillHasData) {
  Handle h = AllocHandle(nullptr, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(*h, nullptr);
  FreeHandle(nullptr, h);
}

TEST(FallbackGlobalMemory, ImpossibleSizeGivesNoHandle) {
  // Two gigabytes in one block cannot fit a 32-bit address space beside the
  // program; a 64-bit process may well get them.
  if (sizeof(void*) != 4) GTEST_SKIP() << "any int32 size can be allocated in a 64-bit process";
  EXPECT_EQ(AllocHandle(nullptr, 0x7FFFFFFF), nullptr);
}

}  // namespace
}  // namespace vantrel::host
