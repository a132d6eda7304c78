// Late-bound calls as automation clients make them: arguments last to
// first, variables by reference, named arguments, property puts, and the
// error codes with the index of the offending argument in rgvarg.
#include "com/dispatch_call.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexlor::com {
namespace {

// Builds DISPPARAMS from arguments given first to last.
class Args {
 public:
  Args& Str(const wchar_t* s) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s);
    return Add(v);
  }
  Args& Int(int32_t i) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = i;
    return Add(v);
  }
  Args& Bool(bool b) {
    VARIANT v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE;
    return Add(v);
  }
  ~Args() {
    for (VARIANT& v : vars_) VariantClear(&v);
  }
  DISPPARAMS Params() {
    ordered_.assign(vars_.rbegin(), vars_.rend());
    return {ordered_.data(), nullptr, static_cast<UINT>(vars_.size()), 0};
  }

 private:
  Args& Add(VARIANT v) {
    vars_.push_back(v);
    return *this;
  }
  std::vector<VARIANT> vars_, ordered_;
};

TEST(DispatchCallTest, NamesIgnoreCaseAndParametersAreNumbered) {
  const wchar_t* names[] = {L"dupesearch", L"threshold", L"NoSuchParam"};
  DISPID ids[3];
  EXPECT_EQ(LookUpNames(const_cast<LPOLESTR*>(names), 2, ids), S_OK);
  EXPECT_EQ(ids[0], 18);
  EXPECT_EQ(ids[1], 2);
  EXPECT_EQ(LookUpNames(const_cast<LPOLESTR*>(names), 3, ids),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);
  const wchar_t* unknown[] = {L"Frobnicate"};
  EXPECT_EQ(LookUpNames(const_cast<LPOLESTR*>(unknown), 1, ids),
            DISP_E_UNKNOWNNAME);
}

TEST(DispatchCallTest, CallsAndErrors) {
  struct Case {
    const char* what;
    DISPID dispid;
    WORD flags;
    std::vector<std::wstring> strings;  // as string arguments, first to last
    HRESULT status;
    int arg_error;  // index in rgvarg, or -1 when not set
  };
  const Case cases[] = {
      {"a call", 10, DISPATCH_METHOD, {L"flaw", L"lawn"}, S_OK, -1},
      {"a string for a short",
       5,
       DISPATCH_METHOD,
       {L"Lee", L"four"},
       DISP_E_TYPEMISMATCH,
       0},
      {"the middle one of three",
       7,
       DISPATCH_METHOD,
       {L"Lee", L"four", L"True"},
       DISP_E_TYPEMISMATCH,
       1},
      {"too few", 10, DISPATCH_METHOD, {L"flaw"}, DISP_E_BADPARAMCOUNT, -1},
      {"too many",
       10,
       DISPATCH_METHOD,
       {L"a", L"b", L"c"},
       DISP_E_BADPARAMCOUNT,
       -1},
      {"no such member", 99, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, -1},
      {"assigning to a method",
       10,
       DISPATCH_PROPERTYPUT,
       {L"a"},
       DISP_E_MEMBERNOTFOUND,
       -1},
  };
  for (const Case& c : cases) {
    CVexlorCtrl control;
    Args args;
    for (const std::wstring& s : c.strings) args.Str(s.c_str());
    DISPPARAMS params = args.Params();
    VARIANT result;
    VariantInit(&result);
    UINT arg_error = 12345;
    EXPECT_EQ(
        CallMember(control, c.dispid, c.flags, params, &result, &arg_error),
        c.status)
        << c.what;
    if (c.arg_error >= 0) {
      EXPECT_EQ(arg_error, static_cast<UINT>(c.arg_error)) << c.what;
    }
    if (c.status == S_OK) {
      EXPECT_EQ(V_VT(&result), VT_I4);
      EXPECT_EQ(V_I4(&result), 2);
    }
    VariantClear(&result);
  }
}

TEST(DispatchCallTest, NamedArgumentsAndPropertyPut) {
  CVexlorCtrl control;
  {
    // soundex "Robert", firstchar:=False, length:=4
    Args args;
    args.Int(4).Bool(false).Str(L"Robert");
    DISPPARAMS params = args.Params();  // rgvarg: "Robert", False, 4
    VARIANT ordered[3] = {params.rgvarg[2], params.rgvarg[1], params.rgvarg[0]};
    DISPID names[2] = {1, 2};  // length, firstchar
    DISPPARAMS named = {ordered, names, 3, 2};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(CallMember(control, 7, DISPATCH_METHOD, named, &result, nullptr),
              S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&result)), L"r163");
    VariantClear(&result);
  }
  {
    Args args;
    args.Str(L",");
    DISPPARAMS params = args.Params();
    DISPID put = DISPID_PROPERTYPUT;
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
    ASSERT_EQ(
        CallMember(control, 2, DISPATCH_PROPERTYPUT, params, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(control.GetCSVDelimiter(), u",");
  }
}

}  // namespace
}  // namespace vexlor::com
