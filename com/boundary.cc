#include "com/boundary.h"

#include <cstring>
#include <exception>
#include <new>

#include "vexlor/control/module.h"

namespace vexlor::com {

namespace {

constexpr char kUnknownFailure[] = "Unexpected failure";

// A BSTR of UTF-8 text, made without the C++ heap, which may be what ran
// out; null when it cannot be made (automation clients read it as "").
BSTR Utf8ToBstr(const char* text) {
  const int bytes = static_cast<int>(std::strlen(text));
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text, bytes, nullptr, 0);
  if (wide <= 0) return nullptr;
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
  if (out != nullptr) MultiByteToWideChar(CP_UTF8, 0, text, bytes, out, wide);
  return out;
}

// The exception being handled, as a code and a text that outlives it only
// while the exception is handled.
struct Failure {
  HRESULT status;
  const char* text;
};

Failure CurrentFailure() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return {E_OUTOFMEMORY, kOutOfMemoryDescription};
  } catch (const std::exception& e) {
    return {E_FAIL, e.what()};
  } catch (...) {
    return {E_UNEXPECTED, kUnknownFailure};
  }
}

}  // namespace

HRESULT CurrentExceptionStatus() noexcept { return CurrentFailure().status; }

HRESULT DescribeCurrentException(EXCEPINFO* info) noexcept {
  const Failure failure = CurrentFailure();
  if (info == nullptr) return failure.status;
  std::memset(info, 0, sizeof *info);
  info->bstrSource = Utf8ToBstr(kControlProgId);
  info->bstrDescription = Utf8ToBstr(failure.text);
  info->scode = failure.status;
  return DISP_E_EXCEPTION;
}

}  // namespace vexlor::com
