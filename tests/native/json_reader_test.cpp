#include "base/json_reader.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <random>
#include <string>

#include "tests/native/manifest_dom_oracle.h"

namespace nelo {
namespace {

// Writes every event down, so that two readings can be compared.
struct Recorder {
  std::string events;
  void start_object() { events += "{"; }
  void end_object() { events += "}"; }
  void start_array() { events += "["; }
  void end_array() { events += "]"; }
  void key(std::string_view name) { events += "k:" + std::string(name) + ";"; }
  void string(std::string_view value) { events += "s:" + std::string(value) + ";"; }
  void unsigned_number(std::uint64_t value) { events += "u:" + std::to_string(value) + ";"; }
  void other_value() { events += "o;"; }
};

std::string read(std::string_view text) {
  Recorder recorder;
  return read_json(text, recorder) ? recorder.events : "<refused>";
}

TEST(JsonReaderTest, EventsOfWellFormedDocuments) {
  struct Case {
    std::string text;
    std::string events;
  };
  const Case cases[] = {
      {R"({"a": [1, "x", true, null, -1, 1.5, 2e3, {}]})", "{k:a;[u:1;s:x;o;o;o;o;o;{}]}"},
      {" \t\r\n[]\n ", "[]"},
      {"18446744073709551615", "u:18446744073709551615;"},
      {"18446744073709551616", "o;"},  // too large for 64 bits
      {"0", "u:0;"},
      {"-0", "o;"},
      {"1e-400", "o;"},  // too small for a double is only imprecise
      {"[-18446744073709551616, 1.7976931348623157e308]", "[o;o;]"},
      {R"("a\"b\\c\/d\b\f\n\r\t")", "s:a\"b\\c/d\b\f\n\r\t;"},
      {R"("\u00e9\u4e2d\ud83d\ude00")", "s:\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80;"},
      {R"("\u0000")", std::string("s:") + '\0' + ";"},
      {"\"\xC3\xA9\xF4\x8F\xBF\xBF\x7F\"", "s:\xC3\xA9\xF4\x8F\xBF\xBF\x7F;"},
      {R"({"k": 1, "k": 2})", "{k:k;u:1;k:k;u:2;}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read(c.text), c.events) << c.text;
  }
}

TEST(JsonReaderTest, RefusesWhatIsNotOneWellFormedValue) {
  const std::string cases[] = {
      "",
      " ",
      "{",
      "}",
      "[1,]",
      "{,}",
      "{\"a\" 1}",
      "{1: 2}",
      "[1 2]",
      "01",
      "-",
      "1.",
      ".5",
      "1e",
      "1e+",
      "+1",
      "tru",
      "nul",
      "[] []",
      "{} x",
      "\"abc",
      "\"a\x01\"",
      "\"\\x\"",
      "\"\\u12\"",
      "\"\\ud800\"",
      "\"\\udc00\"",
      "\"\\ud800\\u0041\"",
      "\"\xC0\x80\"",
      "\"\xED\xA0\x80\"",
      "\"\xF4\x90\x80\x80\"",
      "\"\xE2\x82\"",
      "\"\x80\"",
      "\"\xFF\"",
      "NaN",
      "[Infinity]",
      "'a'",
      "1e400",
      "-1e400",
      std::string(400, '9'),
  };
  for (const std::string& text : cases) {
    EXPECT_EQ(read(text), "<refused>") << text;
    EXPECT_TRUE(nlohmann::json::parse(text, nullptr, false).is_discarded())
        << "the reference reader agrees that it is refused: " << text;
  }
}

// Documents made by changing a valid manifest at random: every reading of them by the
// launcher's reader must equal the reading by whole tree.
TEST(ManifestReadingTest, TheEventReaderAgreesWithAWholeTreeOnMutatedManifests) {
  const std::string digest(64, 'a');
  const std::string seeds[] = {
      R"({"version": "1.0", "files": [{"path": "Nelo.exe", "sha256": ")" + digest +
          R"(", "size": 10, "zsize": 5}, {"path": "res\\a b.dll", "sha256": ")" + digest +
          R"(", "size": 18446744073709551615}]})",
      R"({"files": [{"sha256": ")" + digest + R"(", "path": "Nelo.exe", "path": "Nelo.exe",
          "size": -1, "zsize": 1.5, "x": {"path": "y"}}], "version": "2", "files2": []})",
      R"({"version": "1", "version": 3, "files": [], "files": [{"path": "Nelo.exe",
          "sha256": ")" +
          digest + R"(", "patches": [{"from": "x", "zsize": 3}]}]})",
      R"({"version": "1", "rollout": 25, "files": [{"path": "Nelo.exe", "sha256": ")" + digest +
          R"(", "patches": [{"from": ")" + std::string(64, 'B') + R"(", "zsize": 3},
          {"zsize": 1, "from": ")" +
          std::string(64, 'c') + R"(", "x": [1]}]}]})",
      R"({"version": "1", "launcher": {"sha256": ")" + digest +
          R"(", "size": 7, "zsize": 3, "patches": [{"from": ")" + std::string(64, 'b') +
          R"(", "zsize": 2}]}, "files": [{"path": "Nelo.exe", "sha256": ")" + digest +
          R"("}], "launcher": {"size": 1, "zsize": 1, "sha256": ")" + std::string(64, 'D') +
          R"("}})",
      R"({"version": "1", "files": [{"path": "Nelo.exe", "sha256": ")" + digest +
          R"(", "zsize": 5}, {"path": "b", "sha256": ")" + std::string(64, 'b') +
          R"(", "zsize": 3}], "packs": [{"name": ")" + std::string(64, 'E') +
          R"(", "size": 9, "members": [{"sha256": ")" + std::string(64, 'B') +
          R"(", "offset": 6}, {"offset": 0, "sha256": ")" + digest + R"("}]}, {"name": ")" +
          std::string(64, 'f') + R"(", "size": 5, "members": []}]})",
  };
  const std::string pieces[] = {"{",
                                "}",
                                "[",
                                "]",
                                ",",
                                ":",
                                "\"",
                                "\\",
                                "1",
                                "-",
                                ".",
                                "e",
                                "\"path\"",
                                "\"files\"",
                                "\"version\"",
                                "\"packs\"",
                                "\"offset\"",
                                "\"size\"",
                                "null",
                                "\"Nelo.exe\"",
                                "\\u00e9",
                                "\xC3\xA9",
                                " ",
                                "0",
                                "\"sha256\"",
                                "\"patches\"",
                                "\"from\"",
                                "\"rollout\"",
                                "101",
                                "100",
                                "\"launcher\"",
                                "\"zsize\""};
  std::mt19937 generator(11);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string document = seeds[generator() % std::size(seeds)];
    const int changes = 1 + static_cast<int>(generator() % 3);
    for (int i = 0; i < changes; ++i) {
      const std::size_t at = generator() % (document.size() + 1);
      switch (generator() % 3) {
        case 0:
          document.insert(at, pieces[generator() % std::size(pieces)]);
          break;
        case 1:
          document.erase(at, 1 + generator() % 4);
          break;
        default:
          if (at < document.size()) {
            document[at] = static_cast<char>(generator());
          }
      }
    }
    if (document.find('\0') != std::string::npos) {
      continue;  // refused before any reading
    }
    const std::string expected = testing_support::oracle_reading(document);
    const std::string got = testing_support::launcher_reading(parse_release_manifest(document));
    ASSERT_EQ(got, expected) << document;
    accepted += expected.find('\n') != std::string::npos;
  }
  EXPECT_GT(accepted, 100) << "the mutations keep enough documents valid to compare";
}

TEST(ManifestReadingTest, AReaderThatKnowsNoPatchesNorSharesPassesThemOver) {
  // What the launchers before these fields read: the same files, the fields left out.
  const std::string digest(64, 'a');
  const std::string document =
      R"({"version": "2.0", "rollout": 30, "files": [{"path": "Nelo.exe", "sha256": ")" + digest +
      R"(", "size": 4, "zsize": 3, "patches": [{"from": ")" + std::string(64, 'b') +
      R"(", "zsize": 2}]}]})";
  EXPECT_EQ(testing_support::oracle_reading(document, /*with_later_fields=*/false),
            "2.0 -\nNelo.exe " + digest + " 4 3\n");
  EXPECT_EQ(testing_support::launcher_reading(parse_release_manifest(document)),
            "2.0 30\nNelo.exe " + digest + " 4 3 " + std::string(64, 'b') + ":2\n");
}

}  // namespace
}  // namespace nelo
