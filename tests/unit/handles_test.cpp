// Handle services: which side serves a call, and the fallback scheme's layout.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/handles.h"

namespace vantrel::host {
namespace {

// A minimal host suite that counts what reaches it.
struct FakeSuite {
  static inline int news = 0, disposes = 0, locks = 0, unlocks = 0;
  static inline char* master = nullptr;
  static inline char block[64];
  static Handle New(int32) {
    ++news;
    master = block;
    return &master;
  }
  static void Dispose(Handle) { ++disposes; }
  static int32 Size(Handle) { return 64; }
  static OSErr SetSize(Handle, int32) { return noErr; }
  static Ptr Lock(Handle h, Boolean) {
    ++locks;
    return *h;
  }
  static void Unlock(Handle) { ++unlocks; }
  static HandleProcs Full() {
    news = disposes = locks = unlocks = 0;
    return HandleProcs{1, 8, New, Dispose, Size, SetSize, Lock, Unlock, nullptr, nullptr};
  }
};

struct SuiteCase {
  const char* name;
  void (*spoil)(HandleProcs&);
  bool usable;
};

class HandleSuiteUsableTest : public ::testing::TestWithParam<SuiteCase> {};

TEST_P(HandleSuiteUsableTest, DecidesWhichSideServesEveryOperation) {
  HandleProcs procs = FakeSuite::Full();
  GetParam().spoil(procs);
  EXPECT_EQ(HandleSuiteUsable(&procs), GetParam().usable);

  Handle h = AllocHandle(&procs, 16);
  ASSERT_NE(h, nullptr);
  Ptr p = LockHandleData(&procs, h, true);
  EXPECT_EQ(p, *h);
  UnlockHandleData(&procs, h);
  FreeHandle(&procs, h);
  const bool hostServed = FakeSuite::news == 1;
  EXPECT_EQ(hostServed, GetParam().usable);
  EXPECT_EQ(FakeSuite::disposes, GetParam().usable ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Suites, HandleSuiteUsableTest,
    ::testing::Values(SuiteCase{"Full", [](HandleProcs&) {}, true},
                      SuiteCase{"Version0", [](HandleProcs& p) { p.handleProcsVersion = 0; }, false},
                      SuiteCase{"Version2", [](HandleProcs& p) { p.handleProcsVersion = 2; }, false},
                      SuiteCase{"SixEntries", [](HandleProcs& p) { p.numHandleProcs = 6; }, false},
                      SuiteCase{"SevenEntries", [](HandleProcs& p) { p.numHandleProcs = 7; }, true},
                      SuiteCase{"NullNew", [](HandleProcs& p) { p.newProc = nullptr; }, false},
                      SuiteCase{"NullDispose", [](HandleProcs& p) { p.disposeProc = nullptr; }, false},
                      SuiteCase{"NullGetSize", [](HandleProcs& p) { p.getSizeProc = nullptr; }, false},
                      SuiteCase{"NullSetSize", [](HandleProcs& p) { p.setSizeProc = nullptr; }, false},
                      SuiteCase{"NullLock", [](HandleProcs& p) { p.lockProc = nullptr; }, true},
                      SuiteCase{"NullUnlock", [](HandleProcs& p) { p.unlockProc = nullptr; }, true},
                      SuiteCase{"CountAsUnsigned",
                                [](HandleProcs& p) { p.numHandleProcs = static_cast<int16>(0xFFFF); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HandleSuiteUsable, NullSuiteIsRefused) { EXPECT_FALSE(HandleSuiteUsable(nullptr)); }

TEST(HandleSuite, UsableSuiteWithoutLockOrUnlockStillWorksThroughTheMasterPointer) {
  HandleProcs procs = FakeSuite::Full();
  procs.lockProc = nullptr;
  procs.unlockProc = nullptr;
  Handle h = AllocHandle(&procs, 8);
  EXPECT_EQ(LockHandleData(&procs, h, true), FakeSuite::block);
  UnlockHandleData(&procs, h);
  FreeHandle(&procs, h);
  EXPECT_EQ(FakeSuite::news, 1);
  EXPECT_EQ(FakeSuite::disposes, 1);
}

TEST(FallbackHandle, NewHandleIsZeroFilledWithMasterPointerFirstAndTagSecond) {
  for (int32 size : {1, 40, 4096}) {
    Handle h = AllocHandle(nullptr, size);
    ASSERT_NE(h, nullptr);
    auto* record = reinterpret_cast<FallbackHandle*>(h);
    EXPECT_EQ(reinterpret_cast<void*>(h), reinterpret_cast<void*>(&record->data));
    std::vector<char> zeros(static_cast<std::size_t>(size), 0);
    EXPECT_EQ(std::memcmp(*h, zeros.data(), zeros.size()), 0);
    // The tag reads "OTOF" in memory: 'FOTO' stored little-endian.
    EXPECT_EQ(std::memcmp(&record->tag, "OTOF", 4), 0);
    Ptr p = LockHandleData(nullptr, h, true);
    EXPECT_EQ(p, record->data);
    UnlockHandleData(nullptr, h);
    p[size - 1] = 7;  // still valid after the unlock
    EXPECT_EQ((*h)[size - 1], 7);
    FreeHandle(nullptr, h);
  }
}

TEST(FallbackHandle, FreeOfNullAndLockOfNullDoNothing) {
  FreeHandle(nullptr, nullptr);
  EXPECT_EQ(LockHandleData(nullptr, nullptr, true), nullptr);
  UnlockHandleData(nullptr, nullptr);
}

TEST(FallbackHandle, NegativeSizeGivesNoHandle) { EXPECT_EQ(AllocHandle(nullptr, -1), nullptr); }

// Fallback memory that fails the Nth allocation and counts what is live.
struct CountingMemory {
  static inline int allocations = 0, live = 0, failAt = 0;
  static void* Alloc(uint32 size) {
    if (++allocations == failAt) return nullptr;
    ++live;
    return DefaultFallbackMemory().allocZeroed(size);
  }
  static void Release(void* block) {
    --live;
    DefaultFallbackMemory().release(block);
  }
};

TEST(FallbackHandle, FailedAllocationLeaksNothing) {
  for (int failAt : {1, 2}) {
    CountingMemory::allocations = CountingMemory::live = 0;
    CountingMemory::failAt = failAt;
    FallbackMemory previous = SetFallbackMemory({CountingMemory::Alloc, CountingMemory::Release});
    EXPECT_EQ(AllocHandle(nullptr, 32), nullptr) << "failing allocation " << failAt;
    EXPECT_EQ(CountingMemory::live, 0) << "failing allocation " << failAt;
    SetFallbackMemory(previous);
  }
}

TEST(FallbackHandle, FreeReleasesRecordAndData) {
  CountingMemory::allocations = CountingMemory::live = 0;
  CountingMemory::failAt = -1;
  FallbackMemory previous = SetFallbackMemory({CountingMemory::Alloc, CountingMemory::Release});
  Handle h = AllocHandle(nullptr, 32);
  EXPECT_EQ(CountingMemory::live, 2);
  FreeHandle(nullptr, h);
  EXPECT_EQ(CountingMemory::live, 0);
  SetFallbackMemory(previous);
}

}  // namespace
}  // namespace vantrel::host
