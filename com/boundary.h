// The edge between a host and the server's C++ code. Every entry point a
// host calls runs its body through Guarded, or GuardedInvoke for
// IDispatch::Invoke, so that no C++ exception unwinds into the host's
// frames: std::bad_alloc becomes E_OUTOFMEMORY, any other std::exception
// E_FAIL, anything else E_UNEXPECTED. GuardedInvoke also describes the
// failure in the caller's EXCEPINFO and returns DISP_E_EXCEPTION, so that
// a script's Err.Number is that code and its Err.Description reads "Out of
// Memory" or the exception's own message.
#ifndef VEXLOR_COM_BOUNDARY_H_
#define VEXLOR_COM_BOUNDARY_H_

#include <windows.h>
#include <oaidl.h>

namespace vexlor::com {

// Only inside a catch block: the HRESULT of the exception being handled.
HRESULT CurrentExceptionStatus() noexcept;

// Only inside a catch block: fills `*info` (when not null) with the
// source, the code and the description of the exception being handled and
// returns DISP_E_EXCEPTION; without `info`, the exception's HRESULT.
HRESULT DescribeCurrentException(EXCEPINFO* info) noexcept;

// Runs `body` (returning an HRESULT) and answers for what it throws.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return CurrentExceptionStatus();
  }
}

template <typename Body>
HRESULT GuardedInvoke(EXCEPINFO* info, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return DescribeCurrentException(info);
  }
}

}  // namespace vexlor::com

#endif  // VEXLOR_COM_BOUNDARY_H_
