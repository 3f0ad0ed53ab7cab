#include "install/install_layout.h"

#include "base/environment_win.h"
#include "base/utf.h"
#include "base/utf8_path.h"
#include "base/wide_text_win.h"

namespace nelo {

std::filesystem::path install_root() {
  std::filesystem::path base = L".";
  const auto local_app_data = environment_variable(L"LOCALAPPDATA");
  if (local_app_data && utf16_to_utf8(*local_app_data)) {
    base = to_wide(*local_app_data);
  }
  return base / L"Nelo";
}

std::filesystem::path versions_dir() {
  return install_root() / L"versions";
}

std::filesystem::path version_dir(std::string_view label) {
  return versions_dir() / path_from_utf8(label);
}

std::filesystem::path installed_launcher_path() {
  return install_root() / L"Nelo.exe";
}

std::filesystem::path downloads_dir() {
  return install_root() / L"downloads";
}

}  // namespace nelo
