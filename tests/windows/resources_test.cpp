// The resources of Vantrel.8bf read back the way a host, Explorer and our own
// code read them: property list, strings, version block, cursors, languages.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr WORD kJapanese = MAKELANGID(0x11, 0x01);

// Resource types for the wide lookups (the narrow RT_* names are in use).
const wchar_t* const kCursor = MAKEINTRESOURCEW(1);
const wchar_t* const kString = MAKEINTRESOURCEW(6);
const wchar_t* const kGroupCursor = MAKEINTRESOURCEW(12);
const wchar_t* const kVersion = MAKEINTRESOURCEW(16);

std::string BesideProgram(const char* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of("\\/") + 1) + name;
}

// The library, loaded once for the whole program.
HMODULE Library() {
  static HMODULE module = LoadLibraryA(BesideProgram("Vantrel.8bf").c_str());
  return module;
}

Bytes ResourceBytes(HRSRC found) {
  HGLOBAL loaded = LoadResource(Library(), found);
  auto data = static_cast<const std::uint8_t*>(LockResource(loaded));
  return Bytes(data, data + SizeofResource(Library(), found));
}

// ---------------------------------------------------------------------------
// Property list. The expectation is written out here, field by field, from the
// layout hosts parse.

void Put16(Bytes& b, std::uint16_t v) {
  b.push_back(v & 0xFF);
  b.push_back(v >> 8);
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
// A four-character code: the number whose high byte is the first character.
void PutFourCC(Bytes& b, const char* code) {
  Put32(b, std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
               std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint8_t(code[3]));
}
void PutPascal(Bytes& b, const char* text) {
  b.push_back(static_cast<std::uint8_t>(std::strlen(text)));
  b.insert(b.end(), text, text + std::strlen(text));
}
void PutCString(Bytes& b, const char* text) { b.insert(b.end(), text, text + std::strlen(text) + 1); }

struct Property {
  const char* key;
  std::uint32_t length;
  Bytes data;  // before padding
};

std::vector<Property> ExpectedProperties() {
  std::vector<Property> p;
  Bytes d;
  PutFourCC(d, "8BFM");
  p.push_back({"kind", 4, d});
  d.clear();
  PutPascal(d, "Vantrel");
  p.push_back({"name", 8, d});
  d.clear();
  PutPascal(d, "Pellam Filter");
  p.push_back({"catg", 16, d});
  d.clear();
  Put32(d, 0x00040000);
  p.push_back({"vers", 4, d});
  d.clear();
  PutCString(d, "ENTRYPOINT");
  p.push_back({"wx86", 12, d});
  d.clear();
  Put32(d, 0);
  PutFourCC(d, "sdK9");
  PutFourCC(d, "griD");
  Put16(d, 16000);
  d.push_back(0);  // empty scope text
  p.push_back({"hstm", 20, d});
  d = {0x5F, 0xC0, 0x00, 0x00};
  p.push_back({"mode", 4, d});
  d.clear();
  PutCString(d, "in (PSHOP_ImageMode, RGBMode,CMYKMode)");
  p.push_back({"enbl", 40, d});
  d.clear();
  for (int filterCase = 0; filterCase < 7; ++filterCase) d.insert(d.end(), {4, 1, 6, 0});
  p.push_back({"fici", 28, d});
  return p;
}

Bytes ExpectedPropertyList() {
  const auto properties = ExpectedProperties();
  Bytes b;
  Put16(b, 1);
  Put32(b, 0);
  Put32(b, static_cast<std::uint32_t>(properties.size()));
  for (const Property& p : properties) {
    PutFourCC(b, "8BIM");
    PutFourCC(b, p.key);
    Put32(b, 0);
    Put32(b, p.length);
    EXPECT_LE(p.data.size(), p.length) << p.key;
    b.insert(b.end(), p.data.begin(), p.data.end());
    b.resize(b.size() + (p.length - p.data.size()), 0);
  }
  return b;
}

Bytes PropertyList() {
  HRSRC found = FindResourceA(Library(), MAKEINTRESOURCEA(IDR_PIPL), "PIPL");
  return found ? ResourceBytes(found) : Bytes();
}

std::uint32_t Read32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

TEST(PropertyList, IsByteForByteTheLayoutHostsParse) {
  ASSERT_NE(Library(), nullptr);
  const Bytes actual = PropertyList();
  const Bytes expected = ExpectedPropertyList();
  ASSERT_EQ(expected.size(), 290u);
  ASSERT_EQ(actual.size(), 290u);
  for (size_t i = 0; i < actual.size(); ++i)
    ASSERT_EQ(int(actual[i]), int(expected[i])) << "first difference at byte " << i;
}

TEST(PropertyList, WalksAsNinePaddedPropertiesEndingAtTheLastByte) {
  const Bytes list = PropertyList();
  ASSERT_GE(list.size(), 10u);
  EXPECT_EQ(list[0] | list[1] << 8, 1);
  EXPECT_EQ(Read32(list, 2), 0u);
  const auto expected = ExpectedProperties();
  ASSERT_EQ(Read32(list, 6), expected.size());
  size_t at = 10;
  for (const Property& p : expected) {
    ASSERT_LE(at + 16, list.size()) << p.key;
    Bytes key;
    PutFourCC(key, p.key);
    EXPECT_EQ(Read32(list, at), 0x3842494Du) << p.key << ": vendor '8BIM'";
    EXPECT_EQ(Read32(list, at + 4), Read32(key, 0)) << "property out of order, expected " << p.key;
    EXPECT_EQ(Read32(list, at + 8), 0u) << p.key;
    const std::uint32_t length = Read32(list, at + 12);
    EXPECT_EQ(length % 4, 0u) << p.key;
    EXPECT_EQ(length, p.length) << p.key;
    at += 16 + length;
  }
  EXPECT_EQ(at, list.size());
}

// ---------------------------------------------------------------------------
// Languages: every resource is Japanese, and only Japanese.

struct Located {
  const wchar_t* type;
  const wchar_t* name;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

class ResourceLanguageTest : public ::testing::TestWithParam<Located> {};

TEST_P(ResourceLanguageTest, ExistsInJapaneseOnly) {
  std::vector<WORD> languages;
  EnumResourceLanguagesW(Library(), GetParam().type, GetParam().name, CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, std::vector<WORD>{kJapanese});
}

// String table blocks hold 16 strings each: string n is in block n / 16 + 1.
#define STRING_BLOCK(id) MAKEINTRESOURCEW((id) / 16 + 1)

INSTANTIATE_TEST_SUITE_P(
    AllResources, ResourceLanguageTest,
    ::testing::Values(Located{L"PIPL", MAKEINTRESOURCEW(IDR_PIPL)}, Located{kString, STRING_BLOCK(16000)},
                      Located{kString, STRING_BLOCK(16100)}, Located{kString, STRING_BLOCK(16989)},
                      Located{kString, STRING_BLOCK(16992)}, Located{kGroupCursor, MAKEINTRESOURCEW(104)},
                      Located{kGroupCursor, MAKEINTRESOURCEW(105)}, Located{kCursor, MAKEINTRESOURCEW(1)},
                      Located{kCursor, MAKEINTRESOURCEW(2)}, Located{kVersion, MAKEINTRESOURCEW(1)}));

// ---------------------------------------------------------------------------
// String table.

struct StringCase {
  UINT id;
  const wchar_t* text;  // nullptr: no such string
};

class StringTableTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(StringTableTest, HoldsExactlyTheListedText) {
  wchar_t buffer[512] = {};
  const int length = LoadStringW(Library(), GetParam().id, buffer, 512);
  if (GetParam().text == nullptr) {
    EXPECT_EQ(length, 0) << "unexpected string " << GetParam().id;
  } else {
    EXPECT_EQ(std::wstring(buffer, length), GetParam().text) << "string " << GetParam().id;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Strings, StringTableTest,
    ::testing::Values(
        StringCase{16001, L"Tarnwick"}, StringCase{16100, L"pixels"}, StringCase{16101, L"inches"},
        StringCase{16102, L"cm"}, StringCase{16103, L"points"}, StringCase{16104, L"picas"},
        StringCase{16989, L"Vantrel: grid=^2, nudge=^1, origin=^0."},
        StringCase{16990, L"An integer is required between ^1 and ^2."},
        StringCase{16991, L"A decimal number is required between ^1 and ^2."},
        // U+FF6E after "Photoshop", one UTF-16 unit as stored.
        StringCase{16992, L"This plug-in requires Adobe Photoshop\xFF6E ^1 or later functionality."},
        StringCase{16993, L"This plug-in is incompatible with this version of the host program."},
        // Neighbours of the listed ids hold nothing.
        StringCase{15999, nullptr}, StringCase{16002, nullptr}, StringCase{16099, nullptr},
        StringCase{16105, nullptr}, StringCase{16988, nullptr}, StringCase{16994, nullptr}));

TEST(StringTable, AboutTextHasItsFiveLinesAndEndsWithTwoLineFeeds) {
  char buffer[512] = {};
  const int length = LoadStringA(Library(), IDS_ABOUT_TEXT, buffer, 512);
  const std::string text(buffer, length);
  ASSERT_EQ(text.rfind("Vantrel\n\nVersion 1.0\n", 0), 0u) << text;
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << text;
  EXPECT_EQ(text.find("\n\n\n"), std::string::npos) << "a notice line is empty";
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_LE(text.size(), 254u) << "the about box would cut it";
}

// ---------------------------------------------------------------------------
// Version block, read from the file as Explorer reads it.

class VersionBlock {
 public:
  VersionBlock() {
    const std::string path = BesideProgram("Vantrel.8bf");
    DWORD ignored = 0;
    data_.resize(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    if (data_.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data_.size()), data_.data()))
      data_.clear();
  }
  bool empty() const { return data_.empty(); }
  // The value under `path`, or nullptr.
  const void* Query(const char* path, UINT* size) const {
    void* value = nullptr;
    *size = 0;
    if (data_.empty() || !VerQueryValueA(data_.data(), path, &value, size)) return nullptr;
    return value;
  }

 private:
  std::vector<char> data_;
};

TEST(VersionInfo, FixedPartDescribesA32BitWindowsLibrary) {
  VersionBlock block;
  ASSERT_FALSE(block.empty());
  UINT size = 0;
  auto fixed = static_cast<const VS_FIXEDFILEINFO*>(block.Query("\\", &size));
  ASSERT_NE(fixed, nullptr);
  ASSERT_EQ(size, sizeof(VS_FIXEDFILEINFO));
  const struct {
    const char* field;
    DWORD actual, expected;
  } fields[] = {
      {"signature", fixed->dwSignature, 0xFEEF04BD},
      {"file version high", fixed->dwFileVersionMS, 0x00010001},
      {"file version low", fixed->dwFileVersionLS, 0x00000001},
      {"product version high", fixed->dwProductVersionMS, 0x00010001},
      {"product version low", fixed->dwProductVersionLS, 0x00000001},
      {"flags mask", fixed->dwFileFlagsMask, 0x17},
      {"flags", fixed->dwFileFlags, 0},
      {"target system", fixed->dwFileOS, 0x00000004},
      {"type", fixed->dwFileType, 2},
      {"subtype", fixed->dwFileSubtype, 0},
      {"date high", fixed->dwFileDateMS, 0},
      {"date low", fixed->dwFileDateLS, 0},
  };
  for (const auto& f : fields) EXPECT_EQ(f.actual, f.expected) << f.field;
}

TEST(VersionInfo, TranslationIsJapaneseUnicodeOnly) {
  VersionBlock block;
  UINT size = 0;
  auto words = static_cast<const WORD*>(block.Query("\\VarFileInfo\\Translation", &size));
  ASSERT_NE(words, nullptr);
  ASSERT_EQ(size, 4u);
  EXPECT_EQ(words[0], 0x0411);
  EXPECT_EQ(words[1], 0x04B0);
}

struct VersionString {
  const char* key;
  const char* value;
};

const VersionString kVersionStrings[] = {
    {"FileDescription", "Vantrel Photoshop Plug-In"},
    {"FileVersion", "1, 1, 0, 1"},
    {"InternalName", "Vantrel"},
    {"LegalCopyright", nullptr},  // our own wording: present and not empty
    {"OriginalFilename", "Vantrel.8bf"},
    {"ProductName", "Vantrel Photoshop Plug-In"},
    {"ProductVersion", "1, 1, 0, 1"},
};

TEST(VersionInfo, StringTableHoldsEveryEntry) {
  VersionBlock block;
  for (const VersionString& s : kVersionStrings) {
    UINT size = 0;
    const std::string path = std::string("\\StringFileInfo\\041104b0\\") + s.key;
    auto value = static_cast<const char*>(block.Query(path.c_str(), &size));
    ASSERT_NE(value, nullptr) << s.key;
    if (s.value != nullptr)
      EXPECT_STREQ(value, s.value) << s.key;
    else
      EXPECT_GT(std::strlen(value), 0u) << s.key;
  }
}

// Walks the raw block: each node is length, value length, type, a UTF-16 key,
// padding to 4 bytes, the value, padding, then its children.
struct VersionNode {
  const std::uint8_t* at;
  WORD length() const { return *reinterpret_cast<const WORD*>(at); }
  std::wstring key() const { return reinterpret_cast<const wchar_t*>(at + 6); }
  const std::uint8_t* AfterKey() const {
    size_t offset = 6 + (key().size() + 1) * 2;
    return at + ((offset + 3) & ~size_t(3));
  }
  std::vector<VersionNode> Children(size_t valueBytes) const {
    std::vector<VersionNode> children;
    const std::uint8_t* child = at + ((AfterKey() - at + valueBytes + 3) & ~size_t(3));
    while (child < at + length()) {
      children.push_back({child});
      child += (children.back().length() + 3) & ~size_t(3);
      if (children.back().length() == 0) break;
    }
    return children;
  }
};

TEST(VersionInfo, OneStringTableWithTheEntriesInOrder) {
  HRSRC found = FindResourceExW(Library(), kVersion, MAKEINTRESOURCEW(IDV_VERSION_INFO), kJapanese);
  ASSERT_NE(found, nullptr);
  const Bytes raw = ResourceBytes(found);
  const VersionNode root{raw.data()};
  ASSERT_EQ(root.key(), L"VS_VERSION_INFO");
  std::vector<std::wstring> tables, keys;
  for (const VersionNode& info : root.Children(sizeof(VS_FIXEDFILEINFO))) {
    if (info.key() != L"StringFileInfo") continue;
    for (const VersionNode& table : info.Children(0)) {
      tables.push_back(table.key());
      for (const VersionNode& entry : table.Children(0)) keys.push_back(entry.key());
    }
  }
  EXPECT_EQ(tables, std::vector<std::wstring>{L"041104b0"});
  std::vector<std::wstring> expected;
  for (const VersionString& s : kVersionStrings) expected.emplace_back(s.key, s.key + std::strlen(s.key));
  EXPECT_EQ(keys, expected);
}

// ---------------------------------------------------------------------------
// Cursors.

struct CursorCase {
  int group;
  int image;  // the cursor image the group is made of
  int hotX, hotY;
};

class CursorTest : public ::testing::TestWithParam<CursorCase> {};

// The cursor's two masks, top row first: rows 0-31 the transparency (AND)
// mask, rows 32-63 the colour (XOR) mask.
struct Masks {
  std::vector<std::uint8_t> bits;  // 4 bytes per row
  bool At(int x, int y) const { return (bits[y * 4 + x / 8] >> (7 - x % 8)) & 1; }
  bool Transparent(int x, int y) const { return At(x, y); }
  bool White(int x, int y) const { return !At(x, y) && At(x, y + 32); }
  bool Inverted(int x, int y) const { return At(x, y) && At(x, y + 32); }
};

TEST_P(CursorTest, LoadsAsMonochrome32By32WithItsHotSpot) {
  const CursorCase c = GetParam();
  HCURSOR cursor = LoadCursorA(Library(), MAKEINTRESOURCEA(c.group));
  ASSERT_NE(cursor, nullptr);
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(cursor, &info));
  EXPECT_FALSE(info.fIcon);
  EXPECT_EQ(int(info.xHotspot), c.hotX);
  EXPECT_EQ(int(info.yHotspot), c.hotY);
  EXPECT_EQ(info.hbmColor, nullptr) << "a monochrome cursor has no colour bitmap";
  ASSERT_NE(info.hbmMask, nullptr);
  BITMAP mask = {};
  GetObjectA(info.hbmMask, sizeof mask, &mask);
  EXPECT_EQ(mask.bmWidth, 32);
  EXPECT_EQ(mask.bmHeight, 64);
  EXPECT_EQ(mask.bmBitsPixel, 1);
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
}

TEST_P(CursorTest, DrawingIsWhiteOutlinedInBlackInTheTopLeftSixteen) {
  const CursorCase c = GetParam();
  HCURSOR cursor = LoadCursorA(Library(), MAKEINTRESOURCEA(c.group));
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(cursor, &info));
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } bmi = {};
  bmi.header.biSize = sizeof bmi.header;
  bmi.header.biWidth = 32;
  bmi.header.biHeight = -64;  // top row first
  bmi.header.biPlanes = 1;
  bmi.header.biBitCount = 1;
  Masks masks;
  masks.bits.resize(4 * 64);
  HDC dc = GetDC(nullptr);
  const int rows = GetDIBits(dc, info.hbmMask, 0, 64, masks.bits.data(), reinterpret_cast<BITMAPINFO*>(&bmi),
                             DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  ASSERT_EQ(rows, 64);

  int white = 0, black = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      ASSERT_FALSE(masks.Inverted(x, y)) << "inverting pixel at " << x << "," << y;
      if (x >= 16 || y >= 16) {
        ASSERT_TRUE(masks.Transparent(x, y) && !masks.At(x, y + 32)) << "drawn outside at " << x << "," << y;
        continue;
      }
      if (masks.Transparent(x, y)) continue;
      if (!masks.White(x, y)) {
        ++black;
        continue;
      }
      ++white;
      // The outline: no white pixel touches the transparent surround.
      const int around[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
      for (const auto& n : around) {
        const bool outside = n[0] < 0 || n[1] < 0 || n[0] >= 32 || n[1] >= 32;
        EXPECT_TRUE(!outside && !masks.Transparent(n[0], n[1])) << "white pixel " << x << "," << y << " not outlined";
      }
    }
  }
  EXPECT_GT(white, 0);
  EXPECT_GT(black, 0);
  EXPECT_FALSE(masks.Transparent(c.hotX, c.hotY)) << "the hot spot lies on the drawing";
}

TEST_P(CursorTest, GroupIsMadeOfItsOwnImage) {
  const CursorCase c = GetParam();
  HRSRC group = FindResourceExW(Library(), kGroupCursor, MAKEINTRESOURCEW(c.group), kJapanese);
  ASSERT_NE(group, nullptr);
  Bytes directory = ResourceBytes(group);
  ASSERT_GE(directory.size(), 6u);
  EXPECT_EQ(directory[4] | directory[5] << 8, 1) << "one image";
  EXPECT_EQ(LookupIconIdFromDirectoryEx(directory.data(), FALSE, 32, 32, LR_MONOCHROME), c.image);
}

INSTANTIATE_TEST_SUITE_P(HandCursors, CursorTest,
                         ::testing::Values(CursorCase{IDC_OPEN_HAND, 1, 8, 9}, CursorCase{IDC_CLOSED_HAND, 2, 6, 4}));

}  // namespace
