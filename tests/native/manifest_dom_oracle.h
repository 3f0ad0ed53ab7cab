// The manifest rules applied to a whole tree read by nlohmann/json: a second, independent reading
// of the same rules, against which the launcher's event reader is compared (tests and fuzzer).
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "base/ascii_case.h"
#include "install/manifest.h"

namespace nelo::testing_support {

// What `parse_release_manifest` must give for `document`: the message, or the accepted fields
// written out one per line ("version", then "path sha256 size zsize" per entry). The size limit,
// the byte-order mark, NUL bytes and the nesting depth are checked by the caller.
inline std::string oracle_reading(const std::string& document) {
  using nlohmann::json;
  json value = json::parse(document, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) {
    return "lista inválida";
  }
  if (!value.is_object()) {
    return "lista sem versão";
  }
  const auto version = value.find("version");
  if (version == value.end() || !version->is_string() ||
      !is_valid_version_label(version->get_ref<const std::string&>())) {
    return "lista sem versão";
  }
  const auto files = value.find("files");
  if (files == value.end() || !files->is_array()) {
    return "lista sem arquivos";
  }
  const auto text = [](const json& entry, const char* key) {
    if (!entry.is_object()) {
      return std::string();
    }
    const auto it = entry.find(key);
    return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  const auto number = [](const json& entry, const char* key) -> std::uint64_t {
    if (!entry.is_object()) {
      return 0;
    }
    const auto it = entry.find(key);
    return it != entry.end() && it->is_number_unsigned() ? it->get<std::uint64_t>() : 0;
  };
  std::string reading = version->get<std::string>() + "\n";
  bool has_program = false;
  for (const json& entry : *files) {
    const std::string path = text(entry, "path");
    const std::string sha256 = ascii_lower(text(entry, "sha256"));
    if (!is_valid_manifest_path(path) || sha256.size() != 64 ||
        sha256.find_first_not_of("0123456789abcdef") != std::string::npos) {
      return "arquivo inválido na lista";
    }
    has_program = has_program || path == "Nelo.exe";
    reading += path + " " + sha256 + " " + std::to_string(number(entry, "size")) + " " +
               std::to_string(number(entry, "zsize")) + "\n";
  }
  return has_program ? reading : "lista sem o Nelo.exe";
}

// The same written out for what the launcher's reader gave.
inline std::string launcher_reading(const Result<ReleaseManifest>& parsed) {
  if (!parsed.ok()) {
    return parsed.message();
  }
  std::string reading = parsed->version + "\n";
  for (const ManifestFile& file : parsed->files) {
    reading += file.path + " " + file.sha256 + " " + std::to_string(file.size) + " " +
               std::to_string(file.zsize) + "\n";
  }
  return reading;
}

}  // namespace nelo::testing_support
