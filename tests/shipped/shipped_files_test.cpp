// The plug-in files as we ship them, read as bytes the way a host, Explorer and
// the loader see them: machine type, exports, imports, property list, string
// table, dialog template, resource languages and version block. Runs on any machine, whether or
// not it can run either library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/shipped/pe_image.h"
#include "tests/support/windows_builds.h"

namespace vantrel::testing {
namespace {

struct ShippedFile {
  const char* path;
  std::uint16_t machine;
  std::uint16_t optionalMagic;
  const char* codeProperty;  // the key naming the entry point for this machine
  const char* fileName;
  const char* preset;        // the build that makes it
  // The image modes the property list declares and enables: the second byte
  // of the 'mode' flags, the 'enbl' expression and its stored length, and the
  // modes a host that reads both offers the filter on.
  std::uint8_t deepModeFlags;
  const char* enableExpression;
  std::uint32_t enableLength;
  std::set<int> enabledModes;
};

void PrintTo(const ShippedFile& f, std::ostream* os) { *os << f.fileName; }

// The 32-bit file keeps the property list 32-bit hosts have always loaded;
// the 64-bit one adds RGB48 (0x10) and CMYK64 (0x04).
const ShippedFile kShipped[] = {
    {VANTREL_SHIPPED_WIN32, 0x014C, 0x10B, "wx86", "Vantrel.8bf", "win32", 0xC0,
     "in (PSHOP_ImageMode, RGBMode,CMYKMode)", 40, {3, 4}},
    {VANTREL_SHIPPED_WIN64, 0x8664, 0x20B, "8664", "Vantrel64.8bf", "win64", 0xD4,
     "in (PSHOP_ImageMode, RGBMode,CMYKMode,RGB48Mode,CMYK64Mode)", 60, {3, 4, 11, 13}},
};

constexpr std::uint16_t kJapanese = 0x0411;

class ShippedFileTest : public ::testing::TestWithParam<ShippedFile> {
 protected:
  void SetUp() override {
    const std::string missing = MissingWindowsBuild(GetParam().path, GetParam().preset);
    if (!missing.empty() && !WindowsBuildsRequired()) GTEST_SKIP() << kSkippedWithoutWindowsBuild << missing;
    std::string error;
    ASSERT_TRUE(ReadPeImage(GetParam().path, image_, error))
        << error << " (the win32 and win64 presets build the shipped files)";
  }
  // The bytes of a resource, failing the test when it is missing.
  const Bytes& Resource(const std::string& type, unsigned id) {
    const PeResource* found = image_.Find(type, ResourceId(id));
    static const Bytes none;
    EXPECT_NE(found, nullptr) << "no resource " << type << " " << id;
    return found ? found->data : none;
  }
  PeImage image_;
};

// ---------------------------------------------------------------------------
// Headers, exports, imports.

TEST_P(ShippedFileTest, IsALibraryForItsMachine) {
  EXPECT_EQ(image_.machine, GetParam().machine);
  EXPECT_EQ(image_.optionalMagic, GetParam().optionalMagic);
  EXPECT_TRUE(image_.characteristics & 0x2000) << "not marked as a library";
}

TEST_P(ShippedFileTest, ExportsExactlyEntryPointAndDialogProcedure) {
  EXPECT_EQ(std::set<std::string>(image_.exportNames.begin(), image_.exportNames.end()),
            (std::set<std::string>{"ENTRYPOINT", "ZorvikProc"}));
  EXPECT_EQ(image_.exportNames.size(), 2u);
  EXPECT_EQ(image_.exportedFunctions, 2u);
}

TEST_P(ShippedFileTest, ImportsOnlySystemLibraries) {
  // The C and C++ runtimes are linked in: no libgcc, libstdc++ or
  // libwinpthread beside the file.
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "version.dll", "msvcrt.dll"};
  ASSERT_FALSE(image_.imports.empty());
  for (std::string name : image_.imports) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_TRUE(system.count(name) || name.rfind("api-ms-win-", 0) == 0) << "imports " << name;
  }
}

// ---------------------------------------------------------------------------
// Property list, constructed here field by field from the layout hosts parse.

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

// One property: its stored length (a multiple of 4) and its data before the
// zero padding up to that length.
struct Property {
  const char* key;
  std::uint32_t length;
  Bytes data;
};

