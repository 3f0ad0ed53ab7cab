#include "install/shell_integration.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

std::vector<std::uint8_t> utf16le_with_nul(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

TEST(UninstallEntryTest, HoldsTheTenValuesInOrderWithTheirExactBytes) {
  const std::u16string root = u"C:\\Users\\João Ñ\\AppData\\Local\\Nelo";
  const std::u16string launcher = root + u"\\Nelo.exe";
  const auto values = uninstall_entry_values(u"2.0.1", launcher, root);

  struct Expected {
    std::u16string name;
    RegistryType type;
    std::vector<std::uint8_t> data;
  };
  const std::u16string uninstall = u"\"" + launcher + u"\" --uninstall";
  const Expected expected[] = {
      {u"DisplayName", RegistryType::Text, utf16le_with_nul(u"Nelo")},
      {u"DisplayVersion", RegistryType::Text, utf16le_with_nul(u"2.0.1")},
      {u"Publisher", RegistryType::Text, utf16le_with_nul(u"Talmer Ltda")},
      {u"DisplayIcon", RegistryType::Text, utf16le_with_nul(u"\"" + launcher + u"\"")},
      {u"InstallLocation", RegistryType::Text, utf16le_with_nul(root)},
      {u"UninstallString", RegistryType::Text, utf16le_with_nul(uninstall)},
      {u"QuietUninstallString", RegistryType::Text, utf16le_with_nul(uninstall)},
      {u"URLInfoAbout", RegistryType::Text, utf16le_with_nul(u"https://nelo.com.br/")},
      {u"NoModify", RegistryType::Number, {1, 0, 0, 0}},
      {u"NoRepair", RegistryType::Number, {1, 0, 0, 0}},
  };
  ASSERT_EQ(values.size(), std::size(expected));
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(values[i].name == expected[i].name);
    EXPECT_EQ(values[i].type, expected[i].type);
    EXPECT_EQ(values[i].data, expected[i].data);
  }
}

TEST(UninstallEntryTest, TextIsLittleEndianUtf16WithItsNulCounted) {
  // "ã" is one unit; U+1F600 is a surrogate pair.
  const auto values = uninstall_entry_values(u"ã\U0001F600", u"L", u"R");
  EXPECT_EQ(values[1].data, (std::vector<std::uint8_t>{0xE3, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
  // An empty path still stores its NUL.
  EXPECT_EQ(uninstall_entry_values(u"1", u"L", u"")[4].data, (std::vector<std::uint8_t>{0, 0}));
}

}  // namespace
}  // namespace nelo
