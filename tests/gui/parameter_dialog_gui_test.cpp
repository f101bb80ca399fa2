// The parameter dialog as a user sees it, under a real display: opened from
// the plug-in library by our Windows host, driven by messages, captured from
// the screen; and shown by the command-line tool to the person at the screen.
// The capture is kept as parameter_dialog.bmp in the working
// folder (the test command turns it into parameter_dialog.png).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pictures/picture.h"
#include "core/parameters.h"
#include "resources/resource_ids.h"
#include "runner/host.h"
#include "tests/support/loaded_filter.h"
#include "tests/support/test_images.h"

namespace vantrel {
namespace {

using runner::DialogStep;
using runner::Host;

// The screen under a window's client area (its frame is the window
// manager's), 32-bit pixels, top row first.
struct Capture {
  RECT on = {};  // screen rectangle
  int width = 0, height = 0;
  std::vector<RGBQUAD> pixels;

  explicit Capture(HWND window) {
    GetClientRect(window, &on);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&on), 2);
    width = on.right - on.left;
    height = on.bottom - on.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, on.left, on.top, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const RGBQUAD*>(bits);
    pixels.assign(p, p + std::size_t(width) * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
  }

  // The pixel at screen position (x, y).
  RGBQUAD At(int x, int y) const { return pixels[std::size_t(y - on.top) * width + (x - on.left)]; }
  static bool Black(RGBQUAD c) { return c.rgbRed < 16 && c.rgbGreen < 16 && c.rgbBlue < 16; }
  static bool Unlike(RGBQUAD a, RGBQUAD b) {
    return std::abs(a.rgbRed - b.rgbRed) + std::abs(a.rgbGreen - b.rgbGreen) + std::abs(a.rgbBlue - b.rgbBlue) > 60;
  }

  // A 24-bit bottom-up BMP, the form every image tool reads.
  void Save(const char* path) const {
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + DWORD(stride) * height;
    FILE* out = std::fopen(path, "wb");
    ASSERT_NE(out, nullptr) << path;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&header, sizeof header, 1, out);
    std::vector<BYTE> row(std::size_t(stride), 0);
    for (int y = height - 1; y >= 0; --y) {
      for (int x = 0; x < width; ++x) {
        const RGBQUAD& c = pixels[std::size_t(y) * width + x];
        row[std::size_t(x) * 3] = c.rgbBlue;
        row[std::size_t(x) * 3 + 1] = c.rgbGreen;
        row[std::size_t(x) * 3 + 2] = c.rgbRed;
      }
      std::fwrite(row.data(), 1, row.size(), out);
    }
    std::fclose(out);
  }
};

RECT ControlOnScreen(HWND dialog, int id) {
  RECT r{};
  GetWindowRect(GetDlgItem(dialog, id), &r);
  return r;
}

// The black frame around the preview, found by walking out from the
// anchor's centre: the screen rectangle of its four edge lines.
RECT FindFrame(const Capture& shot, HWND dialog) {
  const RECT anchor = ControlOnScreen(dialog, IDC_PREVIEW_ANCHOR);
  const int cx = (anchor.left + anchor.right) / 2, cy = (anchor.top + anchor.bottom) / 2;
  RECT frame{cx, cy, cx, cy};
  while (frame.left > shot.on.left && !Capture::Black(shot.At(frame.left, cy))) --frame.left;
  while (frame.right < shot.on.right - 1 && !Capture::Black(shot.At(frame.right, cy))) ++frame.right;
  while (frame.top > shot.on.top && !Capture::Black(shot.At(cx, frame.top))) --frame.top;
  while (frame.bottom < shot.on.bottom - 1 && !Capture::Black(shot.At(cx, frame.bottom))) ++frame.bottom;
  return frame;
}

struct Label {
  int id;
  const wchar_t* text;
};
const Label kLabels[] = {{IDC_BLEND, L"元画像とブレンドする( &B )"},
                         {IDC_EXCLUDE, L"特定のチャンネルを除外する ( &P )"},
                         {IDC_ZOOM_IN, L"拡 大 ( &] )"},
                         {IDC_ZOOM_OUT, L"縮 小 ( &[ )"},
                         {IDC_CANCEL, L"ｷｬﾝｾﾙ"}};

