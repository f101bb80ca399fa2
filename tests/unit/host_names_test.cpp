// Host identification by internal name, and the platform code test of a
// packed host version.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "host/host_names.h"

namespace vantrel::host {
namespace {

struct NameCase {
  std::string name;
  uint32 signature;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class SignatureForHostNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(SignatureForHostNameTest, GivesTheFirstRowTheNameEqualsOrBegins) {
  // An exact-size copy: the search must stop at the name's zero byte.
  std::vector<char> name(GetParam().name.begin(), GetParam().name.end());
  name.push_back('\0');
  EXPECT_EQ(SignatureForHostName(name.data()), GetParam().signature) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, SignatureForHostNameTest,
    ::testing::Values(NameCase{"CorelDrw", FourCC("Cdrw")}, NameCase{"PhotoPnt", FourCC("Mprn")},
                      NameCase{"DeBabelizer Pro", FourCC("BABL")}, NameCase{"Adobe After Effects", FourCC("FXTC")},
                      NameCase{"Adobe Illustrator", FourCC("ART5")}, NameCase{"PM5", FourCC("ALD5")},
                      NameCase{"PM6", FourCC("ALD6")}, NameCase{"PM65", FourCC("AD65")},
                      NameCase{"PhotoDeluxe", FourCC("PHUT")}, NameCase{"Photoshp", FourCC("8BIM")},
                      NameCase{"Adobe Premiere", FourCC("PrMr")}));

INSTANTIATE_TEST_SUITE_P(
    Variants, SignatureForHostNameTest,
    ::testing::Values(NameCase{"photoshp", FourCC("8BIM")}, NameCase{"PHOTOSHP", FourCC("8BIM")},
                      NameCase{"adobe premiere", FourCC("PrMr")},
                      NameCase{"Photoshop", 0},            // runs on past the row's name
                      NameCase{"PM", FourCC("ALD5")},      // leading part: the first row it begins
                      NameCase{"Photo", FourCC("Mprn")},
                      NameCase{"Adobe", FourCC("FXTC")},
                      NameCase{"", 0},
                      NameCase{"Adobe Premiere Pro", 0},
                      NameCase{"Premiere", 0},             // the ending of a row's name is not enough
                      NameCase{"XPhotoshp", 0},
                      NameCase{"Photoshp\xE9", 0},
                      NameCase{"Ph\xD4toshp", 0}));

TEST(IsKnownPlatformCode, HoldsForLowBytes10To12Only) {
  const std::pair<uint32, bool> cases[] = {
      {0, false},          {9, false},          {10, true},          {11, true},
      {12, true},          {13, false},         {0x0552000B, true},  {0xFFFFFF0B, true},
      {0x0552000D, false}, {0x05520000, false}, {0x0000010A, true},  {0x000000FF, false}};
  for (auto [packed, known] : cases) EXPECT_EQ(IsKnownPlatformCode(packed), known) << std::hex << packed;
}

}  // namespace
}  // namespace vantrel::host
