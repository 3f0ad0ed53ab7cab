#include "install/file_record.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

ReleaseManifest two_files() {
  ReleaseManifest manifest;
  manifest.version = "1.0";
  manifest.files = {{"Nelo.exe", std::string(64, 'a'), 10, 1},
                    {"Res\\Data.bin", std::string(64, 'b'), 3, 1}};
  return manifest;
}

TEST(FileRecordTest, ARecordIsReadOnlyForItsOwnManifest) {
  const ReleaseManifest manifest = two_files();
  const FileRecord record = {{10, 132000000000000000}, {3, 7}};
  const std::string text = file_record_text(manifest, record);
  EXPECT_EQ(text, "nelo-files 1\n10\t132000000000000000\tNelo.exe\n3\t7\tRes\\Data.bin\n");
  EXPECT_EQ(parse_file_record(text, manifest), record);

  const struct {
    const char* name;
    std::string text;
  } refused[] = {
      {"empty", ""},
      {"another heading", "nelo-files 2\n10\t1\tNelo.exe\n3\t7\tRes\\Data.bin\n"},
      {"a file short", "nelo-files 1\n10\t1\tNelo.exe\n"},
      {"a file more", text + "1\t1\tx\n"},
      {"another size", "nelo-files 1\n11\t1\tNelo.exe\n3\t7\tRes\\Data.bin\n"},
      {"another path", "nelo-files 1\n10\t1\tnelo.exe\n3\t7\tRes\\Data.bin\n"},
      {"another order", "nelo-files 1\n3\t7\tRes\\Data.bin\n10\t1\tNelo.exe\n"},
      {"no line end", text.substr(0, text.size() - 1)},
      {"a leading zero", "nelo-files 1\n10\t01\tNelo.exe\n3\t7\tRes\\Data.bin\n"},
      {"a sign", "nelo-files 1\n10\t-1\tNelo.exe\n3\t7\tRes\\Data.bin\n"},
      {"too large", "nelo-files 1\n10\t18446744073709551616\tNelo.exe\n3\t7\tRes\\Data.bin\n"},
      {"a missing time", "nelo-files 1\n10\tNelo.exe\n3\t7\tRes\\Data.bin\n"},
  };
  for (const auto& c : refused) {
    EXPECT_FALSE(parse_file_record(c.text, manifest)) << c.name;
  }
}

TEST(FileRecordTest, TheListingGivesEachFileItsStampWhateverItsLetterCase) {
  const ReleaseManifest manifest = two_files();
  const std::unordered_map<std::string, FileStamp> exact = {
      {"Nelo.exe", {10, 5}}, {"Res/Data.bin", {3, 6}}, {".manifest.json", {100, 1}}};
  EXPECT_EQ(record_from_listing(manifest, exact), (FileRecord{{10, 5}, {3, 6}}));
  const std::unordered_map<std::string, FileStamp> other_case = {{"NELO.EXE", {10, 5}},
                                                                 {"res/data.bin", {3, 6}}};
  EXPECT_EQ(record_from_listing(manifest, other_case), (FileRecord{{10, 5}, {3, 6}}));
  EXPECT_FALSE(record_from_listing(manifest, {{"Nelo.exe", {10, 5}}})) << "a file not listed";
}

TEST(FileRecordTest, AFileMatchesItsRecordOnlyWithItsSizeAndTime) {
  const ReleaseManifest manifest = two_files();
  const FileRecord record = {{10, 5}, {3, 6}};
  const struct {
    const char* name;
    const FileRecord* record;
    FileStamp seen;
    bool matches;
  } cases[] = {
      {"as recorded", &record, {10, 5}, true},
      {"written since", &record, {10, 9}, false},
      {"cut short", &record, {9, 5}, false},
      {"no record: the size alone", nullptr, {10, 9}, true},
      {"no record, another size", nullptr, {9, 5}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(stamp_matches(manifest, c.record, 0, c.seen), c.matches) << c.name;
  }
}

TEST(FileRecordTest, AReleaseThatListsTheRecordsNameKeepsNone) {
  ReleaseManifest manifest = two_files();
  EXPECT_TRUE(can_keep_record(manifest));
  manifest.files.push_back({".Manifest.Files", std::string(64, 'c'), 1, 1});
  EXPECT_FALSE(can_keep_record(manifest));
  manifest.files.back().path = "res/.manifest.files";
  EXPECT_TRUE(can_keep_record(manifest)) << "only the top of the folder is the record's";
}

}  // namespace
}  // namespace nelo