Bytes ExpectedPropertyList(const ShippedFile& file) {
  std::vector<Property> properties;
  auto add = [&](const char* key, std::uint32_t length, auto&& fill) {
    Bytes d;
    fill(d);
    properties.push_back({key, length, d});
  };
  add("kind", 4, [](Bytes& d) { PutFourCC(d, "8BFM"); });
  add("name", 8, [](Bytes& d) { PutPascal(d, "Vantrel"); });
  add("catg", 16, [](Bytes& d) { PutPascal(d, "Pellam Filter"); });
  add("vers", 4, [](Bytes& d) { Put32(d, 0x00040000); });
  add(file.codeProperty, 12, [](Bytes& d) { PutCString(d, "ENTRYPOINT"); });
  // 15 bytes of terminology record stored in 20.
  add("hstm", 20, [](Bytes& d) {
    Put32(d, 0);
    PutFourCC(d, "sdK9");
    PutFourCC(d, "griD");
    Put16(d, 16000);
    d.push_back(0);  // empty scope text
  });
  add("mode", 4, [&](Bytes& d) { d = {0x5F, file.deepModeFlags, 0x00, 0x00}; });
  add("enbl", file.enableLength, [&](Bytes& d) { PutCString(d, file.enableExpression); });
  add("fici", 28, [](Bytes& d) {
    for (int filterCase = 0; filterCase < 7; ++filterCase) d.insert(d.end(), {4, 1, 6, 0});
  });

  Bytes b;
  Put16(b, 1);
  Put32(b, 0);
  Put32(b, static_cast<std::uint32_t>(properties.size()));
  for (const Property& p : properties) {
    EXPECT_EQ(p.length % 4, 0u) << p.key;
    EXPECT_LE(p.data.size(), p.length) << p.key;
    PutFourCC(b, "8BIM");
    PutFourCC(b, p.key);
    Put32(b, 0);
    Put32(b, p.length);
    b.insert(b.end(), p.data.begin(), p.data.end());
    b.resize(b.size() + (p.length - p.data.size()), 0);
  }
  return b;
}

TEST_P(ShippedFileTest, PropertyListIsByteForByteTheLayoutHostsParse) {
  const Bytes& actual = Resource("PIPL", IDR_PIPL);
  const Bytes expected = ExpectedPropertyList(GetParam());
  ASSERT_EQ(expected.size(), 250u + GetParam().enableLength);  // 290 bytes with the 8-bit modes alone
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i)
    ASSERT_EQ(int(actual[i]), int(expected[i])) << "first difference at byte " << i;
}

// The data of property `key` of a property list, found as a host walks it.
Bytes PropertyData(const Bytes& list, const char* key) {
  auto at = [&](size_t i) { return std::uint32_t(list[i]) | list[i + 1] << 8 | list[i + 2] << 16 | std::uint32_t(list[i + 3]) << 24; };
  Bytes code;
  PutFourCC(code, key);
  for (size_t i = 10; i + 16 <= list.size();) {
    const std::uint32_t length = at(i + 12);
    if (std::equal(code.begin(), code.end(), list.begin() + std::ptrdiff_t(i + 4)) && i + 16 + length <= list.size())
      return Bytes(list.begin() + std::ptrdiff_t(i + 16), list.begin() + std::ptrdiff_t(i + 16 + length));
    i += 16 + ((length + 3) & ~3u);
  }
  return {};
}

// The modes an enable expression of the form "in (PSHOP_ImageMode, A,B,...)"
// names, by the host's mode names; -1 for a name no host knows.
std::set<int> ModesNamed(const std::string& expression) {
  static const char* const kNames[] = {"BitmapMode",  "GrayScaleMode", "IndexedMode",   "RGBMode",
                                       "CMYKMode",    "HSLMode",       "HSBMode",       "MultichannelMode",
                                       "DuotoneMode", "LabMode",       "Gray16Mode",    "RGB48Mode",
                                       "Lab48Mode",   "CMYK64Mode",    "DeepMultichannelMode",
                                       "Duotone16Mode", "RGB96Mode",   "Gray32Mode"};
  const std::string head = "in (PSHOP_ImageMode,";
  std::set<int> modes;
  if (expression.rfind(head, 0) != 0 || expression.back() != ')') return {-1};
  std::string rest = expression.substr(head.size(), expression.size() - head.size() - 1) + ",";
  for (size_t comma; (comma = rest.find(',')) != std::string::npos; rest.erase(0, comma + 1)) {
    std::string name = rest.substr(0, comma);
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    const auto* found = std::find(std::begin(kNames), std::end(kNames), name);
    modes.insert(found == std::end(kNames) ? -1 : int(found - std::begin(kNames)));
  }
  return modes;
}

