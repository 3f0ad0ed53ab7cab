// The manifest rules applied to a whole tree read by nlohmann/json: a second, independent reading
// of the same rules, against which the launcher's event reader is compared (tests and fuzzer).
#pragma once

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>
#include <string>

#include "base/ascii_case.h"
#include "release/manifest.h"

namespace nelo::testing_support {

// What `parse_release_manifest` must give for `document`: the message, or the accepted fields
// written out one per line ("version rollout", then "path sha256 size zsize" and each patch's
// " from:zsize" per entry). The size limit, the byte-order mark, NUL bytes and the nesting depth
// are checked by the caller. Without `with_later_fields`, the rules of a launcher that knows
// neither "patches" nor "rollout" (which it passes over, as any other key).
inline std::string oracle_reading(const std::string& document, bool with_later_fields = true) {
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
  const auto is_digest = [](const std::string& digest) {
    return digest.size() == 64 && digest.find_first_not_of("0123456789abcdef") == std::string::npos;
  };
  // An entry's patches written out, or nothing when they break a rule.
  const auto read_patches = [&](const json& entry,
                                const std::string& sha256) -> std::optional<std::string> {
    std::string patches;
    if (with_later_fields && entry.is_object() && entry.contains("patches")) {
      const json& list = entry.at("patches");
      if (!list.is_array() || list.size() > kMostPatches) {
        return std::nullopt;
      }
      for (const json& patch : list) {
        const std::string from = ascii_lower(text(patch, "from"));
        const std::uint64_t zsize = number(patch, "zsize");
        if (!patch.is_object() || !is_digest(from) || from == sha256 || zsize == 0) {
          return std::nullopt;
        }
        patches += " " + from + ":" + std::to_string(zsize);
      }
    }
    return patches;
  };
  std::string entries;
  bool has_program = false;
  for (const json& entry : *files) {
    const std::string path = text(entry, "path");
    const std::string sha256 = ascii_lower(text(entry, "sha256"));
    if (!is_valid_manifest_path(path) || !is_digest(sha256)) {
      return "arquivo inválido na lista";
    }
    const std::optional<std::string> patches = read_patches(entry, sha256);
    if (!patches) {
      return "arquivo inválido na lista";
    }
    has_program = has_program || path == "Nelo.exe";
    entries += path + " " + sha256 + " " + std::to_string(number(entry, "size")) + " " +
               std::to_string(number(entry, "zsize")) + *patches + "\n";
  }
  if (!has_program) {
    return "lista sem o Nelo.exe";
  }
  std::string rollout = "-";
  if (with_later_fields && value.contains("rollout")) {
    const json& share = value.at("rollout");
    if (!share.is_number_unsigned() || share.get<std::uint64_t>() > 100) {
      return "lista inválida";
    }
    rollout = std::to_string(share.get<std::uint64_t>());
  }
  std::string launcher;
  if (with_later_fields && value.contains("launcher")) {
    const json& entry = value.at("launcher");
    const auto given = [&](const char* key) {
      return entry.is_object() && entry.contains(key) && entry.at(key).is_number_unsigned();
    };
    const std::string sha256 = ascii_lower(text(entry, "sha256"));
    const std::uint64_t size = number(entry, "size");
    const std::uint64_t zsize = number(entry, "zsize");
    const std::optional<std::string> patches = read_patches(entry, sha256);
    if (!entry.is_object() || !is_digest(sha256) || !given("size") || !given("zsize") ||
        size == 0 || size > kMostLauncherBytes || zsize == 0 || !patches) {
      return "lista inválida";
    }
    launcher = "launcher " + sha256 + " " + std::to_string(size) + " " + std::to_string(zsize) +
               *patches + "\n";
  }
  std::string packs;
  if (with_later_fields && value.contains("packs")) {
    const json& list = value.at("packs");
    if (!list.is_array()) {
      return "lista inválida";
    }
    // Each object's length: its zsize when all its entries agree on one of at least 1.
    std::map<std::string, std::uint64_t> lengths;
    const auto add_length = [&](const json& entry) {
      const std::string sha256 = ascii_lower(text(entry, "sha256"));
      const std::uint64_t zsize = number(entry, "zsize");
      if (const auto it = lengths.find(sha256); it != lengths.end() && it->second != zsize) {
        it->second = 0;
      } else {
        lengths[sha256] = zsize;
      }
    };
    for (const json& entry : *files) {
      add_length(entry);
    }
    if (!launcher.empty()) {
      add_length(value.at("launcher"));
    }
    std::set<std::string> names;
    for (const json& pack : list) {
      const std::string name = ascii_lower(text(pack, "name"));
      if (!pack.is_object() || !is_digest(name) || !names.insert(name).second ||
          !pack.contains("size") || !pack.at("size").is_number_unsigned() ||
          !pack.contains("members") || !pack.at("members").is_array()) {
        return "lista inválida";
      }
      const std::uint64_t size = pack.at("size").get<std::uint64_t>();
      std::vector<std::pair<std::uint64_t, std::string>> members;
      for (const json& member : pack.at("members")) {
        const std::string sha256 = ascii_lower(text(member, "sha256"));
        if (!member.is_object() || !member.contains("offset") ||
            !member.at("offset").is_number_unsigned() || !lengths.contains(sha256)) {
          return "lista inválida";
        }
        const std::uint64_t offset = member.at("offset").get<std::uint64_t>();
        const std::uint64_t length = lengths.at(sha256);
        if (length == 0 || length > size || offset > size - length) {
          return "lista inválida";
        }
        members.emplace_back(offset, sha256);
      }
      std::stable_sort(members.begin(), members.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      packs += "pack " + name + " " + std::to_string(size) + ":";
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (i > 0 && members[i].first < members[i - 1].first + lengths.at(members[i - 1].second)) {
          return "lista inválida";
        }
        packs += " " + members[i].second + "@" + std::to_string(members[i].first);
      }
      packs += "\n";
    }
  }
  return version->get<std::string>() + " " + rollout + "\n" + entries + launcher + packs;
}

// The same written out for what the launcher's reader gave.
inline std::string launcher_reading(const Result<ReleaseManifest>& parsed) {
  if (!parsed.ok()) {
    return parsed.message();
  }
  std::string reading =
      parsed->version + " " + (parsed->rollout ? std::to_string(*parsed->rollout) : "-") + "\n";
  for (const ManifestFile& file : parsed->files) {
    reading += file.path + " " + file.sha256 + " " + std::to_string(file.size) + " " +
               std::to_string(file.zsize);
    for (const PatchOffer& patch : file.patches) {
      reading += " " + patch.from + ":" + std::to_string(patch.zsize);
    }
    reading += "\n";
  }
  if (parsed->launcher) {
    reading += "launcher " + parsed->launcher->sha256 + " " +
               std::to_string(parsed->launcher->size) + " " +
               std::to_string(parsed->launcher->zsize);
    for (const PatchOffer& patch : parsed->launcher->patches) {
      reading += " " + patch.from + ":" + std::to_string(patch.zsize);
    }
    reading += "\n";
  }
  for (const ReleasePack& pack : parsed->packs) {
    reading += "pack " + pack.name + " " + std::to_string(pack.size) + ":";
    for (const PackMember& member : pack.members) {
      reading += " " + member.sha256 + "@" + std::to_string(member.offset);
    }
    reading += "\n";
  }
  return reading;
}

}  // namespace nelo::testing_support
