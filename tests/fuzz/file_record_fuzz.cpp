// The record of a version folder is read from the disk, where anything may have written it: its
// reader never fails on any bytes, accepts only a record of exactly the manifest's files (their
// paths and sizes, in order), and what it accepts is written back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "install/file_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nelo::ReleaseManifest manifest = [] {
    nelo::ReleaseManifest made;
    made.version = "1.0";
    made.files = {{"Nelo.exe", std::string(64, 'a'), 10, 1},
                  {"res/a b.dll", std::string(64, 'b'), 0, 1},
                  {"res\\c", std::string(64, 'c'), 18446744073709551615ull, 1}};
    return made;
  }();
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto record = nelo::parse_file_record(text, manifest);
  if (!record) {
    return 0;
  }
  if (record->size() != manifest.files.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < record->size(); ++i) {
    if ((*record)[i].size != manifest.files[i].size) {
      std::abort();
    }
  }
  if (nelo::file_record_text(manifest, *record) != text) {
    std::abort();
  }
  return 0;
}
