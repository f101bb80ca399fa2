// Descriptor access: which suites are usable, the dialog wish, and how reads
// and writes are ended.
#include <gtest/gtest.h>

#include "host/descriptors.h"
#include "runner/host.h"
#include "tests/support/test_host.h"
#include "tests/support/loaded_filter.h"

namespace vantrel::host {
namespace {

using testing::DescriptorSuiteOffer;
using Host = testing::TestHost;
using testing::HandleSuiteOffer;

struct SuiteCase {
  DescriptorSuiteOffer mode;
  bool usable;
};

class DescriptorSuiteUsableTest : public ::testing::TestWithParam<SuiteCase> {};

TEST_P(DescriptorSuiteUsableTest, AcceptsOnlyVersionZeroSuitesOfFullLength) {
  Host host(testing::FilterEntry());
  host.OfferDescriptorSuite(GetParam().mode);
  EXPECT_EQ(DescriptorSuiteUsable(host.record().descriptorParameters), GetParam().usable);
}

INSTANTIATE_TEST_SUITE_P(Modes, DescriptorSuiteUsableTest,
                         ::testing::Values(SuiteCase{DescriptorSuiteOffer::Full, true},
                                           SuiteCase{DescriptorSuiteOffer::None, false},
                                           SuiteCase{DescriptorSuiteOffer::NullSuites, false},
                                           SuiteCase{DescriptorSuiteOffer::ParametersVersion1, false},
                                           SuiteCase{DescriptorSuiteOffer::ReadVersion1, false},
                                           SuiteCase{DescriptorSuiteOffer::ReadShort17, false},
                                           SuiteCase{DescriptorSuiteOffer::NullPinnedUnitFloat, false},
                                           SuiteCase{DescriptorSuiteOffer::WriteVersion1, false},
                                           SuiteCase{DescriptorSuiteOffer::WriteShort15, false}));

TEST(DescriptorSuiteUsable, NullWriteEntryIsNotTested) {
  Host host(testing::FilterEntry());
  auto* p = host.record().descriptorParameters;
  const_cast<WriteDescriptorProcs*>(p->writeDescriptorProcs)->putStringProc = nullptr;
  EXPECT_TRUE(DescriptorSuiteUsable(p));
}

TEST(DialogRequested, OnlyPlayInfoDisplayAsksForTheDialog) {
  PIDescriptorParameters p{};
  const struct {
    int16 playInfo;
    bool requested;
  } cases[] = {{0, false}, {1, true}, {2, false}, {-1, false}};
  for (const auto& c : cases) {
    p.playInfo = c.playInfo;
    EXPECT_EQ(DialogRequested(&p), c.requested) << c.playInfo;
  }
  EXPECT_FALSE(DialogRequested(nullptr));
}

TEST(CloseReadDescriptor, ReleasesDescriptorAndPassesCloseResultOn) {
  for (OSErr hostResult : {OSErr{0}, errMissingParameter, OSErr{-1}}) {
    Host host(testing::FilterEntry());
    host.SetDescriptor({runner::DescriptorItem::Bool(FourCC("entI"), true)});
    host.SetCloseReadResult(hostResult);
    auto* p = host.record().descriptorParameters;
    const int live = host.LiveHandles();
    PIReadDescriptor token = p->readDescriptorProcs->openReadDescriptorProc(p->descriptor, nullptr);
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(CloseReadDescriptor(p, host.record().handleProcs, &token), hostResult);
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(p->descriptor, nullptr);
    EXPECT_EQ(host.LiveHandles(), live - 1);
  }
}

TEST(CloseWriteDescriptor, InstallsTheNewDescriptorAndMarksRecordingOptional) {
  Host host(testing::FilterEntry());
  auto* p = host.record().descriptorParameters;
  p->recordInfo = plugInDialogNone;
  PIWriteDescriptor token = p->writeDescriptorProcs->openWriteDescriptorProc();
  EXPECT_EQ(CloseWriteDescriptor(p, host.record().handleProcs, &token), noErr);
  EXPECT_EQ(token, nullptr);
  EXPECT_NE(p->descriptor, nullptr);
  EXPECT_EQ(p->recordInfo, plugInDialogOptional);
  EXPECT_EQ(host.LiveHandles(), 1);

  // A second write replaces, and releases, the first descriptor.
  token = p->writeDescriptorProcs->openWriteDescriptorProc();
  Handle first = p->descriptor;
  host.ClearHandleEvents();
  EXPECT_EQ(CloseWriteDescriptor(p, host.record().handleProcs, &token), noErr);
  ASSERT_EQ(host.handleEvents().size(), 1u);
  EXPECT_EQ(host.handleEvents()[0].kind, runner::HandleEvent::Dispose);
  EXPECT_EQ(host.handleEvents()[0].handle, first);
  EXPECT_NE(p->descriptor, nullptr);
  EXPECT_EQ(host.LiveHandles(), 1);
}

TEST(CloseReadDescriptor, HostDescriptorIsNotFreedThroughTheFallback) {
  // Without a usable handle suite the descriptor cannot be ours to release:
  // it is left to the host instead of being handed to the wrong allocator.
  Host host(testing::FilterEntry());
  host.SetDescriptor({});
  host.OfferHandleSuite(HandleSuiteOffer::None);
  auto* p = host.record().descriptorParameters;
  PIReadDescriptor token = p->readDescriptorProcs->openReadDescriptorProc(p->descriptor, nullptr);
  CloseReadDescriptor(p, nullptr, &token);
  EXPECT_EQ(p->descriptor, nullptr);
  EXPECT_EQ(host.LiveHandles(), 1);
}

}  // namespace
}  // namespace vantrel::host
