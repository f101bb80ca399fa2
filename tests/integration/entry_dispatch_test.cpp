// The entry point as a host sees it: result words, the data word and the
// handles behind it, call after call.
#include <gtest/gtest.h>

#include <cstring>

#include "core/parameters.h"
#include "runner/host.h"
#include "tests/support/test_host.h"
#include "tests/support/loaded_filter.h"

namespace vantrel {
namespace {

using testing::DescriptorSuiteOffer;
using runner::HandleEvent;
using testing::HandleSuiteOffer;
using Host = testing::TestHost;

const FilterParameters* Block(Host& host) {
  return host.record().parameters ? reinterpret_cast<const FilterParameters*>(*host.record().parameters)
                                   : nullptr;
}

struct SelectorCase {
  int16 selector;
  int16 expected;
};

class DispatchTest : public ::testing::TestWithParam<SelectorCase> {};

TEST_P(DispatchTest, FirstCallMakesGlobalsAndBlockThenAnswers) {
  Host host(testing::ReloadFilter());
  host.OfferDescriptorSuite(DescriptorSuiteOffer::None);
  EXPECT_EQ(host.Call(GetParam().selector), GetParam().expected);
  EXPECT_NE(host.data(), 0);
  ASSERT_NE(Block(host), nullptr);
  EXPECT_EQ(Block(host)->amount, 50);
  EXPECT_EQ(host.LiveHandles(), 2);
  EXPECT_EQ(host.LockCount(reinterpret_cast<Handle>(host.data())), 0) << "Globals left locked";
}

INSTANTIATE_TEST_SUITE_P(Selectors, DispatchTest,
                         ::testing::Values(SelectorCase{filterSelectorParameters, noErr},
                                           SelectorCase{filterSelectorPrepare, noErr},
                                           SelectorCase{filterSelectorFinish, noErr},
                                           SelectorCase{6, filterBadParameters},
                                           SelectorCase{-1, filterBadParameters},
                                           SelectorCase{100, filterBadParameters},
                                           SelectorCase{-32768, filterBadParameters}));

TEST(AboutSelector, WritesNoResultAndMakesNoHandle) {
  Host host(testing::ReloadFilter());
  testing::WithMessageBoxesDismissed([](void* h) { static_cast<Host*>(h)->CallAbout(0); }, &host);
  EXPECT_EQ(host.result(), Host::kResultSentinel);
  EXPECT_EQ(host.data(), 0);
  EXPECT_EQ(host.LiveHandles(), 0);
  EXPECT_EQ(Handle(host.record().parameters), nullptr);
}

TEST(Dispatch, SameGlobalsHandleIsLockedAndUnlockedInEveryCall) {
  Host host(testing::ReloadFilter());
  host.OfferDescriptorSuite(DescriptorSuiteOffer::None);
  const int16 run[] = {filterSelectorParameters, filterSelectorPrepare, filterSelectorFinish, 9};
  Handle globals = nullptr;
  for (int16 selector : run) {
    host.ClearHandleEvents();
    host.Call(selector);
    if (globals == nullptr) globals = reinterpret_cast<Handle>(host.data());
    EXPECT_EQ(reinterpret_cast<Handle>(host.data()), globals) << "selector " << selector;
    const auto& events = host.handleEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, HandleEvent::Unlock) << "selector " << selector;
    EXPECT_EQ(events.back().handle, globals) << "selector " << selector;
    EXPECT_EQ(host.LockCount(globals), 0) << "selector " << selector;
  }
  EXPECT_EQ(host.LiveHandles(), 2);
}

TEST(Dispatch, ParametersSelectorAsksForTheDialog) {
  Host host(testing::ReloadFilter());
  host.Call(filterSelectorPrepare);
  ASSERT_NE(Block(host), nullptr);
  auto* block = reinterpret_cast<FilterParameters*>(*host.record().parameters);
  block->showDialog = 0;
  EXPECT_EQ(host.Call(filterSelectorParameters), noErr);
  EXPECT_EQ(Block(host)->showDialog, 1);
}

TEST(Dispatch, ParameterBlockSurvivesFromRunToRun) {
  Host host(testing::ReloadFilter());
  host.Call(filterSelectorParameters);
  Handle parameters = host.record().parameters;
  reinterpret_cast<FilterParameters*>(*parameters)->orderIndex = 5;
  // A new run: the host forgets the data word but keeps the parameter block.
  Handle oldGlobals = reinterpret_cast<Handle>(host.data());
  host.data() = 0;
  host.Call(filterSelectorPrepare);
  EXPECT_NE(reinterpret_cast<Handle>(host.data()), oldGlobals);
  EXPECT_EQ(Handle(host.record().parameters), parameters);
  EXPECT_EQ(Block(host)->orderIndex, 5);
  host.record().handleProcs->disposeProc(oldGlobals);
}

// A block the host hands back that cannot hold ours: purged (no data behind
// its master pointer) or smaller than ours by the suite's measure.
struct KeptBlockCase {
  int16 selector;
  int32 size;
  bool purged;
};

class KeptBlockTest : public ::testing::TestWithParam<KeptBlockCase> {};

TEST_P(KeptBlockTest, UnusableBlockIsLeftToTheHostAndReplacedByDefaults) {
  Host host(testing::ReloadFilter());
  const KeptBlockCase c = GetParam();
  Handle kept = host.NewHandle(c.size);
  std::memset(*kept, 0xAB, std::size_t(c.size));
  char* data = *kept;
  if (c.purged) *kept = nullptr;
  host.record().parameters = kept;

  EXPECT_EQ(host.Call(c.selector), noErr);
  ASSERT_NE(Handle(host.record().parameters), kept);
  ASSERT_NE(Block(host), nullptr);
  EXPECT_EQ(Block(host)->amount, 50);
  EXPECT_TRUE(host.OwnsHandle(kept)) << "the host's block was freed";
  EXPECT_EQ(*kept, c.purged ? nullptr : data);
  for (int32 i = 0; i < c.size; ++i) ASSERT_EQ(data[i], char(0xAB)) << "the host's block was written at " << i;
}

INSTANTIATE_TEST_SUITE_P(
    PurgedOrShort, KeptBlockTest,
    ::testing::Values(KeptBlockCase{filterSelectorParameters, 40, true}, KeptBlockCase{filterSelectorPrepare, 40, true},
                      KeptBlockCase{filterSelectorStart, 40, true}, KeptBlockCase{filterSelectorParameters, 39, false},
                      KeptBlockCase{filterSelectorPrepare, 2, false}, KeptBlockCase{filterSelectorStart, 1, false}));

class FallbackSuiteTest : public ::testing::TestWithParam<HandleSuiteOffer> {};

TEST_P(FallbackSuiteTest, FilterKeepsItsStateInItsOwnHandles) {
  Host host(testing::ReloadFilter());
  host.OfferHandleSuite(GetParam());
  host.OfferDescriptorSuite(DescriptorSuiteOffer::None);
  EXPECT_EQ(host.Call(filterSelectorParameters), noErr);
  const intptr_t globals = host.data();
  ASSERT_NE(globals, 0);
  Handle parameters = host.record().parameters;
  ASSERT_NE(parameters, nullptr);
  for (Handle h : {reinterpret_cast<Handle>(globals), parameters}) {
    uint32 tag;
    std::memcpy(&tag, reinterpret_cast<char*>(h) + sizeof(char*), sizeof tag);
    EXPECT_EQ(tag, FourCC("FOTO"));
  }
  EXPECT_EQ(Block(host)->showDialog, 1);
  EXPECT_EQ(host.Call(filterSelectorPrepare), noErr);
  EXPECT_EQ(host.Call(filterSelectorFinish), noErr);
  EXPECT_EQ(host.data(), globals);
  EXPECT_EQ(Handle(host.record().parameters), parameters);
  EXPECT_EQ(Block(host)->amount, 50);
  EXPECT_EQ(host.LiveHandles(), 0) << "the refused suite was used";
}

INSTANTIATE_TEST_SUITE_P(RefusedSuites, FallbackSuiteTest,
                         ::testing::Values(HandleSuiteOffer::None, HandleSuiteOffer::Version0, HandleSuiteOffer::Version2,
                                           HandleSuiteOffer::Short6, HandleSuiteOffer::NullSetSize));

class PartialSuiteTest : public ::testing::TestWithParam<HandleSuiteOffer> {};

TEST_P(PartialSuiteTest, SuiteWithoutLockOrUnlockIsStillUsed) {
  Host host(testing::ReloadFilter());
  host.OfferHandleSuite(GetParam());
  EXPECT_EQ(host.Call(filterSelectorParameters), noErr);
  EXPECT_EQ(host.Call(filterSelectorPrepare), noErr);
  EXPECT_EQ(host.LiveHandles(), 2);
  EXPECT_EQ(Block(host)->showDialog, 1);
}

INSTANTIATE_TEST_SUITE_P(UsableSuites, PartialSuiteTest,
                         ::testing::Values(HandleSuiteOffer::NullLock, HandleSuiteOffer::NullUnlock));

TEST(BadInput, NullWordsAndRecordsAnswerCleanly) {
  Host host(testing::ReloadFilter());
  int16 result = 0;
  host.CallRaw(filterSelectorParameters, &host.record(), nullptr, &result);
  EXPECT_EQ(result, filterBadParameters);
  intptr_t data = 0;
  result = 0;
  host.CallRaw(filterSelectorParameters, nullptr, &data, &result);
  EXPECT_EQ(result, filterBadParameters);
  host.CallRaw(filterSelectorParameters, &host.record(), &data, nullptr);
  EXPECT_EQ(data, 0);
  EXPECT_EQ(host.LiveHandles(), 0);
}

TEST(BadInput, NoMemoryForGlobalsAnswersMemFullAndLeaksNothing) {
  Host host(testing::ReloadFilter());
  host.FailAllocationsAfter(0);
  EXPECT_EQ(host.Call(filterSelectorParameters), memFullErr);
  EXPECT_EQ(host.data(), 0);
  EXPECT_EQ(host.LiveHandles(), 0);
  EXPECT_EQ(Handle(host.record().parameters), nullptr);
}

TEST(BadInput, NoMemoryForTheBlockAnswersMemFullAndRecoversLater) {
  Host host(testing::ReloadFilter());
  host.FailAllocationsAfter(1);
  EXPECT_EQ(host.Call(filterSelectorParameters), memFullErr);
  EXPECT_EQ(Handle(host.record().parameters), nullptr);
  EXPECT_EQ(host.LiveHandles(), 1);  // the Globals, kept in the data word
  host.FailAllocationsAfter(-1);
  EXPECT_EQ(host.Call(filterSelectorParameters), noErr);
  ASSERT_NE(Block(host), nullptr);
  EXPECT_EQ(Block(host)->showDialog, 1);
  EXPECT_EQ(host.LiveHandles(), 2);
}

}  // namespace
}  // namespace vantrel
