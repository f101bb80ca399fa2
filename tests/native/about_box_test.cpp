// The about box stand-in of the native build: whom the box would belong to and
// which strings it would show.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "hostinfo/about_box.h"
#include "resources/resource_ids.h"

namespace vantrel::hostinfo {
namespace {

enum class Record { None, NoPlatformData, NullWindow, Window };

struct OwnerCase {
  const char* name;
  Record record;
  int16 textId;
  intptr_t expectedOwner;
};

void PrintTo(const OwnerCase& c, std::ostream* os) { *os << c.name; }

class AboutStandInTest : public ::testing::TestWithParam<OwnerCase> {};

TEST_P(AboutStandInTest, RecordsOwnerFromPlatformDataAndCaptionAsTextPlusOne) {
  const OwnerCase c = GetParam();
  PlatformData platform{c.record == Record::Window ? intptr_t(0x5678) : 0};
  AboutRecord about{};
  about.platformData = c.record == Record::NoPlatformData ? nullptr : &platform;
  const int before = LastAboutBox().calls;
  ShowAboutBox(c.record == Record::None ? nullptr : &about, nullptr, c.textId);
  const AboutBoxRecord shown = LastAboutBox();
  EXPECT_EQ(shown.calls, before + 1);
  EXPECT_EQ(shown.ownerWindow, c.expectedOwner);
  EXPECT_EQ(shown.textId, c.textId);
  EXPECT_EQ(shown.captionId, c.textId + 1);
}

INSTANTIATE_TEST_SUITE_P(Records, AboutStandInTest,
                         ::testing::Values(OwnerCase{"NoRecord", Record::None, IDS_ABOUT_TEXT, 0},
                                           OwnerCase{"NoPlatformData", Record::NoPlatformData, IDS_ABOUT_TEXT, 0},
                                           OwnerCase{"NullWindow", Record::NullWindow, IDS_ABOUT_TEXT, 0},
                                           OwnerCase{"HostWindow", Record::Window, IDS_ABOUT_TEXT, 0x5678},
                                           OwnerCase{"OtherTextId", Record::Window, 200, 0x5678}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantrel::hostinfo
