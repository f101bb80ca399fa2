// The about box on Windows: strings from our own module, shown in a modal
// information message box owned by the host window.
#include <windows.h>

#include <cstring>

#include "hostinfo/about_box.h"
#include "hostinfo/about_box_common.h"

namespace vantrel::hostinfo {
namespace {
AboutBoxRecord g_last = {};
}

void ShowAboutBox(const AboutRecord* about, void* moduleInstance, int16 textId) {
  const intptr_t owner = AboutOwnerWindow(about);
  char text[256];
  char caption[60];
  std::memset(text, 0, sizeof text);
  std::memset(caption, 0, sizeof caption);
  auto module = static_cast<HINSTANCE>(moduleInstance);
  LoadStringA(module, static_cast<UINT>(textId), text, 255);
  LoadStringA(module, static_cast<UINT>(textId + 1), caption, 60);

  g_last.calls += 1;
  g_last.ownerWindow = owner;
  g_last.textId = textId;
  g_last.captionId = static_cast<int16>(textId + 1);

  MessageBoxA(reinterpret_cast<HWND>(owner), text, caption, MB_OK | MB_ICONINFORMATION);
}

AboutBoxRecord LastAboutBox() { return g_last; }

}  // namespace vantrel::hostinfo
