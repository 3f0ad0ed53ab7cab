#include "main/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf.h"

namespace nelo {
namespace {

std::vector<std::string> split(const std::u16string& line) {
  std::vector<std::string> out;
  for (const auto& argument : split_command_line(line)) {
    out.push_back(utf16_to_utf8_lossy(argument));
  }
  return out;
}

struct SplitCase {
  std::u16string line;
  std::vector<std::string> expected;
};

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, GivesTheArgumentsOfTheCRuntime) {
  EXPECT_EQ(split(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitTest,
    testing::Values(
        SplitCase{u"", {}}, SplitCase{u"prog", {"prog"}},
        SplitCase{u"prog a b", {"prog", "a", "b"}},
        SplitCase{u"prog  \t a\t\tb  ", {"prog", "a", "b"}},
        // The documented examples of the C runtime's rules.
        SplitCase{u"prog \"abc\" d e", {"prog", "abc", "d", "e"}},
        SplitCase{u"prog a\\\\\\b d\"e f\"g h", {"prog", "a\\\\\\b", "de fg", "h"}},
        SplitCase{u"prog a\\\\\\\"b c d", {"prog", "a\\\"b", "c", "d"}},
        SplitCase{u"prog a\\\\\\\\\"b c\" d e", {"prog", "a\\\\b c", "d", "e"}},
        SplitCase{u"prog a\"b\"\" c d", {"prog", "ab\" c d"}},
        // Two quotes inside quotes give one literal quote and stay inside.
        SplitCase{u"prog \"a\"\"b c\" d", {"prog", "a\"b c", "d"}},
        SplitCase{u"prog \"\"\"\"", {"prog", "\""}},
        // Outside quotes, two quotes open and close: nothing is kept.
        SplitCase{u"prog a\"\"b", {"prog", "ab"}}, SplitCase{u"prog \"\" x", {"prog", "", "x"}},
        SplitCase{u"prog \"\"", {"prog", ""}},
        SplitCase{u"prog \"open quote runs to the end", {"prog", "open quote runs to the end"}},
        SplitCase{u"prog back\\slash\\\\ tail\\", {"prog", "back\\slash\\\\", "tail\\"}},
        SplitCase{u"prog \\\\\\\\\"", {"prog", "\\\\"}},
        // The program name: quotes toggle and vanish; backslashes are plain characters there.
        SplitCase{u"\"C:\\Program Files\\Nelo\\Nelo.exe\" --hidden",
                  {"C:\\Program Files\\Nelo\\Nelo.exe", "--hidden"}},
        SplitCase{u"C:\\dir\\\"a b\"c d", {"C:\\dir\\a bc", "d"}},
        SplitCase{u"\"prog\\\" x", {"prog\\", "x"}}, SplitCase{u" prog x", {"", "prog", "x"}},
        SplitCase{u"\"--stage\"", {"--stage"}}));

struct ModeCase {
  std::u16string line;
  RunMode mode;
};

class ModeTest : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeTest, PicksTheMode) {
  EXPECT_EQ(parse_command_line(GetParam().line), GetParam().mode)
      << utf16_to_utf8_lossy(GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, ModeTest,
    testing::Values(ModeCase{u"", RunMode::Normal}, ModeCase{u"Nelo.exe", RunMode::Normal},
                    ModeCase{u"Nelo.exe --hidden", RunMode::Hidden},
                    ModeCase{u"Nelo.exe x --hidden y", RunMode::Hidden},
                    ModeCase{u"Nelo.exe \"--hidden\"", RunMode::Hidden},
                    ModeCase{u"Nelo.exe --stage", RunMode::Stage},
                    ModeCase{u"Nelo.exe --hidden --stage", RunMode::Stage},
                    ModeCase{u"Nelo.exe --uninstall", RunMode::Uninstall},
                    ModeCase{u"Nelo.exe --stage --uninstall", RunMode::Uninstall},
                    ModeCase{u"Nelo.exe --uninstall --stage", RunMode::Uninstall},
                    ModeCase{u"Nelo.exe --self-test", RunMode::SelfTest},
                    // Whatever comes with it, the self-test never uninstalls nor stages.
                    ModeCase{u"Nelo.exe --uninstall --self-test --stage", RunMode::SelfTest},
                    ModeCase{u"Nelo.exe --self-test=1", RunMode::Normal},
                    ModeCase{u"--self-test", RunMode::Normal},
                    // Near misses are ordinary, ignored arguments.
                    ModeCase{u"Nelo.exe --Uninstall", RunMode::Normal},
                    ModeCase{u"Nelo.exe --STAGE", RunMode::Normal},
                    ModeCase{u"Nelo.exe \"--uninst all\"", RunMode::Normal},
                    ModeCase{u"Nelo.exe --uninstall=yes", RunMode::Normal},
                    ModeCase{u"Nelo.exe -hidden", RunMode::Normal},
                    ModeCase{u"Nelo.exe --hidden2", RunMode::Normal},
                    // The program's own name is never an argument.
                    ModeCase{u"--stage", RunMode::Normal},
                    ModeCase{u"--uninstall --hidden", RunMode::Hidden}));

TEST(CommandLineTest, AnUnpairedSurrogateNeverMatchesAFlag) {
  std::u16string line = u"Nelo.exe --stage";
  line.push_back(char16_t{0xD800});
  EXPECT_EQ(parse_command_line(line), RunMode::Normal);

  const auto arguments = split_command_line(line);
  ASSERT_EQ(arguments.size(), 2u);
  EXPECT_EQ(utf16_to_utf8_lossy(arguments[1]), "--stage\xEF\xBF\xBD");
}

TEST(CommandLineTest, NonAsciiArgumentsKeepTheirText) {
  const auto arguments = split_command_line(u"p \"ação\" 😀");
  ASSERT_EQ(arguments.size(), 3u);
  EXPECT_EQ(utf16_to_utf8_lossy(arguments[1]), "ação");
  EXPECT_EQ(utf16_to_utf8_lossy(arguments[2]), "😀");
}

}  // namespace
}  // namespace nelo
