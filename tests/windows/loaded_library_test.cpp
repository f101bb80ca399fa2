// The plug-in library as the Windows loader and USER32 see it once loaded: its
// two names resolve, and its hand cursors load with their drawings and hot
// spots. Its bytes (exports, property list, strings, version block) are
// checked without running it by the shipped-file tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "runner/filter_loader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr WORD kJapanese = MAKELANGID(0x11, 0x01);
const wchar_t* const kGroupCursor = MAKEINTRESOURCEW(12);

std::string BesideProgram(const char* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of("\\/") + 1) + name;
}

// The library, loaded once for the whole program.
HMODULE Library() {
  static HMODULE module = LoadLibraryA(BesideProgram(vantrel::runner::kPluginFileName).c_str());
  return module;
}

Bytes ResourceBytes(HRSRC found) {
  HGLOBAL loaded = LoadResource(Library(), found);
  auto data = static_cast<const std::uint8_t*>(LockResource(loaded));
  return Bytes(data, data + SizeofResource(Library(), found));
}

TEST(LoadedLibrary, EntryPointsResolveByTheirPlainNames) {
  ASSERT_NE(Library(), nullptr);
  EXPECT_NE(GetProcAddress(Library(), "ENTRYPOINT"), nullptr);
  EXPECT_NE(GetProcAddress(Library(), "ZorvikProc"), nullptr);
  EXPECT_EQ(GetProcAddress(Library(), "ZorvikProc@16"), nullptr);
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
