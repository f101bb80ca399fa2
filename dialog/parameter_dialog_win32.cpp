// The parameter dialog on Windows: a Unicode modal dialog from template
// TARNWICKPARAM, whose procedure ZorvikProc turns messages into controller
// calls, and a view that mirrors the controller's state into the controls.
#include <windows.h>
#include <windowsx.h>

#include <optional>

#include "core/collaborators.h"
#include "core/parameters.h"
#include "dialog/dialog_controller.h"
#include "resources/resource_ids.h"

extern "C" INT_PTR CALLBACK ZorvikProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

namespace vantrel::dialog {
namespace {

constexpr wchar_t kTemplateName[] = L"TARNWICKPARAM";

// Texts the controller sets are short ASCII names ("K C M Y").
struct WideText {
  wchar_t text[64];
  explicit WideText(const char* s) {
    int n = 0;
    for (; s[n] != '\0' && n < 63; ++n) text[n] = static_cast<unsigned char>(s[n]);
    text[n] = L'\0';
  }
};

class Win32View final : public DialogView {
 public:
  explicit Win32View(HWND dialog) : dialog_(dialog) {
    auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    openHand_ = LoadCursorW(module, MAKEINTRESOURCEW(IDC_OPEN_HAND));
    closedHand_ = LoadCursorW(module, MAKEINTRESOURCEW(IDC_CLOSED_HAND));
  }

  void SetChecked(int id, bool checked) override {
    SendDlgItemMessageW(dialog_, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  void SetEnabled(int id, bool enabled) override { EnableWindow(Item(id), enabled ? TRUE : FALSE); }
  void InsertListRow(int id, int row, const char* text) override {
    SendDlgItemMessageW(dialog_, id, LB_INSERTSTRING, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(WideText(text).text));
  }
  void SelectListRow(int id, int row) override {
    SendDlgItemMessageW(dialog_, id, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
  }
  void SetText(int id, const char* text) override { SetWindowTextW(Item(id), WideText(text).text); }
  void FocusControl(int id) override { SetFocus(Item(id)); }
  PixelRect PreviewAnchor() override {
    RECT r{};
    GetWindowRect(Item(IDC_PREVIEW_ANCHOR), &r);
    MapWindowPoints(HWND_DESKTOP, dialog_, reinterpret_cast<POINT*>(&r), 2);
    return PixelRect{r.left, r.top, r.right, r.bottom};
  }
  void InvalidatePreview(const PixelRect& r) override {
    const RECT rect{r.left, r.top, r.right, r.bottom};
    InvalidateRect(dialog_, &rect, FALSE);
  }
  void ShowHandCursor(bool closed) override {
    if (HCURSOR cursor = closed ? closedHand_ : openHand_) SetCursor(cursor);
  }
  void ConfinePointer(const PixelRect& r) override {
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    ClientToScreen(dialog_, &corners[0]);
    ClientToScreen(dialog_, &corners[1]);
    const RECT rect{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    ClipCursor(&rect);
  }
  void ReleasePointer() override { ClipCursor(nullptr); }
  void EndDialog(bool accepted) override { ::EndDialog(dialog_, accepted ? IDOK : IDCANCEL); }

 private:
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  HWND dialog_;
  HCURSOR openHand_;
  HCURSOR closedHand_;
};

class Win32Paint final : public PaintTarget {
 public:
  explicit Win32Paint(HDC dc) : dc_(dc) {}
  void DrawFrame(const PixelRect& r) override {
    const RECT rect{r.left, r.top, r.right, r.bottom};
    FrameRect(dc_, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  void* PlatformContext() override { return dc_; }

 private:
  HDC dc_;
};

// The open dialog: one at a time, made when the dialog initialises.
struct Session {
  Win32View view;
  DialogController controller;
  Session(HWND dialog, Globals* globals) : view(dialog), controller(view, globals) {}
};
std::optional<Session> g_session;

// A command from a control, as the controller's call: buttons count when
// clicked, the check boxes with the state they toggled themselves to, the
// list when its selection changed.
void Command(HWND dialog, DialogController& controller, int id, int code) {
  switch (id) {
    case IDC_BLEND:
    case IDC_EXCLUDE: controller.Toggle(id, IsDlgButtonChecked(dialog, id) == BST_CHECKED); return;
    case IDC_ORDER_LIST: {
      if (code != LBN_SELCHANGE) return;
      const LRESULT row = SendDlgItemMessageW(dialog, id, LB_GETCURSEL, 0, 0);
      controller.PickRow(row == LB_ERR ? -1 : static_cast<int>(row));
      return;
    }
    default:
      if (code == BN_CLICKED) controller.Press(id);
      return;
  }
}

// Where a mouse message happened, client pixels.
PixelPoint At(LPARAM lParam) { return PixelPoint{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

INT_PTR Dispatch(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* globals = reinterpret_cast<Globals*>(lParam);
    if (globals == nullptr || BlockOf(globals) == nullptr) {
      // Nothing to show or keep: a dialog without its controller would not
      // even close on OK or Cancel.
      ::EndDialog(dialog, -1);
      return FALSE;
    }
    g_session.emplace(dialog, globals);
    g_session->controller.Initialise();
    return FALSE;  // the focus is not placed by the system
  }
  if (!g_session) return FALSE;
  DialogController& controller = g_session->controller;
  switch (message) {
    case WM_PAINT:
      if (controller.PreviewShown()) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(dialog, &paint);
        Win32Paint target(dc);
        controller.Paint(target);
        EndPaint(dialog, &paint);
      }
      return FALSE;
    case WM_COMMAND: Command(dialog, controller, LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_MOUSEMOVE: controller.PointerMove(At(lParam)); return TRUE;
    case WM_LBUTTONDOWN: controller.PointerDown(At(lParam)); return TRUE;
    case WM_LBUTTONUP: controller.PointerUp(At(lParam)); return TRUE;
    case WM_LBUTTONDBLCLK: controller.DoubleClick(At(lParam)); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

bool ShowParameterDialog(Globals* globals) {
  if (BlockOf(globals) == nullptr) return false;
  FilterRecord* record = globals->filterRecord;
  // A handle that names no window (a host that passed a stale one) would make
  // the dialog fail to appear; it is shown unowned instead.
  const auto* platform = static_cast<const PlatformData*>(record->platformData);
  HWND owner = platform != nullptr ? reinterpret_cast<HWND>(platform->hwnd) : nullptr;
  if (owner != nullptr && !IsWindow(owner)) owner = nullptr;

  const INT_PTR ended = DialogBoxParamW(static_cast<HINSTANCE>(moduleInstance), kTemplateName, owner, ZorvikProc,
                                        reinterpret_cast<LPARAM>(globals));
  bool accepted = false;
  if (g_session) {
    // A dialog that went away without OK or Cancel takes nothing from the host.
    g_session->controller.Abandon();
    accepted = g_session->controller.accepted();
    g_session.reset();
  } else if (ended == -1) {
    // The dialog could not be made: the user has chosen nothing, so nothing
    // is filtered.
    *globals->result = userCanceledErr;
  }
  return accepted && ended == 1;
}

}  // namespace vantrel::dialog

extern "C" INT_PTR CALLBACK ZorvikProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return vantrel::dialog::Dispatch(dialog, message, wParam, lParam);
  } catch (...) {
    return FALSE;
  }
}
