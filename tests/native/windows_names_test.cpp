#include "release/windows_names.h"

#include <gtest/gtest.h>

#include <string>

namespace nelo {
namespace {

struct NameCase {
  std::string name;
  bool plain;
};

class WindowsNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(WindowsNameTest, TellsPlainNames) {
  EXPECT_EQ(is_plain_windows_name(GetParam().name), GetParam().plain) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, WindowsNameTest,
    testing::Values(NameCase{"1.2.3", true}, NameCase{"2.0 beta", true}, NameCase{"versão", true},
                    NameCase{".manifest.json", true}, NameCase{"..hidden", true},
                    NameCase{"CONSOLE", true}, NameCase{"COM10", true}, NameCase{"LPT", true},
                    NameCase{"nul-1", true}, NameCase{"xnul", true}, NameCase{"", false},
                    NameCase{".", false}, NameCase{"..", false}, NameCase{"1.0.", false},
                    NameCase{"1.0 ", false}, NameCase{"a/b", false}, NameCase{"a\\b", false},
                    NameCase{"C:", false}, NameCase{"a:b", false}, NameCase{"a*", false},
                    NameCase{"a?", false}, NameCase{"\"a\"", false}, NameCase{"a<b", false},
                    NameCase{"a>b", false}, NameCase{"a|b", false}, NameCase{"tab\there", false},
                    NameCase{std::string("a\0b", 3), false}, NameCase{"CON", false},
                    NameCase{"con", false}, NameCase{"Prn", false}, NameCase{"aux", false},
                    NameCase{"NUL", false}, NameCase{"nul.1", false}, NameCase{"nul.tar.gz", false},
                    NameCase{"NUL .txt", false}, NameCase{"COM0", false}, NameCase{"com9", false},
                    NameCase{"LPT1", false}, NameCase{"lpt0.log", false},
                    NameCase{"COM\xC2\xB9", false}, NameCase{"lpt\xC2\xB3.x", false},
                    NameCase{"CONIN$", false}, NameCase{"conout$", false}));

TEST(ShortNameFormTest, TheFormsWindowsGivesLongNames) {
  const std::pair<const char*, bool> cases[] = {
      {"LONGFI~1.DLL", true}, {"PROGRA~1", true},    {"a~9.txt", true},
      {"ABCDEF~12.x", false}, {"~1", true},          {"X~1.ABCD", false},
      {"file~.txt", false},   {"file~a.txt", false}, {"my~1file-long-name.txt", false},
      {"A~1.B.C", false},     {"setup.dll", false},  {"LONGFI~1.", true},
  };
  for (const auto& [name, short_form] : cases) {
    EXPECT_EQ(has_short_name_form(name), short_form) << name;
  }
}

}  // namespace
}  // namespace nelo
