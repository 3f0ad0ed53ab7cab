// The parts of UI Automation's server side that the toolchain's headers and import libraries
// lack: the Invoke pattern's interface, a few identifiers, and uiautomationcore.dll's functions,
// loaded when first needed. Older systems and Wine lack some of them (Wine 8 exports no
// UiaRaiseNotificationEvent): a missing function is a null pointer, never a failed start.
#pragma once

#include "base/win_support.h"

#include <uiautomationcore.h>

// COM interfaces have no virtual destructors by design: an object deletes itself in Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#ifndef __IInvokeProvider_INTERFACE_DEFINED__
#define __IInvokeProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("54fcb24b-e18e-47a2-b4d3-eccbe77599a2")
IInvokeProvider : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke() = 0;
};
__CRT_UUID_DECL(IInvokeProvider, 0x54fcb24b, 0xe18e, 0x47a2, 0xb4, 0xd3, 0xec, 0xcb, 0xe7, 0x75,
                0x99, 0xa2)
#endif
#pragma GCC diagnostic pop

namespace nelo::uia {

// From UIAutomationCoreApi.h, whose copy in the toolchain does not compile as C++.
inline constexpr LONG kRootObjectId = -25;  // WM_GETOBJECT's lParam for the root provider
inline constexpr int kAppendRuntimeId = 3;
inline constexpr HRESULT kElementNotAvailable = static_cast<HRESULT>(0x80040201);

// Identifiers from UIAutomationClient.h that the toolchain's copy leaves out.
inline constexpr PATTERNID kInvokePattern = 10000;
inline constexpr PROPERTYID kControlType = 30003;
inline constexpr PROPERTYID kName = 30005;
inline constexpr PROPERTYID kHasKeyboardFocus = 30008;
inline constexpr PROPERTYID kIsKeyboardFocusable = 30009;
inline constexpr PROPERTYID kIsEnabled = 30010;
inline constexpr PROPERTYID kAutomationId = 30011;
inline constexpr PROPERTYID kIsControlElement = 30016;
inline constexpr PROPERTYID kIsContentElement = 30017;
inline constexpr PROPERTYID kFrameworkId = 30024;
inline constexpr PROPERTYID kIsInvokePatternAvailable = 30031;
inline constexpr PROPERTYID kLiveSetting = 30135;
inline constexpr CONTROLTYPEID kButtonControl = 50000;
inline constexpr CONTROLTYPEID kWindowControl = 50032;
inline constexpr EVENTID kFocusChangedEvent = 20005;
inline constexpr EVENTID kLiveRegionChangedEvent = 20024;
inline constexpr int kPoliteLiveSetting = 1;
inline constexpr int kNotificationKindOther = 4;
inline constexpr int kNotificationProcessingImportantMostRecent = 1;
inline constexpr int kNotificationProcessingMostRecent = 3;

using ReturnRawElementProvider = LRESULT(WINAPI*)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*);
using HostProviderFromHwnd = HRESULT(WINAPI*)(HWND, IRawElementProviderSimple**);
using RaiseAutomationEvent = HRESULT(WINAPI*)(IRawElementProviderSimple*, EVENTID);
using RaiseNotificationEvent = HRESULT(WINAPI*)(IRawElementProviderSimple*, int kind,
                                                int processing, BSTR text, BSTR activity);

struct Functions {
  ReturnRawElementProvider return_raw_element_provider = nullptr;
  HostProviderFromHwnd host_provider_from_hwnd = nullptr;
  RaiseAutomationEvent raise_automation_event = nullptr;
  RaiseNotificationEvent raise_notification_event = nullptr;
};

// uiautomationcore.dll's functions, loaded once (thread-safe); all null without the DLL.
const Functions& functions();

}  // namespace nelo::uia
