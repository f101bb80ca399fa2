// Scripting across whole runs: what finish records replays in the next run.
#include <gtest/gtest.h>

#include "core/parameters.h"
#include "runner/host.h"
#include "tests/support/test_host.h"
#include "tests/support/loaded_filter.h"

namespace vantrel {
namespace {

using runner::DescriptorItem;
using Host = testing::TestHost;
using testing::DescriptorSuiteOffer;
using runner::Image;

FilterParameters* Block(Host& host) { return reinterpret_cast<FilterParameters*>(*host.record().parameters); }

TEST(ScriptingRun, WhatFinishRecordedReplaysInTheNextRun) {
  Host host(testing::ReloadFilter());
  host.SetImage(Image(4, 4, 3), plugInModeRGBColor);
  host.Call(filterSelectorPrepare);
  Block(host)->amount = 33;
  Block(host)->modeCode = FourCC("moD2");
  Block(host)->entIFlag = 1;
  ASSERT_EQ(host.RunFilter(), noErr);
  ASSERT_TRUE(host.descriptorWritten());
  ASSERT_NE(host.currentDescriptor(), nullptr);

  // Between the runs the values in the block change; the replay restores them.
  Block(host)->amount = 80;
  Block(host)->modeCode = FourCC("moD0");
  Block(host)->entIFlag = 0;
  host.SetPlayInfo(plugInDialogDontDisplay);
  ASSERT_EQ(host.RunFilter(), noErr);
  EXPECT_EQ(Block(host)->amount, 33);
  EXPECT_EQ(Block(host)->modeCode, FourCC("moD2"));
  EXPECT_EQ(Block(host)->entIFlag, 1);
}

TEST(ScriptingRun, ReadErrorEndsStartWithTheCodeAndFiltersNothing) {
  Host host(testing::ReloadFilter());
  Image source(4, 4, 3);
  source.pixels.assign(source.pixels.size(), 9);
  source.At(0, 0)[2] = 200;
  host.SetImage(source, plugInModeRGBColor);
  host.Call(filterSelectorPrepare);
  Block(host)->orderIndex = 1;
  host.SetDescriptor({DescriptorItem::UnitFloat(FourCC("Amnt"), FourCC("#Prc"), 10.0)});
  host.SetCloseReadResult(-1);
  EXPECT_EQ(host.RunFilter(), -1);
  EXPECT_EQ(host.destination().pixels, source.pixels);
  EXPECT_EQ(host.selectorsCalled().back(), filterSelectorStart);
}

TEST(ScriptingRun, HostWithNullSuitePointersRunsWithoutScripting) {
  Host host(testing::ReloadFilter());
  host.SetImage(Image(4, 4, 3), plugInModeRGBColor);
  host.OfferDescriptorSuite(DescriptorSuiteOffer::NullSuites);
  EXPECT_EQ(host.RunFilter(), noErr);
  EXPECT_FALSE(host.descriptorWritten());
}

}  // namespace
}  // namespace vantrel
