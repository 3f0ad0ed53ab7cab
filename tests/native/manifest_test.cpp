#include "release/manifest.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/expect_ok.h"

namespace nelo {
namespace {

const std::string kDigest(64, 'a');
const std::string kOtherDigest(64, 'b');

std::string entry(const std::string& path, const std::string& digest = kDigest,
                  const std::string& extra = "") {
  std::string escaped;
  for (char c : path) {
    if (c == '\\' || c == '"') {
      escaped.push_back('\\');
    }
    escaped.push_back(c);
  }
  return "{\"path\": \"" + escaped + "\", \"sha256\": \"" + digest + "\"" + extra + "}";
}

std::string manifest(const std::string& files, const std::string& version = "\"1.0\"") {
  return "{\"version\": " + version + ", \"files\": [" + files + "]}";
}

const std::string kProgram = entry("Nelo.exe");

std::string launcher_entry(const std::string& digest = kDigest, std::uint64_t size = 10,
                           std::uint64_t zsize = 5, const std::string& extra = "") {
  return "{\"sha256\": \"" + digest + "\", \"size\": " + std::to_string(size) +
         ", \"zsize\": " + std::to_string(zsize) + extra + "}";
}

std::string with_launcher(const std::string& launcher) {
  return "{\"version\": \"1\", \"launcher\": " + launcher + ", \"files\": [" + kProgram + "]}";
}

std::string nested(int depth) {
  // `depth` containers nested in all: the manifest object holding depth - 1 nested arrays.
  std::string inner;
  for (int i = 0; i < depth - 1; ++i) {
    inner += "[";
  }
  for (int i = 0; i < depth - 1; ++i) {
    inner += "]";
  }
  return "{\"version\": \"1\", \"deep\": " + (inner.empty() ? std::string("0") : inner) +
         ", \"files\": [" + kProgram + "]}";
}

struct Case {
  std::string name;
  std::string document;
  std::string message;  // empty: accepted
};

class ManifestRulesTest : public testing::TestWithParam<Case> {};

TEST_P(ManifestRulesTest, AppliesTheRulesInOrder) {
  const auto parsed = parse_release_manifest(GetParam().document);
  if (GetParam().message.empty()) {
    EXPECT_OK(parsed) << GetParam().document << "\n" << parsed.message();
  } else {
    ASSERT_FALSE(parsed.ok()) << GetParam().document;
    EXPECT_EQ(parsed.message(), GetParam().message) << GetParam().document;
  }
}

std::string case_name(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, ManifestRulesTest,
    testing::Values(
        Case{"Minimal", manifest(kProgram), ""},
        Case{"SurroundingWhiteSpace", " \t\r\n" + manifest(kProgram) + "\n\r\t ", ""},
        Case{"OtherKeysIgnored",
             "{\"x\": 1, \"version\": \"1\", \"files\": [" +
                 entry("Nelo.exe", kDigest, ", \"q\": [1]") + "], \"extra\": {\"a\": null}}",
             ""},
        // Rule 1: one JSON value and only white space around it.
        Case{"Empty", "", "lista inválida"},
        Case{"ByteOrderMark", "\xEF\xBB\xBF" + manifest(kProgram), "lista inválida"},
        Case{"TrailingGarbage", manifest(kProgram) + "x", "lista inválida"},
        Case{"TwoValues", manifest(kProgram) + manifest(kProgram), "lista inválida"},
        Case{"TrailingNul", manifest(kProgram) + std::string(1, '\0'), "lista inválida"},
        Case{"TrailingFormFeed", manifest(kProgram) + "\f", "lista inválida"},
        Case{"Truncated", manifest(kProgram).substr(0, 20), "lista inválida"},
        Case{"Comment", "/* c */" + manifest(kProgram), "lista inválida"},
        Case{"InvalidUtf8InString", manifest(entry("Nelo.exe") + "," + entry("a\xFF")),
             "lista inválida"},
        Case{"Depth128", nested(128), ""}, Case{"Depth129", nested(129), "lista inválida"},
        Case{"DeepGarbage", std::string(100000, '['), "lista inválida"},
        Case{"BracketsInStringsDoNotCount",
             "{\"version\": \"1\", \"s\": \"" + std::string(300, '[') + "\", \"files\": [" +
                 kProgram + "]}",
             ""},
        // Rule 2: the version.
        Case{"TopLevelArray", "[" + manifest(kProgram) + "]", "lista sem versão"},
        Case{"TopLevelString", "\"1.0\"", "lista sem versão"},
        Case{"NoVersion", "{\"files\": [" + kProgram + "]}", "lista sem versão"},
        Case{"NumberVersion", manifest(kProgram, "1"), "lista sem versão"},
        Case{"EmptyVersion", manifest(kProgram, "\"\""), "lista sem versão"},
        Case{"BetaVersion", manifest(kProgram, "\"1.2.3-beta\""), ""},
        Case{"PlusVersion", manifest(kProgram, "\"1.2+3\""), "lista sem versão"},
        Case{"BlankVersion", manifest(kProgram, "\"1 2\""), "lista sem versão"},
        Case{"UnderscoreVersion", manifest(kProgram, "\"1_2\""), "lista sem versão"},
        Case{"AccentVersion", manifest(kProgram, "\"versão\""), "lista sem versão"},
        Case{"DotVersion", manifest(kProgram, "\".\""), "lista sem versão"},
        Case{"DotDotVersion", manifest(kProgram, "\"..\""), "lista sem versão"},
        Case{"TrailingDotVersion", manifest(kProgram, "\"1.0.\""), "lista sem versão"},
        Case{"DeviceVersion", manifest(kProgram, "\"nul\""), "lista sem versão"},
        Case{"DeviceDotVersion", manifest(kProgram, "\"nul.1\""), "lista sem versão"},
        Case{"ComVersion", manifest(kProgram, "\"COM1\""), "lista sem versão"},
        Case{"LptVersion", manifest(kProgram, "\"Lpt9.2\""), "lista sem versão"},
        Case{"Com10Version", manifest(kProgram, "\"COM10\""), ""},
        Case{"StagingFolderVersion", manifest(kProgram, "\"2.0.partial\""), "lista sem versão"},
        Case{"StagingFolderVersionUpper", manifest(kProgram, "\"2.0.PARTIAL\""),
             "lista sem versão"},
        Case{"PartialInsideVersion", manifest(kProgram, "\"2.0.partial-1\""), ""},
        Case{"LeadingDotVersion", manifest(kProgram, "\".1\""), ""},
        // The last occurrence of a repeated key counts.
        Case{"DuplicateVersionLastValid",
             "{\"version\": \"bad version\", \"version\": \"1\", \"files\": [" + kProgram + "]}",
             ""},
        Case{"DuplicateVersionLastInvalid",
             "{\"version\": \"1\", \"version\": 2, \"files\": [" + kProgram + "]}",
             "lista sem versão"},
        Case{"DuplicateFilesLastInvalid",
             "{\"version\": \"1\", \"files\": [" + kProgram + "], \"files\": {}}",
             "lista sem arquivos"},
        Case{"DuplicatePathLastValid",
             manifest("{\"path\": \"/bad\", \"path\": \"Nelo.exe\", \"sha256\": \"" + kDigest +
                      "\"}"),
             ""},
        Case{"DuplicatePathLastInvalid",
             manifest("{\"path\": \"Nelo.exe\", \"path\": \"a//b\", \"sha256\": \"" + kDigest +
                      "\"}"),
             "arquivo inválido na lista"},
        // Patches: optional, and checked when present.
        Case{"PatchesAccepted",
             manifest(entry("Nelo.exe", kDigest,
                            ", \"patches\": [{\"from\": \"" + kOtherDigest +
                                "\", \"zsize\": 7}, {\"zsize\": 1, \"from\": \"" +
                                std::string(64, 'C') + "\", \"note\": [1]}]")),
             ""},
        Case{"PatchesEmpty", manifest(entry("Nelo.exe", kDigest, ", \"patches\": []")), ""},
        Case{"PatchesNotAnArray", manifest(entry("Nelo.exe", kDigest, ", \"patches\": {}")),
             "arquivo inválido na lista"},
        Case{"PatchesNull", manifest(entry("Nelo.exe", kDigest, ", \"patches\": null")),
             "arquivo inválido na lista"},
        Case{"PatchNotAnObject", manifest(entry("Nelo.exe", kDigest, ", \"patches\": [3]")),
             "arquivo inválido na lista"},
        Case{"PatchFromMissing",
             manifest(entry("Nelo.exe", kDigest, ", \"patches\": [{\"zsize\": 7}]")),
             "arquivo inválido na lista"},
        Case{"PatchFromShort",
             manifest(entry("Nelo.exe", kDigest,
                            ", \"patches\": [{\"from\": \"abc\", \"zsize\": 7}]")),
             "arquivo inválido na lista"},
        Case{"PatchFromItsOwnContent",
             manifest(entry("Nelo.exe", kDigest,
                            ", \"patches\": [{\"from\": \"" + std::string(64, 'A') +
                                "\", \"zsize\": 7}]")),
             "arquivo inválido na lista"},
        Case{"PatchWithoutSize",
             manifest(entry("Nelo.exe", kDigest,
                            ", \"patches\": [{\"from\": \"" + kOtherDigest + "\"}]")),
             "arquivo inválido na lista"},
        Case{"PatchOfSizeZero",
             manifest(entry("Nelo.exe", kDigest,
                            ", \"patches\": [{\"from\": \"" + kOtherDigest + "\", \"zsize\": 0}]")),
             "arquivo inválido na lista"},
        Case{"PatchSizeAString",
             manifest(entry("Nelo.exe", kDigest,
                            ", \"patches\": [{\"from\": \"" + kOtherDigest +
                                "\", \"zsize\": \"7\"}]")),
             "arquivo inválido na lista"},
        Case{"TooManyPatches",
             manifest(
                 entry(
                     "Nelo.exe", kDigest,
                     ", \"patches\": [" +
                         [] {
                           std::string list;
                           for (int i = 0; i < 9; ++i) {
                             list += (i ? "," : "") + std::string("{\"from\": \"") +
                                     std::string(63, 'b') + std::to_string(i) + "\", \"zsize\": 1}";
                           }
                           return list;
                         }() +
                         "]")),
             "arquivo inválido na lista"},
        Case{"PatchesLastOccurrenceWins",
             manifest(entry("Nelo.exe", kDigest, ", \"patches\": 5, \"patches\": []")), ""},
        // The share of installations.
        Case{"Rollout", "{\"version\": \"1\", \"rollout\": 25, \"files\": [" + kProgram + "]}", ""},
        Case{
            "RolloutZeroAndHundred",
            "{\"version\": \"1\", \"rollout\": 0, \"rollout\": 100, \"files\": [" + kProgram + "]}",
            ""},
        Case{"RolloutAboveHundred",
             "{\"version\": \"1\", \"rollout\": 101, \"files\": [" + kProgram + "]}",
             "lista inválida"},
        Case{"RolloutNegative",
             "{\"version\": \"1\", \"rollout\": -1, \"files\": [" + kProgram + "]}",
             "lista inválida"},
        Case{"RolloutFraction",
             "{\"version\": \"1\", \"rollout\": 2.5, \"files\": [" + kProgram + "]}",
             "lista inválida"},
        Case{"RolloutString",
             "{\"version\": \"1\", \"rollout\": \"25\", \"files\": [" + kProgram + "]}",
             "lista inválida"},
        Case{"RolloutAfterABadFile",
             "{\"version\": \"1\", \"rollout\": \"x\", \"files\": [" + kProgram + ", 3]}",
             "arquivo inválido na lista"},
        // The launcher to install: a file entry of its own, refused whole when malformed.
        Case{"Launcher", with_launcher(launcher_entry()), ""},
        Case{"LauncherUpperCaseDigest", with_launcher(launcher_entry(std::string(64, 'A'))), ""},
        Case{"LauncherWithPatch",
             with_launcher(launcher_entry(kDigest, 10, 5,
                                          ", \"patches\": [{\"from\": \"" + kOtherDigest +
                                              "\", \"zsize\": 2}]")),
             ""},
        Case{"LauncherNull", with_launcher("null"), "lista inválida"},
        Case{"LauncherArray", with_launcher("[" + launcher_entry() + "]"), "lista inválida"},
        Case{"LauncherShortDigest", with_launcher(launcher_entry(std::string(63, 'a'))),
             "lista inválida"},
        Case{"LauncherBadHex", with_launcher(launcher_entry(std::string(63, 'a') + "g")),
             "lista inválida"},
        Case{"LauncherWithoutDigest", with_launcher("{\"size\": 10, \"zsize\": 5}"),
             "lista inválida"},
        Case{"LauncherWithoutSize",
             with_launcher("{\"sha256\": \"" + kDigest + "\", \"zsize\": 5}"), "lista inválida"},
        Case{"LauncherWithoutZsize",
             with_launcher("{\"sha256\": \"" + kDigest + "\", \"size\": 5}"), "lista inválida"},
        Case{"LauncherSizeZero", with_launcher(launcher_entry(kDigest, 0, 5)), "lista inválida"},
        Case{"LauncherZsizeZero", with_launcher(launcher_entry(kDigest, 10, 0)), "lista inválida"},
        Case{"LauncherTooLarge", with_launcher(launcher_entry(kDigest, kMostLauncherBytes + 1, 5)),
             "lista inválida"},
        Case{"LauncherLargest", with_launcher(launcher_entry(kDigest, kMostLauncherBytes, 5)), ""},
        Case{"LauncherSizeAsString",
             with_launcher("{\"sha256\": \"" + kDigest + "\", \"size\": \"10\", \"zsize\": 5}"),
             "lista inválida"},
        Case{"LauncherSizeOverwrittenByAString",
             with_launcher("{\"sha256\": \"" + kDigest +
                           "\", \"size\": 10, \"size\": \"x\", \"zsize\": 5}"),
             "lista inválida"},
        Case{"LauncherBadPatch",
             with_launcher(launcher_entry(kDigest, 10, 5, ", \"patches\": [{\"from\": \"x\"}]")),
             "lista inválida"},
        Case{"LauncherPatchesNotAList",
             with_launcher(launcher_entry(kDigest, 10, 5, ", \"patches\": 3")), "lista inválida"},
        Case{"LauncherLastOccurrenceWins",
             "{\"version\": \"1\", \"launcher\": 3, \"launcher\": " + launcher_entry() +
                 ", \"files\": [" + kProgram + "]}",
             ""},
        Case{"LauncherBadAfterGood",
             "{\"version\": \"1\", \"launcher\": " + launcher_entry() +
                 ", \"launcher\": [], \"files\": [" + kProgram + "]}",
             "lista inválida"},
        Case{"LauncherAfterABadFile",
             "{\"version\": \"1\", \"launcher\": 3, \"files\": [" + kProgram + ", 3]}",
             "arquivo inválido na lista"},
        Case{"LauncherKeyInsideAFileIsIgnored",
             manifest(entry("Nelo.exe", kDigest, ", \"launcher\": 3")), ""},
        // Rule 3: the file list.
        Case{"NoFiles", "{\"version\": \"1\"}", "lista sem arquivos"},
        Case{"FilesNull", "{\"version\": \"1\", \"files\": null}", "lista sem arquivos"},
        Case{"FilesObject", "{\"version\": \"1\", \"files\": {}}", "lista sem arquivos"},
        Case{"FilesString", "{\"version\": \"1\", \"files\": \"Nelo.exe\"}", "lista sem arquivos"},
        Case{"FilesEmpty", manifest(""), "lista sem o Nelo.exe"},
        // Rule 4: every entry.
        Case{"EntryNotObject", manifest(kProgram + ", 3"), "arquivo inválido na lista"},
        Case{"EntryWithoutPath", manifest("{\"sha256\": \"" + kDigest + "\"}, " + kProgram),
             "arquivo inválido na lista"},
        Case{"PathNumber", manifest("{\"path\": 1, \"sha256\": \"" + kDigest + "\"}"),
             "arquivo inválido na lista"},
        Case{"LeadingSlash", manifest(kProgram + "," + entry("/a")), "arquivo inválido na lista"},
        Case{"LeadingBackslash", manifest(kProgram + "," + entry("\\a")),
             "arquivo inválido na lista"},
        Case{"DrivePrefix", manifest(kProgram + "," + entry("C:a")), "arquivo inválido na lista"},
        Case{"Stream", manifest(kProgram + "," + entry("a:b")), "arquivo inválido na lista"},
        Case{"DoubledSeparator", manifest(kProgram + "," + entry("a//b")),
             "arquivo inválido na lista"},
        Case{"TrailingSeparator", manifest(kProgram + "," + entry("a/")),
             "arquivo inválido na lista"},
        Case{"DotPiece", manifest(entry("./Nelo.exe")), "arquivo inválido na lista"},
        Case{"DotDotPiece", manifest(kProgram + "," + entry("a/../../b")),
             "arquivo inválido na lista"},
        Case{"TrailingDotPiece", manifest(kProgram + "," + entry("a./b")),
             "arquivo inválido na lista"},
        Case{"TrailingBlankPiece", manifest(kProgram + "," + entry("a/b ")),
             "arquivo inválido na lista"},
        Case{"DevicePiece", manifest(kProgram + "," + entry("res/aux.dll")),
             "arquivo inválido na lista"},
        Case{"DevicePieceUpper", manifest(kProgram + "," + entry("CON/x")),
             "arquivo inválido na lista"},
        Case{"NulInPath",
             manifest(kProgram + ", {\"path\": \"a\\u0000b\", \"sha256\": \"" + kDigest + "\"}"),
             "arquivo inválido na lista"},
        Case{"RawNulInside", manifest(kProgram).insert(5, std::string(1, '\0')), "lista inválida"},
        Case{"WildcardInPath", manifest(kProgram + "," + entry("a*b")),
             "arquivo inválido na lista"},
        Case{"MixedSeparators", manifest(kProgram + "," + entry("a/b\\c")), ""},
        // The name the version folder keeps its manifest under, in any case Windows folds.
        Case{"StoredManifestName", manifest(kProgram + "," + entry(".manifest.json")),
             "arquivo inválido na lista"},
        Case{"StoredManifestNameUpper", manifest(kProgram + "," + entry(".MANIFEST.Json")),
             "arquivo inválido na lista"},
        Case{"StoredManifestNameLongS", manifest(kProgram + "," + entry(".manife\u017Ft.json")),
             "arquivo inválido na lista"},
        Case{"StoredManifestNameDotlessI", manifest(kProgram + "," + entry(".man\u0131fest.json")),
             "arquivo inválido na lista"},
        Case{"StoredSignatureName", manifest(kProgram + "," + entry(".Manifest.json.MINISIG")),
             "arquivo inválido na lista"},
        Case{"StoredManifestNameAsFolder", manifest(kProgram + "," + entry(".manifest.json/x")),
             "arquivo inválido na lista"},
        Case{"StoredManifestNameBelowTheTop", manifest(kProgram + "," + entry("a/.manifest.json")),
             ""},
        Case{"StoredManifestNameLookalike", manifest(kProgram + "," + entry(".manifest.jsonx")),
             ""},
        Case{"BackslashSeparators", manifest(kProgram + "," + entry("res\\x.dll")), ""},
        Case{"UpperCaseDigest", manifest(entry("Nelo.exe", std::string(64, 'F'))), ""},
        Case{"ShortDigest", manifest(entry("Nelo.exe", std::string(63, 'a'))),
             "arquivo inválido na lista"},
        Case{"LongDigest", manifest(entry("Nelo.exe", std::string(65, 'a'))),
             "arquivo inválido na lista"},
        Case{"NonHexDigest", manifest(entry("Nelo.exe", std::string(63, 'a') + "g")),
             "arquivo inválido na lista"},
        Case{"MissingDigest", manifest("{\"path\": \"Nelo.exe\"}"), "arquivo inválido na lista"},
        // A bad entry decides before the missing program is noticed, and entries after it are
        // not looked at.
        Case{"FirstBadEntryDecides", manifest(entry("a//b") + "," + entry("c")),
             "arquivo inválido na lista"},
        // Rule 5: the program itself.
        Case{"ProgramLowerCase", manifest(entry("nelo.exe")), "lista sem o Nelo.exe"},
        Case{"ProgramInSubfolder", manifest(entry("bin/Nelo.exe")), "lista sem o Nelo.exe"},
        Case{"ProgramLater", manifest(entry("a") + "," + entry("Nelo.exe")), ""}),
    case_name);

// A release of three objects (a: 5 bytes served, b: 7, c: 4) with `packs` as written.
std::string with_packs(const std::string& packs) {
  return "{\"version\": \"1\", \"files\": [" + entry("Nelo.exe", kDigest, ", \"zsize\": 5") + "," +
         entry("b.dll", kOtherDigest, ", \"zsize\": 7") + "," +
         entry("c.dat", std::string(64, 'c'), ", \"zsize\": 4") + "], \"packs\": " + packs + "}";
}

std::string pack(const std::string& members, std::uint64_t size = 16,
                 const std::string& name = std::string(64, 'e')) {
  return "{\"name\": \"" + name + "\", \"size\": " + std::to_string(size) + ", \"members\": [" +
         members + "]}";
}

std::string member(char digit, std::uint64_t offset) {
  return "{\"sha256\": \"" + std::string(64, digit) + "\", \"offset\": " + std::to_string(offset) +
         "}";
}

INSTANTIATE_TEST_SUITE_P(
    Packs, ManifestRulesTest,
    testing::Values(
        Case{"None", with_packs("[]"), ""},
        Case{"EndToEnd", with_packs("[" + pack(member('a', 0) + "," + member('b', 5)) + "]"), ""},
        Case{"WithGapsAndOutOfOrder",
             with_packs("[" + pack(member('c', 12) + "," + member('a', 0), 16) + "]"), ""},
        Case{"UpperCaseNameAndDigests",
             with_packs("[" + pack(member('A', 0), 5, std::string(64, 'E')) + "]"), ""},
        Case{"EmptyPack", with_packs("[" + pack("", 0) + "]"), ""},
        Case{"OneObjectInTwoPacks",
             with_packs("[" + pack(member('a', 0)) + "," +
                        pack(member('a', 0), 5, std::string(64, 'f')) + "]"),
             ""},
        Case{"UnknownKeysPassedOver",
             with_packs("[{\"x\": 1, \"name\": \"" + std::string(64, 'e') +
                        "\", \"size\": 5, \"members\": [{\"sha256\": \"" + kDigest +
                        "\", \"offset\": 0, \"y\": []}]}]"),
             ""},
        Case{"NotAList", with_packs("{}"), "lista inválida"},
        Case{"Null", with_packs("null"), "lista inválida"},
        Case{"PackNotAnObject", with_packs("[3]"), "lista inválida"},
        Case{"NameNotADigest", with_packs("[" + pack(member('a', 0), 16, "x") + "]"),
             "lista inválida"},
        Case{"NameMissing", with_packs("[{\"size\": 5, \"members\": [" + member('a', 0) + "]}]"),
             "lista inválida"},
        Case{"TwoPacksOfOneName",
             with_packs("[" + pack(member('a', 0)) + "," + pack(member('b', 0)) + "]"),
             "lista inválida"},
        Case{"SizeMissing",
             with_packs("[{\"name\": \"" + std::string(64, 'e') + "\", \"members\": []}]"),
             "lista inválida"},
        Case{"SizeNotANumber",
             with_packs("[{\"name\": \"" + std::string(64, 'e') +
                        "\", \"size\": \"5\", \"members\": []}]"),
             "lista inválida"},
        Case{"SizeNegative",
             with_packs("[{\"name\": \"" + std::string(64, 'e') +
                        "\", \"size\": -5, \"members\": []}]"),
             "lista inválida"},
        Case{"MembersMissing",
             with_packs("[{\"name\": \"" + std::string(64, 'e') + "\", \"size\": 5}]"),
             "lista inválida"},
        Case{"MembersNotAList",
             with_packs("[{\"name\": \"" + std::string(64, 'e') +
                        "\", \"size\": 5, \"members\": {}}]"),
             "lista inválida"},
        Case{"MemberNotAnObject", with_packs("[" + pack("1") + "]"), "lista inválida"},
        Case{"MemberDigestNotInForm",
             with_packs("[" + pack("{\"sha256\": \"a\", \"offset\": 0}") + "]"), "lista inválida"},
        Case{"MemberOffsetMissing",
             with_packs("[" + pack("{\"sha256\": \"" + kDigest + "\"}") + "]"), "lista inválida"},
        Case{"MemberOffsetNotANumber",
             with_packs("[" + pack("{\"sha256\": \"" + kDigest + "\", \"offset\": 1.0}") + "]"),
             "lista inválida"},
        Case{"MemberNotAnObjectOfTheRelease", with_packs("[" + pack(member('d', 0)) + "]"),
             "lista inválida"},
        Case{"MemberPastTheEnd", with_packs("[" + pack(member('b', 10)) + "]"), "lista inválida"},
        Case{"MemberEndsAtTheEnd", with_packs("[" + pack(member('b', 9)) + "]"), ""},
        Case{"MemberLargerThanThePack", with_packs("[" + pack(member('b', 0), 6) + "]"),
             "lista inválida"},
        Case{"MemberOffsetThatWouldWrap",
             with_packs("[" + pack(member('a', 18446744073709551615ull)) + "]"), "lista inválida"},
        Case{"MembersOverlap", with_packs("[" + pack(member('a', 0) + "," + member('b', 4)) + "]"),
             "lista inválida"},
        Case{"OneMemberTwiceAtOnePlace",
             with_packs("[" + pack(member('a', 0) + "," + member('a', 0)) + "]"), "lista inválida"},
        // An object's length is its zsize: one without, or listed with two, cannot be cut out.
        Case{"MemberWithoutAKnownLength",
             "{\"version\": \"1\", \"files\": [" + kProgram + "], \"packs\": [" +
                 pack(member('a', 0)) + "]}",
             "lista inválida"},
        Case{"MemberListedWithTwoLengths",
             "{\"version\": \"1\", \"files\": [" + entry("Nelo.exe", kDigest, ", \"zsize\": 5") +
                 "," + entry("x", kDigest, ", \"zsize\": 6") + "], \"packs\": [" +
                 pack(member('a', 0)) + "]}",
             "lista inválida"},
        Case{"TheLastPacksCounts", with_packs("3, \"packs\": []"), ""},
        Case{
            "TheLastSizeCounts",
            with_packs("[{\"name\": \"" + std::string(64, 'e') +
                       "\", \"size\": \"x\", \"size\": 5, \"members\": [" + member('a', 0) + "]}]"),
            ""}),
    case_name);

TEST(ManifestTest, ReadsPacksWithTheirMembersByOffset) {
  const auto parsed = parse_release_manifest(with_packs(
      "[" + pack(member('C', 12) + "," + member('a', 0), 16, std::string(64, 'E')) + "]"));
  ASSERT_OK(parsed);
  ASSERT_EQ(parsed->packs.size(), 1u);
  const ReleasePack& read = parsed->packs[0];
  EXPECT_EQ(read.name, std::string(64, 'e'));
  EXPECT_EQ(read.size, 16u);
  ASSERT_EQ(read.members.size(), 2u);
  EXPECT_EQ(read.members[0].sha256, kDigest);
  EXPECT_EQ(read.members[0].offset, 0u);
  EXPECT_EQ(read.members[1].sha256, std::string(64, 'c'));
  EXPECT_EQ(read.members[1].offset, 12u);
  EXPECT_TRUE(parse_release_manifest(manifest(kProgram))->packs.empty());
}

TEST(ManifestTest, AnOversizedDocumentIsRefusedUnread) {
  std::string document = manifest(kProgram);
  document.insert(document.size() - 1,
                  ", \"pad\": \"" + std::string(kManifestMaxBytes, 'x') + "\"");
  ASSERT_GT(document.size(), kManifestMaxBytes);
  const auto parsed = parse_release_manifest(std::move(document));
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.message(), "lista inválida");
}

TEST(ManifestTest, ADeepAndWideDocumentGivesAMessage) {
  // Nesting at the limit, with wide arrays at every level and a long list of files, within
  // the size bound: accepted or refused, but always as a value.
  std::string wide;
  for (int i = 0; i < 5000; ++i) {
    wide += i ? ",[]" : "[]";
  }
  std::string deep;
  for (int level = 0; level < kManifestMaxDepth - 2; ++level) {
    deep += "[" + wide + ",";
  }
  deep += "0";
  deep += std::string(kManifestMaxDepth - 2, ']');
  std::string files = kProgram;
  for (int i = 0; i < 20000; ++i) {
    files += "," + entry("res/f" + std::to_string(i));
  }
  std::string document = manifest(files);
  document.insert(document.size() - 1, ", \"deep\": " + deep);
  ASSERT_LT(document.size(), kManifestMaxBytes);
  const auto parsed = parse_release_manifest(std::move(document));
  ASSERT_OK(parsed);
  EXPECT_EQ(parsed->files.size(), 20001u);

  const auto too_deep =
      parse_release_manifest(manifest(kProgram).insert(1, "\"d\": [" + deep + "], "));
  ASSERT_FALSE(too_deep.ok());
  EXPECT_EQ(too_deep.message(), "lista inválida");
}

TEST(ManifestTest, KeepsEntriesAsWrittenWithLowerCaseDigests) {
  const std::string document =
      manifest(entry("Nelo.exe", std::string(64, 'A')) + "," + entry("res\\a/b.dll") + "," +
               entry("Nelo.exe", kOtherDigest));
  const auto parsed = parse_release_manifest(document);
  ASSERT_OK(parsed);
  EXPECT_EQ(parsed->version, "1.0");
  ASSERT_EQ(parsed->files.size(), 3u);
  EXPECT_EQ(parsed->files[0].sha256, kDigest);
  EXPECT_EQ(parsed->files[1].path, "res\\a/b.dll");
  EXPECT_EQ(parsed->files[2].sha256, kOtherDigest) << "duplicates are kept";
  EXPECT_EQ(parsed->document, document);
}

TEST(ManifestTest, ReadsTheLauncherAsAnEntryOfItsOwn) {
  const auto parsed = parse_release_manifest(
      "{\"version\": \"1\", \"launcher\": {\"path\": \"x/y\", \"sha256\": \"" +
      std::string(64, 'C') + "\", \"size\": 7, \"zsize\": 3, \"patches\": [{\"from\": \"" +
      kOtherDigest + "\", \"zsize\": 2}]}, \"files\": [" + kProgram + "]}");
  ASSERT_OK(parsed);
  ASSERT_TRUE(parsed->launcher.has_value());
  EXPECT_EQ(parsed->launcher->path, kLauncherObjectName);  // never a path of the server's
  EXPECT_EQ(parsed->launcher->sha256, std::string(64, 'c'));
  EXPECT_EQ(parsed->launcher->size, 7u);
  EXPECT_EQ(parsed->launcher->zsize, 3u);
  ASSERT_EQ(parsed->launcher->patches.size(), 1u);
  EXPECT_EQ(parsed->launcher->patches[0].from, kOtherDigest);
  // The entries of "files" stay as they are: the launcher is not one of them.
  ASSERT_EQ(parsed->files.size(), 1u);
  EXPECT_TRUE(parsed->files[0].patches.empty());
  const std::vector<const ManifestFile*> objects = served_objects(*parsed);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[1], &*parsed->launcher);

