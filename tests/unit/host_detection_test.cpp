// Host detection over synthetic version blocks: what identity each block
// gives, that failures leave it empty without reading outside the buffer, and
// what the signature group queries answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "host/handles.h"
#include "hostinfo/host_detection.h"

namespace vantrel::hostinfo {
namespace {

using namespace std::string_literals;

constexpr uint32 kNt = 0x00040000;

// A host executable, told by what its version block holds.
struct HostInfo {
  uint32 targetSystem = kNt;
  bool fixedInfo = true;
  uint32 fixedLength = 52;
  int32 translation = 0x040904B0;  // language << 16 | code page; -1: no list
  std::string key = "040904b0";    // where the texts lie
  const char* internalName = nullptr;
  const char* fileVersion = nullptr;
  std::string raw = "";            // bytes after the values, found only by searching
  uint32 reportedSize = 0;         // 0: the block's own size
  bool readFails = false;
  bool valuesOutsideBuffer = false;
  std::string path = "C:\\Hosts\\host.exe";
};

// The block built from a HostInfo. Query answers point into the buffer the
// reader hands over, at the offset where the value was put.
struct FakeHost {
  HostInfo info;
  std::vector<unsigned char> block;
  std::map<std::string, std::pair<size_t, uint32>> values;  // offset, length
  int pathCalls = 0, sizeCalls = 0, readCalls = 0;

