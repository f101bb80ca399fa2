// The channel order tables: every row against the published list of orders,
// the rows' sources against their names, and the lookups outside the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/channel_orders.h"

namespace vantrel {
namespace {

// The orders as users know them, row by row, letters without the spaces.
constexpr const char* kRgbList =
    "RGB BRG GBR RBG GRB BGR RRB BRR RBR RGG GRG GGR RBB BRB BBR GRR RGR RRG GBB BGB BBG BGG GBG GGB";
constexpr const char* kCmykList =
    "CMYK CMKY CYMK CYKM CKMY CKYM MCYK MCKY MYCK MYKC MKCY MKYC YCMK YCKM YMCK YMKC "
    "YKCM YKMC KCMY KCYM KMCY KMYC KYCM KYMC CCMY CCMK CCYM CCYK CCKM CCKY MCCY MCCK "
    "MYCC MKCC YCCM YCCK YMCC YKCC KCCM KCCY KMCC KYCC CMCY CMCK CMYC CMKC CYCM CYCK "
    "CYMC CYKC CKCM CKCY CKMC CKYC MCYC MCKC YCMC YCKC KCYC KCMC CMMY CMMK CYMM CKMM "
    "MMCY MMCK MMYC MMYK MMKC MMKY YCMM YMMC YMMK YKMM KCMM KMMC KMMY KYMM CMYM CMKM "
    "MCMY MCMK MCYM MCKM MYCM MYMC MYMK MYKM MKCM MKMC MKMY MKYM YMCM YMKM KMCM KMYM "
    "CMYY CYYM CKYY CYYK MCYY MYYC MYYK MKYY YYCM YYCK YYMC YYMK YYKC YYKM KCYY KMYY "
    "KYYC KYYM CYMY CYKY MYCY MYKY YCMY YCYM YCYK YMCY YMYC YMYK YMKY YKCY YKMY YKYC "
    "YKYM YCKY KYCY KYMY CMKK CYKK CKKM CKKY MCKK MYKK MKKC MKKY YCKK YMKK YKKC YKKM "
    "KKCM KKCY KKMC KKMY KKYC KKYM CKMK CKYK MKCK MKYK YKCK YKMK KCMK KCYK KCKM KCKY "
    "KMCK KMYK KMKY KYCK KYMK KYKC KYKM KMKC CCMM CCYY CCKK CMCM CMMC CYCY CYYC CKCK "
    "CKKC MMCC MMYY MMKK MCCM MCMC MYMY MYYM MKMK MKKM YYCC YYMM YYKK YCCY YCYC YMMY "
    "YMYM YKYK YKKY KKCC KKMM KKYY KCCK KCKC KMMK KMKM KYYK KYKY CCMC CCYC CCKC CMCC "
    "CYCC CKCC MCMM MMCM MMYM MMKM MYMM MKMM YCYY YMYY YYKY YKYY YYCY YYMY KCKK KMKK "
    "KYKK KKYK KKCK KKMK CCCM CCCY CCCK CMMM CYYY CKKK MMMC MMMY MMMK MCCC MYYY MKKK "
    "YYYC YYYM YYYK YCCC YMMM YKKK KKKC KKKM KKKY KCCC KMMM KYYY CCCC MMMM YYYY KKKK";

std::vector<std::string> Words(const char* list) {
  std::istringstream in(list);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string Spaced(const std::string& letters) {
  std::string s;
  for (char c : letters) {
    if (!s.empty()) s += ' ';
    s += c;
  }
  return s;
}

struct TableCase {
  const char* label;
  int16 mode;
  const char* letters;  // plane order of the mode
  const char* list;
};

const TableCase kTables[] = {
    {"RGB", plugInModeRGBColor, "RGB", kRgbList},
    {"CMYK", plugInModeCMYKColor, "CMYK", kCmykList},
    // The 16-bit modes offer the same orders.
    {"RGB48", plugInModeRGB48, "RGB", kRgbList},
    {"CMYK64", plugInModeCMYK64, "CMYK", kCmykList},
};

class TableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableTest, RowsAreTheListedOrdersInListOrder) {
  const TableCase& t = GetParam();
  const std::vector<std::string> words = Words(t.list);
  ASSERT_EQ(ChannelOrderCount(t.mode), int16(words.size()));
  for (size_t i = 0; i < words.size(); ++i) {
    EXPECT_EQ(ChannelOrderName(t.mode, int16(i)), Spaced(words[i])) << "row " << i;
  }
}

TEST_P(TableTest, SourcesReadBackAsTheName) {
  const TableCase& t = GetParam();
  const int planes = int(std::strlen(t.letters));
  ASSERT_EQ(ChannelOrderPlanes(t.mode), planes);
  for (int16 i = 0; i < ChannelOrderCount(t.mode); ++i) {
    std::string letters;
    for (int16 k = 0; k < planes; ++k) {
      const int16 p = ChannelOrderSource(t.mode, i, k);
      ASSERT_GE(p, 0) << "row " << i << " plane " << k;
      ASSERT_LT(p, planes) << "row " << i << " plane " << k;
      letters += t.letters[p];
    }
    EXPECT_EQ(ChannelOrderName(t.mode, i), Spaced(letters)) << "row " << i;
  }
}

TEST_P(TableTest, NamesAreUniqueAndSpacedSingly) {
  const TableCase& t = GetParam();
  const size_t planes = std::strlen(t.letters);
  std::set<std::string> seen;
  for (int16 i = 0; i < ChannelOrderCount(t.mode); ++i) {
    const std::string name = ChannelOrderName(t.mode, i);
    ASSERT_EQ(name.size(), 2 * planes - 1) << "row " << i;
    for (size_t c = 0; c < name.size(); ++c) {
      if (c % 2 == 1) {
        EXPECT_EQ(name[c], ' ') << "row " << i;
      } else {
        EXPECT_NE(std::strchr(t.letters, name[c]), nullptr) << "row " << i;
      }
    }
    EXPECT_TRUE(seen.insert(name).second) << "row " << i << " repeats " << name;
  }
}

TEST_P(TableTest, FirstRowIsTheIdentity) {
  const TableCase& t = GetParam();
  for (int16 k = 0; k < ChannelOrderPlanes(t.mode); ++k) EXPECT_EQ(ChannelOrderSource(t.mode, 0, k), k);
}

INSTANTIATE_TEST_SUITE_P(Modes, TableTest, ::testing::ValuesIn(kTables),
                         [](const auto& info) { return std::string(info.param.label); });

// How often each source plane is used, most used first: {1,1,1,1}, {2,1,1}...
std::vector<int> Repeats(int16 mode, int16 index) {
  std::array<int, 4> uses{};
  for (int16 k = 0; k < ChannelOrderPlanes(mode); ++k) ++uses[ChannelOrderSource(mode, index, k)];
  std::vector<int> r;
  for (int u : uses)
    if (u > 0) r.push_back(u);
  std::sort(r.rbegin(), r.rend());
  return r;
}

TEST(RgbTable, HasNoConstantRowAndEveryOtherWord) {
  EXPECT_EQ(ChannelOrderCount(plugInModeRGBColor), 24);
  for (int16 i = 0; i < 24; ++i) EXPECT_NE(Repeats(plugInModeRGBColor, i), std::vector<int>{3}) << "row " << i;
  // 27 words over three letters less the three constant ones, all different.
  std::set<std::string> names;
  for (int16 i = 0; i < 24; ++i) names.insert(ChannelOrderName(plugInModeRGBColor, i));
  EXPECT_EQ(names.size(), 24u);
}

TEST(CmykTable, RowsComeInGroupsByRepeatedLetters) {
  struct Group {
    int16 first, last;
    std::vector<int> repeats;
  };
  const Group groups[] = {
      {0, 23, {1, 1, 1, 1}}, {24, 167, {2, 1, 1}}, {168, 203, {2, 2}}, {204, 251, {3, 1}}, {252, 255, {4}},
  };
  for (const Group& g : groups) {
    for (int16 i = g.first; i <= g.last; ++i) EXPECT_EQ(Repeats(plugInModeCMYKColor, i), g.repeats) << "row " << i;
  }
  EXPECT_EQ(ChannelOrderCount(plugInModeCMYKColor), 256);
}

TEST(CmykTable, PermutationsAscendBySourcePlanes) {
  std::vector<std::array<int16, 4>> rows;
  for (int16 i = 0; i < 24; ++i) {
    std::array<int16, 4> s{};
    for (int16 k = 0; k < 4; ++k) s[size_t(k)] = ChannelOrderSource(plugInModeCMYKColor, i, k);
    rows.push_back(s);
  }
  EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end()));
  EXPECT_EQ(std::string(ChannelOrderName(plugInModeCMYKColor, 23)), "K Y M C");
}

