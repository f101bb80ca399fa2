// The about box on Windows: strings from our own module, shown in a modal
// information message box owned by the host window.
#include <windows.h>

#include <cstring>

#include "hostinfo/about_box.h"
#include "hostinfo/about_box_common.h"

namespace vantrel::hostinfo {
namespace {

AboutBoxRecord g_last = {};

// LoadStringA copies at most one character less than these limits and ends
// the copy with a zero.
constexpr int kTextLimit = 255;
constexpr int kCaptionLimit = 60;

}  // namespace

void ShowAboutBox(const AboutRecord* about, void* moduleInstance, int16 textId) {
  // A handle that names no window (a host that passed a stale one) would make
  // the box fail to appear at all; it is shown unowned instead.
  HWND owner = reinterpret_cast<HWND>(AboutOwnerWindow(about));
  if (owner != nullptr && !IsWindow(owner)) owner = nullptr;

  char text[256];
  char caption[kCaptionLimit];
  std::memset(text, 0, sizeof text);
  std::memset(caption, 0, sizeof caption);
  auto module = static_cast<HINSTANCE>(moduleInstance);
  LoadStringA(module, static_cast<UINT>(textId), text, kTextLimit);
  LoadStringA(module, static_cast<UINT>(textId + 1), caption, kCaptionLimit);

  g_last.calls += 1;
  g_last.ownerWindow = reinterpret_cast<intptr_t>(owner);
  g_last.textId = textId;
  g_last.captionId = static_cast<int16>(textId + 1);

  MessageBoxA(owner, text, caption, MB_OK | MB_ICONINFORMATION);
}

AboutBoxRecord LastAboutBox() { return g_last; }

}  // namespace vantrel::hostinfo
