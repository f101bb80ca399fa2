// The persistent parameter block: defaults, and that an existing block is kept.
#include <gtest/gtest.h>

#include <cstring>

#include "core/parameters.h"
#include "host/handles.h"

namespace vantrel {
namespace {

struct BlockFixture : ::testing::Test {
  FilterRecord record{};
  int16 result = noErr;
  Globals globals{&result, &record, {}};
  void TearDown() override { host::FreeHandle(nullptr, record.parameters); }
};

TEST_F(BlockFixture, NewBlockHoldsTheDefaults) {
  ASSERT_TRUE(EnsureParameters(&globals));
  const FilterParameters* p = ParametersOf(&record);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->amount, 50);
  EXPECT_EQ(p->bandRows, 1);
  EXPECT_EQ(p->modeCode, 0x6D6F4431u);  // 'moD1'
  EXPECT_EQ(p->zoomFactor, 1);
  EXPECT_EQ(p->excludedChannel, 2);
  EXPECT_EQ(p->previewOffsetH, 0);
  EXPECT_EQ(p->previewOffsetV, 0);
  EXPECT_EQ(p->entIFlag, 0);
  EXPECT_EQ(p->previewAvailable, 0);
  EXPECT_EQ(p->hostIsPremiere, 0);  // no host identified here
  EXPECT_EQ(p->orderIndex, 0);
  EXPECT_EQ(p->blendCross, 0);
  EXPECT_EQ(p->blendMix, 0);
  EXPECT_EQ(p->blendEnabled, 0);
  EXPECT_EQ(p->excludeEnabled, 0);
  EXPECT_EQ(result, noErr);
}

TEST_F(BlockFixture, ModeCodeIsStoredLittleEndian) {
  ASSERT_TRUE(EnsureParameters(&globals));
  const auto* bytes = reinterpret_cast<const unsigned char*>(*record.parameters);
  EXPECT_EQ(std::memcmp(bytes + 20, "1Dom", 4), 0);
}

TEST_F(BlockFixture, SecondCallChangesNothing) {
  ASSERT_TRUE(EnsureParameters(&globals));
  Handle first = record.parameters;
  FilterParameters* p = ParametersOf(&record);
  p->amount = 12;
  p->orderIndex = 200;
  p->hostIsPremiere = 1;
  p->bandRows = 80;
  FilterParameters before;
  std::memcpy(&before, p, sizeof before);

  ASSERT_TRUE(EnsureParameters(&globals));
  EXPECT_EQ(Handle(record.parameters), first);
  EXPECT_EQ(std::memcmp(&before, ParametersOf(&record), sizeof before), 0);
}

TEST(Parameters, NoHandleGivesMemFullAndLeavesParametersNull) {
  HandleProcs procs{1, 8, [](int32) -> Handle { return nullptr; }, [](Handle) {}, [](Handle) -> int32 { return 0; },
                    [](Handle, int32) -> OSErr { return noErr; }, nullptr, nullptr, nullptr, nullptr};
  FilterRecord record{};
  record.handleProcs = &procs;
  int16 result = noErr;
  Globals globals{&result, &record, {}};
  EXPECT_FALSE(EnsureParameters(&globals));
  EXPECT_EQ(result, memFullErr);
  EXPECT_EQ(Handle(record.parameters), nullptr);
}

}  // namespace
}  // namespace vantrel
