#include "com/event_connection.h"

#include <olectl.h>

#include <algorithm>

#include "com/boundary.h"
#include "com/guids.h"

namespace vexlor::com {

namespace {

VARIANTARG Short(int16_t v) {
  VARIANTARG a;
  VariantInit(&a);
  V_VT(&a) = VT_I2;
  V_I2(&a) = v;
  return a;
}
VARIANTARG Long(int32_t v) {
  VARIANTARG a;
  VariantInit(&a);
  V_VT(&a) = VT_I4;
  V_I4(&a) = v;
  return a;
}
VARIANTARG Double(double v) {
  VARIANTARG a;
  VariantInit(&a);
  V_VT(&a) = VT_R8;
  V_R8(&a) = v;
  return a;
}
// A null BSTR is the empty string to every automation client, so a failed
// allocation still delivers the event.
VARIANTARG String(std::u16string_view v) {
  VARIANTARG a;
  VariantInit(&a);
  V_VT(&a) = VT_BSTR;
  V_BSTR(&a) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(v.data()),
                                 static_cast<UINT>(v.size()));
  return a;
}

}  // namespace

DispatchEventSink::DispatchEventSink(IDispatch* sink, DWORD cookie,
                                     int& event_depth)
    : sink_(sink), cookie_(cookie), event_depth_(event_depth) {
  sink_->AddRef();
}

DispatchEventSink::~DispatchEventSink() { Disconnect(); }

void DispatchEventSink::Disconnect() {
  if (sink_ != nullptr) {
    IDispatch* sink = sink_;
    sink_ = nullptr;
    sink->Release();
  }
}

void DispatchEventSink::Fire(DISPID dispid, VARIANTARG* args, UINT count) {
  if (sink_ != nullptr) {
    // Automation passes arguments last to first.
    std::reverse(args, args + count);
    DISPPARAMS params = {args, nullptr, count, 0};
    IDispatch* sink = sink_;
    sink->AddRef();  // the sink may disconnect itself while it runs
    ++event_depth_;
    // What a sink returns or raises is its own affair: events are
    // notifications, and the batch call goes on either way.
    sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                 &params, nullptr, nullptr, nullptr);
    --event_depth_;
    sink->Release();
  }
  for (UINT i = 0; i < count; ++i) VariantClear(&args[i]);
}

void DispatchEventSink::Progress(int16_t Action, double PercentDone,
                                 int32_t ElapsedSeconds,
                                 std::u16string_view ElapsedString,
                                 int32_t ETASeconds,
                                 std::u16string_view ETAString) {
  VARIANTARG args[] = {Short(Action),        Double(PercentDone),
                       Long(ElapsedSeconds), String(ElapsedString),
                       Long(ETASeconds),     String(ETAString)};
  Fire(1, args, 6);
}

void DispatchEventSink::ProgressDupeSearch(
    double PercentDone, int32_t RecordNo, double RecordCount,
    int32_t DepthCurrent, int32_t DepthMax, double DepthAvg, int32_t DupesFound,
    int32_t DupesFound2, int32_t ElapsedSeconds,
    std::u16string_view ElapsedString, int32_t ETASeconds,
    std::u16string_view ETAString) {
  VARIANTARG args[] = {
      Double(PercentDone),   Long(RecordNo),    Double(RecordCount),
      Long(DepthCurrent),    Long(DepthMax),    Double(DepthAvg),
      Long(DupesFound),      Long(DupesFound2), Long(ElapsedSeconds),
      String(ElapsedString), Long(ETASeconds),  String(ETAString)};
  Fire(2, args, 12);
}

EventConnectionPoint::EventConnectionPoint(IConnectionPointContainer* container,
                                           CVexlorCtrl* control)
    : container_(container), control_(control) {}

EventConnectionPoint::~EventConnectionPoint() { DisconnectAll(); }

void EventConnectionPoint::DisconnectAll() {
  for (auto& sink : sinks_) {
    control_->Unadvise(sink.get());
    sink->Disconnect();
  }
}

HRESULT EventConnectionPoint::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) ||
      IsEqualIID(riid, IID_IConnectionPoint)) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG EventConnectionPoint::AddRef() { return container_->AddRef(); }
ULONG EventConnectionPoint::Release() { return container_->Release(); }

HRESULT EventConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = EventsIid();
  return S_OK;
}

HRESULT EventConnectionPoint::GetConnectionPointContainer(
    IConnectionPointContainer** out) {
  if (out == nullptr) return E_POINTER;
  *out = container_;
  container_->AddRef();
  return S_OK;
}

HRESULT EventConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  IDispatch* dispatch = nullptr;
  if (FAILED(sink->QueryInterface(EventsIid(),
                                  reinterpret_cast<void**>(&dispatch))) &&
      FAILED(sink->QueryInterface(IID_IDispatch,
                                  reinterpret_cast<void**>(&dispatch)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  const HRESULT status = Guarded([&] {
    if (!delivering()) {
      std::erase_if(sinks_, [](const auto& s) { return !s->connected(); });
    }
    sinks_.push_back(std::make_unique<DispatchEventSink>(dispatch, next_cookie_,
                                                         event_depth_));
    try {
      control_->Advise(sinks_.back().get());
    } catch (...) {
      sinks_.pop_back();
      throw;
    }
    return S_OK;
  });
  dispatch->Release();
  if (FAILED(status)) return status;
  *cookie = next_cookie_++;
  return S_OK;
}

HRESULT EventConnectionPoint::Unadvise(DWORD cookie) {
  for (auto& sink : sinks_) {
    if (sink->cookie() == cookie && sink->connected()) {
      control_->Unadvise(sink.get());
      sink->Disconnect();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EventConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}

}  // namespace vexlor::com
