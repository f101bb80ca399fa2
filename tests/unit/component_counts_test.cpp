// Colour component counts for every image mode, and the default for the rest.
#include <gtest/gtest.h>

#include "host/component_counts.h"

namespace vantrel::host {
namespace {

TEST(ColorComponentCount, EveryKnownModeHasItsCountWhateverTheDefault) {
  // Modes 0..11 in order; -1 marks multichannel, which answers the default.
  const int16 expected[] = {1, 1, 3, 3, 4, 3, 3, -1, 1, 3, 1, 3};
  for (int16 defaultCount : {int16(0), int16(5), int16(-7)}) {
    for (int16 mode = 0; mode < 12; ++mode) {
      const int16 want = expected[mode] < 0 ? defaultCount : expected[mode];
      EXPECT_EQ(ColorComponentCount(mode, defaultCount), want) << "mode " << mode << " default " << defaultCount;
    }
  }
}

TEST(ColorComponentCount, ModesOutsideTheTableAnswerTheDefault) {
  for (int16 mode : {int16(-32768), int16(-1), int16(12), int16(32767)}) {
    EXPECT_EQ(ColorComponentCount(mode, 0), 0) << "mode " << mode;
    EXPECT_EQ(ColorComponentCount(mode, 5), 5) << "mode " << mode;
  }
}

}  // namespace
}  // namespace vantrel::host