  const auto without = parse_release_manifest(manifest(kProgram));
  ASSERT_OK(without);
  EXPECT_FALSE(without->launcher.has_value());
  EXPECT_EQ(served_objects(*without).size(), 1u);
}

TEST(ManifestTest, ReadsSizesByTheUnsignedRule) {
  struct SizeCase {
    std::string json;
    std::uint64_t expected;
  };
  const SizeCase cases[] = {
      {"0", 0},
      {"123", 123},
      {"18446744073709551615", 18446744073709551615ull},
      {"18446744073709551616", 0},
      {"99999999999999999999999", 0},
      {"-1", 0},
      {"-0", 0},
      {"10.5", 0},
      {"10.0", 0},
      {"1e3", 0},
      {"1E2", 0},
      {"\"12\"", 0},
      {"null", 0},
      {"true", 0},
      {"[12]", 0},
  };
  for (const SizeCase& c : cases) {
    const auto parsed = parse_release_manifest(
        manifest(entry("Nelo.exe", kDigest, ", \"size\": " + c.json + ", \"zsize\": " + c.json)));
    ASSERT_OK(parsed) << c.json << ": " << parsed.message();
    EXPECT_EQ(parsed->files[0].size, c.expected) << c.json;
    EXPECT_EQ(parsed->files[0].zsize, c.expected) << c.json;
  }
  const auto missing = parse_release_manifest(manifest(kProgram));
  ASSERT_OK(missing);
  EXPECT_EQ(missing->files[0].size, 0u);
  EXPECT_EQ(missing->files[0].zsize, 0u);
}

