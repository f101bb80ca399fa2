// What our host's displayPixels draws for a pixel map: RGB as it is, CMYK
// shown as RGB, a mask laid over white, and nothing for maps it cannot read.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "runner/host.h"

namespace vantrel {
namespace {

using Pixel = std::array<uint8, 3>;

struct DisplayCase {
  const char* name;
  int32 mode, colBytes;
  std::vector<uint8> pixel;  // the one source pixel, colBytes long
  int mask;                  // -1: none
  Pixel drawn;
};

class RenderTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(RenderTest, DrawsTheSourceRectangleAsRgb) {
  const DisplayCase& c = GetParam();
  // A 3 x 2 map whose source rectangle is its right-hand bottom pixel; every
  // other pixel is noise that must not show.
  std::vector<uint8> buffer(std::size_t(3 * c.colBytes + 5) * 2, 0x5A);
  const int32 rowBytes = 3 * c.colBytes + 5;
  std::copy(c.pixel.begin(), c.pixel.end(), buffer.begin() + rowBytes + 2 * c.colBytes);
  std::vector<uint8> maskBytes(6, 0x11);
  maskBytes[5] = static_cast<uint8>(c.mask);
  PSPixelMask mask{nullptr, maskBytes.data(), 3, 1, 0};
  PSPixelMap map{};
  map.version = 1;
  map.bounds = VRect{10, 20, 12, 23};
  map.imageMode = c.mode;
  map.rowBytes = rowBytes;
  map.colBytes = c.colBytes;
  map.planeBytes = 1;
  map.baseAddr = buffer.data();
  map.masks = c.mask >= 0 ? &mask : nullptr;
  runner::Image rgb;
  ASSERT_TRUE(runner::RenderPixelMap(map, VRect{11, 22, 12, 23}, rgb));
  ASSERT_EQ(rgb.width, 1);
  ASSERT_EQ(rgb.height, 1);
  EXPECT_EQ((Pixel{rgb.At(0, 0)[0], rgb.At(0, 0)[1], rgb.At(0, 0)[2]}), c.drawn);
}

INSTANTIATE_TEST_SUITE_P(
    Maps, RenderTest,
    ::testing::Values(DisplayCase{"Rgb", 3, 3, {10, 20, 30}, -1, {10, 20, 30}},
                      DisplayCase{"RgbaIgnoresTheFourthByte", 3, 4, {10, 20, 30, 0}, -1, {10, 20, 30}},
                      DisplayCase{"CmykWithoutBlack", 4, 4, {255, 128, 0, 255}, -1, {255, 128, 0}},
                      DisplayCase{"CmykHalfBlack", 4, 4, {255, 128, 0, 128}, -1, {128, 64, 0}},
                      DisplayCase{"OpaqueMask", 3, 4, {10, 20, 30, 0}, 255, {10, 20, 30}},
                      DisplayCase{"TransparentMaskShowsWhite", 3, 4, {10, 20, 30, 0}, 0, {255, 255, 255}},
                      DisplayCase{"HalfMask", 3, 3, {0, 0, 0}, 128, {127, 127, 127}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Render, MapsItCannotReadDrawNothing) {
  uint8 pixels[12] = {};
  PSPixelMap good{};
  good.version = 1;
  good.bounds = VRect{0, 0, 1, 1};
  good.imageMode = plugInModeRGBColor;
  good.rowBytes = 3;
  good.colBytes = 3;
  good.planeBytes = 1;
  good.baseAddr = pixels;
  const VRect whole{0, 0, 1, 1};
  runner::Image rgb;
  ASSERT_TRUE(runner::RenderPixelMap(good, whole, rgb));
  PSPixelMap planar = good, gray = good, empty = good, deep = good;
  planar.colBytes = 1;
  gray.imageMode = plugInModeGrayScale;
  empty.baseAddr = nullptr;
  deep.imageMode = plugInModeRGB48;
  deep.planeBytes = 2;
  for (const PSPixelMap& bad : {planar, gray, empty, deep}) EXPECT_FALSE(runner::RenderPixelMap(bad, whole, rgb));
  EXPECT_FALSE(runner::RenderPixelMap(good, VRect{0, 0, 2, 1}, rgb)) << "beyond the map's bounds";
  EXPECT_FALSE(runner::RenderPixelMap(good, VRect{0, 0, 0, 1}, rgb)) << "empty";
}

}  // namespace
}  // namespace vantrel
