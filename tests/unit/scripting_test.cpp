// Scripting values: reading them at start, recording them at finish.
#include <gtest/gtest.h>

#include "core/parameters.h"
#include "core/scripting.h"
#include "runner/host.h"
#include "tests/support/test_host.h"
#include "tests/support/loaded_filter.h"

namespace vantrel {
namespace {

using runner::DescriptorItem;
using testing::DescriptorSuiteOffer;
using Host = testing::TestHost;

// Our host's record and suites, with Globals of our own around them.
struct ScriptingFixture : ::testing::Test {
  Host host{testing::FilterEntry()};
  int16 result = noErr;
  Globals globals{&result, &host.record(), {}};
  FilterParameters* block = nullptr;
  void SetUp() override {
    ASSERT_TRUE(EnsureParameters(&globals));
    block = ParametersOf(&host.record());
  }
};

TEST_F(ScriptingFixture, DialogWishFollowsPlayInfo) {
  const struct {
    int16 playInfo;
    uint8 showDialog;
  } cases[] = {{plugInDialogDisplay, 1}, {plugInDialogDontDisplay, 0}, {plugInDialogSilent, 0}};
  for (const auto& c : cases) {
    host.SetDescriptor({});
    host.SetPlayInfo(c.playInfo);
    block->showDialog = 1 - c.showDialog;
    ReadScriptingParameters(&globals);
    EXPECT_EQ(block->showDialog, c.showDialog) << "playInfo " << c.playInfo;
  }
  // With no descriptor to read the wish is still taken.
  host.SetPlayInfo(plugInDialogDisplay);
  block->showDialog = 0;
  EXPECT_EQ(ReadScriptingParameters(&globals), noErr);
  EXPECT_EQ(block->showDialog, 1);
}

TEST_F(ScriptingFixture, ReadsTheThreeValuesIntoTheBlock) {
  host.SetDescriptor({DescriptorItem::UnitFloat(keyAmount, unitPercent, 37.9),
                      DescriptorItem::Enumerated(keyDisplayMode, typeDisplayMode, FourCC("moD3")),
                      DescriptorItem::Integer(FourCC("othr"), 5), DescriptorItem::Bool(keyEntI, true)});
  EXPECT_EQ(ReadScriptingParameters(&globals), noErr);
  EXPECT_EQ(block->amount, 37);
  EXPECT_EQ(block->modeCode, FourCC("moD3"));
  EXPECT_EQ(block->entIFlag, 1);
  EXPECT_EQ(result, noErr);
  EXPECT_EQ(host.currentDescriptor(), nullptr) << "a read gives the descriptor up";
}

TEST_F(ScriptingFixture, MissingKeysAreNoErrorAndLeaveValuesAlone) {
  block->amount = 12;
  block->modeCode = FourCC("moD2");
  host.SetDescriptor({DescriptorItem::Bool(keyEntI, true)});
  EXPECT_EQ(ReadScriptingParameters(&globals), errMissingParameter);
  EXPECT_EQ(result, noErr);
  EXPECT_EQ(block->entIFlag, 1);
  EXPECT_EQ(block->amount, 12);
  EXPECT_EQ(block->modeCode, FourCC("moD2"));
}

TEST_F(ScriptingFixture, HostPinsTheAmountAndTheValueIsStoredAsGiven) {
  host.SetDescriptor({DescriptorItem::UnitFloat(keyAmount, unitPercent, 250.0)});
  ReadScriptingParameters(&globals);
  EXPECT_EQ(block->amount, 99);
}

TEST_F(ScriptingFixture, OtherCloseErrorsBecomeTheResult) {
  host.SetDescriptor({DescriptorItem::UnitFloat(keyAmount, unitPercent, 20.0)});
  host.SetCloseReadResult(-1);
  EXPECT_EQ(ReadScriptingParameters(&globals), -1);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(block->amount, 20);
}

class UnusableSuiteTest : public ScriptingFixture, public ::testing::WithParamInterface<DescriptorSuiteOffer> {};

TEST_P(UnusableSuiteTest, NothingIsReadOrWrittenAndTheDialogWishStays) {
  host.SetDescriptor({DescriptorItem::UnitFloat(keyAmount, unitPercent, 10.0)});
  host.SetPlayInfo(plugInDialogDisplay);
  host.OfferDescriptorSuite(GetParam());
  block->showDialog = 0;
  EXPECT_EQ(ReadScriptingParameters(&globals), noErr);
  EXPECT_EQ(block->showDialog, 0);
  EXPECT_EQ(block->amount, 50);
  EXPECT_EQ(WriteScriptingParameters(&globals), noErr);
  EXPECT_FALSE(host.descriptorWritten());
  EXPECT_EQ(result, noErr);
}

INSTANTIATE_TEST_SUITE_P(Modes, UnusableSuiteTest,
                         ::testing::Values(DescriptorSuiteOffer::None, DescriptorSuiteOffer::NullSuites,
                                           DescriptorSuiteOffer::ParametersVersion1, DescriptorSuiteOffer::ReadShort17,
                                           DescriptorSuiteOffer::NullPinnedUnitFloat,
                                           DescriptorSuiteOffer::WriteVersion1));

TEST_F(ScriptingFixture, WritesAmountAndModeAndEntIOnlyWhenSet) {
  for (uint8 entI : {0, 1}) {
    block->entIFlag = entI;
    block->amount = 50;
    block->modeCode = FourCC("moD0");
    result = 7;
    EXPECT_EQ(WriteScriptingParameters(&globals), noErr);
    EXPECT_EQ(result, 7) << "finish never changes the result";
    const auto& written = host.writtenDescriptor();
    ASSERT_EQ(written.size(), entI ? 3u : 2u);
    EXPECT_EQ(written[0].key, keyAmount);
    EXPECT_EQ(written[0].type, FourCC("UntF"));
    EXPECT_EQ(written[0].unitOrEnumType, unitPercent);
    EXPECT_EQ(written[0].number, 50.0);
    EXPECT_EQ(written[1].key, keyDisplayMode);
    EXPECT_EQ(written[1].unitOrEnumType, typeDisplayMode);
    EXPECT_EQ(written[1].enumValue, FourCC("moD0"));
    if (entI) {
      EXPECT_EQ(written[2].key, keyEntI);
      EXPECT_TRUE(written[2].boolean);
    }
    EXPECT_NE(host.currentDescriptor(), nullptr);
    EXPECT_EQ(host.descriptorParameters().recordInfo, plugInDialogOptional);
  }
}

}  // namespace
}  // namespace vantrel
