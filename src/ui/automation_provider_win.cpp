#include "ui/automation_provider_win.h"

#include <new>
#include <string>
#include <utility>

#include "base/wide_text_win.h"
#include "ui/com_object_win.h"

namespace nelo {
namespace {

using Microsoft::WRL::ComPtr;

HRESULT put_text(const std::string& text, VARIANT* out) {
  const std::wstring wide = to_wide(text);
  out->bstrVal = ::SysAllocStringLen(wide.c_str(), static_cast<UINT>(wide.size()));
  if (out->bstrVal == nullptr) {
    return E_OUTOFMEMORY;
  }
  out->vt = VT_BSTR;
  return S_OK;
}

HRESULT put_number(int number, VARIANT* out) {
  out->vt = VT_I4;
  out->lVal = number;
  return S_OK;
}

HRESULT put_bool(bool value, VARIANT* out) {
  out->vt = VT_BOOL;
  out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

UiaRect to_uia(const RECT& rect) {
  return {static_cast<double>(rect.left), static_cast<double>(rect.top),
          static_cast<double>(rect.right - rect.left), static_cast<double>(rect.bottom - rect.top)};
}

// The automation ids of the buttons, for scripts and testing tools.
const char* automation_id(std::uint8_t action) {
  switch (action) {
    case OpenNow:
      return "open-now";
    case Retry:
      return "retry";
    case Accept:
      return "accept";
    case OpenTerms:
      return "open-terms";
    default:
      return "button";
  }
}

ComPtr<IRawElementProviderFragment> as_fragment(ComPtr<IRawElementProviderSimple> simple) {
  ComPtr<IRawElementProviderFragment> fragment;
  if (simple) {
    simple.As(&fragment);
  }
  return fragment;
}

class RootProvider final : public ComObject<IRawElementProviderSimple, IRawElementProviderFragment,
                                            IRawElementProviderFragmentRoot> {
 public:
  explicit RootProvider(std::shared_ptr<ReadersView> view) : view_(std::move(view)) {}

  // IRawElementProviderSimple
  HRESULT STDMETHODCALLTYPE get_ProviderOptions(enum ProviderOptions* options) override {
    *options = ProviderOptions_ServerSideProvider;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID, IUnknown** pattern) override {
    *pattern = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* value) override {
    ::VariantInit(value);
    const ReadersMoment now = view_->moment();
    if (!now.open) {
      return uia::kElementNotAvailable;
    }
    switch (property) {
      case uia::kName:
        return put_text(now.screen.name, value);
      case uia::kControlType:
        return put_number(uia::kWindowControl, value);
      case uia::kAutomationId:
        return put_text("nelo-launcher", value);
      case uia::kLiveSetting:
        return put_number(uia::kPoliteLiveSetting, value);
      case uia::kIsKeyboardFocusable:
        return put_bool(true, value);
      default:
        return S_OK;  // VT_EMPTY: the host's answer, or none
    }
  }
  HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** host) override {
    *host = nullptr;
    const ReadersMoment now = view_->moment();
    const auto host_from = uia::functions().host_provider_from_hwnd;
    if (!now.open || host_from == nullptr) {
      return now.open ? S_OK : uia::kElementNotAvailable;
    }
    return host_from(now.window, host);
  }

  // IRawElementProviderFragment
  HRESULT STDMETHODCALLTYPE Navigate(enum NavigateDirection direction,
                                     IRawElementProviderFragment** found) override {
    *found = nullptr;
    const ReadersMoment now = view_->moment();
    if (!now.open) {
      return uia::kElementNotAvailable;
    }
    if (now.screen.buttons.empty()) {
      return S_OK;
    }
    std::uint8_t action = NoAction;
    if (direction == NavigateDirection_FirstChild) {
      action = now.screen.buttons.front().action;
    } else if (direction == NavigateDirection_LastChild) {
      action = now.screen.buttons.back().action;
    } else {
      return S_OK;  // the host answers for the parent and siblings of a window's root
    }
    *found = as_fragment(make_automation_button(view_, action)).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** id) override {
    *id = nullptr;  // the host's window gives the root its id
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BoundingRectangle(struct UiaRect* rect) override {
    const ReadersMoment now = view_->moment();
    *rect = {};
    if (!now.open) {
      return uia::kElementNotAvailable;
    }
    *rect = to_uia(now.on_screen(NoAction));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** roots) override {
    *roots = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFocus() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** root) override {
    AddRef();
    *root = this;
    return S_OK;
  }

  // IRawElementProviderFragmentRoot
  HRESULT STDMETHODCALLTYPE ElementProviderFromPoint(double x, double y,
                                                     IRawElementProviderFragment** found) override {
    *found = nullptr;
    const ReadersMoment now = view_->moment();
    if (!now.open) {
      return uia::kElementNotAvailable;
    }
    const std::uint8_t action = now.button_at_point({static_cast<LONG>(x), static_cast<LONG>(y)});
    if (action == NoAction) {
      AddRef();
      *found = this;
      return S_OK;
    }
    *found = as_fragment(make_automation_button(view_, action)).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFocus(IRawElementProviderFragment** found) override {
    *found = nullptr;
    const ReadersMoment now = view_->moment();
    if (!now.open) {
      return uia::kElementNotAvailable;
    }
    if (now.screen.focused != NoAction) {
      *found = as_fragment(make_automation_button(view_, now.screen.focused)).Detach();
    }
    return S_OK;
  }

 private:
  std::shared_ptr<ReadersView> view_;
};

class ButtonProvider final
    : public ComObject<IRawElementProviderSimple, IRawElementProviderFragment, IInvokeProvider> {
 public:
  ButtonProvider(std::shared_ptr<ReadersView> view, std::uint8_t action)
      : view_(std::move(view)), action_(action) {}

  // IRawElementProviderSimple
  HRESULT STDMETHODCALLTYPE get_ProviderOptions(enum ProviderOptions* options) override {
    *options = ProviderOptions_ServerSideProvider;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** provider) override {
    *provider = nullptr;
    if (pattern == uia::kInvokePattern) {
      *provider = static_cast<IInvokeProvider*>(this);
      AddRef();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* value) override {
    ::VariantInit(value);
    const ReadersMoment now = view_->moment();
    const std::optional<std::size_t> index = shown(now);
    if (!index) {
      return uia::kElementNotAvailable;
    }
    switch (property) {
      case uia::kName:
        return put_text(now.screen.buttons[*index].name, value);
      case uia::kControlType:
        return put_number(uia::kButtonControl, value);
      case uia::kAutomationId:
        return put_text(automation_id(action_), value);
      case uia::kIsKeyboardFocusable:
      case uia::kIsEnabled:
      case uia::kIsControlElement:
      case uia::kIsContentElement:
      case uia::kIsInvokePatternAvailable:
        return put_bool(true, value);
      case uia::kHasKeyboardFocus:
        return put_bool(now.screen.focused == action_, value);
      default:
        return S_OK;
    }
  }
  HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** host) override {
    *host = nullptr;  // a part of the window, not a window of its own
    return S_OK;
  }

  // IRawElementProviderFragment
  HRESULT STDMETHODCALLTYPE Navigate(enum NavigateDirection direction,
                                     IRawElementProviderFragment** found) override {
    *found = nullptr;
    const ReadersMoment now = view_->moment();
    const std::optional<std::size_t> index = shown(now);
    if (!index) {
      return uia::kElementNotAvailable;
    }
    std::size_t to = 0;
    switch (direction) {
      case NavigateDirection_Parent:
        *found = as_fragment(make_automation_root(view_)).Detach();
        return S_OK;
      case NavigateDirection_NextSibling:
        to = *index + 1;
        break;
      case NavigateDirection_PreviousSibling:
        to = *index - 1;  // wraps to SIZE_MAX at the first: no sibling
        break;
      default:
        return S_OK;  // buttons have no children
    }
    if (to < now.screen.buttons.size()) {
      *found = as_fragment(make_automation_button(view_, now.screen.buttons[to].action)).Detach();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** id) override {
    *id = ::SafeArrayCreateVector(VT_I4, 0, 2);
    if (*id == nullptr) {
      return E_OUTOFMEMORY;
    }
    const int parts[2] = {uia::kAppendRuntimeId, action_};
    for (LONG i = 0; i < 2; ++i) {
      ::SafeArrayPutElement(*id, &i, const_cast<int*>(&parts[i]));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BoundingRectangle(struct UiaRect* rect) override {
    *rect = {};
    const ReadersMoment now = view_->moment();
    if (!shown(now)) {
      return uia::kElementNotAvailable;
    }
    *rect = to_uia(now.on_screen(action_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** roots) override {
    *roots = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFocus() override {
    return view_->focus(action_) ? S_OK : uia::kElementNotAvailable;
  }
  HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** root) override {
    *root = nullptr;
    ComPtr<IRawElementProviderSimple> made = make_automation_root(view_);
    return made ? made.CopyTo(root) : E_OUTOFMEMORY;
  }

  // IInvokeProvider
  HRESULT STDMETHODCALLTYPE Invoke() override {
    return view_->press(action_) ? S_OK : uia::kElementNotAvailable;
  }

 private:
  std::optional<std::size_t> shown(const ReadersMoment& now) const {
    return now.open ? now.screen.index_of(action_) : std::nullopt;
  }

  std::shared_ptr<ReadersView> view_;
  std::uint8_t action_;
};

}  // namespace

ComPtr<IRawElementProviderSimple> make_automation_root(std::shared_ptr<ReadersView> view) {
  ComPtr<IRawElementProviderSimple> made;
  made.Attach(new (std::nothrow) RootProvider(std::move(view)));
  return made;
}

ComPtr<IRawElementProviderSimple> make_automation_button(std::shared_ptr<ReadersView> view,
                                                         std::uint8_t action) {
  ComPtr<IRawElementProviderSimple> made;
  made.Attach(new (std::nothrow) ButtonProvider(std::move(view), action));
  return made;
}

}  // namespace nelo