TEST(CmykTable, EndsWithTheFourConstantRows) {
  const char* constant[] = {"C C C C", "M M M M", "Y Y Y Y", "K K K K"};
  for (int16 i = 0; i < 4; ++i) {
    EXPECT_EQ(std::string(ChannelOrderName(plugInModeCMYKColor, int16(252 + i))), constant[i]);
    for (int16 k = 0; k < 4; ++k) EXPECT_EQ(ChannelOrderSource(plugInModeCMYKColor, int16(252 + i), k), i);
  }
}

struct TellingRow {
  int16 mode;
  int16 index;
  const char* name;
  std::array<int16, 4> sources;  // unused fourth entry -1 for RGB
};

const TellingRow kTellingRows[] = {
    {plugInModeRGBColor, 1, "B R G", {2, 0, 1, -1}},
    {plugInModeRGBColor, 5, "B G R", {2, 1, 0, -1}},  // swaps R and B, keeps G
    {plugInModeRGBColor, 23, "G G B", {1, 1, 2, -1}},
    {plugInModeCMYKColor, 1, "C M K Y", {0, 1, 3, 2}},
    {plugInModeCMYKColor, 18, "K C M Y", {3, 0, 1, 2}},
    {plugInModeCMYKColor, 24, "C C M Y", {0, 0, 1, 2}},
    {plugInModeCMYKColor, 116, "M Y C Y", {1, 2, 0, 2}},
    {plugInModeCMYKColor, 117, "M Y K Y", {1, 2, 3, 2}},
    {plugInModeCMYKColor, 251, "K Y Y Y", {3, 2, 2, 2}},
    {plugInModeCMYKColor, 255, "K K K K", {3, 3, 3, 3}},
};