TEST_P(ShippedFileTest, HostThatReadsThePropertyListEnablesExactlyItsModes) {
  const Bytes& list = Resource("PIPL", IDR_PIPL);
  const Bytes flags = PropertyData(list, "mode");
  const Bytes expression = PropertyData(list, "enbl");
  ASSERT_GE(flags.size(), 2u);
  ASSERT_FALSE(expression.empty());
  const std::set<int> named = ModesNamed(std::string(expression.begin(), std::find(expression.begin(), expression.end(), 0)));
  std::set<int> enabled;
  for (int mode = 0; mode < 16; ++mode) {
    // The flags as a host reads them: a big-endian word, mode n at 0x8000 >> n.
    const bool declared = ((flags[0] << 8 | flags[1]) & (0x8000 >> mode)) != 0;
    if (declared && named.count(mode) != 0) enabled.insert(mode);
  }
  EXPECT_EQ(named.count(-1), 0u) << "a mode name no host knows";
  EXPECT_EQ(enabled, GetParam().enabledModes);
}

TEST_P(ShippedFileTest, EveryResourceIsJapaneseOnly) {
  ASSERT_FALSE(image_.resources.empty());
  std::set<std::pair<std::string, std::string>> seen;
  for (const PeResource& r : image_.resources) {
    EXPECT_EQ(r.language, kJapanese) << r.type << " " << r.name;
    EXPECT_TRUE(seen.insert({r.type, r.name}).second) << r.type << " " << r.name << " in two languages";
  }
}

// ---------------------------------------------------------------------------
// String table: block n holds strings 16 (n - 1) to 16 n - 1, each a 16-bit
// length and that many UTF-16 units.

std::u16string StoredString(const Bytes& block, unsigned index) {
  size_t at = 0;
  for (unsigned i = 0;; ++i) {
    if (at + 2 > block.size()) return u"<past the block>";
    const size_t length = block[at] | block[at + 1] << 8;
    if (at + 2 + 2 * length > block.size()) return u"<past the block>";
    if (i == index) {
      std::u16string s;
      for (size_t k = 0; k < length; ++k) s += char16_t(block[at + 2 + 2 * k] | block[at + 3 + 2 * k] << 8);
      return s;
    }
    at += 2 + 2 * length;
  }
}

std::u16string String(const PeImage& image, unsigned id) {
  const PeResource* block = image.Find(ResourceId(6), ResourceId(id / 16 + 1));
  return block ? StoredString(block->data, id % 16) : u"";
}

TEST_P(ShippedFileTest, StringTableHoldsExactlyTheListedTexts) {
  const struct {
    unsigned id;
    const char16_t* text;  // empty: no such string
  } strings[] = {
      {16001, u"Tarnwick"}, {16100, u"pixels"}, {16101, u"inches"}, {16102, u"cm"}, {16103, u"points"},
      {16104, u"picas"}, {16989, u"Vantrel: grid=^2, nudge=^1, origin=^0."},
      {16990, u"An integer is required between ^1 and ^2."},
      {16991, u"A decimal number is required between ^1 and ^2."},
      // U+FF6E after "Photoshop", one UTF-16 unit as stored.
      {16992, u"This plug-in requires Adobe Photoshop\xFF6E ^1 or later functionality."},
      {16993, u"This plug-in is incompatible with this version of the host program."},
      // Neighbours of the listed ids hold nothing.
      {15999, u""}, {16002, u""}, {16099, u""}, {16105, u""}, {16988, u""}, {16994, u""},
  };
  for (const auto& s : strings) EXPECT_TRUE(String(image_, s.id) == s.text) << "string " << s.id;
}

