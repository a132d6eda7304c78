#include "com/property_page.h"

#include <ocidl.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "com/boundary.h"
#include "com/com_module.h"
#include "com/com_object.h"
#include "com/resource_ids.h"
#include "com/ui_resources.h"

namespace vexlor::com {

namespace {

// The page has no input of its own: the dialog manager's defaults serve,
// and WM_INITDIALOG leaves the focus to the frame's buttons.
INT_PTR CALLBACK PageDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A task-allocated copy of `text`, as page information hands out strings.
LPOLESTR TaskString(const std::wstring& text) {
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

class PropertyPage final : public ComObject<IPropertyPage> {
 public:
  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override {
    if (site != nullptr) site->AddRef();
    if (site_ != nullptr) site_->Release();
    site_ = site;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override {
    if (rect == nullptr) return E_POINTER;
    if (dialog_ != nullptr) return E_UNEXPECTED;
    dialog_ = CreatePage(parent);
    if (dialog_ == nullptr) return E_FAIL;
    Move(rect);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Deactivate() override {
    if (dialog_ == nullptr) return E_UNEXPECTED;
    DestroyWindow(dialog_);
    dialog_ = nullptr;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override {
    if (info == nullptr) return E_POINTER;
    SIZE size;
    if (!MeasurePage(&size)) return E_FAIL;
    wchar_t caption[64] = L"";
    LoadStringW(ModuleHandle(), VEXLOR_IDS_PAGE_CAPTION, caption,
                static_cast<int>(std::size(caption)));
    info->cb = sizeof *info;
    info->pszTitle = TaskString(caption);
    info->size = size;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return info->pszTitle != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count,
                                       IUnknown** objects) override {
    if (count > 0 && objects == nullptr) return E_POINTER;
    for (IUnknown* object : objects_) object->Release();
    objects_.clear();
    const HRESULT reserved = Guarded([&] {
      objects_.reserve(count);
      return S_OK;
    });
    if (FAILED(reserved)) return reserved;
    for (ULONG i = 0; i < count; ++i) {
      if (objects[i] == nullptr) continue;
      objects[i]->AddRef();
      objects_.push_back(objects[i]);
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Show(UINT command) override {
    if (dialog_ == nullptr) return E_UNEXPECTED;
    ShowWindow(dialog_, static_cast<int>(command));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override {
    if (rect == nullptr) return E_POINTER;
    if (dialog_ == nullptr) return E_UNEXPECTED;
    MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left,
               rect->bottom - rect->top, TRUE);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Apply() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override {
    return S_FALSE;
  }

 private:
  void* FindInterface(REFIID riid) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPage)) {
      return static_cast<IPropertyPage*>(this);
    }
    return nullptr;
  }

  ~PropertyPage() override {
    if (dialog_ != nullptr) DestroyWindow(dialog_);
    SetObjects(0, nullptr);
    SetPageSite(nullptr);
  }

  static HWND CreatePage(HWND parent) {
    const DLGTEMPLATE* page =
        FindDialog(VEXLOR_IDD_PROPERTY_PAGE, ThreadUiLanguage());
    if (page == nullptr) return nullptr;
    return CreateDialogIndirectParamW(ModuleHandle(), page, parent,
                                      PageDialogProc, 0);
  }

  // The page's size in pixels: the template's dialog units in its own
  // font, which only a created dialog knows.
  static bool MeasurePage(SIZE* size) {
    HWND probe = CreatePage(GetDesktopWindow());
    if (probe == nullptr) return false;
    RECT rect;
    GetWindowRect(probe, &rect);
    DestroyWindow(probe);
    size->cx = rect.right - rect.left;
    size->cy = rect.bottom - rect.top;
    return true;
  }

  IPropertyPageSite* site_ = nullptr;
  std::vector<IUnknown*> objects_;
  HWND dialog_ = nullptr;
};

}  // namespace

HRESULT CreatePropertyPage(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return Guarded([&] { return HandOut(new PropertyPage(), riid, out); });
}

}  // namespace vexlor::com
