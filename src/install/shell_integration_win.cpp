#include "install/shell_integration.h"

#include <optional>

#include "base/com_apartment_win.h"
#include "base/win_support.h"
// The shell, COM and property headers need the Windows types first.
#include <objbase.h>
#include <oleauto.h>
#include <propkey.h>
#include <propvarutil.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "base/product.h"
#include "base/unique_handle.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"

namespace nelo {
namespace {

using Microsoft::WRL::ComPtr;

// A PROPVARIANT that clears what it holds (a BSTR here) when it goes out of scope.
class PropertyValue {
 public:
  PropertyValue() { ::PropVariantInit(&value_); }
  ~PropertyValue() { ::PropVariantClear(&value_); }
  PropertyValue(const PropertyValue&) = delete;
  PropertyValue& operator=(const PropertyValue&) = delete;

  PROPVARIANT& get() { return value_; }

 private:
  PROPVARIANT value_;
};

// The path of a known folder, or nothing when the system cannot give it.
std::optional<std::filesystem::path> known_folder(const KNOWNFOLDERID& id) {
  // The text is the caller's to free whether or not the call succeeded.
  unique_cotask_text text;
  const HRESULT result = ::SHGetKnownFolderPath(id, 0, nullptr, text.put());
  if (FAILED(result) || !text) {
    return std::nullopt;
  }
  return std::filesystem::path(text.get());
}

// Writes one shortcut to the installed launcher; false as soon as any step fails, with
// everything obtained so far released.
bool write_shortcut(const std::filesystem::path& shortcut, const std::wstring& launcher,
                    const std::wstring& root) {
  ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&link)))) {
    return false;
  }
  const std::wstring description = to_wide(kProductName);
  if (FAILED(link->SetPath(launcher.c_str())) || FAILED(link->SetWorkingDirectory(root.c_str())) ||
      FAILED(link->SetIconLocation(launcher.c_str(), 0)) ||
      FAILED(link->SetDescription(description.c_str()))) {
    return false;
  }

  // The application id ties the shortcut to the application's windows on the taskbar.
  ComPtr<IPropertyStore> store;
  if (FAILED(link.As(&store)) || !store_application_id(*store.Get())) {
    return false;
  }

  ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file))) {
    return false;
  }
  return SUCCEEDED(file->Save(shortcut.c_str(), TRUE));
}

void write_uninstall_entry(std::string_view version, const std::wstring& launcher,
                           const std::wstring& root) {
  unique_hkey key;
  const std::wstring key_path = to_wide(kUninstallKeyPath);
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::wstring label = to_wide(version);
  for (const RegistryValue& value :
       uninstall_entry_values(as_utf16(label), as_utf16(launcher), as_utf16(root))) {
    const std::wstring name = to_wide(value.name);
    (void)::RegSetValueExW(key.get(), name.c_str(), 0,
                           value.type == RegistryType::Text ? REG_SZ : REG_DWORD, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
  }
}

}  // namespace

bool store_application_id(IPropertyStore& store) {
  {
    PropertyValue id;
    const std::wstring application_id = to_wide(kApplicationId);
    id.get().vt = VT_BSTR;
    id.get().bstrVal = ::SysAllocString(application_id.c_str());
    if (id.get().bstrVal == nullptr || FAILED(store.SetValue(PKEY_AppUserModel_ID, id.get()))) {
      return false;
    }
  }  // the value is cleared before the store is committed
  return SUCCEEDED(store.Commit());
}

std::vector<std::filesystem::path> shortcut_paths() {
  std::vector<std::filesystem::path> paths;
  for (const KNOWNFOLDERID* id : {&FOLDERID_Desktop, &FOLDERID_Programs}) {
    if (auto folder = known_folder(*id)) {
      paths.push_back(*folder / to_wide(kShortcutName));
    }
  }
  return paths;
}

void register_shell_integration(std::string_view version) {
  join_com_apartment();  // for the shell link objects
  const std::wstring launcher = installed_launcher_path().wstring();
  const std::wstring root = install_root().wstring();
  for (const std::filesystem::path& shortcut : shortcut_paths()) {
    (void)write_shortcut(shortcut, launcher, root);
  }
  write_uninstall_entry(version, launcher, root);
}

void remove_shell_integration() {
  for (const std::filesystem::path& shortcut : shortcut_paths()) {
    (void)::DeleteFileW(shortcut.c_str());
  }
  const std::wstring uninstall_key = to_wide(kUninstallKeyPath);
  (void)::RegDeleteTreeW(HKEY_CURRENT_USER, uninstall_key.c_str());

  unique_hkey run;
  const std::wstring run_key = to_wide(kRunKeyPath);
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, run_key.c_str(), 0, KEY_READ | KEY_WRITE, run.put()) ==
      ERROR_SUCCESS) {
    const std::wstring application_id = to_wide(kApplicationId);
    (void)::RegDeleteValueW(run.get(), application_id.c_str());
  }
}

}  // namespace nelo