TEST_P(ShippedFileTest, AboutTextHasItsFiveLinesAndEndsWithTwoLineFeeds) {
  const std::u16string text = String(image_, IDS_ABOUT_TEXT);
  ASSERT_EQ(text.rfind(u"Vantrel\n\nVersion 1.0\n", 0), 0u);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), u"\n\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 6);
  EXPECT_EQ(text.find(u"\n\n\n"), std::u16string::npos) << "a notice line is empty";
  EXPECT_EQ(text.find(u'\r'), std::u16string::npos);
  EXPECT_LE(text.size(), 254u) << "the about box would cut it";
}

// ---------------------------------------------------------------------------
// Version block: nodes of length, value length, type (1 text, 0 binary), a
// UTF-16 key, padding to 4 bytes, the value, padding, then the children.

struct VersionNode {
  std::u16string key;
  Bytes value;
  std::vector<VersionNode> children;

  std::u16string Text() const {
    std::u16string s;
    for (size_t i = 0; i + 1 < value.size(); i += 2) s += char16_t(value[i] | value[i + 1] << 8);
    return s.substr(0, s.find(u'\0'));
  }
  const VersionNode* Child(const std::u16string& name) const {
    for (const VersionNode& c : children)
      if (c.key == name) return &c;
    return nullptr;
  }
};

// Parses the node at `at`; false when it does not fit in `end`.
bool ParseNode(const Bytes& b, size_t at, size_t end, VersionNode& node, size_t& next) {
  auto u16 = [&](size_t i) { return unsigned(b[i] | b[i + 1] << 8); };
  if (at + 6 > end) return false;
  const size_t length = u16(at), valueLength = u16(at + 2), type = u16(at + 4);
  if (length < 6 || at + length > end) return false;
  const size_t nodeEnd = at + length;
  size_t i = at + 6;
  for (; i + 1 < nodeEnd && u16(i) != 0; i += 2) node.key += char16_t(u16(i));
  i = (i + 2 + 3) & ~size_t(3);
  const size_t valueBytes = type == 1 ? 2 * valueLength : valueLength;
  if (i + valueBytes > nodeEnd) return false;
  node.value.assign(b.begin() + i, b.begin() + i + valueBytes);
  i = (i + valueBytes + 3) & ~size_t(3);
  while (i < nodeEnd) {
    VersionNode child;
    size_t after = 0;
    if (!ParseNode(b, i, nodeEnd, child, after)) return false;
    node.children.push_back(std::move(child));
    i = (after + 3) & ~size_t(3);
  }
  next = nodeEnd;
  return true;
}

std::u16string Wide(const char* s) { return std::u16string(s, s + std::strlen(s)); }

TEST_P(ShippedFileTest, VersionBlockDescribesTheFileItIsIn) {
  const Bytes& raw = Resource(ResourceId(16), IDV_VERSION_INFO);
  VersionNode root;
  size_t end = 0;
  ASSERT_TRUE(ParseNode(raw, 0, raw.size(), root, end));
  ASSERT_EQ(root.key, u"VS_VERSION_INFO");

  ASSERT_EQ(root.value.size(), 52u) << "fixed file information";
  auto fixed = [&](size_t at) { return std::uint32_t(root.value[at] | root.value[at + 1] << 8 | root.value[at + 2] << 16 | std::uint32_t(root.value[at + 3]) << 24); };
  const struct {
    const char* field;
    size_t at;
    std::uint32_t expected;
  } fields[] = {
      {"signature", 0, 0xFEEF04BD}, {"file version high", 8, 0x00010001}, {"file version low", 12, 1},
      {"product version high", 16, 0x00010001}, {"product version low", 20, 1}, {"flags mask", 24, 0x17},
      {"flags", 28, 0}, {"target system", 32, 4}, {"type: library", 36, 2}, {"subtype", 40, 0},
      {"date high", 44, 0}, {"date low", 48, 0},
  };
  for (const auto& f : fields) EXPECT_EQ(fixed(f.at), f.expected) << f.field;

  const VersionNode* translation = root.Child(u"VarFileInfo") ? root.Child(u"VarFileInfo")->Child(u"Translation") : nullptr;
  ASSERT_NE(translation, nullptr);
  EXPECT_EQ(translation->value, (Bytes{0x11, 0x04, 0xB0, 0x04})) << "Japanese, Unicode, and nothing else";

  const VersionNode* info = root.Child(u"StringFileInfo");
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(info->children.size(), 1u);
  EXPECT_EQ(info->children[0].key, u"041104b0");
  const struct {
    const char* key;
    const char* value;  // nullptr: our own wording, present and not empty
  } entries[] = {
      {"FileDescription", "Vantrel Photoshop Plug-In"}, {"FileVersion", "1, 1, 0, 1"}, {"InternalName", "Vantrel"},
      {"LegalCopyright", nullptr}, {"OriginalFilename", GetParam().fileName},
      {"ProductName", "Vantrel Photoshop Plug-In"}, {"ProductVersion", "1, 1, 0, 1"},
  };
  const auto& stored = info->children[0].children;
  ASSERT_EQ(stored.size(), std::size(entries));
  for (size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(stored[i].key, Wide(entries[i].key)) << "entry " << i << " out of order";
    if (entries[i].value)
      EXPECT_TRUE(stored[i].Text() == Wide(entries[i].value)) << entries[i].key;
    else
      EXPECT_FALSE(stored[i].Text().empty()) << entries[i].key;
  }
}

