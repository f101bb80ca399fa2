// The about box as the user sees it: its window is read while it is up, then
// closed as a user pressing OK would.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <string>
#include <thread>

#include "hostinfo/about_box.h"
#include "runner/host.h"
#include "tests/support/loaded_filter.h"

namespace vantrel {
namespace {

// What the message boxes of one action showed.
struct ShownBox {
  int count = 0;  // boxes that appeared
  std::string caption;
  std::string text;
  HWND owner = nullptr;
  int buttons = 0;  // visible buttons
  bool okButton = false;
  bool informationIcon = false;
};

std::string WindowText(HWND window) {
  std::string text(GetWindowTextLengthA(window) + 1, '\0');
  text.resize(GetWindowTextA(window, text.data(), static_cast<int>(text.size())));
  return text;
}

BOOL CALLBACK FindOurBox(HWND window, LPARAM found) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[16] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (pid != GetCurrentProcessId() || lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

BOOL CALLBACK ReadControl(HWND control, LPARAM into) {
  auto* shown = reinterpret_cast<ShownBox*>(into);
  char cls[16] = {};
  GetClassNameA(control, cls, sizeof cls);
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  if (lstrcmpiA(cls, "Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      const auto icon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
      shown->informationIcon = icon != nullptr && icon == LoadIconA(nullptr, IDI_INFORMATION);
    } else {
      shown->text = WindowText(control);
    }
  } else if (lstrcmpiA(cls, "Button") == 0 && (style & WS_VISIBLE)) {
    ++shown->buttons;
    if (GetDlgCtrlID(control) == IDOK) shown->okButton = true;
  }
  return TRUE;
}

// Runs `action` on this thread while a second thread reads every message box
// it shows and closes it.
ShownBox ReadMessageBoxes(void (*action)(void*), void* context) {
  ShownBox shown;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    HWND last = nullptr;
    while (!done) {
      HWND box = nullptr;
      EnumWindows(FindOurBox, reinterpret_cast<LPARAM>(&box));
      if (box != nullptr && box != last) {
        last = box;
        ++shown.count;
        shown.caption = WindowText(box);
        shown.owner = GetWindow(box, GW_OWNER);
        EnumChildWindows(box, ReadControl, reinterpret_cast<LPARAM>(&shown));
      }
      if (box != nullptr) PostMessageA(box, WM_COMMAND, IDOK, 0);
      Sleep(20);
    }
  });
  action(context);
  done = true;
  reader.join();
  return shown;
}

// ---------------------------------------------------------------------------
// Through the entry point of the real library.

enum class Owner { NoRecord, NoPlatformData, NullWindow, HostWindow, DestroyedWindow };

struct OwnerCase {
  const char* name;
  Owner owner;
};

void PrintTo(const OwnerCase& c, std::ostream* os) { *os << c.name; }

class AboutSelectorTest : public ::testing::TestWithParam<OwnerCase> {};

TEST_P(AboutSelectorTest, ShowsOurTextAndCaptionOwnedByTheHostWindowIfAny) {
  HWND hostWindow = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                    nullptr, nullptr);
  ASSERT_NE(hostWindow, nullptr);
  HWND destroyed = CreateWindowExA(0, "STATIC", "gone", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr);
  DestroyWindow(destroyed);

  PlatformData platform{};
  AboutRecord about{};
  about.platformData = &platform;
  AboutRecord* record = &about;
  switch (GetParam().owner) {
    case Owner::NoRecord: record = nullptr; break;
    case Owner::NoPlatformData: about.platformData = nullptr; break;
    case Owner::NullWindow: break;
    case Owner::HostWindow: platform.hwnd = reinterpret_cast<intptr_t>(hostWindow); break;
    case Owner::DestroyedWindow: platform.hwnd = reinterpret_cast<intptr_t>(destroyed); break;
  }

  struct Call {
    runner::Host host{testing::FilterEntry()};
    AboutRecord* record;
    int16 result = 0;
  } call{.record = record};
  const ShownBox shown = ReadMessageBoxes(
      [](void* c) {
        auto* call = static_cast<Call*>(c);
        call->host.CallRaw(filterSelectorAbout, call->record, &call->host.data(), &call->result);
      },
      &call);
  DestroyWindow(hostWindow);

  EXPECT_EQ(shown.count, 1);
  EXPECT_EQ(shown.caption, "Tarnwick");
  EXPECT_EQ(shown.text.rfind("Vantrel\n\nVersion 1.0\n", 0), 0u) << shown.text;
  EXPECT_EQ(shown.owner, GetParam().owner == Owner::HostWindow ? hostWindow : nullptr);
  EXPECT_EQ(shown.buttons, 1);
  EXPECT_TRUE(shown.okButton);
  EXPECT_TRUE(shown.informationIcon);
  EXPECT_EQ(call.result, runner::Host::kResultSentinel) << "the about selector reports nothing";
  EXPECT_EQ(call.host.data(), 0);
}

INSTANTIATE_TEST_SUITE_P(Owners, AboutSelectorTest,
                         ::testing::Values(OwnerCase{"NoRecord", Owner::NoRecord},
                                           OwnerCase{"NoPlatformData", Owner::NoPlatformData},
                                           OwnerCase{"NullWindow", Owner::NullWindow},
                                           OwnerCase{"HostWindow", Owner::HostWindow},
                                           OwnerCase{"DestroyedWindow", Owner::DestroyedWindow}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Length limits, with strings of this test program (about_strings.rc): digits
// repeating "0123456789".

std::string Digits(size_t length) {
  std::string s;
  for (size_t i = 0; i < length; ++i) s += static_cast<char>('0' + i % 10);
  return s;
}

struct LimitCase {
  const char* name;
  int16 textId;
  size_t textShown;     // characters of the text shown
  size_t captionShown;  // characters of the caption shown
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class AboutLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(AboutLimitTest, TextKeepsAtMost254AndCaptionAtMost59Characters) {
  const LimitCase c = GetParam();
  const ShownBox shown = ReadMessageBoxes(
      [](void* id) {
        hostinfo::ShowAboutBox(nullptr, GetModuleHandleA(nullptr), *static_cast<const int16*>(id));
      },
      const_cast<int16*>(&c.textId));
  EXPECT_EQ(shown.count, 1) << "the box is shown even without its strings";
  EXPECT_EQ(shown.text, Digits(c.textShown));
  EXPECT_EQ(shown.caption, Digits(c.captionShown));
  EXPECT_EQ(hostinfo::LastAboutBox().captionId, c.textId + 1);
}

INSTANTIATE_TEST_SUITE_P(Strings, AboutLimitTest,
                         ::testing::Values(LimitCase{"LongerThanBothLimits", 16000, 254, 59},
                                           LimitCase{"JustFitting", 16010, 254, 59},
                                           LimitCase{"OneOverBothLimits", 16020, 254, 59},
                                           LimitCase{"NeitherString", 16030, 0, 0},
                                           LimitCase{"TextWithoutCaption", 16050, 12, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantrel
