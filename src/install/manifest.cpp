#include "install/manifest.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "base/ascii_case.h"
#include "base/json_reader.h"
#include "base/path_pieces.h"
#include "base/unicode_upper.h"
#include "base/utf.h"
#include "install/windows_names.h"

namespace nelo {
namespace {

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

// Collects what the rules look at, event by event, without building the document's tree: the
// top level's "version" and "files", and each entry's "path", "sha256", "size" and "zsize".
// Like a tree, it keeps the last value of a repeated key; a value of another type than a rule
// wants counts as missing (an empty text, a size of 0).
class ManifestReader {
 public:
  struct Collected {
    bool top_is_object = false;
    std::optional<std::string> version;              // when the last "version" is a string
    std::optional<std::vector<ManifestFile>> files;  // when the last "files" is an array
  };

  Collected& collected() { return collected_; }

  void other_value() {
    if (frame() == Frame::kTop) {
      if (key_ == Key::kVersion) {
        collected_.version.reset();
      } else if (key_ == Key::kFiles) {
        collected_.files.reset();
      }
    } else if (frame() == Frame::kFiles) {
      collected_.files->emplace_back();  // an entry with neither path nor digest
    } else if (frame() == Frame::kEntry) {
      ManifestFile& file = collected_.files->back();
      switch (key_) {
        case Key::kPath:
          file.path.clear();
          break;
        case Key::kSha256:
          file.sha256.clear();
          break;
        case Key::kSize:
          file.size = 0;
          break;
        case Key::kZsize:
          file.zsize = 0;
          break;
        default:
          break;
      }
    }
  }

  void unsigned_number(std::uint64_t value) {
    if (frame() == Frame::kEntry && (key_ == Key::kSize || key_ == Key::kZsize)) {
      ManifestFile& file = collected_.files->back();
      (key_ == Key::kSize ? file.size : file.zsize) = value;
      return;
    }
    other_value();
  }

  void string(std::string_view value) {
    if (frame() == Frame::kTop && key_ == Key::kVersion) {
      collected_.version.emplace(value);
      return;
    }
    if (frame() == Frame::kEntry && (key_ == Key::kPath || key_ == Key::kSha256)) {
      ManifestFile& file = collected_.files->back();
      (key_ == Key::kPath ? file.path : file.sha256).assign(value);
      return;
    }
    other_value();
  }

  void start_object() {
    if (frames_.empty()) {
      collected_.top_is_object = true;
      frames_.push_back(Frame::kTop);
    } else if (frame() == Frame::kFiles) {
      collected_.files->emplace_back();
      frames_.push_back(Frame::kEntry);
    } else {
      container_value();
    }
  }

  void start_array() {
    if (!frames_.empty() && frame() == Frame::kTop && key_ == Key::kFiles) {
      collected_.files.emplace();
      frames_.push_back(Frame::kFiles);
    } else {
      container_value();
    }
  }

  void end_object() { end_container(); }
  void end_array() { end_container(); }

  void key(std::string_view name) {
    key_ = Key::kOther;
    if (frame() == Frame::kTop) {
      if (name == "version") {
        key_ = Key::kVersion;
      } else if (name == "files") {
        key_ = Key::kFiles;
      }
    } else if (frame() == Frame::kEntry) {
      if (name == "path") {
        key_ = Key::kPath;
      } else if (name == "sha256") {
        key_ = Key::kSha256;
      } else if (name == "size") {
        key_ = Key::kSize;
      } else if (name == "zsize") {
        key_ = Key::kZsize;
      }
    }
  }

 private:
  enum class Frame { kTop, kFiles, kEntry, kSkipped };
  enum class Key { kOther, kVersion, kFiles, kPath, kSha256, kSize, kZsize };

  Frame frame() const { return frames_.empty() ? Frame::kSkipped : frames_.back(); }

  // An object or array where no rule wants one: it counts as a value of another type, and
  // everything inside it is passed over.
  void container_value() {
    other_value();
    frames_.push_back(Frame::kSkipped);
  }

  void end_container() {
    frames_.pop_back();
    key_ = Key::kOther;  // the next key of the enclosing object is read afresh
  }

  Collected collected_;
  std::vector<Frame> frames_;
  Key key_ = Key::kOther;
};

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

std::optional<std::u16string> fold_windows_name(std::string_view name) {
  std::optional<std::u16string> wide = utf8_to_utf16(name);
  if (!wide) {
    return std::nullopt;
  }
  return upper_case(*wide);
}

std::u16string folded_path_key(std::string_view manifest_path) {
  std::u16string key;
  PathPieces pieces(manifest_path);
  bool first = true;
  while (const std::optional<std::string_view> piece = pieces.next()) {
    if (!first) {
      key += u'/';
    }
    first = false;
    // A piece that is not UTF-8 keeps its bytes: it can only equal itself.
    if (const std::optional<std::u16string> folded = fold_windows_name(*piece)) {
      key += *folded;
    } else {
      key.append(piece->begin(), piece->end());
    }
  }
  return key;
}

bool is_reserved_version_name(std::string_view name) {
  // Both reserved names begin with ".", which no letter case folds to: every other name (all
  // but a few of a manifest's thousands of paths) is told apart without folding.
  static_assert(kStoredManifestName.starts_with('.') && kStoredSignatureName.starts_with('.'));
  if (!name.starts_with('.')) {
    return false;
  }
  const std::optional<std::u16string> folded = fold_windows_name(name);
  if (!folded) {
    return false;
  }
  for (const std::string_view reserved : {kStoredManifestName, kStoredSignatureName}) {
    if (folded == fold_windows_name(reserved)) {
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
  // Strict reading: one value, then only white space. The whole document is read before any
  // rule is applied, so that a malformed end is "lista inválida" whatever came before it.
  ManifestReader reader;
  if (!read_json(document, reader)) {
    return fail("lista inválida");
  }
  ManifestReader::Collected& collected = reader.collected();
  if (!collected.top_is_object || !collected.version ||
      !is_valid_version_label(*collected.version)) {
    return fail("lista sem versão");
  }
  if (!collected.files) {
    return fail("lista sem arquivos");
  }
  ReleaseManifest manifest;
  manifest.version = std::move(*collected.version);
  manifest.files = std::move(*collected.files);
  bool has_program = false;
  for (ManifestFile& file : manifest.files) {
    for (char& c : file.sha256) {
      c = ascii_lower(c);
    }
    if (!is_valid_manifest_path(file.path) || !is_valid_digest(file.sha256)) {
      return fail("arquivo inválido na lista");
    }
    has_program = has_program || file.path == "Nelo.exe";
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
