// COM's reference counting and QueryInterface for the objects this program hands to others
// (screen readers' objects): an object that implements `Interfaces` derives from
// ComObject<Interfaces...>, is made with a count of one, and deletes itself at its last Release.
// The first interface answers for IUnknown; a base interface that is not listed (IDispatch under
// IAccessible) is answered by overriding `base_interface`. Safe to call from any thread.
#pragma once

#include "base/win_support.h"

#include <atomic>

namespace nelo {

// COM interfaces have no virtual destructors by design: the object deletes itself in Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <class First, class... More>
class ComObject : public First, public More... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = nullptr;
    if (id == __uuidof(IUnknown) || id == __uuidof(First)) {
      *out = static_cast<First*>(this);
    } else if (!((id == __uuidof(More) ? (*out = static_cast<More*>(this), true) : false) || ...)) {
      *out = base_interface(id);
    }
    if (*out == nullptr) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 protected:
  virtual ~ComObject() = default;
  // A base interface of one of the listed ones, or null.
  virtual void* base_interface(REFIID) { return nullptr; }

 private:
  std::atomic<ULONG> references_{1};
};
#pragma GCC diagnostic pop

}  // namespace nelo