  FakeHost() = default;
  explicit FakeHost(HostInfo s) : info(std::move(s)) {
    if (info.fixedInfo) {
      std::string fixed(52, '\0');
      for (int k = 0; k < 4; ++k) fixed[32 + k] = static_cast<char>(info.targetSystem >> (8 * k));
      Put("\\", fixed, info.fixedLength);
    }
    if (info.translation >= 0) {
      const uint32 t = static_cast<uint32>(info.translation);
      const char pair[] = {char(t >> 16), char(t >> 24), char(t), char(t >> 8)};
      Put("\\VarFileInfo\\Translation", std::string(pair, 4), 4);
    }
    for (auto [name, text] :
         {std::pair{"InternalName", info.internalName}, std::pair{"FileVersion", info.fileVersion}}) {
      if (text != nullptr) Put("\\StringFileInfo\\" + info.key + "\\" + name, text + "\0"s, std::strlen(text) + 1);
    }
    block.insert(block.end(), info.raw.begin(), info.raw.end());
    if (info.valuesOutsideBuffer) {
      for (auto& [name, value] : values) value.first += 1u << 20;
    }
  }
  void Put(const std::string& subBlock, const std::string& bytes, size_t length) {
    values[subBlock] = {block.size(), static_cast<uint32>(length)};
    block.insert(block.end(), bytes.begin(), bytes.end());
  }
};

FakeHost* g_host = nullptr;

uint32 FakePath(char* path, uint32 capacity) {
  ++g_host->pathCalls;
  const std::string& full = g_host->info.path;
  const size_t n = std::min<size_t>(full.size(), capacity - 1);
  std::memcpy(path, full.data(), n);
  path[n] = 0;
  return full.size() >= capacity ? capacity : static_cast<uint32>(n);
}
uint32 FakeSize(const char* path) {
  ++g_host->sizeCalls;
  if (path != g_host->info.path) return 0;
  return g_host->info.reportedSize != 0 ? g_host->info.reportedSize : static_cast<uint32>(g_host->block.size());
}
bool FakeRead(const char*, uint32 size, void* buffer) {
  ++g_host->readCalls;
  if (g_host->info.readFails) return false;
  std::memcpy(buffer, g_host->block.data(), std::min<size_t>(size, g_host->block.size()));
  return true;
}
bool FakeQuery(void* buffer, const char* subBlock, const void** value, uint32* length) {
  auto found = g_host->values.find(subBlock);
  if (found == g_host->values.end()) return false;
  // Computed as a number: the answer may lie outside the buffer on purpose.
  *value = reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(buffer) + found->second.first);
  *length = found->second.second;
  return true;
}
constexpr VersionSource kFakeSource{FakePath, FakeSize, FakeRead, FakeQuery};

// Counts the buffers the reader takes and gives back; can refuse them.
struct CountingMemory {
  static inline int allocations = 0, releases = 0;
  static inline bool refuse = false;
  static void* Allocate(uint32 size) {
    if (refuse) return nullptr;
    ++allocations;
    return std::calloc(1, size);
  }
  static void Release(void* block) {
    ++releases;
    std::free(block);
  }
};
constexpr BlockMemory kCountingMemory{CountingMemory::Allocate, CountingMemory::Release};

struct DetectionFixture : ::testing::Test {
  FakeHost fake;
  void SetUp() override {
    g_host = &fake;
    CountingMemory::allocations = CountingMemory::releases = 0;
    CountingMemory::refuse = false;
    UseVersionSourceForTesting(&kFakeSource);
    UseBlockMemoryForTesting(&kCountingMemory);
    ResetHostIdentityForTesting();
  }
  void TearDown() override {
    EXPECT_EQ(CountingMemory::releases, CountingMemory::allocations) << "version block buffer not released";
    UseVersionSourceForTesting(nullptr);
    UseBlockMemoryForTesting(nullptr);
    ResetHostIdentityForTesting();
    g_host = nullptr;
  }
};

const uint32 kPrMr = FourCC("PrMr");
const uint32 k8BIM = FourCC("8BIM");
const HostInfo kPremiere{.internalName = "Adobe Premiere", .fileVersion = "6.01"};

HostInfo With(HostInfo info, void (*change)(HostInfo&)) {
  change(info);
  return info;
}

// Blocks of the old kind, whose values the source does not find: keys and
// texts lie in the raw bytes, each text after its key, zero byte and padding.
HostInfo Raw(const std::string& bytes, bool fixedInfo = false) {
  return HostInfo{.fixedInfo = fixedInfo, .translation = -1, .raw = bytes};
}
const std::string kRawPhotoshop = "\x40\0\0\0InternalName\0\0\0\0Photoshp\0\0\0\0\x1C\0\x04\0FileVersion\0" "5.52\0"s;
const std::string kFiller(300, 'x');

struct IdentityCase {
  const char* name;
  HostInfo info;
  OSErr result;
  HostIdentity identity;
};
void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class ReadHostIdentityTest : public DetectionFixture, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(ReadHostIdentityTest, FillsTheIdentityFromTheBlock) {
  fake = FakeHost(GetParam().info);
  HostIdentity identity{0xFFFFFFFF, 1, 2, 3, 4};
  EXPECT_EQ(ReadHostIdentity(&identity), GetParam().result);
  const HostIdentity& e = GetParam().identity;
  EXPECT_EQ(identity.signature, e.signature);
  EXPECT_EQ(identity.majorVersion, e.majorVersion);
  EXPECT_EQ(identity.minorVersion, e.minorVersion);
  EXPECT_EQ(identity.fixVersion, e.fixVersion);
  EXPECT_EQ(identity.platformCode, e.platformCode);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, ReadHostIdentityTest,
    ::testing::Values(
        IdentityCase{"Complete", kPremiere, noErr, {kPrMr, 6, 0, 1, 10}},
        IdentityCase{"NoTranslationListUsesKey04090000",
                     {.translation = -1, .key = "04090000", .internalName = "Photoshp", .fileVersion = "7.0"}, noErr,
                     {k8BIM, 7, 0, 0, 10}},
        IdentityCase{"NoTranslationListAndOnlyAnotherKey", With(kPremiere, [](HostInfo& s) { s.translation = -1; }),
                     noErr, {0, 0, 0, 0, 10}},
        IdentityCase{"LanguageZeroCodePage04b0UsesKey000004b0",
                     {.translation = 0x04B0, .key = "000004b0", .internalName = "PM65", .fileVersion = "6.5"}, noErr,
                     {FourCC("AD65"), 6, 5, 0, 10}},
        IdentityCase{"NoFileVersionKeepsSignatureAndPlatform", {.internalName = "Adobe Premiere"}, noErr,
                     {kPrMr, 0, 0, 0, 10}},
        IdentityCase{"NoFixedInformation", With(kPremiere, [](HostInfo& s) { s.fixedInfo = false; }), noErr,
                     {kPrMr, 6, 0, 1, 0}},
        IdentityCase{"SixteenBitWindows", {.targetSystem = 1, .internalName = "PM5"}, noErr,
                     {FourCC("ALD5"), 0, 0, 0, 11}},
        IdentityCase{"OtherTargetSystem", {.targetSystem = 0x00040004, .internalName = "PM5"}, noErr,
                     {FourCC("ALD5"), 0, 0, 0, 12}},
        IdentityCase{"ShortFixedInformationIsIgnored", {.fixedLength = 40, .internalName = "PM5"}, noErr,
                     {FourCC("ALD5"), 0, 0, 0, 0}},
        IdentityCase{"UnknownInternalName", {.internalName = "GIMP", .fileVersion = "2.10"}, noErr, {0, 2, 1, 0, 10}},
        IdentityCase{"ValuesOutsideTheBufferAreTakenAsAbsent",
                     With(kPremiere, [](HostInfo& s) { s.valuesOutsideBuffer = true; }), noErr, {}},
        IdentityCase{"RawSearch", Raw(kRawPhotoshop, true), noErr, {k8BIM, 5, 5, 2, 10}},
        IdentityCase{"RawSearchTextRightAfterThePadding", Raw("InternalName\0\0PM6\0 FileVersion\0" "12\0"s), noErr,
                     {FourCC("ALD6"), 12, 0, 0, 0}},
        IdentityCase{"RawSearchIgnoresCaseAndKeysWithoutZeroByte",
                     Raw("InternalNameX INTERNALNAME\0\0\0\0photoshp\0"s), noErr, {k8BIM, 0, 0, 0, 0}},
        IdentityCase{"RawBlockEndingRightAfterInternalName", Raw(kFiller + "InternalName"), noErr, {}},
        IdentityCase{"RawBlockEndingWithInternalNameAndZeroByte", Raw(kFiller + "InternalName\0"s), noErr, {}},
        IdentityCase{"RawBlockTruncatedInTheName", Raw(kFiller + "InternalName\0\0\0\0Phot"s), noErr,
                     {FourCC("Mprn"), 0, 0, 0, 0}},  // "Phot" begins "PhotoPnt"
        IdentityCase{"RawBlockTruncatedInTheVersion", Raw(kFiller + "FileVersion\0" "12"s), noErr, {0, 12, 0, 0, 0}},
        IdentityCase{"RawBlockOfFewBytesIsSearchedPastItsZeroBytes", Raw("\0\0InternalName\0\0\0\0PM5\0"s), noErr,
                     {FourCC("ALD5"), 0, 0, 0, 0}},
        IdentityCase{"RawBlockOf32767Bytes", Raw(std::string(32743, 'x') + "InternalName\0\0\0\0Photoshp"s), noErr,
                     {k8BIM, 0, 0, 0, 0}},
        IdentityCase{"BlockOf32768BytesIsTooLarge", Raw(std::string(32768, 'x')), memFullErr, {}},
        IdentityCase{"HugeReportedSize", With(kPremiere, [](HostInfo& s) { s.reportedSize = 0xFFFFFFFF; }), memFullErr,
                     {}},
        IdentityCase{"NoVersionBlock", Raw(""), noErr, {}},
        IdentityCase{"ReadFails", With(kPremiere, [](HostInfo& s) { s.readFails = true; }), noErr, {}},
        IdentityCase{"PathOf254Characters",
                     With(kPremiere, [](HostInfo& s) { s.path = "C:\\" + std::string(247, 'p') + ".exe"; }), noErr,
                     {kPrMr, 6, 0, 1, 10}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DetectionFixture, BufferThatCannotBeHadGivesMemFullAndAnEmptyIdentity) {
  fake = FakeHost(kPremiere);
  CountingMemory::refuse = true;
  HostIdentity identity{1, 1, 1, 1, 1};
  EXPECT_EQ(ReadHostIdentity(&identity), memFullErr);
  EXPECT_EQ(identity.signature, 0u);
  EXPECT_EQ(PackHostVersion(identity), 0u);
  EXPECT_EQ(fake.readCalls, 0);
}

TEST_F(DetectionFixture, PathLongerThan254CharactersIsNotLookedUp) {
  fake = FakeHost(kPremiere);
  fake.info.path = "C:\\" + std::string(248, 'p') + ".exe";  // 255 characters
  HostIdentity identity{};
  EXPECT_EQ(ReadHostIdentity(&identity), noErr);
  EXPECT_EQ(fake.sizeCalls, 0);
  EXPECT_EQ(PackHostVersion(identity), 0u);
}

TEST_F(DetectionFixture, PremiereIsAskedForByParameterCreation) {
  fake = FakeHost(kPremiere);
  FilterRecord record{};
  int16 result = noErr;
  Globals globals{&result, &record, {}};
  ASSERT_TRUE(EnsureParameters(&globals));
  EXPECT_EQ(ParametersOf(&record)->hostIsPremiere, 1);
  host::FreeHandle(nullptr, record.parameters);
}

TEST_F(DetectionFixture, QueryForPremiereAnswersThePackedVersion) {
  fake = FakeHost(kPremiere);
  EXPECT_EQ(QueryHostVersion(kPrMr), 0x0601000Au);
  EXPECT_EQ(QueryHostVersion(k8BIM), 0u);
}

TEST_F(DetectionFixture, KeysOutsideTheListAnswerZeroWithoutReading) {
  fake = FakeHost(kPremiere);
  for (uint32 key : {0u, FourCC("Zzzz"), FourCC("prmr")}) EXPECT_EQ(QueryHostVersion(key), 0u);
  EXPECT_EQ(fake.pathCalls, 0);
  EXPECT_EQ(fake.sizeCalls, 0);
}

TEST_F(DetectionFixture, IdentityIsReadOnceEvenWhenReadingFails) {
  fake = FakeHost(kPremiere);
  fake.info.readFails = true;
  EXPECT_EQ(QueryHostVersion(kPrMr), 0u);
  fake.info.readFails = false;
  EXPECT_EQ(QueryHostVersion(kPrMr), 0u);
  EXPECT_EQ(fake.readCalls, 1);
}

TEST_F(DetectionFixture, TooLargeBlockAnswersZeroAndIsNotRetried) {
  fake = FakeHost(kPremiere);
  fake.info.reportedSize = 40000;
  EXPECT_EQ(QueryHostVersion(kPrMr), 0u);
  fake.info.reportedSize = 0;
  EXPECT_EQ(QueryHostVersion(kPrMr), 0u);
  EXPECT_EQ(fake.sizeCalls, 1);
}

// Which keys accept which host signatures: a key's own signature and those
// after it in its group.
TEST_F(DetectionFixture, EachKeyAcceptsItsSignatureAndTheRestOfItsGroup) {
  const std::map<std::string, std::vector<std::string>> accepts = {
      {"Cdrw", {"Cdrw"}}, {"Mprn", {"Mprn"}}, {"BABL", {"BABL"}}, {"FXTC", {"FXTC"}},
      {"ART3", {"ART3", "ARTZ", "ARTY", "ART5"}}, {"ARTZ", {"ARTZ", "ARTY", "ART5"}}, {"ARTY", {"ARTY", "ART5"}},
      {"ART5", {"ART5"}}, {"ALD5", {"ALD5", "ALD6", "AD65"}}, {"ALD6", {"ALD6", "AD65"}}, {"AD65", {"AD65"}},
      {"PHUT", {"PHUT"}}, {"8BIM", {"8BIM"}}, {"PrMr", {"PrMr"}},
  };
  auto code = [](const std::string& s) { return FourCC({s[0], s[1], s[2], s[3], 0}); };
  for (const auto& [signature, unused] : accepts) {
    SetHostIdentityForTesting(HostIdentity{code(signature), 5, 5, 2, 11});
    for (const auto& [key, accepted] : accepts) {
      const bool accept = std::find(accepted.begin(), accepted.end(), signature) != accepted.end();
      EXPECT_EQ(QueryHostVersion(code(key)), accept ? 0x0552000Bu : 0u) << "host " << signature << ", key " << key;
    }
  }
}

TEST_F(DetectionFixture, UnidentifiedOrPlatformlessHostAnswersZero) {
  for (const HostIdentity& identity : {HostIdentity{0, 5, 5, 2, 10}, HostIdentity{kPrMr, 5, 5, 2, 0}}) {
    SetHostIdentityForTesting(identity);
    EXPECT_EQ(QueryHostVersion(kPrMr), 0u);
  }
  SetHostIdentityForTesting(HostIdentity{kPrMr, 5, 5, 2, 10});
  EXPECT_EQ(HostVersionFor(21), 0x0552000Au);  // the 'PrMr' entry
  for (int entry : {-1, 20, 22, 23, 1000}) EXPECT_EQ(HostVersionFor(entry), 0u) << entry;
}

TEST(PackHostVersion, ShiftsFieldsWithoutMasking) {
  EXPECT_EQ(PackHostVersion(HostIdentity{kPrMr, 5, 5, 2, 10}), 0x0552000Au);
  EXPECT_EQ(PackHostVersion(HostIdentity{kPrMr, 1, 17, 0, 12}), 0x0110000Cu);  // 17 overlaps the major field
  EXPECT_EQ(PackHostVersion(HostIdentity{kPrMr, 0, 0, 31, 12}), 0x001F000Cu);
}

struct VersionCase {
  std::string text;
  uint8 major, minor, fix;
};

class SetVersionNumbersTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(SetVersionNumbersTest, ReadsMajorBeforeAndMinorFixAfterTheLastSeparator) {
  HostIdentity identity{kPrMr, 9, 9, 9, 10};
  std::vector<char> text(GetParam().text.begin(), GetParam().text.end());
  text.push_back('\0');
  SetVersionNumbers(identity, text.data());
  EXPECT_EQ(identity.majorVersion, GetParam().major) << GetParam().text;
  EXPECT_EQ(identity.minorVersion, GetParam().minor) << GetParam().text;
  EXPECT_EQ(identity.fixVersion, GetParam().fix) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, SetVersionNumbersTest,
                         ::testing::Values(VersionCase{"7.0", 7, 0, 0}, VersionCase{"5.5", 5, 5, 0},
                                           VersionCase{"6.01", 6, 0, 1}, VersionCase{"5.52", 5, 5, 2},
                                           VersionCase{"8.0.0.0", 0, 0, 0}, VersionCase{"1, 1, 0, 1", 0, 1, 0},
                                           VersionCase{"12", 12, 0, 0}, VersionCase{"", 0, 0, 0},
                                           VersionCase{"5.123", 5, 12, 3}, VersionCase{"300.1", 44, 1, 0},
                                           VersionCase{" 4 , 2 ", 4, 2, 0}, VersionCase{"4.x", 4, 0, 0},
                                           VersionCase{std::string(300, '1'), 255, 0, 0}));

TEST(SplitAtDecimalSeparator, MovesTheTailAfterTheLastSeparator) {
  struct Case {
    std::string text, fractionBefore, textAfter, fractionAfter;
  };
  const Case cases[] = {{"5.52", "", "5", "52"},         {"1,2.3", "", "1,2", "3"}, {"abc", "x", "abc", "x"},
                        {"5.", "", "5", ""},             {".5", "", "", "5"},       {"9.123", "ab", "9", "ab123"},
                        {"1.23456", std::string(250, 'f'), "1", std::string(250, 'f') + "2345"}};
  auto set = [](host::PString& p, const std::string& s) {
    p[0] = static_cast<unsigned char>(s.size());
    std::memcpy(p + 1, s.data(), s.size());
    p[s.size() + 1] = 0;
  };
  for (const Case& c : cases) {
    host::PString text, fraction;
    set(text, c.text);
    set(fraction, c.fractionBefore);
    SplitAtDecimalSeparator(text, fraction);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), text[0]), c.textAfter) << c.text;
    EXPECT_EQ(text[text[0] + 1], 0) << c.text;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(fraction + 1), fraction[0]), c.fractionAfter) << c.text;
    EXPECT_EQ(fraction[fraction[0] + 1], 0) << c.text;
  }
}

}  // namespace
}  // namespace vantrel::hostinfo
