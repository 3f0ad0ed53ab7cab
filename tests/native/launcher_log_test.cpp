#include "install/launcher_log.h"

#include <gtest/gtest.h>

#include "base/error_code_text.h"

namespace nelo {
namespace {

constexpr std::uint64_t kUnixEpoch = 116444736000000000;  // 1970 in 100 ns units since 1601

TEST(LauncherLogTest, StampIsWholeSecondsSince1970) {
  struct Case {
    std::uint64_t file_time;
    std::uint64_t stamp;
  };
  const Case cases[] = {
      {kUnixEpoch, 0},
      {kUnixEpoch + 9'999'999, 0},  // the remainder is dropped
      {kUnixEpoch + 10'000'000, 1},
      {kUnixEpoch + 17'000'000'000'000'000ull, 1'700'000'000},
      {kUnixEpoch + 17'000'000'009'999'999ull, 1'700'000'000},
      {kUnixEpoch - 1, 0},  // a clock before 1970
      {0, 0},
      {UINT64_MAX, (UINT64_MAX - kUnixEpoch) / 10'000'000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(log_stamp(c.file_time), c.stamp) << c.file_time;
  }
}

TEST(LauncherLogTest, LineIsStampBlankMessageAndLineFeed) {
  EXPECT_EQ(log_line(1700000000, "janela: criar Acesso negado. (0x80070005)"),
            "1700000000 janela: criar Acesso negado. (0x80070005)\n");
  EXPECT_EQ(log_line(0, ""), "0 \n");
  // The message is written unchanged, blanks and all, without CR.
  EXPECT_EQ(log_line(7, "  two  blanks "), "7   two  blanks \n");
}

TEST(LauncherLogTest, ErrorTextShowsMessageAndCode) {
  struct Case {
    const char* message;
    std::uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {"Não há memória suficiente.\r\n", 0x8007000E, "Não há memória suficiente. (0x8007000E)"},
      {"Falha não especificada ", 0x80004005, "Falha não especificada (0x80004005)"},
      {"", 0x88990001, "0x88990001"},  // no message: only the code, without parentheses
      {"\r\n", 0x0000ABCD, "0x0000ABCD"},
      {"x", 0, "x (0x00000000)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(error_code_text(c.message, c.code), c.text);
  }
}

}  // namespace
}  // namespace nelo