TEST(ChannelOrders, TellingRowsHaveTheirNamesAndSources) {
  for (const TellingRow& r : kTellingRows) {
    EXPECT_EQ(std::string(ChannelOrderName(r.mode, r.index)), r.name) << "row " << r.index;
    for (int16 k = 0; k < 4; ++k)
      EXPECT_EQ(ChannelOrderSource(r.mode, r.index, k), r.sources[size_t(k)]) << r.name << " plane " << k;
  }
}

TEST(ChannelOrders, LookupsOutsideATableAnswerNothing) {
  for (int16 mode : {int16(-1), plugInModeBitmap, plugInModeGrayScale, plugInModeIndexedColor,
                     plugInModeMultichannel, int16(9), int16(12)}) {
    EXPECT_EQ(ChannelOrderCount(mode), 0) << "mode " << mode;
    EXPECT_EQ(ChannelOrderPlanes(mode), 0) << "mode " << mode;
    EXPECT_STREQ(ChannelOrderName(mode, 0), "") << "mode " << mode;
    EXPECT_EQ(ChannelOrderSource(mode, 0, 0), -1) << "mode " << mode;
  }
  struct Case {
    int16 mode, index, plane;
  };
  const Case outside[] = {
      {plugInModeRGBColor, -1, 0}, {plugInModeRGBColor, 24, 0},  {plugInModeRGBColor, 0, 3},
      {plugInModeRGBColor, 0, -1}, {plugInModeCMYKColor, 256, 0}, {plugInModeCMYKColor, -32768, 0},
      {plugInModeCMYKColor, 0, 4},
  };
  for (const Case& c : outside) {
    EXPECT_EQ(ChannelOrderSource(c.mode, c.index, c.plane), -1) << c.mode << "/" << c.index << "/" << c.plane;
    if (c.plane == 0) {
      EXPECT_STREQ(ChannelOrderName(c.mode, c.index), "") << c.mode << "/" << c.index;
    }
  }
}

}  // namespace
}  // namespace vantrel
