#include "release/manifest.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "base/ascii_case.h"
#include "base/json_reader.h"
#include "base/path_pieces.h"
#include "base/unicode_upper.h"
#include "base/utf.h"
#include "release/windows_names.h"

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

// A pack as written, each field present only when its last value has the type a rule wants.
struct CollectedMember {
  std::optional<std::string> sha256;
  std::optional<std::uint64_t> offset;
};
struct CollectedPack {
  std::optional<std::string> name;
  std::optional<std::uint64_t> size;
  std::optional<std::vector<CollectedMember>> members;
};

// Collects what the rules look at, event by event, without building the document's tree: the
// top level's "version", "files", "rollout", "launcher" and "packs", each entry's (and the
// launcher's) "path", "sha256", "size", "zsize" and "patches", each patch's "from" and "zsize",
// each pack's "name", "size" and "members", and each member's "sha256" and "offset". Like a
// tree, it keeps the last value of a repeated key; a value of another type than a rule wants
// counts as missing (an empty text, a size of 0), except where a rule refuses the document for
// it (a "patches", "rollout" or "launcher" of the wrong kind).
class ManifestReader {
 public:
  struct Collected {
    bool top_is_object = false;
    std::optional<std::string> version;              // when the last "version" is a string
    std::optional<std::vector<ManifestFile>> files;  // when the last "files" is an array
    std::vector<char> bad_patches;                   // by entry: its "patches" breaks a rule
    std::optional<std::uint64_t> rollout;            // when the last "rollout" is a number
    bool bad_rollout = false;                        // the last "rollout" is something else
    std::optional<ManifestFile> launcher;            // when the last "launcher" is an object
    bool bad_launcher = false;                       // the last "launcher" is something else
    int launcher_numbers = 0;       // which of its sizes are numbers: bit 0 "size", bit 1 "zsize"
    char bad_launcher_patches = 0;  // its "patches" breaks a rule
    std::optional<std::vector<CollectedPack>> packs;  // when the last "packs" is an array
    bool bad_packs = false;                           // the last "packs" is something else
  };

  Collected& collected() { return collected_; }

  void other_value() {
    switch (frame()) {
      case Frame::kTop:
        if (key_ == Key::kVersion) {
          collected_.version.reset();
        } else if (key_ == Key::kFiles) {
          collected_.files.reset();
        } else if (key_ == Key::kRollout) {
          collected_.rollout.reset();
          collected_.bad_rollout = true;
        } else if (key_ == Key::kLauncher) {
          collected_.launcher.reset();
          collected_.bad_launcher = true;
        } else if (key_ == Key::kPacks) {
          collected_.packs.reset();
          collected_.bad_packs = true;
        }
        break;
      case Frame::kPacks:
        collected_.packs->emplace_back();  // a pack with nothing: never valid
        break;
      case Frame::kPack:
        if (key_ == Key::kName) {
          pack().name.reset();
        } else if (key_ == Key::kSize) {
          pack().size.reset();
        } else if (key_ == Key::kMembers) {
          pack().members.reset();
        }
        break;
      case Frame::kMembers:
        pack().members->emplace_back();  // a member with nothing: never valid
        break;
      case Frame::kMember:
        if (key_ == Key::kSha256) {
          member().sha256.reset();
        } else if (key_ == Key::kOffset) {
          member().offset.reset();
        }
        break;
      case Frame::kFiles:
        new_entry();  // an entry with neither path nor digest
        break;
      case Frame::kEntry:
        clear_entry_field();
        break;
      case Frame::kPatches:
        entry().patches.emplace_back();
        bad_patches() = true;  // a patch that is not an object
        break;
      case Frame::kPatch:
        if (key_ == Key::kFrom) {
          entry().patches.back().from.clear();
        } else if (key_ == Key::kZsize) {
          entry().patches.back().zsize = 0;
        }
        break;
      case Frame::kSkipped:
        break;
    }
  }

  void unsigned_number(std::uint64_t value) {
    if (frame() == Frame::kEntry && (key_ == Key::kSize || key_ == Key::kZsize)) {
      (key_ == Key::kSize ? entry().size : entry().zsize) = value;
      if (in_launcher_) {
        collected_.launcher_numbers |= key_ == Key::kSize ? 1 : 2;
      }
    } else if (frame() == Frame::kPatch && key_ == Key::kZsize) {
      entry().patches.back().zsize = value;
    } else if (frame() == Frame::kTop && key_ == Key::kRollout) {
      collected_.rollout = value;
      collected_.bad_rollout = false;
    } else if (frame() == Frame::kPack && key_ == Key::kSize) {
      pack().size = value;
    } else if (frame() == Frame::kMember && key_ == Key::kOffset) {
      member().offset = value;
    } else {
      other_value();
    }
  }

  void string(std::string_view value) {
    if (frame() == Frame::kTop && key_ == Key::kVersion) {
      collected_.version.emplace(value);
    } else if (frame() == Frame::kEntry && (key_ == Key::kPath || key_ == Key::kSha256)) {
      (key_ == Key::kPath ? entry().path : entry().sha256).assign(value);
    } else if (frame() == Frame::kPatch && key_ == Key::kFrom) {
      entry().patches.back().from.assign(value);
    } else if (frame() == Frame::kPack && key_ == Key::kName) {
      pack().name.emplace(value);
    } else if (frame() == Frame::kMember && key_ == Key::kSha256) {
      member().sha256.emplace(value);
    } else {
      other_value();
    }
  }

  void start_object() {
    if (frames_.empty()) {
      collected_.top_is_object = true;
      frames_.push_back(Frame::kTop);
    } else if (frame() == Frame::kTop && key_ == Key::kLauncher) {
      // The launcher reads like a file entry of its own, outside "files".
      collected_.launcher.emplace();
      collected_.launcher->path = std::string(kLauncherObjectName);
      collected_.bad_launcher = false;
      collected_.launcher_numbers = 0;
      collected_.bad_launcher_patches = false;
      in_launcher_ = true;
      frames_.push_back(Frame::kEntry);
    } else if (frame() == Frame::kFiles) {
      new_entry();
      frames_.push_back(Frame::kEntry);
    } else if (frame() == Frame::kPatches) {
      entry().patches.emplace_back();
      frames_.push_back(Frame::kPatch);
    } else if (frame() == Frame::kPacks) {
      collected_.packs->emplace_back();
      frames_.push_back(Frame::kPack);
    } else if (frame() == Frame::kMembers) {
      pack().members->emplace_back();
      frames_.push_back(Frame::kMember);
    } else {
      container_value();
    }
  }

  void start_array() {
    if (frame() == Frame::kTop && key_ == Key::kFiles) {
      collected_.files.emplace();
      collected_.bad_patches.clear();
      frames_.push_back(Frame::kFiles);
    } else if (frame() == Frame::kEntry && key_ == Key::kPatches) {
      entry().patches.clear();
      bad_patches() = false;
      frames_.push_back(Frame::kPatches);
    } else if (frame() == Frame::kTop && key_ == Key::kPacks) {
      collected_.packs.emplace();
      collected_.bad_packs = false;
      frames_.push_back(Frame::kPacks);
    } else if (frame() == Frame::kPack && key_ == Key::kMembers) {
      pack().members.emplace();
      frames_.push_back(Frame::kMembers);
    } else {
      container_value();
    }
  }

  void end_object() { end_container(); }
  void end_array() { end_container(); }

  void key(std::string_view name) {
    struct Known {
      Frame frame;
      std::string_view name;
      Key key;
    };
    static constexpr Known kKnown[] = {
        {Frame::kTop, "version", Key::kVersion},   {Frame::kTop, "files", Key::kFiles},
        {Frame::kTop, "rollout", Key::kRollout},   {Frame::kTop, "launcher", Key::kLauncher},
        {Frame::kEntry, "path", Key::kPath},       {Frame::kEntry, "sha256", Key::kSha256},
        {Frame::kEntry, "size", Key::kSize},       {Frame::kEntry, "zsize", Key::kZsize},
        {Frame::kEntry, "patches", Key::kPatches}, {Frame::kPatch, "from", Key::kFrom},
        {Frame::kPatch, "zsize", Key::kZsize},     {Frame::kTop, "packs", Key::kPacks},
        {Frame::kPack, "name", Key::kName},        {Frame::kPack, "size", Key::kSize},
        {Frame::kPack, "members", Key::kMembers},  {Frame::kMember, "sha256", Key::kSha256},
        {Frame::kMember, "offset", Key::kOffset},
    };
    key_ = Key::kOther;
    for (const Known& known : kKnown) {
      if (known.frame == frame() && known.name == name) {
        key_ = known.key;
        return;
      }
    }
  }

 private:
  enum class Frame {
    kTop,
    kFiles,
    kEntry,
    kPatches,
    kPatch,
    kPacks,
    kPack,
    kMembers,
    kMember,
    kSkipped
  };
  enum class Key {
    kOther,
    kVersion,
    kFiles,
    kRollout,
    kLauncher,
    kPath,
    kSha256,
    kSize,
    kZsize,
    kPatches,
    kFrom,
    kPacks,
    kName,
    kMembers,
    kOffset
  };

  Frame frame() const { return frames_.empty() ? Frame::kSkipped : frames_.back(); }
  ManifestFile& entry() { return in_launcher_ ? *collected_.launcher : collected_.files->back(); }
  char& bad_patches() {
    return in_launcher_ ? collected_.bad_launcher_patches : collected_.bad_patches.back();
  }

  CollectedPack& pack() { return collected_.packs->back(); }
  CollectedMember& member() { return pack().members->back(); }

  void forget_launcher_number(int bit) {
    if (in_launcher_) {
      collected_.launcher_numbers &= ~bit;
    }
  }

  void new_entry() {
    collected_.files->emplace_back();
    collected_.bad_patches.push_back(false);
  }

  void clear_entry_field() {
    switch (key_) {
      case Key::kPath:
        entry().path.clear();
        break;
      case Key::kSha256:
        entry().sha256.clear();
        break;
      case Key::kSize:
        entry().size = 0;
        forget_launcher_number(1);
        break;
      case Key::kZsize:
        entry().zsize = 0;
        forget_launcher_number(2);
        break;
      case Key::kPatches:
        // Not an array: a list of patches the launcher could not read.
        entry().patches.clear();
        bad_patches() = true;
        break;
      default:
        break;
    }
  }

  // An object or array where no rule wants one: it counts as a value of another type, and
  // everything inside it is passed over.
  void container_value() {
    other_value();
    frames_.push_back(Frame::kSkipped);
  }

  void end_container() {
    frames_.pop_back();
    if (frame() == Frame::kTop) {
      in_launcher_ = false;  // the only entry directly below the top is the launcher's
    }
    key_ = Key::kOther;  // the next key of the enclosing object is read afresh
  }

  Collected collected_;
  std::vector<Frame> frames_;
  Key key_ = Key::kOther;
  bool in_launcher_ = false;  // the entry being read is the launcher's, not one of "files"
};

bool is_valid_digest(std::string_view sha256) {
  return sha256.size() == 64 && std::all_of(sha256.begin(), sha256.end(), is_lower_hex);
}

void lower_in_place(std::string& text) {
  for (char& c : text) {
    c = ascii_lower(c);
  }
}

// Each patch names the digest it starts from (never the file's own: that content needs no
// patch) and its size, which cannot be 0; there are at most kMostPatches.
bool are_valid_patches(ManifestFile& file) {
  if (file.patches.size() > kMostPatches) {
    return false;
  }
  for (PatchOffer& patch : file.patches) {
    lower_in_place(patch.from);
    if (!is_valid_digest(patch.from) || patch.from == file.sha256 || patch.zsize == 0) {
      return false;
    }
  }
  return true;
}

// The launcher is a program the installation will run: its digest must be in form, its sizes
// given and within bounds, its patches as valid as a file's. A "path" in it is ignored.
bool is_valid_launcher(ManifestFile& launcher, int numbers, bool bad_patches) {
  lower_in_place(launcher.sha256);
  launcher.path = std::string(kLauncherObjectName);
  return numbers == 3 && is_valid_digest(launcher.sha256) && launcher.size > 0 &&
         launcher.size <= kMostLauncherBytes && launcher.zsize > 0 && !bad_patches &&
         are_valid_patches(launcher);
}

// The length of each object a pack may hold, by digest: its zsize, when every entry of that
// digest lists the same one and it is at least 1. Zero marks a digest whose length is not known.
std::unordered_map<std::string_view, std::uint64_t> object_lengths(
    const std::vector<ManifestFile>& files, const std::optional<ManifestFile>& launcher) {
  std::unordered_map<std::string_view, std::uint64_t> lengths;
  const auto add = [&](const ManifestFile& file) {
    const auto [at, added] = lengths.emplace(file.sha256, file.zsize);
    if (!added && at->second != file.zsize) {
      at->second = 0;
    }
  };
  for (const ManifestFile& file : files) {
    add(file);
  }
  if (launcher) {
    add(*launcher);
  }
  return lengths;
}

// The packs as the launcher may trust them: every name and digest in form, every member an
// object of the manifest of a known length, inside its pack and overlapping no other. Members
// come out by offset. Nothing when one rule is broken.
std::optional<std::vector<ReleasePack>> valid_packs(
    std::vector<CollectedPack>& collected,
    const std::unordered_map<std::string_view, std::uint64_t>& lengths) {
  std::vector<ReleasePack> packs;
  packs.reserve(collected.size());
  std::unordered_set<std::string> names;
  for (CollectedPack& written : collected) {
    if (!written.name || !written.size || !written.members) {
      return std::nullopt;
    }
    ReleasePack pack;
    pack.name = std::move(*written.name);
    lower_in_place(pack.name);
    pack.size = *written.size;
    if (!is_valid_digest(pack.name) || !names.insert(pack.name).second) {
      return std::nullopt;
    }
    pack.members.reserve(written.members->size());
    for (CollectedMember& member : *written.members) {
      if (!member.sha256 || !member.offset) {
        return std::nullopt;
      }
      lower_in_place(*member.sha256);
      const auto length = lengths.find(*member.sha256);
      if (length == lengths.end() || length->second == 0 || length->second > pack.size ||
          *member.offset > pack.size - length->second) {
        return std::nullopt;  // not an object of this release, or not inside the pack
      }
      pack.members.push_back({std::move(*member.sha256), *member.offset});
    }
    std::stable_sort(pack.members.begin(), pack.members.end(),
                     [](const PackMember& a, const PackMember& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < pack.members.size(); ++i) {
      const PackMember& before = pack.members[i - 1];
      if (pack.members[i].offset < before.offset + lengths.at(before.sha256)) {
        return std::nullopt;
      }
    }
    packs.push_back(std::move(pack));
  }
  return packs;
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
  for (std::size_t i = 0; i < manifest.files.size(); ++i) {
    ManifestFile& file = manifest.files[i];
    lower_in_place(file.sha256);
    if (!is_valid_manifest_path(file.path) || !is_valid_digest(file.sha256) ||
        collected.bad_patches[i] || !are_valid_patches(file)) {
      return fail("arquivo inválido na lista");
    }
    has_program = has_program || file.path == "Nelo.exe";
  }
  if (!has_program) {
    return fail("lista sem o Nelo.exe");
  }
  // A share that is not a whole percentage is no share a launcher could hold itself to.
  if (collected.bad_rollout || (collected.rollout && *collected.rollout > 100)) {
    return fail("lista inválida");
  }
  manifest.rollout = collected.rollout;
  if (collected.bad_launcher ||
      (collected.launcher && !is_valid_launcher(*collected.launcher, collected.launcher_numbers,
                                                collected.bad_launcher_patches != 0))) {
    return fail("lista inválida");
  }
  manifest.launcher = std::move(collected.launcher);
  if (collected.bad_packs) {
    return fail("lista inválida");
  }
  if (collected.packs) {
    std::optional<std::vector<ReleasePack>> packs =
        valid_packs(*collected.packs, object_lengths(manifest.files, manifest.launcher));
    if (!packs) {
      return fail("lista inválida");
    }
    manifest.packs = std::move(*packs);
  }
  manifest.document = std::move(document);
  return manifest;
}

}  // namespace

std::vector<const ManifestFile*> served_objects(const ReleaseManifest& manifest) {
  std::vector<const ManifestFile*> objects;
  objects.reserve(manifest.files.size() + 1);
  for (const ManifestFile& file : manifest.files) {
    objects.push_back(&file);
  }
  if (manifest.launcher) {
    objects.push_back(&*manifest.launcher);
  }
  return objects;
}

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