// The labels hold their Japanese texts (not "????"), the dialog's font has a
// glyph for every character (no empty boxes), and something is drawn in them.
void CheckLabels(HWND dialog, const Capture& shot) {
  ASSERT_NE(GetACP(), 932u) << "the test is meant for a system whose code page is not Japanese";
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
  wchar_t face[64] = {};
  GetTextFaceW(dc, 64, face);
  for (const Label& label : kLabels) {
    wchar_t text[64] = {};
    GetDlgItemTextW(dialog, label.id, text, 64);
    EXPECT_EQ(std::wstring(text), std::wstring(label.text)) << "control " << label.id;
    WORD glyphs[64] = {};
    const int n = lstrlenW(label.text);
    GetGlyphIndicesW(dc, label.text, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    for (int i = 0; i < n; ++i)
      EXPECT_NE(glyphs[i], 0xFFFF) << "control " << label.id << " character " << i << " has no glyph in the font";
    // Inside the control's edges (and right of a check box's box), pixels
    // unlike its background colour, grey text included.
    const RECT r = ControlOnScreen(dialog, label.id);
    const int left = r.left + (label.id == IDC_BLEND || label.id == IDC_EXCLUDE ? 16 : 3);
    const RGBQUAD face = shot.At(left, r.top + 2);
    int ink = 0;
    for (int y = r.top + 3; y < r.bottom - 3; ++y)
      for (int x = left; x < r.right - 3; ++x) ink += Capture::Unlike(shot.At(x, y), face) ? 1 : 0;
    EXPECT_GT(ink, 20) << "control " << label.id << " shows no text";
  }
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
}

// The preview shows the window the host delivered last, mapped by "B R G"
// with Mix, inside a one-pixel black frame centred on the anchor.
void CheckPreview(HWND dialog, const Capture& shot, Host& host) {
  const FilterRecord& record = host.record();
  const auto* block = reinterpret_cast<const FilterParameters*>(*record.parameters);
  const Rect out = record.outRect;
  const int zoom = block->zoomFactor;
  const RECT frame = FindFrame(shot, dialog);
  ASSERT_EQ(frame.right - frame.left - 1, out.right - out.left);
  ASSERT_EQ(frame.bottom - frame.top - 1, out.bottom - out.top);
  const RECT anchor = ControlOnScreen(dialog, IDC_PREVIEW_ANCHOR);
  EXPECT_LE(std::abs((frame.left + frame.right) - (anchor.left + anchor.right)), 2);
  EXPECT_LE(std::abs((frame.top + frame.bottom) - (anchor.top + anchor.bottom)), 2);
  int frameGaps = 0, wrong = 0;
  for (int x = frame.left; x <= frame.right; ++x)
    frameGaps += !Capture::Black(shot.At(x, frame.top)) + !Capture::Black(shot.At(x, frame.bottom));
  for (int y = frame.top; y <= frame.bottom; ++y)
    frameGaps += !Capture::Black(shot.At(frame.left, y)) + !Capture::Black(shot.At(frame.right, y));
  EXPECT_EQ(frameGaps, 0);
  for (int i = 0; i < out.bottom - out.top; ++i)
    for (int j = 0; j < out.right - out.left; ++j) {
      const auto expected = testing::MappedRgb(host.source().At((out.top + i) * zoom, (out.left + j) * zoom),
                                               testing::kOrderBRG, true);
      const RGBQUAD c = shot.At(frame.left + 1 + j, frame.top + 1 + i);
      wrong += c.rgbRed != expected[0] || c.rgbGreen != expected[1] || c.rgbBlue != expected[2];
    }
  EXPECT_EQ(wrong, 0) << "of " << (out.bottom - out.top) * (out.right - out.left) << " preview pixels";
}

TEST(ParameterDialog, ShowsTheMappedPreviewAndItsLabelsAndOkFiltersWhatWasChosen) {
  Host host(testing::FilterEntry());
  const runner::Image source = testing::Pattern(800, 760);
  host.SetImage(source, plugInModeRGBColor);
  bool inspected = false;
  int offsetH = 0;
  HWND owner = nullptr;
  std::wstring title;
  host.SetDialogScript({DialogStep::PickRow(testing::kRowBRG), DialogStep::Click(IDC_BLEND),
                        DialogStep::Click(IDC_NUDGE_RIGHT), DialogStep::Click(IDC_ZOOM_OUT),
                        DialogStep::PointerBy(0, 0), DialogStep::PressLeft(), DialogStep::PointerBy(-20, 0),
                        DialogStep::ReleaseLeft(), DialogStep::Inspect([&](void* window) {
                          auto dialog = static_cast<HWND>(window);
                          const Capture shot(dialog);
                          shot.Save("parameter_dialog.bmp");
                          inspected = true;
                          owner = GetWindow(dialog, GW_OWNER);
                          wchar_t text[32] = {};
                          GetWindowTextW(dialog, text, 32);
                          title = text;
                          offsetH = reinterpret_cast<FilterParameters*>(*host.record().parameters)->previewOffsetH;
                          CheckLabels(dialog, shot);
                          CheckPreview(dialog, shot, host);
                        }),
                        DialogStep::Click(IDC_OK)});
  ASSERT_EQ(host.RunFilter(true), noErr);
  ASSERT_TRUE(inspected);
  EXPECT_EQ(title, L"Vantrel");
  EXPECT_EQ(owner, reinterpret_cast<HWND>(host.window()));
  EXPECT_EQ(offsetH, 50 + 2 * 20) << "a nudge, kept through the zoom, then a drag of 20 proxy pixels at 2:1";
  int wrong = 0;
  for (int y = 0; y < source.height; ++y)
    for (int x = 0; x < source.width; ++x) {
      const auto expected = testing::MappedRgb(source.At(y, x), testing::kOrderBRG, true);
      const uint8* d = host.destination().At(y, x);
      wrong += d[0] != expected[0] || d[1] != expected[1] || d[2] != expected[2];
    }
  EXPECT_EQ(wrong, 0);
}

TEST(ParameterDialog, OwnerWindowThatNoLongerExistsStillGivesAUsableDialog) {
  Host host(testing::FilterEntry());
  host.SetImage(testing::Pattern(64, 48), plugInModeRGBColor);
  HWND gone = CreateWindowExW(0, L"STATIC", L"gone", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                              nullptr);
  DestroyWindow(gone);
  static_cast<PlatformData*>(host.record().platformData)->hwnd = reinterpret_cast<intptr_t>(gone);
  HWND owner = gone;
  host.SetDialogScript({DialogStep::Click(IDC_EXCLUDE), DialogStep::Inspect([&](void* window) {
                          owner = GetWindow(static_cast<HWND>(window), GW_OWNER);
                        }),
                        DialogStep::Click(IDC_OK)});
  EXPECT_EQ(host.RunFilter(true), noErr);
  EXPECT_EQ(host.dialogsShown(), 1);
  EXPECT_EQ(owner, nullptr);
  EXPECT_EQ(reinterpret_cast<FilterParameters*>(*host.record().parameters)->excludeEnabled, 1);
}

// vantrel.exe --dialog in a process of its own, with this test as the person
// at the screen: OK filters with the row picked and keeps it in the block;
// Cancel leaves nothing but the input and ends as a cancelled run.
TEST(ParameterDialog, ToolShowsItToThePersonAndFiltersWithTheirChoiceOrWritesNothing) {
  namespace fs = std::filesystem;
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring tool = (fs::path(self).parent_path() / "vantrel.exe").wstring();
  const runner::Image source = testing::Pattern(96, 64);
  struct Case {
    const char* folder;
    int button;
    DWORD status;
  };
  for (const Case& c : {Case{"tool_ok", IDC_OK, 0}, Case{"tool_cancel", IDC_CANCEL, 130}}) {
    const fs::path folder = fs::absolute(c.folder);
    fs::remove_all(folder);
    fs::create_directories(folder);
    ASSERT_EQ(
        pictures::WritePicture({source, plugInModeRGBColor, nullptr}, source, (folder / "in.png").string(), {}), "");
    std::wstring line = L"vantrel.exe --dialog in.png -o out.png --params block";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessW(tool.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.wstring().c_str(), &startup, &child));
    intptr_t dialog = 0;
    for (int tries = 0; dialog == 0 && tries < 600 && WaitForSingleObject(child.hProcess, 100) == WAIT_TIMEOUT; ++tries)
      dialog = runner::FindParameterDialog(child.dwProcessId);
    if (dialog != 0) {
      wchar_t owner[32] = {};
      GetClassNameW(GetWindow(reinterpret_cast<HWND>(dialog), GW_OWNER), owner, 32);
      EXPECT_EQ(std::wstring(owner), L"VantrelRunnerHost") << c.folder;
      runner::PlayInDialog(dialog, {DialogStep::PickRow(testing::kRowBRG), DialogStep::Click(c.button)});
    }
    DWORD status = 0;
    if (WaitForSingleObject(child.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 999);
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    ASSERT_NE(dialog, 0) << c.folder << ": no dialog appeared";
    ASSERT_EQ(status, c.status) << c.folder;
    if (c.button == IDC_CANCEL) {
      std::vector<std::string> left;
      for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename().string());
      EXPECT_EQ(left, std::vector<std::string>{"in.png"});
      continue;
    }
    pictures::Picture out;
    ASSERT_EQ(pictures::ReadPicture((folder / "out.png").string(), out), "");
    ASSERT_EQ(out.pixels.pixels.size(), source.pixels.size());
    int wrong = 0;
    for (int y = 0; y < source.height; ++y)
      for (int x = 0; x < source.width; ++x) {
        const auto expected = testing::MappedRgb(source.At(y, x), testing::kOrderBRG, false);
        const uint8* d = out.pixels.At(y, x);
        wrong += d[0] != expected[0] || d[1] != expected[1] || d[2] != expected[2];
      }
    EXPECT_EQ(wrong, 0);
    FilterParameters block{};
    std::ifstream(folder / "block", std::ios::binary).read(reinterpret_cast<char*>(&block), sizeof block);
    EXPECT_EQ(block.orderIndex, testing::kRowBRG);
  }
}

}  // namespace
}  // namespace vantrel
