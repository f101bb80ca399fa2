// The drive's band arithmetic: sizing against the host's memory offer and the
// classic drive's steps down the filter rectangle.
#include <gtest/gtest.h>

#include <vector>

#include "core/drive.h"
#include "core/entry.h"
#include "core/parameters.h"
#include "host/handles.h"

namespace vantrel {
namespace {

struct DriveFixture : ::testing::Test {
  FilterRecord record{};
  int16 result = noErr;
  Globals globals{&result, &record, {}};
  FilterParameters* block = nullptr;
  void SetUp() override {
    ASSERT_TRUE(EnsureParameters(&globals));
    block = ParametersOf(&record);
  }
  void TearDown() override { host::FreeHandle(nullptr, record.parameters); }
  void Filter(int16 top, int16 left, int16 bottom, int16 right, int16 planes) {
    record.filterRect = Rect{top, left, bottom, right};
    record.planes = planes;
  }
};

struct PrepareCase {
  int16 width, height, planes, storedRows;
  int32 maxSpace;
  int16 bandRows;
  int32 handedBack;
  int16 mode = plugInModeRGBColor;
};

class PrepareTest : public DriveFixture, public ::testing::WithParamInterface<PrepareCase> {};

TEST_P(PrepareTest, GrowsBandUntilItsCostReachesTheOffer) {
  const PrepareCase& c = GetParam();
  Filter(0, 0, c.height, c.width, c.planes);
  record.imageMode = c.mode;
  block->bandRows = c.storedRows;
  record.maxSpace = c.maxSpace;
  record.bufferSpace = 99;
  DoPrepare(&globals);
  EXPECT_EQ(block->bandRows, c.bandRows);
  EXPECT_EQ(record.maxSpace, c.handedBack);
  EXPECT_EQ(record.bufferSpace, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Offers, PrepareTest,
    ::testing::Values(PrepareCase{100, 50, 3, 1, 2000, 3, 2100},       // rowCost 700
                      PrepareCase{100, 50, 3, 80, 2000, 80, 80 * 700},  // never shrinks
                      PrepareCase{100, 50, 3, 1, 700, 1, 700},          // one row already fills it
                      PrepareCase{100, 50, 3, 1, 1 << 30, 50, 50 * 700},  // stops at the height
                      PrepareCase{100, 50, 4, 1, 901, 2, 1800},         // rowCost 900, cost reaches offer
                      PrepareCase{100, 50, 3, 0, 2000, 3, 2100},        // a zero stored height counts as one
                      PrepareCase{100, 50, 3, -7, 2000, 3, 2100},
                      PrepareCase{0, 50, 3, 1, 2000, 50, 0},            // empty width costs nothing
                      PrepareCase{100, 50, -1, 1, 2000, 20, 2000},      // no planes: a byte a pixel
                      PrepareCase{32000, 32000, 4, 1, 0x7FFFFFFF, 7457, 0x7FFFFFFF},  // no overflow: held at the largest
                      // Deep images: two bytes a plane, the mask counted at two as well.
                      PrepareCase{100, 50, 3, 1, 2000, 2, 2800, plugInModeRGB48},   // rowCost 1400
                      PrepareCase{100, 50, 4, 1, 3600, 2, 3600, plugInModeCMYK64},  // rowCost 1800, reaches offer
                      PrepareCase{100, 50, 4, 1, 2000, 3, 2700, plugInModeCMYKColor}));  // 8 bits: a byte a plane

TEST_F(DriveFixture, ClassicBandsStepDownAndEndPastTheRectangle) {
  Filter(0, 0, 10, 5, 3);
  block->bandRows = 4;
  SetFirstBand(&globals, *block);
  EXPECT_EQ(record.inputPadding, 255);
  EXPECT_EQ(record.outputPadding, 255);
  EXPECT_EQ(record.maskPadding, 255);
  EXPECT_EQ(record.inHiPlane, 2);
  EXPECT_EQ(record.outHiPlane, 2);
  EXPECT_EQ(record.inputRate, 0x10000);
  std::vector<std::pair<int16, int16>> bands;
  bool more = true;
  while (more) {
    bands.push_back({record.inRect.top, record.inRect.bottom});
    EXPECT_EQ(record.outRect.top, record.inRect.top);
    EXPECT_EQ(record.maskRect.bottom, record.inRect.bottom);
    EXPECT_EQ(record.outRect.right, 5);
    more = NextBand(&globals, *block);
  }
  EXPECT_EQ(bands, (std::vector<std::pair<int16, int16>>{{0, 4}, {4, 8}, {8, 12}}));
}

TEST_F(DriveFixture, BandsNearTheLargestRowStopInsteadOfWrapping) {
  Filter(32760, 0, 32767, 5, 3);
  block->bandRows = 4;
  SetFirstBand(&globals, *block);
  EXPECT_EQ(record.inRect.bottom, 32764);
  EXPECT_TRUE(NextBand(&globals, *block));
  EXPECT_EQ(record.inRect.top, 32764);
  EXPECT_EQ(record.inRect.bottom, 32767);
  EXPECT_FALSE(NextBand(&globals, *block));
}

TEST_F(DriveFixture, ClearRectsZeroesAllThree) {
  record.inRect = record.outRect = record.maskRect = Rect{1, 2, 3, 4};
  ClearRects(&globals);
  for (const Rect& r : {record.inRect, record.outRect, record.maskRect}) {
    EXPECT_EQ(r.top | r.left | r.bottom | r.right, 0);
  }
}

TEST_F(DriveFixture, EmptyFilterRectangleMakesAdvanceStateDriveCallNothing) {
  static int calls = 0;
  calls = 0;
  record.advanceState = []() -> OSErr {
    ++calls;
    return noErr;
  };
  Filter(5, 5, 5, 10, 3);
  record.inRect = Rect{1, 1, 2, 2};
  FilterWithAdvanceState(&globals, *block);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(record.inRect.right, 0);
  EXPECT_EQ(result, noErr);
}

}  // namespace
}  // namespace vantrel
