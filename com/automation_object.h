// The control as an automation object: what a script host, an Office macro
// or any late-bound client gets from CreateObject("VEXLOR.VexlorCtrl.1").
//
// IDispatch routes every call through the control's member table (names
// resolved without regard to letter case, arguments converted as
// automation converts them); IProvideClassInfo2 names the class and its
// events interface, which script hosts need to bind event handlers; and
// IConnectionPointContainer hands out the one connection point for the
// events. The OLE control interfaces a container uses come from the
// design-time face (design_time_face.h) inside this object.
#ifndef VEXLOR_COM_AUTOMATION_OBJECT_H_
#define VEXLOR_COM_AUTOMATION_OBJECT_H_

#include <windows.h>
#include <ocidl.h>

#include "com/com_object.h"
#include "com/design_time_face.h"
#include "com/event_connection.h"
#include "com/progress_dialog.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::com {

class AutomationObject final : public ComObject<IDispatch, IProvideClassInfo2,
                                                IConnectionPointContainer> {
 public:
  // Creates an object and returns the interface `riid` of it. Throws
  // nothing: E_OUTOFMEMORY when it cannot be made.
  static HRESULT Create(REFIID riid, void** out);

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid,
                                        ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                          UINT count, LCID lcid,
                                          DISPID* dispids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID lcid,
                                   WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  // IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE
  EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT STDMETHODCALLTYPE
  FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  CVexlorCtrl& control() { return control_; }

 private:
  AutomationObject();
  ~AutomationObject() override;

  void* FindInterface(REFIID riid) override;

  CVexlorCtrl control_;
  EventConnectionPoint events_;
  // The OLE control interfaces, and the dialogs of the progress windows
  // shown over the container's window.
  DesignTimeFace face_;
  ProgressDialogPresenter progress_dialogs_;
};

}  // namespace vexlor::com

#endif  // VEXLOR_COM_AUTOMATION_OBJECT_H_
