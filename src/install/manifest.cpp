#include "install/manifest.h"

#include <nlohmann/json.hpp>

#include <new>
#include <stdexcept>
#include <unordered_map>

#include "base/ascii_case.h"
#include "base/path_pieces.h"
#include "base/unicode_lower.h"
#include "base/utf.h"
#include "install/windows_names.h"

namespace nelo {
namespace {

using nlohmann::json;

// The deepest nesting of arrays and objects in `document`, counted without parsing: strings are
// skipped so that brackets inside them do not count. Malformed input gives some number; the JSON
// reader refuses it afterwards. Counting first keeps absurdly deep input away from the reader.
int nesting_depth(std::string_view document) {
  int depth = 0;
  int deepest = 0;
  bool in_string = false;
  bool escaped = false;
  for (char c : document) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

Result<ReleaseManifest> parse_bounded_manifest(std::string document);

bool is_version_character(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

bool is_lower_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// A non-negative integer that fits in 64 bits; every other form (fraction, exponent, negative,
// too large, string, missing) counts as 0.
std::uint64_t read_size(const json& entry, const char* key) {
  if (!entry.is_object()) {
    return 0;
  }
  const auto it = entry.find(key);
  if (it == entry.end() || !it->is_number_unsigned()) {
    return 0;
  }
  return it->get<std::uint64_t>();
}

std::string read_string(const json& entry, const char* key) {
  if (!entry.is_object()) {
    return {};
  }
  const auto it = entry.find(key);
  return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool is_valid_digest(std::string_view sha256) {
  return sha256.size() == 64 && std::all_of(sha256.begin(), sha256.end(), is_lower_hex);
}

bool ends_with_partial(std::string_view label) {
  constexpr std::string_view kSuffix = ".partial";
  return label.size() >= kSuffix.size() &&
         ascii_lower(label.substr(label.size() - kSuffix.size())) == kSuffix;
}

}  // namespace

bool is_valid_version_label(std::string_view label) {
  if (label.empty() || !std::all_of(label.begin(), label.end(), is_version_character)) {
    return false;
  }
  // The label becomes a folder name: it must name exactly that folder ("..", "1.0." or "nul.1"
  // would name another folder or a device), and never the staging folder of another label
  // ("1.partial" is where "1" is staged).
  return is_plain_windows_name(label) && !ends_with_partial(label);
}

bool is_reserved_version_name(std::string_view name) {
  // Both reserved names begin with ".", which no letter case folds to: every other name (all
  // but a few of a manifest's thousands of paths) is told apart without folding.
  static_assert(kStoredManifestName.starts_with('.') && kStoredSignatureName.starts_with('.'));
  if (!name.starts_with('.')) {
    return false;
  }
  // Windows compares names by their upper case: besides ASCII letters, the long s and the
  // dotless i are taken for "S" and "I", so they count here too.
  const std::optional<std::u16string> wide = utf8_to_utf16(name);
  if (!wide) {
    return false;
  }
  std::u32string folded = lower_case(*wide);
  for (char32_t& c : folded) {
    if (c == U'\u017F') {
      c = U's';
    } else if (c == U'\u0131') {
      c = U'i';
    }
  }
  for (const std::string_view reserved : {kStoredManifestName, kStoredSignatureName}) {
    if (folded == lower_case(*utf8_to_utf16(reserved))) {
      return true;
    }
  }
  return false;
}

bool is_valid_manifest_path(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.front() == '\\' ||
      path.find(':') != std::string_view::npos) {
    return false;
  }
  PathPieces pieces(path);
  bool top = true;
  while (const std::optional<std::string_view> piece = pieces.next()) {
    // Each piece must be a name Windows keeps as written, so that the file lands exactly where
    // the path says: no empty piece, no "." or "..", no trailing dot or blank, no device. At the
    // top, no name the version folder keeps for itself: the stored manifest would overwrite
    // that file, and its digest would then name other bytes in the next reuse index.
    if (!is_plain_windows_name(*piece) || (top && is_reserved_version_name(*piece))) {
      return false;
    }
    top = false;
  }
  return true;
}

Result<ReleaseManifest> parse_release_manifest(std::string document) {
  // The reader's allocations are the one way the standard library can fail here; a document
  // too large for memory is refused like any other it cannot read.
  try {
    return parse_bounded_manifest(std::move(document));
  } catch (const std::bad_alloc&) {
    return fail("lista inválida");
  } catch (const std::length_error&) {
    return fail("lista inválida");
  }
}

namespace {

Result<ReleaseManifest> parse_bounded_manifest(std::string document) {
  if (document.size() > kManifestMaxBytes) {
    return fail("lista inválida");
  }
  // A byte-order mark is not JSON, and a raw NUL byte never occurs in JSON text; the reader
  // would skip the first and take the second for the end of the input, ignoring what follows.
  if (std::string_view(document).starts_with("\xEF\xBB\xBF") ||
      document.find('\0') != std::string::npos || nesting_depth(document) > kManifestMaxDepth) {
    return fail("lista inválida");
  }
  // Strict parsing: one value, then only white space. A repeated key keeps its last value.
  json value = json::parse(document, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) {
    return fail("lista inválida");
  }

  ReleaseManifest manifest;
  if (!value.is_object()) {
    return fail("lista sem versão");
  }
  const auto version = value.find("version");
  if (version == value.end() || !version->is_string() ||
      !is_valid_version_label(version->get_ref<const std::string&>())) {
    return fail("lista sem versão");
  }
  manifest.version = version->get<std::string>();

  const auto files = value.find("files");
  if (files == value.end() || !files->is_array()) {
    return fail("lista sem arquivos");
  }
  bool has_program = false;
  manifest.files.reserve(files->size());
  for (const json& entry : *files) {
    ManifestFile file;
    file.path = read_string(entry, "path");
    file.sha256 = ascii_lower(read_string(entry, "sha256"));
    if (!is_valid_manifest_path(file.path) || !is_valid_digest(file.sha256)) {
      return fail("arquivo inválido na lista");
    }
    file.size = read_size(entry, "size");
    file.zsize = read_size(entry, "zsize");
    has_program = has_program || file.path == "Nelo.exe";
    manifest.files.push_back(std::move(file));
  }
  if (!has_program) {
    return fail("lista sem o Nelo.exe");
  }
  manifest.document = std::move(document);
  return manifest;
}

}  // namespace

bool manifest_changes_app(const std::optional<ReleaseManifest>& current,
                          const std::vector<ManifestFile>& files) {
  if (!current) {
    return true;
  }
  std::unordered_map<std::string_view, std::string_view> current_digests;
  for (const ManifestFile& file : current->files) {
    current_digests[file.path] = file.sha256;
  }
  bool changes_app = true;
  for (const ManifestFile& file : files) {
    const auto it = current_digests.find(file.path);
    if (it != current_digests.end() && it->second == file.sha256) {
      continue;
    }
    std::string path = file.path;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path != "resources/nelo-media.exe" && path != "resources/nelo-audio.exe") {
      return true;
    }
    changes_app = false;
  }
  return changes_app;
}

}  // namespace nelo
