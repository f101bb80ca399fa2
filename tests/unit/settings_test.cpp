// The settings model: blend methods and the channel cleared as the block
// stores them, orders by name and what each order is, the band planner, and
// the words for result codes.
#include <gtest/gtest.h>

#include <string>

#include "core/channel_orders.h"
#include "core/results.h"
#include "core/settings.h"

namespace vantrel {
namespace {

TEST(Settings, BlendMethodsTravelThroughTheBlockAndTheirNames) {
  for (const BlendMethod method : {BlendMethod::None, BlendMethod::Cross, BlendMethod::Mix, BlendMethod::Both}) {
    SCOPED_TRACE(BlendMethodName(method));
    FilterParameters block{};
    block.blendCross = block.blendMix = 1;  // left over from another choice
    SetBlendMethod(block, method);
    EXPECT_EQ(BlendMethodOf(block), method);
    EXPECT_EQ(BlendMethodNamed(BlendMethodName(method)), method);
  }
  EXPECT_EQ(BlendMethodNamed("MIX"), BlendMethod::Mix);
  EXPECT_EQ(BlendMethodNamed("sideways"), std::nullopt);
  // Blending off keeps the methods ticked for the dialog but blends nothing.
  FilterParameters off{};
  off.blendCross = 1;
  EXPECT_EQ(BlendMethodOf(off), BlendMethod::None);
}

TEST(Settings, AChoiceChangesWhatItNamesAndKeepsTheRest) {
  FilterParameters block{};
  block.orderIndex = 3;
  block.excludedChannel = 2;
  ApplyChoice(block, {std::nullopt, BlendMethod::Both, kNoChannelCleared});
  EXPECT_EQ(block.orderIndex, 3);
  EXPECT_EQ(BlendMethodOf(block), BlendMethod::Both);
  EXPECT_EQ(ClearedChannelOf(block), kNoChannelCleared);
  EXPECT_EQ(block.excludedChannel, 2) << "the dialog's channel is kept";
  ApplyChoice(block, {int16(5), std::nullopt, 3});
  EXPECT_EQ(block.orderIndex, 5);
  EXPECT_EQ(BlendMethodOf(block), BlendMethod::Both);
  EXPECT_EQ(ClearedChannelOf(block), 3);
}

TEST(Settings, OrdersAreFoundByTheirLettersAndToldApartBySwapping) {
  EXPECT_EQ(ChannelOrderNamed(plugInModeRGBColor, "B G R"), 5);
  EXPECT_EQ(ChannelOrderNamed(plugInModeRGBColor, " bgr "), 5);
  EXPECT_EQ(ChannelOrderNamed(plugInModeRGB48, "b r g"), 1);
  EXPECT_EQ(ChannelOrderNamed(plugInModeCMYKColor, "kcmy"), 18);
  EXPECT_EQ(ChannelOrderNamed(plugInModeRGBColor, "K C M Y"), -1);
  EXPECT_EQ(ChannelOrderNamed(plugInModeRGBColor, "B G R R"), -1);
  EXPECT_EQ(ChannelOrderNamed(plugInModeRGBColor, "B G"), -1);
  // The tables list the true swaps first: 6 of the RGB rows, 24 of CMYK's.
  for (const auto& [mode, swaps] : {std::pair{plugInModeRGBColor, 6}, std::pair{plugInModeCMYKColor, 24}}) {
    for (int16 i = 0; i < ChannelOrderCount(mode); ++i)
      EXPECT_EQ(ChannelOrderTakesEachOnce(mode, i), i < swaps) << ChannelOrderName(mode, i);
  }
  EXPECT_FALSE(ChannelOrderTakesEachOnce(plugInModeRGBColor, 24));
}

TEST(Settings, BandsAreEvenAboutTheBytesAskedAndDivideThePictureWhereOneIsNear) {
  struct Case {
    const char* name;
    int width, height;
    std::size_t pixelBytes, bandBytes;
    int rows;
  } cases[] = {
      {"a picture shorter than a band: one band, made even", 10, 5, 3, 1000, 6},
      {"a divisor near the rows asked for", 10, 128, 1, 60, 4},
      {"none near: the rows asked for", 10, 127, 1, 60, 6},
      {"an odd number asked for: made even", 10, 400, 1, 510, 50},
      {"rows wider than a band: two rows", 1'000'000, 400, 4, kBandBytes, 2},
      {"a very tall picture of narrow rows: what a request reaches", 1, 100'000, 1, kBandBytes, 32766},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PlanBandRows(c.width, c.height, c.pixelBytes, c.bandBytes), c.rows) << c.name;
}

TEST(Settings, ResultCodesAreSaidInWordsWithTheirNames) {
  EXPECT_EQ(ResultText(memFullErr), "not enough memory (memFullErr)");
  EXPECT_EQ(ResultText(-1234), "result -1234");
  EXPECT_STREQ(ResultName(userCanceledErr), "userCanceledErr");
  EXPECT_EQ(ResultName(-1234), nullptr);
}

}  // namespace
}  // namespace vantrel
