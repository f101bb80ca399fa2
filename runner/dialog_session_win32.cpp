// The scripted dialog user on Windows: a second thread waits for the filter's
// dialog to appear, then sends it the messages a user's actions would cause.
#include <windows.h>

#include <atomic>
#include <thread>

#include "resources/resource_ids.h"
#include "runner/dialog_session.h"

namespace vantrel::runner {
namespace {

struct DialogSearch {
  DWORD process;
  HWND found;
};

// The filter's parameter dialog: a visible dialog with the order list, shown
// by the process searched.
BOOL CALLBACK FindDialog(HWND window, LPARAM search) {
  auto* s = reinterpret_cast<DialogSearch*>(search);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  if (pid != s->process || lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(window) ||
      GetDlgItem(window, IDC_ORDER_LIST) == nullptr)
    return TRUE;
  s->found = window;
  return FALSE;
}

void Click(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (control != nullptr && IsWindowEnabled(control)) SendMessageW(control, BM_CLICK, 0, 0);
}

void PickRow(HWND dialog, int row) {
  HWND list = GetDlgItem(dialog, IDC_ORDER_LIST);
  if (SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0) == LB_ERR) return;
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_ORDER_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

// Sends a mouse message at the pointer's position, as the system would.
void Mouse(HWND dialog, UINT message, WPARAM buttons) {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(dialog, &p);
  SendMessageW(dialog, message, buttons, MAKELPARAM(p.x, p.y));
}

// Puts the pointer at a screen position and waits until the dialog's thread
// sees it there. A display server reports pointer motion late: an old motion
// report the dialog's thread takes in after the move would put the pointer
// back where it was, and a drag would then start or end at the wrong place.
void PlacePointer(HWND dialog, int x, int y) {
  int steady = 0;
  for (int tries = 0; tries < 100 && steady < 3; ++tries) {
    SendMessageW(dialog, WM_NULL, 0, 0);  // the dialog's thread takes in what is pending
    POINT p{};
    GetCursorPos(&p);
    if (p.x == x && p.y == y) {
      ++steady;
    } else {
      steady = 0;
      SetCursorPos(x, y);
    }
    Sleep(10);
  }
}

void PointerBy(HWND dialog, int32 dx, int32 dy, bool pressed) {
  RECT anchor{};
  GetWindowRect(GetDlgItem(dialog, IDC_PREVIEW_ANCHOR), &anchor);
  PlacePointer(dialog, (anchor.left + anchor.right) / 2 + dx, (anchor.top + anchor.bottom) / 2 + dy);
  Mouse(dialog, WM_MOUSEMOVE, pressed ? MK_LBUTTON : 0);
}

void Play(HWND dialog, const DialogScript& script) {
  bool pressed = false;
  for (const DialogStep& step : script) {
    if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return;
    switch (step.kind) {
      case DialogStep::Kind::Click: Click(dialog, step.value); break;
      case DialogStep::Kind::PickRow: PickRow(dialog, step.value); break;
      case DialogStep::Kind::PointerBy: PointerBy(dialog, step.dx, step.dy, pressed); break;
      case DialogStep::Kind::PressLeft:
        pressed = true;
        Mouse(dialog, WM_LBUTTONDOWN, MK_LBUTTON);
        break;
      case DialogStep::Kind::ReleaseLeft:
        pressed = false;
        Mouse(dialog, WM_LBUTTONUP, 0);
        break;
      case DialogStep::Kind::DoubleClickLeft: Mouse(dialog, WM_LBUTTONDBLCLK, MK_LBUTTON); break;
      case DialogStep::Kind::Inspect:
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        GdiFlush();
        Sleep(200);  // the display server catches up with what was drawn
        step.inspect(dialog);
        break;
    }
  }
}

}  // namespace

intptr_t FindParameterDialog(uint32 processId) {
  DialogSearch search{processId, nullptr};
  EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
  return reinterpret_cast<intptr_t>(search.found);
}

void PlayInDialog(intptr_t dialog, const DialogScript& script) { Play(reinterpret_cast<HWND>(dialog), script); }

void RunWithDialogUser(const DialogScript& script, int& shown, PlatformData&, const std::function<void()>& call) {
  std::atomic<bool> done{false};
  std::atomic<int> seen{0};
  std::thread user([&] {
    HWND handled = nullptr;
    while (!done) {
      HWND dialog = reinterpret_cast<HWND>(FindParameterDialog(GetCurrentProcessId()));
      if (dialog != nullptr && dialog != handled) {
        handled = dialog;
        ++seen;
        Play(dialog, script);
        if (IsWindow(dialog)) Click(dialog, IDC_OK);
      }
      Sleep(10);
    }
  });
  // The user leaves when the call ends, however it ends.
  struct Leave {
    std::atomic<bool>& done;
    std::thread& user;
    ~Leave() {
      done = true;
      user.join();
    }
  };
  {
    Leave leave{done, user};
    call();
  }
  shown += seen;
}

}  // namespace vantrel::runner
