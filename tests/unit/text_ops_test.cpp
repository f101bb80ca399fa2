// Text operations: appending within 254 characters, the name search with its
// odd stops, and the strict integer parse that rewrites its text.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/text_ops.h"

namespace vantrel::host {
namespace {

using namespace std::string_literals;

void SetPString(PString& p, const std::string& s) {
  p[0] = static_cast<unsigned char>(s.size());
  for (size_t k = 0; k < s.size(); ++k) p[k + 1] = static_cast<unsigned char>(s[k]);
  if (s.size() < 255) p[s.size() + 1] = 0;
}

std::string Characters(const PString& p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

// A heap copy of exactly the given bytes, so that the sanitizer sees any read
// past them.
std::vector<char> Exact(const std::string& bytes) { return std::vector<char>(bytes.begin(), bytes.end()); }

// A raw block searched with `limit`: the content, then zero bytes up to
// limit + 2 bytes in all.
std::string Raw(std::string content, uint32 limit) {
  content.resize(limit + 2, '\0');
  return content;
}

struct AppendCase {
  const char* name;
  std::string initial;
  std::string source;  // appended from start 0 unless fromPString
  bool fromPString;
  int16 count;
  std::string expected;
};
void PrintTo(const AppendCase& c, std::ostream* os) { *os << c.name; }

class PStrAppendTest : public ::testing::TestWithParam<AppendCase> {};

TEST_P(PStrAppendTest, KeepsAtMost254CharactersAndTheZeroByteAfterThem) {
  const AppendCase& c = GetParam();
  PString text;
  std::fill(std::begin(text), std::end(text), 0xEE);
  SetPString(text, c.initial);
  PString source;
  SetPString(source, c.source);
  std::vector<char> zeroTerminated = Exact(c.source + '\0');
  if (c.fromPString) {
    PStrAppend(text, source, 1, c.count);
  } else {
    PStrAppend(text, zeroTerminated.data(), 0, c.count);
  }
  EXPECT_EQ(Characters(text), c.expected);
  EXPECT_EQ(text[text[0] + 1], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PStrAppendTest,
    ::testing::Values(
        AppendCase{"TenOnto250", std::string(250, 'a'), "0123456789", false, 10, std::string(250, 'a') + "0123"},
        AppendCase{"FiveFromPStringOntoEmpty", "", "abcde", true, 5, "abcde"},
        AppendCase{"CountZero", "xy", "abc", false, 0, "xy"},
        AppendCase{"NegativeCount", "xy", "abc", false, -3, "xy"},
        AppendCase{"PartOfSource", "x", "abcdef", false, 3, "xabc"},
        AppendCase{"FullLengthSourceDropsThe255th", "", std::string(255, 'q'), false, 255, std::string(254, 'q')},
        AppendCase{"HandBuiltLength255IsCutTo254", std::string(255, 'r'), "s", false, 1, std::string(254, 'r')},
        AppendCase{"OneOnto254IsDropped", std::string(254, 't'), "u", false, 1, std::string(254, 't')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PStrAppend, NegativeStartAppendsNothing) {
  PString text;
  SetPString(text, "ab");
  const char source[] = "xyz";
  PStrAppend(text, source + 1, -1, 2);
  EXPECT_EQ(Characters(text), "ab");
  EXPECT_EQ(text[3], 0);
}

TEST(CopyBytes, CopiesInAscendingOrderAndIgnoresNullPointers) {
  char buffer[] = "abcde";
  CopyBytes(buffer + 1, buffer, 4);  // each byte copied reaches the next read
  EXPECT_STREQ(buffer, "aaaaa");
  CopyBytes(nullptr, buffer, 4);
  CopyBytes(buffer, nullptr, 4);
  EXPECT_STREQ(buffer, "aaaaa");
}

TEST(CStrLength, CountsToTheZeroByteOrAt32767) {
  EXPECT_EQ(CStrLength(Exact("\0"s).data()), 0);
  EXPECT_EQ(CStrLength(Exact("abc\0"s).data()), 3);
  std::vector<char> unterminated(32767, 'x');  // no zero byte at all
  EXPECT_EQ(CStrLength(unterminated.data()), 32767);
}

TEST(CStrAppend, AppendsAndStopsWhenTheDestinationHolds32767Characters) {
  std::vector<char> small = Exact("ab\0\0\0\0\0"s);
  CStrAppend(small.data(), "cd");
  EXPECT_STREQ(small.data(), "abcd");

  std::vector<char> big(32768, 0);
  std::fill(big.begin(), big.begin() + 32765, 'x');
  CStrAppend(big.data(), "yyyy");
  EXPECT_EQ(std::string(big.data() + 32765), "yy");
}

TEST(AsciiLower, LowersOnlyAsciiCapitals) {
  const std::pair<unsigned char, unsigned char> cases[] = {
      {'A', 'a'}, {'Z', 'z'}, {'M', 'm'}, {'@', '@'}, {'[', '['},
      {'a', 'a'}, {'0', '0'}, {0xC0, 0xC0}, {0x80, 0x80}, {0, 0}};
  for (auto [in, out] : cases) EXPECT_EQ(AsciiLower(in), out) << int(in);
}

struct FindCase {
  const char* name;
  std::string text;  // with its zero byte(s); searched in an exact-size copy
  const char* pattern;
  bool ignoreCase;
  uint32 limit;
  int16 expected;
};
void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindTextTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, AnswersWhereTheEndingMatches) {
  const FindCase& c = GetParam();
  std::vector<char> text = Exact(c.text);
  EXPECT_EQ(FindText(text.data(), c.pattern, c.ignoreCase, c.limit), c.expected);
}

// Raw blocks hold limit + 2 bytes: the search looks two positions past its
// limit.
INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextTest,
    ::testing::Values(
        FindCase{"WholeTextAnyCase", "pm6\0"s, "PM6", true, 255, 0},
        FindCase{"EndingOfText", "xpm6\0"s, "PM6", true, 255, 1},
        FindCase{"TextIsLeadingPartOfPattern", "pm\0"s, "PM6", true, 255, 0},
        FindCase{"EndingIsLeadingPartOfPattern", "xpm\0"s, "PM6", true, 255, 1},
        FindCase{"TextRunsOnAfterPattern", "pm65\0"s, "PM6", true, 255, -1},
        FindCase{"MismatchIsNotRetriedAsStart", "aab\0"s, "ab", false, 255, -1},
        FindCase{"CaseCountsWhenNotIgnored", "pm6\0"s, "PM6", false, 255, -1},
        FindCase{"EmptyText", "\0"s, "PM6", true, 255, -1},
        FindCase{"EmptyTextEmptyPattern", "\0"s, "", true, 255, 0},
        FindCase{"EmptyPattern", "abc\0"s, "", true, 255, -1},
        FindCase{"StopsPastTheLimitOnAnAsciiByte", "abcdef\0"s, "def", false, 2, -1},
        FindCase{"StopsPastTheLimitOnAHighByte", "ab\xE9\0"s, "b\xE9", false, 1, 1},
        FindCase{"RawBlockRunsOverZeroBytes", Raw("\0\0internalNAME"s, 256), "InternalName", true, 256, 2},
        FindCase{"RawBlockNeedsAZeroByteAfterTheMatch", Raw("InternalNameX\0InternalName"s, 256), "InternalName",
                 false, 256, 14},
        FindCase{"RawBlockMatchAtItsEnd", Raw(std::string(244, 'z') + "InternalName", 256), "InternalName", false,
                 256, 244},
        FindCase{"RawBlockPartialMatchAtItsEnd", Raw(std::string(250, 'z') + "Intern", 256), "InternalName", false,
                 256, -1},
        FindCase{"RawBlockWithoutPattern", Raw(std::string(300, 'z'), 300), "InternalName", false, 300, -1},
        FindCase{"LimitAbove32767IsCut", std::string(32769, 'z'), "InternalName", false, 0xFFFFFFFF,
                 -1}),
    [](const auto& info) { return std::string(info.param.name); });

struct ParseCase {
  const char* name;
  std::string text;
  int16 expected;
  int32 value;                          // kUntouched when not written
  std::optional<std::string> rewritten;  // none when the text is left as it was
};
void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }
constexpr int32 kUntouched = 0x5A5A5A5A;

class ParseIntegerTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseIntegerTest, ParsesStrictlyAndKeepsOnlyTheDigits) {
  const ParseCase& c = GetParam();
  PString text;
  SetPString(text, c.text);
  int32 value = kUntouched;
  EXPECT_EQ(ParseInteger(text, &value), c.expected);
  EXPECT_EQ(value, c.value);
  if (!c.rewritten) {
    EXPECT_EQ(Characters(text), c.text);
  } else {
    EXPECT_EQ(Characters(text), *c.rewritten);
    EXPECT_EQ(text[text[0] + 1], 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseIntegerTest,
    ::testing::Values(ParseCase{"SpacesAround", "  12  ", 1, 12, "12"},
                      ParseCase{"MinusSpaceDigit", "- 5", 2, -5, "5"},
                      ParseCase{"LoneMinus", "-", 2, 0, ""},
                      ParseCase{"SpaceBetweenDigits", "1 2", 0, kUntouched, "1"},
                      ParseCase{"MinusAfterDigit", "5-", 0, kUntouched, "5"},
                      ParseCase{"Plus", "+5", 0, kUntouched, std::nullopt},
                      ParseCase{"DecimalPoint", "5.0", 0, kUntouched, "5"},
                      ParseCase{"SecondMinus", "--5", 0, kUntouched, ""},
                      ParseCase{"Empty", "", 0, kUntouched, std::nullopt},
                      ParseCase{"OnlySpaces", "   ", 0, kUntouched, std::nullopt},
                      ParseCase{"NineDigits", "999999999", 1, 999999999, "999999999"},
                      ParseCase{"TenDigitsWithLeadingZeros", "0000000001", 1, 2147483647, "0000000001"},
                      ParseCase{"NegativeTenDigits", "-1234567890", 2, -2147483647, "1234567890"},
                      ParseCase{"LeadingZerosKept", "-007", 2, -7, "007"},
                      ParseCase{"HandBuiltLength255", std::string(255, '7'), 1, 2147483647,
                                std::string(254, '7')}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantrel::host
