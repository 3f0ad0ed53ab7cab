#include "nelo_publish/command.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include "tests/native/publish_support.h"

namespace nelo::publish {
namespace {

using namespace nelo::testing_support;

struct ArgumentsCase {
  std::vector<std::string> arguments;
  bool ok;
  bool help = false;
  std::string version = {};
  std::string from = {};
  std::string to = {};
  int quality = kDefaultQuality;
};

void PrintTo(const ArgumentsCase& c, std::ostream* out) {
  *out << testing::PrintToString(c.arguments);
}

class PublishArgumentsTest : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(PublishArgumentsTest, ReadsTheCommandLine) {
  const ArgumentsCase& c = GetParam();
  const Result<PublishCommand> command = parse_publish_arguments(c.arguments);
  ASSERT_EQ(command.ok(), c.ok) << (command.ok() ? "" : command.message());
  if (!c.ok) {
    return;
  }
  EXPECT_EQ(command->help, c.help);
  if (!c.help) {
    EXPECT_EQ(command->options.version, c.version);
    EXPECT_EQ(command->options.from, fs::path(c.from));
    EXPECT_EQ(command->options.to, fs::path(c.to));
    EXPECT_EQ(command->options.quality, c.quality);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, PublishArgumentsTest,
    testing::Values(
        ArgumentsCase{
            {"--version", "1.2", "--from", "r", "--to", "s"}, true, false, "1.2", "r", "s"},
        ArgumentsCase{
            {"--to", "s", "--from", "r", "--version", "1.2"}, true, false, "1.2", "r", "s"},
        ArgumentsCase{{"--version=1.2", "--from=r", "--to=s", "--quality=0"},
                      true,
                      false,
                      "1.2",
                      "r",
                      "s",
                      0},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "5"},
                      true,
                      false,
                      "1",
                      "r",
                      "s",
                      5},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "11"},
                      true,
                      false,
                      "1",
                      "r",
                      "s",
                      11},
        ArgumentsCase{
            {"--version", "1", "--from", "a b/ç", "--to", "s"}, true, false, "1", "a b/ç", "s"},
        ArgumentsCase{{"--help"}, true, true}, ArgumentsCase{{"-h"}, true, true},
        ArgumentsCase{{"--version", "1", "--bogus", "--help"}, true, true},
        ArgumentsCase{{}, false}, ArgumentsCase{{"--version", "1", "--from", "r"}, false},
        ArgumentsCase{{"--version", "1", "--to", "s"}, false},
        ArgumentsCase{{"--from", "r", "--to", "s"}, false},
        ArgumentsCase{{"--version", "--from", "r", "--to", "s"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to"}, false},
        ArgumentsCase{{"--version=", "--from", "r", "--to", "s"}, false},
        ArgumentsCase{{"--version", "1", "--version", "2", "--from", "r", "--to", "s"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "extra"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--level", "3"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "12"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "-1"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "x"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality", "011"}, false},
        ArgumentsCase{{"--version", "1", "--from", "r", "--to", "s", "--quality=5x"}, false}));

struct CommandRun {
  int code = -1;
  std::string out;
  std::string err;
};

CommandRun run_command(const std::vector<std::string>& arguments, bool terminal) {
  CommandRun run;
  run.code = run_publish_command(
      arguments, terminal, [&run](std::string_view text) { run.out += text; },
      [&run](std::string_view text) { run.err += text; });
  return run;
}

TEST(PublishCommandTest, HelpPrintsUsageAndSucceeds) {
  const CommandRun run = run_command({"--help"}, false);
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("--version"), std::string::npos);
  EXPECT_NE(run.out.find("--quality"), std::string::npos);
  EXPECT_EQ(run.err, "");
}

TEST(PublishCommandTest, BadUsageExitsWithTwo) {
  TempFolder temp;
  const CommandRun run = run_command({"--version", "1", "--from", temp.path().string(), "--to",
                                      (temp.path() / "s").string(), "--quality", "99"},
                                     false);
  EXPECT_EQ(run.code, 2);
  EXPECT_NE(run.err.find("--quality"), std::string::npos);
  EXPECT_FALSE(fs::exists(temp.path() / "s"));
}

