#include "install/shell_integration.h"

#include <gtest/gtest.h>

#include "base/win_support.h"
// The shell and property headers need the Windows types first.
#include <objbase.h>
#include <propkey.h>
#include <propvarutil.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "base/unique_handle.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "tests/windows/test_support.h"

namespace nelo {
namespace {

using Microsoft::WRL::ComPtr;
using testing_support::launcher_exe;
using testing_support::read_file;
using testing_support::read_user_key;
using testing_support::running_under_wine;
using testing_support::ScopedLocalAppData;
using testing_support::ScopedUserShell;
using testing_support::ScopedUserValue;
using testing_support::StoredValue;
using testing_support::TempFolder;
using testing_support::write_file;

const std::wstring kUninstallKey = testing_support::kUninstallKeyName;
const std::wstring kRunKey = testing_support::kRunKeyName;
const wchar_t* const kApplicationIdText = testing_support::kApplicationIdName;

// A shortcut as the shell reads it back from its file.
struct Shortcut {
  std::wstring target;
  std::wstring arguments;
  std::wstring working_folder;
  std::wstring icon_path;
  int icon_index = -1;
  std::wstring description;
  VARTYPE id_type = VT_EMPTY;
  std::wstring application_id;
};

std::optional<Shortcut> read_shortcut(const std::filesystem::path& file) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> persist;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&link))) ||
      FAILED(link.As(&persist)) || FAILED(persist->Load(file.c_str(), STGM_READ))) {
    return std::nullopt;
  }
  Shortcut shortcut;
  wchar_t text[2048];
  if (SUCCEEDED(link->GetPath(text, 2048, nullptr, SLGP_RAWPATH))) {
    shortcut.target = text;
  }
  if (SUCCEEDED(link->GetArguments(text, 2048))) {
    shortcut.arguments = text;
  }
  if (SUCCEEDED(link->GetWorkingDirectory(text, 2048))) {
    shortcut.working_folder = text;
  }
  if (SUCCEEDED(link->GetIconLocation(text, 2048, &shortcut.icon_index))) {
    shortcut.icon_path = text;
  }
  if (SUCCEEDED(link->GetDescription(text, 2048))) {
    shortcut.description = text;
  }
  ComPtr<IPropertyStore> store;
  PROPVARIANT id;
  ::PropVariantInit(&id);
  if (SUCCEEDED(link.As(&store)) && SUCCEEDED(store->GetValue(PKEY_AppUserModel_ID, &id))) {
    shortcut.id_type = id.vt;
    if (id.vt == VT_BSTR && id.bstrVal != nullptr) {
      shortcut.application_id = id.bstrVal;
    } else if (id.vt == VT_LPWSTR && id.pwszVal != nullptr) {
      shortcut.application_id = id.pwszVal;
    }
  }
  ::PropVariantClear(&id);
  return shortcut;
}

