// The bridge between OLE Automation values (VARIANT, SAFEARRAY, BSTR) and
// the library's own variants.
//
// Values coming in are copied into library variants, so a batch call works
// on its own copy and can never change or outlive the host's array. A
// reference to a variant (how script hosts pass their variables) stays a
// reference, because whether a table may arrive by reference is the
// library's rule; references to any other type are read through, as
// automation's own coercion reads them. Values going out become new
// VARIANTs, safe arrays and BSTRs that the host owns.
#ifndef VEXLOR_COM_VARIANT_BRIDGE_H_
#define VEXLOR_COM_VARIANT_BRIDGE_H_

#include <windows.h>
#include <oaidl.h>

#include <deque>

#include "vexlor/variant.h"

namespace vexlor::com {

// Keeps the targets of references alive for as long as the converted
// arguments are in use (one call).
using ReferenceTargets = std::deque<platform::Variant>;

// Converts `in` into `*out`. Objects (VT_DISPATCH, VT_UNKNOWN) and decimals
// keep their type but not their value; types the library does not know
// become Empty. Returns S_OK, or E_OUTOFMEMORY (then `*out` is Empty).
// Cost: linear in the cells and characters of `in`.
HRESULT ToLibraryVariant(const VARIANT& in, platform::Variant* out,
                         ReferenceTargets* targets);

// Converts `in` into `*out`, which must be initialised (VariantInit) and
// is overwritten without being cleared. Arrays become new safe arrays with
// the same bounds, strings new BSTRs. Returns S_OK, or E_OUTOFMEMORY (then
// `*out` is VT_EMPTY and nothing is left allocated).
HRESULT ToOleVariant(const platform::Variant& in, VARIANT* out);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_VARIANT_BRIDGE_H_
