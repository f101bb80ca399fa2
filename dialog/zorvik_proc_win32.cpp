// The exported dialog procedure of the parameter dialog.
#include <windows.h>

extern "C" INT_PTR CALLBACK ZorvikProc(HWND /*dialog*/, UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) {
  return FALSE;
}
