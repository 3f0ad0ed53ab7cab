#include "base/win_support.h"

#include <dwrite.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "main/launcher_update.h"
#include "main/run_modes.h"
#include "main/self_install.h"
#include "main/standard_output_win.h"
#include "release/release_signature.h"
#include "ui/typeface_win.h"

namespace nelo {
namespace {

// The resources the window and the installed-programs list show: the icon group and the version
// record.
Status check_resources() {
  if (::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)) ==
      nullptr) {  // RT_GROUP_ICON
    return fail("sem o ícone: " + last_error_text());
  }
  if (::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)) ==
      nullptr) {  // RT_VERSION
    return fail("sem a versão: " + last_error_text());
  }
  return {};
}

// The embedded typeface loads into DirectWrite as the window loads it.
Status check_typeface() {
  Microsoft::WRL::ComPtr<IDWriteFactory> factory;
  const HRESULT made = ::DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                             reinterpret_cast<IUnknown**>(factory.GetAddressOf()));
  if (FAILED(made)) {
    return fail("sem DirectWrite: " + hresult_text(made));
  }
  const TypeFace face = register_embedded_font(factory.Get());
  if (!face.collection || face.collection->GetFontFamilyCount() == 0) {
    return fail("a fonte embutida não carrega");
  }
  return {};
}

// The program's own file reads to its end: a file cut short or unreadable fails here.
Status check_own_file() {
  const auto self = running_executable();
  if (!self) {
    return self.error();
  }
  unique_file file(::CreateFileW(self->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size)) {
    return fail("o próprio arquivo não abre: " + last_error_text());
  }
  std::vector<char> buffer(1 << 20);
  std::uint64_t total = 0;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      return fail("o próprio arquivo não se lê: " + last_error_text());
    }
    if (read == 0) {
      break;
    }
    total += read;
  }
  if (total != static_cast<std::uint64_t>(size.QuadPart)) {
    return fail("o próprio arquivo não se lê inteiro");
  }
  return {};
}

}  // namespace

// What an updater runs before this program becomes the installed launcher: everything it needs
// to run is checked, nothing is changed, and one line says the outcome.
void run_self_test_mode() {
  for (Status (*check)() : {check_resources, check_typeface, check_own_file}) {
    if (Status checked = check(); !checked) {
      write_output_line("self-test failed: " + checked.message());
      return;
    }
  }
  const Result<std::size_t> keys = check_built_in_release_keys();
  if (!keys) {
    write_output_line("self-test failed: " + keys.message());
    return;
  }
  write_output_line(self_test_line(*keys));
}

}  // namespace nelo
