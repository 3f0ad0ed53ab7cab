#include "ui/window_accessible_win.h"

#include <new>
#include <string>
#include <utility>

#include "base/wide_text_win.h"
#include "ui/com_object_win.h"

namespace nelo {
namespace {

using Microsoft::WRL::ComPtr;

HRESULT put_text(const std::string& text, BSTR* out) {
  const std::wstring wide = to_wide(text);
  *out = ::SysAllocStringLen(wide.c_str(), static_cast<UINT>(wide.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT put_child(LONG child, VARIANT* out) {
  out->vt = VT_I4;
  out->lVal = child;
  return S_OK;
}

// Children are numbered from 1 in the order of the screen's buttons; 0 (CHILDID_SELF) is the
// client area itself.
class WindowAccessible final : public ComObject<IAccessible> {
 public:
  explicit WindowAccessible(std::shared_ptr<ReadersView> view) : view_(std::move(view)) {}

  // IDispatch: not offered; clients call IAccessible directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    *parent = nullptr;
    const ReadersMoment now = view_->moment();
    if (!now.open) {
      return CO_E_OBJNOTCONNECTED;
    }
    return ::CreateStdAccessibleObject(now.window, OBJID_WINDOW, __uuidof(IDispatch),
                                       reinterpret_cast<void**>(parent));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    const ReadersMoment now = view_->moment();
    *count = static_cast<LONG>(now.screen.buttons.size());
    return now.open ? S_OK : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    *out = nullptr;  // buttons are simple elements of this object, not objects of their own
    const ReadersMoment now = view_->moment();
    return resolve(now, child, [](auto) { return S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    *name = nullptr;
    const ReadersMoment now = view_->moment();
    return resolve(now, child, [&](const ReadableButton* button) {
      return put_text(button != nullptr ? button->name : now.screen.name, name);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    *value = nullptr;
    return resolve(view_->moment(), child, [](auto) { return S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    *description = nullptr;
    return resolve(view_->moment(), child, [](auto) { return S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    ::VariantInit(role);
    return resolve(view_->moment(), child, [&](const ReadableButton* button) {
      return put_child(button != nullptr ? ROLE_SYSTEM_PUSHBUTTON : ROLE_SYSTEM_CLIENT, role);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    ::VariantInit(state);
    const ReadersMoment now = view_->moment();
    return resolve(now, child, [&](const ReadableButton* button) {
      LONG flags = STATE_SYSTEM_FOCUSABLE;
      if (button != nullptr && button->action == now.screen.focused) {
        flags |= STATE_SYSTEM_FOCUSED;
      }
      if (button != nullptr && &now.screen.buttons.front() == button) {
        flags |= STATE_SYSTEM_DEFAULT;  // Enter's button
      }
      return put_child(flags, state);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    *help = nullptr;
    return resolve(view_->moment(), child, [](auto) { return S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    *file = nullptr;
    *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    *shortcut = nullptr;
    return resolve(view_->moment(), child, [](auto) { return S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    ::VariantInit(focus);
    const ReadersMoment now = view_->moment();
    if (!now.open) {
      return CO_E_OBJNOTCONNECTED;
    }
    const std::optional<std::size_t> index = now.screen.index_of(now.screen.focused);
    return put_child(index ? static_cast<LONG>(*index + 1) : CHILDID_SELF, focus);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    ::VariantInit(selection);
    return view_->moment().open ? S_OK : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    *action = nullptr;
    return resolve(view_->moment(), child, [&](const ReadableButton* button) {
      if (button == nullptr) {
        return S_FALSE;
      }
      *action = ::SysAllocString(kPressAction);
      return *action != nullptr ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    return resolve(view_->moment(), child, [&](const ReadableButton* button) -> HRESULT {
      if (button == nullptr || (flags & ~SELFLAG_TAKEFOCUS) != 0) {
        return E_INVALIDARG;
      }
      return (flags & SELFLAG_TAKEFOCUS) == 0 || view_->focus(button->action) ? S_OK : E_FAIL;
    });
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT child) override {
    const ReadersMoment now = view_->moment();
    return resolve(now, child, [&](const ReadableButton* button) {
      const RECT rect = now.on_screen(button != nullptr ? button->action : std::uint8_t{NoAction});
      *left = rect.left;
      *top = rect.top;
      *width = rect.right - rect.left;
      *height = rect.bottom - rect.top;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    ::VariantInit(end);
    const ReadersMoment now = view_->moment();
    const LONG count = static_cast<LONG>(now.screen.buttons.size());
    return resolve(now, start, [&](const ReadableButton* button) -> HRESULT {
      const LONG from = button != nullptr
                            ? static_cast<LONG>(button - now.screen.buttons.data()) + 1
                            : LONG{CHILDID_SELF};
      LONG to = 0;
      switch (direction) {
        case NAVDIR_FIRSTCHILD:
          to = from == CHILDID_SELF ? 1 : 0;
          break;
        case NAVDIR_LASTCHILD:
          to = from == CHILDID_SELF ? count : 0;
          break;
        case NAVDIR_NEXT:
        case NAVDIR_RIGHT:
          to = from != CHILDID_SELF ? from + 1 : 0;
          break;
        case NAVDIR_PREVIOUS:
        case NAVDIR_LEFT:
          to = from != CHILDID_SELF ? from - 1 : 0;
          break;
        default:
          return E_INVALIDARG;
      }
      return to >= 1 && to <= count ? put_child(to, end) : S_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    ::VariantInit(child);
    const ReadersMoment now = view_->moment();
    if (!now.open) {
      return CO_E_OBJNOTCONNECTED;
    }
    const RECT window = now.on_screen(NoAction);
    const POINT point = {x, y};
    if (!::PtInRect(&window, point)) {
      return S_FALSE;
    }
    const std::optional<std::size_t> index = now.screen.index_of(now.button_at_point(point));
    return put_child(index ? static_cast<LONG>(*index + 1) : CHILDID_SELF, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return resolve(view_->moment(), child, [&](const ReadableButton* button) -> HRESULT {
      if (button == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
      }
      // The screen may have changed between the two looks: then nothing is pressed.
      return view_->press(button->action) ? S_OK : E_INVALIDARG;
    });
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  // Calls `answer` with the button a child id names (null for the client itself), or fails as
  // MSAA expects: the window gone, or no such child.
  template <class Answer>
  static HRESULT resolve(const ReadersMoment& now, const VARIANT& child, Answer answer) {
    if (!now.open) {
      return CO_E_OBJNOTCONNECTED;
    }
    if (child.vt != VT_I4) {
      return E_INVALIDARG;
    }
    if (child.lVal == CHILDID_SELF) {
      return answer(static_cast<const ReadableButton*>(nullptr));
    }
    if (child.lVal < 1 || static_cast<std::size_t>(child.lVal) > now.screen.buttons.size()) {
      return E_INVALIDARG;
    }
    return answer(&now.screen.buttons[static_cast<std::size_t>(child.lVal) - 1]);
  }

  void* base_interface(REFIID id) override {
    return id == __uuidof(IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }

  std::shared_ptr<ReadersView> view_;
};

}  // namespace

ComPtr<IAccessible> make_window_accessible(std::shared_ptr<ReadersView> view) {
  ComPtr<IAccessible> made;
  made.Attach(new (std::nothrow) WindowAccessible(std::move(view)));
  return made;
}

}  // namespace nelo
