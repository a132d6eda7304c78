#include "tests/com_ui/face_checks.h"

#include <commctrl.h>
#include <olectl.h>

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "tests/com_ui/checks.h"
#include "tests/com_ui/png_file.h"
#include "tests/com_ui/window_probe.h"
#include "vexlor/control/about.h"

namespace vexlor::ui_test {

namespace {

constexpr DISPID kDispidAboutBox = -552;
constexpr DWORD kMiscStatus = 0x20591;
constexpr SIZEL kExtent = {890, 890};

BOOL CALLBACK FindPageText(HWND window, LPARAM found) {
  wchar_t class_name[16];
  GetClassNameW(window, class_name, 16);
  if (GetDlgCtrlID(window) == 101 && lstrcmpiW(class_name, L"Static") == 0 &&
      !WindowTextOf(window).empty()) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// The picture drawn four times its size, so that every pixel of the bitmap
// becomes a 4 x 4 block; returns the drawing's pixels (0x00RRGGBB).
std::vector<uint32_t> DrawPicture(IViewObject* view, int side, HRESULT* hr) {
  BITMAPINFO info = {};
  info.bmiHeader = {
      sizeof info.bmiHeader, side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap =
      CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all = {0, 0, side, side};
  HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(dc, &all, magenta);
  DeleteObject(magenta);
  RECTL bounds = {0, 0, side, side};
  *hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds,
                   nullptr, nullptr, 0);
  GdiFlush();
  std::vector<uint32_t> pixels(
      static_cast<const uint32_t*>(bits),
      static_cast<const uint32_t*>(bits) + side * side);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return pixels;
}

// Bitmap 201 of the DLL as 0x00RRGGBB pixels, top row first.
std::vector<uint32_t> FaceBitmap(HMODULE dll, int* width, int* height) {
  auto bitmap = static_cast<HBITMAP>(
      LoadImageW(dll, MAKEINTRESOURCEW(201), IMAGE_BITMAP, 0, 0, 0));
  BITMAP shape = {};
  if (bitmap == nullptr || !GetObjectW(bitmap, sizeof shape, &shape)) return {};
  *width = shape.bmWidth;
  *height = shape.bmHeight;
  BITMAPINFO info = {};
  info.bmiHeader = {
      sizeof info.bmiHeader, *width, -*height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint32_t> pixels(static_cast<size_t>(*width) * *height);
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, bitmap, 0, *height, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(bitmap);
  return pixels;
}

using Problems = std::vector<std::string>;

// Runs `call` on this thread, which shows a modal window, while `person`
// deals with the window on a second thread until `returned` is signalled.
// What the person found wrong becomes failed checks under `what`.
HRESULT WithPerson(const char* what, const std::function<HRESULT()>& call,
                   const std::function<void(HANDLE, Problems*)>& person) {
  HANDLE returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Problems problems;
  std::thread other(person, returned, &problems);
  HRESULT hr = call();
  SetEvent(returned);
  other.join();
  CloseHandle(returned);
  for (const std::string& problem : problems) {
    Check(false, std::string(what) + ": " + problem);
  }
  return hr;
}

uint32_t Pixel(COLORREF color) {
  return GetRValue(color) << 16 | GetGValue(color) << 8 | GetBValue(color);
}

}  // namespace

void CheckAboutBox(IDispatch* control, TestContainer& container,
                   Language language, const std::string& shots) {
  const bool german = language == Language::kGerman;
  std::wstring title =
      german ? L"Info \u00fcber Vexlor Control" : L"About Vexlor Control";
  std::string about = AboutText();
  std::wstring first_line = Wide(about.substr(0, about.find('\n')));
  HWND box = nullptr;
  HRESULT hr = WithPerson(
      "About box",
      [&] {
        VARIANT result;
        VariantInit(&result);
        return Call(control, kDispidAboutBox, {}, &result);
      },
      [&](HANDLE returned, Problems* problems) {
        box = WaitForWindow(title, true, returned);
        if (box == nullptr) {
          CloseOtherWindows(container.window());
          return problems->push_back("none appeared");
        }
        if (ItemText(box, 101) != first_line) {
          problems->push_back("the version line reads " +
                              Narrow(ItemText(box, 101)));
        }
        if (GetWindow(box, GW_OWNER) != container.window()) {
          problems->push_back("not owned by the container's window");
        }
        if (!SaveScreenshot(
                box, shots + "/about-" + (german ? "de" : "en") + ".png")) {
          problems->push_back("no screenshot");
        }
        Press(box, IDOK);
      });
  Check(hr == S_OK, "AboutBox succeeds");
  Check(box != nullptr && !IsWindow(box),
        "the About box is gone when OK closes it");
}

void CheckPropertyPage(IOleObject* control, TestContainer& container,
                       Language language, const std::string& shots) {
  HWND frame = nullptr;
  RECT rect = container.control_rect();
  HRESULT hr = WithPerson(
      "property page",
      [&] {
        return control->DoVerb(OLEIVERB_PROPERTIES, nullptr, &container, 0,
                               container.window(), &rect);
      },
      [&](HANDLE returned, Problems* problems) {
        // "Vexlor Control Properties", or as the platform words it.
        frame = WaitForWindow(L"Vexlor Control", false, returned);
        if (frame == nullptr) {
          CloseOtherWindows(container.window());
          return problems->push_back("no property frame");
        }
        HWND tabs = FindWindowExW(frame, nullptr, WC_TABCONTROLW, nullptr);
        wchar_t caption[32] = L"";
        TCITEMW tab = {};
        tab.mask = TCIF_TEXT;
        tab.pszText = caption;
        tab.cchTextMax = 32;
        if (tabs == nullptr ||
            SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0) != 1 ||
            !SendMessageW(tabs, TCM_GETITEMW, 0,
                          reinterpret_cast<LPARAM>(&tab)) ||
            std::wstring(caption) != L"General") {
          problems->push_back("not one page captioned General");
        }
        HWND text = nullptr;
        EnumChildWindows(frame, FindPageText, reinterpret_cast<LPARAM>(&text));
        if (text == nullptr || !IsWindowVisible(text)) {
          problems->push_back("the page's text is not shown");
        }
        const char* tag = language == Language::kGerman ? "de" : "en";
        if (!SaveScreenshot(frame, shots + "/property-page-" + tag + ".png")) {
          problems->push_back("no screenshot");
        }
        Press(frame, IDCANCEL);
      });
  Check(hr == S_OK, "the Properties verb succeeds");
  Check(frame != nullptr && !IsWindow(frame), "the property frame closes");
}

void CheckDesignTimeFace(IOleObject* control, HMODULE dll,
                         const std::string& shots) {
  DWORD misc = 0;
  Check(control->GetMiscStatus(DVASPECT_CONTENT, &misc) == S_OK &&
            misc == kMiscStatus,
        "MiscStatus is 0x20591");
  for (SIZEL asked : {SIZEL{100, 100}, SIZEL{5000, 3000}, SIZEL{0, 0}}) {
    SIZEL got = {};
    Check(control->SetExtent(DVASPECT_CONTENT, &asked) == S_OK &&
              control->GetExtent(DVASPECT_CONTENT, &got) == S_OK &&
              got.cx == kExtent.cx && got.cy == kExtent.cy,
          "the extent stays 890 x 890 after asking for " +
              std::to_string(asked.cx) + " x " + std::to_string(asked.cy));
  }
  ISpecifyPropertyPages* pages = nullptr;
  CAUUID ids = {0, nullptr};
  Check(SUCCEEDED(control->QueryInterface(IID_ISpecifyPropertyPages,
                                          reinterpret_cast<void**>(&pages))) &&
            pages->GetPages(&ids) == S_OK && ids.cElems == 1 &&
            IsEqualCLSID(ids.pElems[0], kPageClsid),
        "one property page, the control's");
  if (pages != nullptr) pages->Release();
  CoTaskMemFree(ids.pElems);

  int width = 0, height = 0;
  std::vector<uint32_t> face = FaceBitmap(dll, &width, &height);
  Check(!face.empty() && width == height, "bitmap 201 is a square picture");
  IViewObject* view = nullptr;
  if (face.empty() || FAILED(control->QueryInterface(
                          IID_IViewObject, reinterpret_cast<void**>(&view)))) {
    return Check(false, "IViewObject");
  }
  constexpr int kScale = 4, kEdge = 2;
  const int side = width * kScale + 2 * kEdge;
  HRESULT hr = E_FAIL;
  std::vector<uint32_t> drawn = DrawPicture(view, side, &hr);
  view->Release();
  Check(hr == S_OK, "IViewObject::Draw succeeds");
  auto at = [&](int x, int y) { return drawn[y * side + x]; };
  const int mid = side / 2;
  Check(at(0, mid) == Pixel(GetSysColor(COLOR_3DLIGHT)) &&
            at(mid, 0) == Pixel(GetSysColor(COLOR_3DLIGHT)) &&
            at(1, mid) == Pixel(GetSysColor(COLOR_BTNHIGHLIGHT)) &&
            at(side - 1, mid) == Pixel(GetSysColor(COLOR_3DDKSHADOW)) &&
            at(mid, side - 1) == Pixel(GetSysColor(COLOR_3DDKSHADOW)) &&
            at(side - 2, mid) == Pixel(GetSysColor(COLOR_BTNSHADOW)),
        "a raised edge around the picture");
  int differing = 0;
  for (int y = kEdge; y < side - kEdge; ++y) {
    for (int x = kEdge; x < side - kEdge; ++x) {
      uint32_t want =
          face[((y - kEdge) / kScale) * width + (x - kEdge) / kScale] &
          0xFFFFFF;
      differing += (at(x, y) & 0xFFFFFF) != want;
    }
  }
  Check(differing == 0, "bitmap 201 fills the inside of the edge (" +
                            std::to_string(differing) + " pixels differ)");
  std::vector<uint8_t> rgb;
  for (uint32_t p : drawn) {
    rgb.insert(rgb.end(),
               {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                static_cast<uint8_t>(p)});
  }
  Check(WritePng(shots + "/design-time.png", side, side, rgb),
        "design-time.png written");
}

void CheckPersistence(IOleObject* control) {
  IPersistStreamInit* persist = nullptr;
  IStream* stream = nullptr;
  if (FAILED(control->QueryInterface(IID_IPersistStreamInit,
                                     reinterpret_cast<void**>(&persist))) ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) {
    return Check(false, "IPersistStreamInit and a stream");
  }
  ULARGE_INTEGER max = {};
  Check(
      persist->GetSizeMax(&max) == S_OK && persist->Save(stream, TRUE) == S_OK,
      "Save succeeds");
  STATSTG stat = {};
  stream->Stat(&stat, STATFLAG_NONAME);
  BYTE bytes[12] = {};
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  stream->Read(bytes, sizeof bytes, nullptr);
  Check(stat.cbSize.QuadPart == max.QuadPart && bytes[0] == 0 &&
            bytes[1] == 0 && bytes[2] == 1 && bytes[3] == 0,
        "the stream holds GetSizeMax bytes, starting with version 1.0");
  persist->Release();

  // A new control reads it back; a stream cut short is refused.
  IPersistStreamInit* loaded = nullptr;
  if (FAILED(CoCreateInstance(kControlClsid, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IPersistStreamInit,
                              reinterpret_cast<void**>(&loaded)))) {
    stream->Release();
    return Check(false, "a second control");
  }
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  Check(loaded->Load(stream) == S_OK, "Load reads what Save wrote");
  ULARGE_INTEGER five = {};
  five.QuadPart = 5;
  stream->SetSize(five);
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  IOleObject* object = nullptr;
  SIZEL extent = {};
  Check(FAILED(loaded->Load(stream)) &&
            SUCCEEDED(loaded->QueryInterface(
                IID_IOleObject, reinterpret_cast<void**>(&object))) &&
            object->GetExtent(DVASPECT_CONTENT, &extent) == S_OK &&
            extent.cx == kExtent.cx && extent.cy == kExtent.cy,
        "a stream cut short is refused and the control keeps its extent");
  if (object != nullptr) object->Release();
  loaded->Release();
  stream->Release();
}

}  // namespace vexlor::ui_test