// ---------------------------------------------------------------------------
// The parameter dialog's template (an extended dialog template), against the
// listed window and controls.

struct TemplateReader {
  const Bytes& b;
  size_t at = 0;
  bool ok = true;
  std::uint32_t Word() {
    if (at + 2 > b.size()) return ok = false, 0;
    at += 2;
    return b[at - 2] | b[at - 1] << 8;
  }
  std::uint32_t Long() { return Word() | Word() << 16; }
  // A text, or "#<n>" for an ordinal.
  std::u16string Text() {
    std::u16string s;
    if (std::uint32_t first = Word(); first == 0xFFFF) {
      for (char c : ResourceId(Word())) s += char16_t(c);
    } else {
      for (std::uint32_t c = first; c != 0 && ok; c = Word()) s += char16_t(c);
    }
    return s;
  }
};

// A control's class, stored as a name or as the ordinal of a system class.
std::u16string ClassName(std::u16string stored) {
  if (stored == u"#128") return u"button";
  if (stored == u"#130") return u"static";
  if (stored == u"#131") return u"listbox";
  for (char16_t& c : stored)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  return stored;
}

struct DialogItem {
  int id;
  const char* cls;  // "button", "static" or "listbox"
  std::uint32_t style;
  int x, y, cx, cy;
  const char16_t* text;
};

