#include "install/shell_integration.h"

#include "base/product.h"
#include "base/utf.h"

namespace nelo {
namespace {

// The product constants are plain ASCII, so the conversion cannot fail.
std::u16string widen(std::string_view text) {
  return utf8_to_utf16(text).value_or(std::u16string());
}

RegistryValue text_value(std::u16string_view name, std::u16string_view text) {
  RegistryValue value{std::u16string(name), RegistryType::Text, {}};
  value.data.reserve((text.size() + 1) * 2);
  for (const char16_t unit : text) {
    value.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  // The terminating NUL is part of the stored data.
  value.data.push_back(0);
  value.data.push_back(0);
  return value;
}

RegistryValue number_value(std::u16string_view name, std::uint32_t number) {
  RegistryValue value{std::u16string(name), RegistryType::Number, {}};
  for (int shift = 0; shift < 32; shift += 8) {
    value.data.push_back(static_cast<std::uint8_t>((number >> shift) & 0xFF));
  }
  return value;
}

}  // namespace

std::vector<RegistryValue> uninstall_entry_values(std::u16string_view version,
                                                  std::u16string_view launcher_path,
                                                  std::u16string_view root_path) {
  std::u16string quoted_launcher;
  quoted_launcher.append(u"\"").append(launcher_path).append(u"\"");
  std::u16string uninstall_command = quoted_launcher;
  uninstall_command.append(u" --uninstall");
  return {
      text_value(u"DisplayName", widen(kProductName)),
      text_value(u"DisplayVersion", version),
      text_value(u"Publisher", widen(kPublisher)),
      text_value(u"DisplayIcon", quoted_launcher),
      text_value(u"InstallLocation", root_path),
      text_value(u"UninstallString", uninstall_command),
      text_value(u"QuietUninstallString", uninstall_command),
      text_value(u"URLInfoAbout", widen(kInfoAboutAddress)),
      number_value(u"NoModify", 1),
      number_value(u"NoRepair", 1),
  };
}

}  // namespace nelo
