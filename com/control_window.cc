#include "com/control_window.h"

#include <mutex>

#include "com/com_module.h"
#include "com/design_time_picture.h"

namespace vexlor::com {

namespace {

constexpr wchar_t kClassName[] = L"VexlorControlWindow";

// Windows made and not yet destroyed through DestroyControlWindow, over
// all the apartments of the process; the lock keeps the class registered
// exactly while there are any.
std::mutex class_lock;
int live_windows = 0;

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wparam,
                                   LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    DrawDesignTimePicture(dc, client);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool RegisterControlClass() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = ControlWindowProc;
  window_class.hInstance = ModuleHandle();
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  window_class.lpszClassName = kClassName;
  return RegisterClassExW(&window_class) != 0 ||
         GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

HWND CreateControlWindow(HWND parent, const RECT& position, bool visible) {
  std::lock_guard<std::mutex> hold(class_lock);
  if (live_windows == 0 && !RegisterControlClass()) return nullptr;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0);
  HWND window = CreateWindowExW(0, kClassName, L"", style, position.left,
                                position.top, position.right - position.left,
                                position.bottom - position.top, parent, nullptr,
                                ModuleHandle(), nullptr);
  if (window != nullptr) {
    ++live_windows;
  } else if (live_windows == 0) {
    UnregisterClassW(kClassName, ModuleHandle());
  }
  return window;
}

void DestroyControlWindow(HWND window) {
  if (window == nullptr) return;
  if (IsWindow(window)) DestroyWindow(window);
  std::lock_guard<std::mutex> hold(class_lock);
  if (--live_windows == 0) UnregisterClassW(kClassName, ModuleHandle());
}

}  // namespace vexlor::com
