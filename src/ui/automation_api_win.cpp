#include "ui/automation_api_win.h"

namespace nelo::uia {
namespace {

template <class Function>
Function find(HMODULE module, const char* name) {
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

Functions load() {
  // Kept loaded for the life of the process: providers handed out may be called at any time.
  const HMODULE module =
      ::LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  Functions loaded;
  loaded.return_raw_element_provider =
      find<ReturnRawElementProvider>(module, "UiaReturnRawElementProvider");
  loaded.host_provider_from_hwnd = find<HostProviderFromHwnd>(module, "UiaHostProviderFromHwnd");
  loaded.raise_automation_event = find<RaiseAutomationEvent>(module, "UiaRaiseAutomationEvent");
  loaded.raise_notification_event =
      find<RaiseNotificationEvent>(module, "UiaRaiseNotificationEvent");
  return loaded;
}

}  // namespace

const Functions& functions() {
  static const Functions loaded = load();
  return loaded;
}

}  // namespace nelo::uia
