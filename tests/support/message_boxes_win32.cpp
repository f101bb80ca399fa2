#include <windows.h>

#include <atomic>
#include <thread>

#include "tests/support/loaded_filter.h"

namespace vantrel::testing {
namespace {

BOOL CALLBACK CloseIfMessageBox(HWND window, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[16] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(window))
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

}  // namespace

void WithMessageBoxesDismissed(void (*action)(void*), void* context) {
  std::atomic<bool> done{false};
  std::thread closer([&] {
    while (!done) {
      EnumWindows(CloseIfMessageBox, 0);
      Sleep(50);
    }
  });
  action(context);
  done = true;
  closer.join();
}

}  // namespace vantrel::testing