StoredValue text_value(const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  // The terminating NUL is counted in the size.
  return {REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

StoredValue number_value(DWORD number) {
  const auto* bytes = reinterpret_cast<const BYTE*>(&number);
  return {REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(number))};
}

bool key_exists(const std::wstring& subkey) {
  return read_user_key(subkey).has_value();
}

class ShellIntegrationTest : public testing::Test {
 protected:
  ShellIntegrationTest()
      : user_shell_(temp_.path()),
        other_run_value_(kRunKey, L"NeloTestOther"),
        local_app_data_(temp_.path() / L"Local") {
    // The installed launcher, as it lies in the root when the integration is written.
    std::filesystem::create_directories(install_root());
    std::filesystem::copy_file(launcher_exe(), installed_launcher_path());
    com_ = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  ~ShellIntegrationTest() override {
    if (SUCCEEDED(com_)) {
      ::CoUninitialize();
    }
  }

  std::filesystem::path desktop() const { return user_shell_.desktop(); }
  std::filesystem::path programs() const { return user_shell_.programs(); }
  std::filesystem::path desktop_shortcut() const { return desktop() / L"Nelo.lnk"; }
  std::filesystem::path programs_shortcut() const { return programs() / L"Nelo.lnk"; }

  void expect_shortcut_to_launcher(const std::filesystem::path& file) {
    SCOPED_TRACE(file.string());
    const auto shortcut = read_shortcut(file);
    ASSERT_TRUE(shortcut) << "the file does not load as a shortcut";
    const std::wstring launcher = installed_launcher_path().wstring();
    EXPECT_EQ(shortcut->target, launcher);
    EXPECT_EQ(shortcut->arguments, L"");
    EXPECT_EQ(shortcut->working_folder, install_root().wstring());
    EXPECT_EQ(shortcut->icon_path, launcher);
    EXPECT_EQ(shortcut->icon_index, 0);
    EXPECT_EQ(shortcut->description, L"Nelo");
    // Wine's shell link takes shell properties without keeping them (its property store is a
    // stub), so only Windows gives the id back; StoreApplicationId* check the calls made.
    if (!running_under_wine()) {
      EXPECT_EQ(shortcut->id_type, VT_BSTR);
      EXPECT_EQ(shortcut->application_id, kApplicationIdText);
    }
  }

  std::map<std::wstring, StoredValue> expected_entry(const std::wstring& version) const {
    const std::wstring launcher = installed_launcher_path().wstring();
    const std::wstring uninstall = L"\"" + launcher + L"\" --uninstall";
    return {
        {L"DisplayName", text_value(L"Nelo")},
        {L"DisplayVersion", text_value(version)},
        {L"Publisher", text_value(L"Talmer Ltda")},
        {L"DisplayIcon", text_value(L"\"" + launcher + L"\"")},
        {L"InstallLocation", text_value(install_root().wstring())},
        {L"UninstallString", text_value(uninstall)},
        {L"QuietUninstallString", text_value(uninstall)},
        {L"URLInfoAbout", text_value(L"https://nelo.com.br/")},
        {L"NoModify", number_value(1)},
        {L"NoRepair", number_value(1)},
    };
  }

  TempFolder temp_;
  ScopedUserShell user_shell_;
  ScopedUserValue other_run_value_;
  ScopedLocalAppData local_app_data_;
  HRESULT com_ = E_FAIL;
};

TEST_F(ShellIntegrationTest, ShortcutPathsAreTheDesktopThenTheStartMenuPrograms) {
  EXPECT_EQ(shortcut_paths(),
            (std::vector<std::filesystem::path>{desktop_shortcut(), programs_shortcut()}));
}

TEST_F(ShellIntegrationTest, WritesBothShortcutsToTheInstalledLauncher) {
  register_shell_integration("2.0.0");
  expect_shortcut_to_launcher(desktop_shortcut());
  expect_shortcut_to_launcher(programs_shortcut());
}

TEST_F(ShellIntegrationTest, WritesTheTenValuesOfTheUninstallEntryExactly) {
  register_shell_integration("2.0.0");
  const auto entry = read_user_key(kUninstallKey);
  ASSERT_TRUE(entry);
  EXPECT_EQ(*entry, expected_entry(L"2.0.0"));
}

TEST_F(ShellIntegrationTest, ANewVersionChangesOnlyTheDisplayVersion) {
  register_shell_integration("2.0.0");
  const auto before = read_user_key(kUninstallKey);
  register_shell_integration("2.0.1");
  const auto after = read_user_key(kUninstallKey);
  ASSERT_TRUE(before && after);
  auto expected = *before;
  expected[L"DisplayVersion"] = text_value(L"2.0.1");
  EXPECT_EQ(*after, expected);
  expect_shortcut_to_launcher(desktop_shortcut());
  expect_shortcut_to_launcher(programs_shortcut());
}

TEST_F(ShellIntegrationTest, ANonAsciiLabelIsStoredAsUtf16) {
  register_shell_integration("2.0 \xC3\xA9");  // "2.0 é" in UTF-8
  const auto entry = read_user_key(kUninstallKey);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->at(L"DisplayVersion"), text_value(L"2.0 \u00E9"));
}

TEST_F(ShellIntegrationTest, AnExistingShortcutIsReplaced) {
  write_file(desktop_shortcut(), "not a shortcut");
  register_shell_integration("2.0.0");
  expect_shortcut_to_launcher(desktop_shortcut());
}

TEST_F(ShellIntegrationTest, WithoutADesktopFolderTheStartMenuShortcutAndTheEntryAreWritten) {
  std::filesystem::remove(desktop());
  EXPECT_EQ(shortcut_paths(), (std::vector<std::filesystem::path>{programs_shortcut()}));
  register_shell_integration("2.0.0");
  EXPECT_FALSE(std::filesystem::exists(desktop())) << "the missing desktop must not be made";
  expect_shortcut_to_launcher(programs_shortcut());
  const auto entry = read_user_key(kUninstallKey);
  ASSERT_TRUE(entry);
  EXPECT_EQ(*entry, expected_entry(L"2.0.0"));
}

TEST_F(ShellIntegrationTest, AWriteProtectedDesktopShortcutStaysAsItWas) {
  write_file(desktop_shortcut(), "kept as it was");
  ASSERT_TRUE(::SetFileAttributesW(desktop_shortcut().c_str(), FILE_ATTRIBUTE_READONLY));
  // Wine lets its root user write a read-only file, so the file is also held open by "another
  // program" that allows others to read it only.
  unique_file held(::CreateFileW(desktop_shortcut().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  register_shell_integration("2.0.0");
  held.reset();
  EXPECT_EQ(read_file(desktop_shortcut()), "kept as it was");
  expect_shortcut_to_launcher(programs_shortcut());
  const auto entry = read_user_key(kUninstallKey);
  ASSERT_TRUE(entry);
  EXPECT_EQ(*entry, expected_entry(L"2.0.0"));
  ::SetFileAttributesW(desktop_shortcut().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ShellIntegrationTest, RemovalDeletesTheShortcutsTheEntryAndTheAutostartValue) {
  register_shell_integration("2.0.0");
  // A key below the entry goes with it.
  unique_hkey extra;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (kUninstallKey + L"\\Extra").c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, extra.put(), nullptr),
            ERROR_SUCCESS);
  extra.reset();
  unique_hkey run;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey.c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, run.put(), nullptr),
            ERROR_SUCCESS);
  const StoredValue command = text_value(L"\"C:\\Nelo\\Nelo.exe\" --hidden");
  for (const wchar_t* name : {kApplicationIdText, L"NeloTestOther"}) {
    ASSERT_EQ(::RegSetValueExW(run.get(), name, 0, REG_SZ, command.data.data(),
                               static_cast<DWORD>(command.data.size())),
              ERROR_SUCCESS);
  }

  remove_shell_integration();

  EXPECT_FALSE(std::filesystem::exists(desktop_shortcut()));
  EXPECT_FALSE(std::filesystem::exists(programs_shortcut()));
  EXPECT_FALSE(key_exists(kUninstallKey));
  const auto run_values = read_user_key(kRunKey);
  ASSERT_TRUE(run_values);
  EXPECT_FALSE(run_values->contains(kApplicationIdText));
  EXPECT_EQ(run_values->at(L"NeloTestOther"), command) << "other autostart values stay";
  EXPECT_TRUE(std::filesystem::exists(installed_launcher_path())) << "files are not its business";
}