TEST_P(ShippedFileTest, ParameterDialogTemplateIsTheListedOne) {
  constexpr std::uint32_t kChild = 0x50000000;  // child, visible
  constexpr std::uint32_t kTab = 0x10000, kGroup = 0x20000, kNotify = 0x4000;
  constexpr std::uint32_t kList = kChild | 0x2 | 0x1 | 0x100 | 0x800000 | 0x200000 | kTab;  // sort, notify,
  // no integral height, border, vertical scroll bar
  const DialogItem items[] = {
      {IDC_ORDER_LIST, "listbox", kList, 167, 25, 55, 136, u""},
      {IDC_BLEND, "button", kChild | 3 | kTab, 19, 178, 88, 11, u"元画像とブレンドする( &B )"},
      {IDC_BLEND_CROSS, "button", kChild | 4 | kNotify | kGroup, 120, 179, 37, 10, u"Cross(&O)"},
      {IDC_BLEND_MIX, "button", kChild | 4 | kNotify | kGroup, 169, 179, 29, 10, u"Mix(&I)"},
      {IDC_EXCLUDE, "button", kChild | 3 | kTab, 19, 197, 119, 11, u"特定のチャンネルを除外する ( &P )"},
      {IDC_CHANNEL_1, "button", kChild | 4 | kNotify | kGroup, 13, 217, 37, 10, u"1st(&Y)"},
      {IDC_CHANNEL_2, "button", kChild | 4 | kNotify | kGroup, 53, 217, 37, 10, u"2st(&H)"},
      {IDC_CHANNEL_3, "button", kChild | 4 | kNotify | kGroup, 93, 217, 37, 10, u"3st(&N)"},
      {IDC_CHANNEL_4, "button", kChild | 4 | kNotify | kGroup, 133, 217, 37, 10, u"4st(&M)"},
      {IDC_OK, "button", kChild | 1 | kNotify | kTab, 186, 202, 38, 14, u"OK"},
      {IDC_CANCEL, "button", kChild | kNotify | kTab, 186, 219, 38, 14, u"ｷｬﾝｾﾙ"},
      {IDC_PREVIEW_ANCHOR, "static", 0x40000000 | 1, 54, 48, 61, 70, u""},  // centred, not visible
      {IDC_NUDGE_UP_RIGHT, "button", kChild, 146, 7, 14, 12, u"&E"},
      {IDC_NUDGE_DOWN_RIGHT, "button", kChild, 147, 149, 14, 12, u"&C"},
      {IDC_NUDGE_RIGHT, "button", kChild, 147, 78, 14, 12, u"&D"},
      {IDC_NUDGE_UP_LEFT, "button", kChild, 8, 7, 14, 12, u"&Q"},
      {IDC_NUDGE_DOWN_LEFT, "button", kChild, 8, 149, 14, 12, u"&Z"},
      {IDC_NUDGE_LEFT, "button", kChild, 8, 78, 14, 12, u"&A"},
      {IDC_NUDGE_UP, "button", kChild, 77, 7, 14, 12, u"&W"},
      {IDC_NUDGE_DOWN, "button", kChild, 77, 149, 14, 12, u"&X"},
      {IDC_ZOOM_IN, "button", kChild, 28, 149, 44, 14, u"拡 大 ( &] )"},
      {IDC_ZOOM_OUT, "button", kChild, 97, 149, 44, 14, u"縮 小 ( &[ )"},
      {-1, "button", kChild | 7, 9, 206, 167, 27, u""},
      {IDC_ORDER_HEADING, "static", kChild | kGroup, 169, 10, 49, 8, u"R G B"},
      {-1, "button", kChild | 7, 167, 3, 51, 19, u""},
      {-1, "button", kChild | 7, 111, 168, 92, 27, u"ブレンド方法"},
  };
  const PeResource* found = image_.Find(ResourceId(5), "TARNWICKPARAM");
  ASSERT_NE(found, nullptr);
  TemplateReader r{found->data};
  EXPECT_EQ(r.Word(), 1u);
  EXPECT_EQ(r.Word(), 0xFFFFu) << "an extended template";
  r.Long();  // help id
  EXPECT_EQ(r.Long(), 0u) << "extended style";
  // Pop-up, caption, system menu, modal frame, centred, own font.
  EXPECT_EQ(r.Long(), 0x80000000u | 0xC00000 | 0x80000 | 0x80 | 0x800 | 0x40);
  ASSERT_EQ(r.Word(), std::size(items));
  EXPECT_EQ((std::vector<std::uint32_t>{r.Word(), r.Word(), r.Word(), r.Word()}),
            (std::vector<std::uint32_t>{0, 0, 232, 241}));
  EXPECT_TRUE(r.Text().empty()) << "menu";
  EXPECT_TRUE(r.Text().empty()) << "class";
  EXPECT_TRUE(r.Text() == u"Vantrel");
  EXPECT_EQ(r.Word(), 12u) << "points";
  r.Word();  // weight
  r.Word();  // italic, character set
  EXPECT_TRUE(r.Text() == u"ＭＳ Ｐゴシック");
  for (const DialogItem& item : items) {
    r.at = (r.at + 3) & ~size_t(3);
    r.Long();  // help id
    EXPECT_EQ(r.Long(), 0u);
    EXPECT_EQ(r.Long(), item.style) << "control " << item.id;
    const std::vector<std::uint32_t> box{r.Word(), r.Word(), r.Word(), r.Word()};
    EXPECT_EQ(box, (std::vector<std::uint32_t>{std::uint32_t(item.x), std::uint32_t(item.y),
                                                std::uint32_t(item.cx), std::uint32_t(item.cy)}))
        << "control " << item.id;
    EXPECT_EQ(r.Long(), std::uint32_t(item.id));
    EXPECT_TRUE(ClassName(r.Text()) == std::u16string(item.cls, item.cls + std::strlen(item.cls)))
        << "control " << item.id;
    EXPECT_TRUE(r.Text() == item.text) << "control " << item.id;
    r.at += r.Word();  // creation data
  }
  EXPECT_TRUE(r.ok) << "the template ends early";
}

INSTANTIATE_TEST_SUITE_P(BothBitnesses, ShippedFileTest, ::testing::ValuesIn(kShipped),
                         [](const auto& info) { return std::string(info.param.machine == 0x014C ? "Win32" : "Win64"); });

}  // namespace
}  // namespace vantrel::testing
