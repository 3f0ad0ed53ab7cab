#include "nelo_publish/command_options.h"

#include <gtest/gtest.h>

namespace nelo::publish {
namespace {

TEST(CommandOptionsTest, ReadsNamesValuesFlagsAndPositionals) {
  const auto read = read_command_options({"ROOT", "--key", "k", "--expires=30d", "--delete"},
                                         {"key", "expires"}, {"delete"}, 1);
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(read->positional, std::vector<std::string>{"ROOT"});
  EXPECT_EQ(read->at("key"), "k");
  EXPECT_EQ(read->at("expires"), "30d");
  EXPECT_TRUE(read->has("delete"));
}

TEST(CommandOptionsTest, RefusesWhatTheCommandDoesNotTake) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--nope", "x"}, "opção desconhecida: --nope"},
      {{"--key"}, "falta o valor de --key"},
      {{"--key", "--expires", "1d"}, "falta o valor de --key"},
      {{"--key="}, "valor vazio em --key"},
      {{"--key", "a", "--key", "b"}, "--key dada mais de uma vez"},
      {{"ROOT", "OTHER"}, "argumento inesperado: \"OTHER\""},
      {{"--delete=yes"}, "--delete não leva valor"},
  };
  for (const auto& [arguments, message] : cases) {
    const auto read = read_command_options(arguments, {"key", "expires"}, {"delete"}, 1);
    ASSERT_FALSE(read.ok()) << message;
    EXPECT_EQ(read.message(), message);
  }
}

TEST(DurationTest, DaysHoursMinutesSeconds) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"30d", 30 * 86400},
      {"12h", 12 * 3600},
      {"45m", 45 * 60},
      {"600s", 600},
      {"1s", 1},
      {"3653d", 3653 * 86400},
      {"3654d", std::nullopt},  // past ten years
      {"0d", std::nullopt},
      {"d", std::nullopt},
      {"30", std::nullopt},
      {"30w", std::nullopt},
      {"-1d", std::nullopt},
      {"1.5h", std::nullopt},
      {" 1d", std::nullopt},
      {"99999999999d", std::nullopt},
  };
  for (const auto& [text, seconds] : cases) {
    const auto parsed = parse_duration(text);
    EXPECT_EQ(parsed.ok() ? std::optional(*parsed) : std::nullopt, seconds) << text;
  }
}

}  // namespace
}  // namespace nelo::publish
