// The host's window and drawing on Windows.
#include <windows.h>

#include <vector>

#include "runner/host_window.h"

namespace vantrel::runner {
namespace {

constexpr wchar_t kWindowClass[] = L"VantrelRunnerHost";

bool RegisterHostClass() {
  WNDCLASSW cls{};
  cls.lpfnWndProc = DefWindowProcW;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = kWindowClass;
  return RegisterClassW(&cls) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

intptr_t CreateHostWindow() {
  static const bool registered = RegisterHostClass();
  if (!registered) return 0;
  HWND window = CreateWindowExW(0, kWindowClass, L"Vantrel runner", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 320, 240, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  return reinterpret_cast<intptr_t>(window);
}

void DestroyHostWindow(intptr_t window) {
  if (window != 0) DestroyWindow(reinterpret_cast<HWND>(window));
}

void DrawOnDevice(void* context, int32 row, int32 col, const Image& rgb) {
  if (context == nullptr || rgb.width <= 0 || rgb.height <= 0) return;
  // A top-down 24-bit DIB: blue, green, red, rows padded to 4 bytes.
  const int32 stride = (int32{rgb.width} * 3 + 3) & ~3;
  std::vector<uint8> bits(std::size_t(stride) * rgb.height);
  for (int y = 0; y < rgb.height; ++y)
    for (int x = 0; x < rgb.width; ++x) {
      const uint8* p = rgb.At(y, x);
      uint8* d = &bits[std::size_t(y) * stride + std::size_t(x) * 3];
      d[0] = p[2];
      d[1] = p[1];
      d[2] = p[0];
    }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = rgb.width;
  info.bmiHeader.biHeight = -rgb.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(static_cast<HDC>(context), col, row, DWORD(rgb.width), DWORD(rgb.height), 0, 0, 0,
                    UINT(rgb.height), bits.data(), &info, DIB_RGB_COLORS);
}

}  // namespace vantrel::runner
