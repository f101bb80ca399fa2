// The preview window asked of the host: where it lies in the filter
// rectangle, how it is sampled, and what a failed request leaves.
#include <gtest/gtest.h>

#include "core/parameters.h"
#include "core/preview.h"
#include "host/handles.h"

namespace vantrel {
namespace {

OSErr g_answer = noErr;
int g_calls = 0;
OSErr Answer() {
  ++g_calls;
  return g_answer;
}

struct FetchCase {
  const char* name;
  Rect filterRect;
  int16 zoom, offsetH, offsetV;
  Rect frame;  // only right and bottom count
  Rect window, sampled;
};

class FetchPreviewTest : public ::testing::TestWithParam<FetchCase> {};

TEST_P(FetchPreviewTest, NarrowsTheFilterRectangleToTheSampledWindow) {
  const FetchCase& c = GetParam();
  FilterRecord record{};
  int16 result = noErr;
  Globals globals{&result, &record, c.frame};
  ASSERT_TRUE(EnsureParameters(&globals));
  FilterParameters* block = ParametersOf(&record);
  block->zoomFactor = c.zoom;
  block->previewOffsetH = c.offsetH;
  block->previewOffsetV = c.offsetV;
  record.planes = 4;
  record.filterRect = c.filterRect;
  record.advanceState = Answer;
  g_answer = noErr;
  g_calls = 0;

  EXPECT_EQ(FetchPreview(&globals), noErr);
  EXPECT_EQ(g_calls, 1);
  auto same = [](const Rect& a, const Rect& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
  };
  EXPECT_TRUE(same(block->savedFilterRect, c.filterRect));
  EXPECT_TRUE(same(record.filterRect, c.window));
  EXPECT_TRUE(same(record.inRect, c.sampled));
  EXPECT_TRUE(same(record.outRect, c.sampled));
  EXPECT_TRUE(same(record.maskRect, c.sampled));
  const int16 zoom = c.zoom < 1 ? 1 : c.zoom;
  EXPECT_EQ(record.inputRate, zoom * 0x10000);
  EXPECT_EQ(record.maskRate, zoom * 0x10000);
  EXPECT_EQ(record.inHiPlane, 3);
  EXPECT_EQ(record.outHiPlane, 3);
  EXPECT_EQ(record.outputPadding, 255);
  host::FreeHandle(nullptr, record.parameters);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, FetchPreviewTest,
    ::testing::Values(
        FetchCase{"CentredAtZoomTwo", {0, 0, 800, 1000}, 2, 0, 0, {0, 0, 220, 200}, {180, 300, 620, 700},
                  {90, 150, 310, 350}},
        FetchCase{"MovedRight", {0, 0, 800, 1000}, 2, 50, 0, {0, 0, 220, 200}, {180, 350, 620, 750},
                  {90, 175, 310, 375}},
        FetchCase{"MovedUpAndLeft", {0, 0, 800, 1000}, 1, -30, -7, {0, 0, 220, 200}, {283, 370, 503, 570},
                  {283, 370, 503, 570}},
        FetchCase{"ShorterThanTheWindowKeepsItsRows", {0, 0, 200, 300}, 1, 0, 40, {0, 0, 220, 200},
                  {0, 50, 200, 250}, {0, 50, 200, 250}},
        FetchCase{"OffsetRectangle", {10, 20, 410, 520}, 2, 0, 0, {0, 0, 100, 100}, {110, 170, 310, 370},
                  {55, 85, 155, 185}},
        FetchCase{"ZoomBelowOneCountsAsOne", {0, 0, 300, 300}, 0, 0, 0, {0, 0, 100, 100}, {100, 100, 200, 200},
                  {100, 100, 200, 200}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FetchPreview, FailureIsTheResultAndTheHostRectangleIsStillKept) {
  FilterRecord record{};
  int16 result = noErr;
  Globals globals{&result, &record, {0, 0, 50, 50}};
  ASSERT_TRUE(EnsureParameters(&globals));
  record.filterRect = Rect{0, 0, 400, 300};
  record.advanceState = Answer;
  g_answer = memFullErr;
  EXPECT_EQ(FetchPreview(&globals), memFullErr);
  EXPECT_EQ(result, memFullErr);
  const Rect& saved = ParametersOf(&record)->savedFilterRect;
  EXPECT_EQ(saved.bottom, 400);
  EXPECT_EQ(saved.right, 300);
  host::FreeHandle(nullptr, record.parameters);
}

}  // namespace
}  // namespace vantrel