TEST(PublishCommandTest, RefusalExitsWithOneAndSaysWhy) {
  TempFolder temp;
  make_release(temp.path() / "release", {{"readme.txt", "no program"}});
  const CommandRun run =
      run_command({"--version", "1", "--from", (temp.path() / "release").string(), "--to",
                   (temp.path() / "root").string()},
                  true);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("Nelo.exe"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(temp.path() / "root"));
}

TEST(PublishCommandTest, PacksAreOnUnlessTurnedOff) {
  const struct {
    std::vector<std::string> extra;
    std::optional<bool> packs;  // nothing: refused
  } cases[] = {
      {{}, true},
      {{"--packs", "on"}, true},
      {{"--packs=off"}, false},
      {{"--packs", "no"}, std::nullopt},
      {{"--packs", "OFF"}, std::nullopt},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"--version", "1", "--from", "r", "--to", "s"};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const Result<PublishCommand> command = parse_publish_arguments(arguments);
    ASSERT_EQ(command.ok(), c.packs.has_value()) << testing::PrintToString(c.extra);
    if (command.ok()) {
      EXPECT_EQ(command->options.packs, *c.packs) << testing::PrintToString(c.extra);
    } else {
      EXPECT_NE(command.message().find("--packs"), std::string::npos);
    }
  }
}

TEST(PublishCommandTest, WithoutPacksTheTreeAndTheManifestHaveNone) {
  TempFolder temp;
  make_release(temp.path() / "release", kRelease);
  const CommandRun run =
      run_command({"--version", "2.0", "--from", (temp.path() / "release").string(), "--to",
                   (temp.path() / "root").string(), "--quality", "1", "--packs", "off"},
                  false);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find(" 0 pacotes"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(temp.path() / "root/app/packs"));
  const std::string document = read_file(temp.path() / "root/app/manifest.json");
  EXPECT_EQ(document.find("\"packs\""), std::string::npos);
  expect_published(temp.path() / "root", "2.0", kRelease);
}

TEST(PublishCommandTest, PublishesAndSaysWhat) {
  TempFolder temp;
  make_release(temp.path() / "release", kRelease);
  const CommandRun run =
      run_command({"--version", "2.0", "--from", (temp.path() / "release").string(), "--to",
                   (temp.path() / "root").string(), "--quality", "1"},
                  false);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("2.0"), std::string::npos);
  expect_published(temp.path() / "root", "2.0", kRelease);
}

// Progress shows on a terminal, for a large release only.
struct ProgressCase {
  std::string name;
  size_t release_bytes;
  bool terminal;
  bool shown;
};

void PrintTo(const ProgressCase& c, std::ostream* out) {
  *out << c.name;
}

class PublishProgressTest : public testing::TestWithParam<ProgressCase> {};

TEST_P(PublishProgressTest, ShowsProgressOnlyWhenItHelps) {
  TempFolder temp;
  const fs::path release = temp.path() / "release";
  // Incompressible halves at quality 0: quick to publish.
  make_release(release, {{"Nelo.exe", random_bytes(GetParam().release_bytes / 2, 4)},
                         {"data/big.bin", random_bytes(GetParam().release_bytes / 2, 5)}});
  const CommandRun run = run_command({"--version", "1", "--from", release.string(), "--to",
                                      (temp.path() / "root").string(), "--quality", "0"},
                                     GetParam().terminal);
  ASSERT_EQ(run.code, 0) << run.err;
  if (GetParam().shown) {
    EXPECT_NE(run.err.find("lendo 2/2 arquivos"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("comprimindo 2/2 objetos"), std::string::npos) << run.err;
    EXPECT_TRUE(run.err.ends_with("\n"));
  } else {
    EXPECT_EQ(run.err, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PublishProgressTest,
    testing::Values(ProgressCase{"LargeOnTerminal", kProgressThreshold + 1024 * 1024, true, true},
                    ProgressCase{"LargeNotOnTerminal", kProgressThreshold + 1024 * 1024, false,
                                 false},
                    ProgressCase{"SmallOnTerminal", kProgressThreshold - 1024 * 1024, true, false}),
    [](const testing::TestParamInfo<ProgressCase>& param) { return param.param.name; });

}  // namespace
}  // namespace nelo::publish
