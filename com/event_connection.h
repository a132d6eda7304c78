// Events of a control delivered to automation sinks.
//
// The connection point of the events interface: a host hands it a sink
// (any object answering the events interface or IDispatch), and every
// event the control raises becomes an IDispatch::Invoke call on that sink
// with the event's dispatch identifier and arguments, in connection order,
// on the caller's thread.
#ifndef VEXLOR_COM_EVENT_CONNECTION_H_
#define VEXLOR_COM_EVENT_CONNECTION_H_

#include <windows.h>
#include <ocidl.h>

#include <memory>
#include <vector>

#include "vexlor/event_sink.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::com {

// One connected sink: forwards the control's events to its IDispatch.
class DispatchEventSink : public EventSink {
 public:
  // Takes a reference to `sink`. `event_depth` counts the events under way
  // at the connection point; it must outlive this object.
  DispatchEventSink(IDispatch* sink, DWORD cookie, int& event_depth);
  ~DispatchEventSink() override;
  DispatchEventSink(const DispatchEventSink&) = delete;
  DispatchEventSink& operator=(const DispatchEventSink&) = delete;

  DWORD cookie() const { return cookie_; }
  bool connected() const { return sink_ != nullptr; }
  IDispatch* sink() const { return sink_; }
  // Drops the sink; events that still reach this object go nowhere.
  void Disconnect();

  void Progress(int16_t Action, double PercentDone, int32_t ElapsedSeconds,
                std::u16string_view ElapsedString, int32_t ETASeconds,
                std::u16string_view ETAString) override;
  void ProgressDupeSearch(double PercentDone, int32_t RecordNo,
                          double RecordCount, int32_t DepthCurrent,
                          int32_t DepthMax, double DepthAvg, int32_t DupesFound,
                          int32_t DupesFound2, int32_t ElapsedSeconds,
                          std::u16string_view ElapsedString, int32_t ETASeconds,
                          std::u16string_view ETAString) override;

 private:
  // Calls the sink with arguments given in parameter order.
  void Fire(DISPID dispid, VARIANTARG* args, UINT count);

  IDispatch* sink_;
  DWORD cookie_;
  int& event_depth_;
};

// The connection point for the events interface. It lives inside the
// object whose events it delivers and counts its references there.
class EventConnectionPoint final : public IConnectionPoint {
 public:
  EventConnectionPoint(IConnectionPointContainer* container,
                       CVexlorCtrl* control);
  ~EventConnectionPoint();
  EventConnectionPoint(const EventConnectionPoint&) = delete;
  EventConnectionPoint& operator=(const EventConnectionPoint&) = delete;

  // Disconnects every sink (the object is going away).
  void DisconnectAll();

  // Whether a sink of this point is being called: disconnected sinks are
  // then kept, since the sink that runs may be one of them.
  bool delivering() const { return event_depth_ > 0; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE
  GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

 private:
  IConnectionPointContainer* container_;  // owns this
  CVexlorCtrl* control_;
  // Disconnected sinks stay here until no event of this point is under
  // way: a sink may disconnect itself while it runs.
  std::vector<std::unique_ptr<DispatchEventSink>> sinks_;
  DWORD next_cookie_ = 1;
  // The server is apartment-threaded: each control, with its point, lives
  // in one apartment's thread, but two apartments' controls run at once.
  int event_depth_ = 0;
};

}  // namespace vexlor::com

#endif  // VEXLOR_COM_EVENT_CONNECTION_H_