std::vector<ManifestFile> files(std::initializer_list<std::pair<std::string, char>> list) {
  std::vector<ManifestFile> out;
  for (const auto& [path, digit] : list) {
    out.push_back(ManifestFile{path, std::string(64, digit), 0, 0});
  }
  return out;
}

TEST(ManifestChangesAppTest, TellsMediaOnlyReleases) {
  ReleaseManifest current;
  current.files = files({{"Nelo.exe", '1'},
                         {"resources/nelo-media.exe", '2'},
                         {"resources\\nelo-audio.exe", '3'},
                         {"app.dll", '4'}});
  struct ChangeCase {
    std::string name;
    std::vector<ManifestFile> next;
    bool changes_app;
  };
  const ChangeCase cases[] = {
      {"nothing changed", current.files, true},
      {"audio changed, written with backslash",
       files({{"Nelo.exe", '1'},
              {"resources/nelo-media.exe", '2'},
              {"resources\\nelo-audio.exe", '9'},
              {"app.dll", '4'}}),
       false},
      {"both media programs changed",
       files({{"Nelo.exe", '1'},
              {"resources/nelo-media.exe", '8'},
              {"resources/nelo-audio.exe", '9'}}),
       false},
      {"audio and another file changed",
       files({{"Nelo.exe", '1'}, {"resources\\nelo-audio.exe", '9'}, {"app.dll", '5'}}), true},
      {"a new file", files({{"Nelo.exe", '1'}, {"new.dll", '4'}}), true},
      {"media path in another case", files({{"Nelo.exe", '1'}, {"Resources/nelo-media.exe", '8'}}),
       true},
      {"removed files are not considered", files({{"Nelo.exe", '1'}}), true},
      {"moved audio program",
       files({{"Nelo.exe", '1'}, {"resources/nelo-audio.exe", '3'}, {"app.dll", '4'}}), false},
  };
  for (const ChangeCase& c : cases) {
    EXPECT_EQ(manifest_changes_app(current, c.next), c.changes_app) << c.name;
  }
  EXPECT_TRUE(manifest_changes_app(std::nullopt, files({{"resources/nelo-media.exe", '1'}})));
}

TEST(ManifestChangesAppTest, TheLastEntryOfARepeatedPathCounts) {
  ReleaseManifest current;
  current.files = files({{"Nelo.exe", '1'}, {"Nelo.exe", '2'}});
  EXPECT_TRUE(manifest_changes_app(current, files({{"Nelo.exe", '1'}})));
}

}  // namespace
}  // namespace nelo
