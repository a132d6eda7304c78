#include "tests/com_ui/window_probe.h"

#include <cstdint>
#include <iterator>
#include <vector>

#include "tests/com_ui/png_file.h"

namespace vexlor::ui_test {

namespace {

struct Search {
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK Consider(HWND window, LPARAM lparam) {
  auto* search = reinterpret_cast<Search*>(lparam);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) {
    return TRUE;
  }
  if (WindowTextOf(window).find(*search->title) == std::wstring::npos) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CloseUnlessKept(HWND window, LPARAM keep) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
      window != reinterpret_cast<HWND>(keep)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

HWND WaitForWindow(const std::wstring& title, bool exact, HANDLE stop) {
  for (int waited = 0; waited < 30000; waited += 5) {
    Search search = {&title, nullptr};
    if (exact) {
      // Matches titles without asking the windows, so that a progress
      // window's thread need not run a report for each look.
      HWND window = FindWindowW(nullptr, title.c_str());
      // A dialog is found by its title before it is set up and shown.
      if (window != nullptr && IsWindowVisible(window)) search.found = window;
    } else {
      EnumWindows(Consider, reinterpret_cast<LPARAM>(&search));
    }
    if (search.found != nullptr) return search.found;
    if (WaitForSingleObject(stop, 5) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

std::wstring WindowTextOf(HWND window) {
  wchar_t text[512];
  int n = GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return std::wstring(text, n > 0 ? n : 0);
}

std::wstring ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item != nullptr ? WindowTextOf(item) : std::wstring();
}

void Press(HWND dialog, int id) {
  SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void CloseOtherWindows(HWND keep) {
  EnumWindows(CloseUnlessKept, reinterpret_cast<LPARAM>(keep));
}

bool SaveScreenshot(HWND window, const std::string& path) {
  RedrawWindow(
      window, nullptr, nullptr,
      RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  // The window's thread hands its painting to the screen a moment later.
  Sleep(200);
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap =
      CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top,
                SRCCOPY) != FALSE;
    GdiFlush();
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    const auto* bgrx = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < rgb.size() / 3; ++i) {
      rgb[3 * i] = bgrx[4 * i + 2];
      rgb[3 * i + 1] = bgrx[4 * i + 1];
      rgb[3 * i + 2] = bgrx[4 * i];
    }
    ok = ok && WritePng(path, width, height, rgb);
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace vexlor::ui_test