TEST_F(ShellIntegrationTest, RemovalWithNothingThereChangesNothing) {
  const auto run_before = read_user_key(kRunKey);
  remove_shell_integration();
  EXPECT_FALSE(key_exists(kUninstallKey));
  EXPECT_EQ(read_user_key(kRunKey), run_before);
  EXPECT_TRUE(std::filesystem::is_empty(desktop()));
  EXPECT_TRUE(std::filesystem::is_empty(programs()));
}

TEST_F(ShellIntegrationTest, RemovalLeavesOtherFilesOfTheFolders) {
  write_file(desktop() / L"Nelo.txt", "mine");
  register_shell_integration("2.0.0");
  remove_shell_integration();
  EXPECT_EQ(read_file(desktop() / L"Nelo.txt"), "mine");
}

// Records what is done to it; fails the step named by `fail_at`. COM objects are released
// through Release, never deleted through the interface, so its destructor need not be virtual.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class RecordingPropertyStore final : public IPropertyStore {
 public:
  explicit RecordingPropertyStore(std::wstring fail_at = L"") : fail_at_(std::move(fail_at)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY, PROPVARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override {
    calls.push_back(L"SetValue");
    key_ = key;
    type = value.vt;
    if (value.vt == VT_BSTR && value.bstrVal != nullptr) {
      text = value.bstrVal;
      // A BSTR carries its length in bytes before the text.
      bstr_length = ::SysStringLen(value.bstrVal);
    }
    return fail_at_ == L"SetValue" ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit() override {
    calls.push_back(L"Commit");
    return fail_at_ == L"Commit" ? E_FAIL : S_OK;
  }

  bool key_is_application_user_model_id() const {
    const GUID format = {
        0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}};
    return ::IsEqualGUID(key_.fmtid, format) && key_.pid == 5;
  }

  std::vector<std::wstring> calls;
  VARTYPE type = VT_EMPTY;
  std::wstring text;
  UINT bstr_length = 0;

 private:
  std::wstring fail_at_;
  PROPERTYKEY key_{};
};
#pragma GCC diagnostic pop

TEST(StoreApplicationIdTest, SetsTheIdAsABstrThenCommits) {
  RecordingPropertyStore store;
  EXPECT_TRUE(store_application_id(store));
  EXPECT_EQ(store.calls, (std::vector<std::wstring>{L"SetValue", L"Commit"}));
  EXPECT_TRUE(store.key_is_application_user_model_id());
  EXPECT_EQ(store.type, VT_BSTR);
  EXPECT_EQ(store.text, kApplicationIdText);
  EXPECT_EQ(store.bstr_length, std::wstring(kApplicationIdText).size());
}

TEST(StoreApplicationIdTest, AFailedSetIsNotCommitted) {
  RecordingPropertyStore store(L"SetValue");
  EXPECT_FALSE(store_application_id(store));
  EXPECT_EQ(store.calls, (std::vector<std::wstring>{L"SetValue"}));
}

TEST(StoreApplicationIdTest, AFailedCommitFails) {
  RecordingPropertyStore store(L"Commit");
  EXPECT_FALSE(store_application_id(store));
}

}  // namespace
}  // namespace nelo
