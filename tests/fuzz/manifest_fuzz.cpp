// The manifest parser never fails on any input, gives what a reading of the whole tree by another
// JSON reader gives, and every document it accepts satisfies each rule when checked again here,
// independently of the parser's own code.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "release/manifest.h"
#include "tests/native/manifest_dom_oracle.h"

namespace {

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool is_reserved(std::string_view piece) {
  std::string base(piece.substr(0, piece.find('.')));
  while (!base.empty() && base.back() == ' ') {
    base.pop_back();
  }
  for (char& c : base) {
    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") {
    return true;
  }
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '0' && base[3] <= '9';
}

void check_path(std::string_view path) {
  check(!path.empty() && path[0] != '/' && path[0] != '\\');
  check(path.find(':') == std::string_view::npos);
  size_t start = 0;
  for (;;) {
    const size_t end = path.find_first_of("/\\", start);
    const std::string_view piece = path.substr(start, end - start);
    check(!piece.empty() && piece != "." && piece != "..");
    check(piece.back() != '.' && piece.back() != ' ');
    check(!is_reserved(piece));
    for (char c : piece) {
      check(static_cast<unsigned char>(c) >= 0x20);
    }
    if (end == std::string_view::npos) {
      break;
    }
    start = end + 1;
  }
}

// Containers nested at the deepest point, brackets inside strings left out.
int nesting(std::string_view text) {
  int depth = 0;
  int deepest = 0;
  bool in_string = false;
  bool escaped = false;
  for (char c : text) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto parsed = nelo::parse_release_manifest(input);
  // The launcher's own limits come before any reading; within them both readings agree.
  if (input.find('\0') == std::string::npos && !input.starts_with("\xEF\xBB\xBF") &&
      nesting(input) <= nelo::kManifestMaxDepth) {
    check(nelo::testing_support::launcher_reading(parsed) ==
          nelo::testing_support::oracle_reading(input));
  }
  if (!parsed.ok()) {
    const std::string& m = parsed.message();
    check(m == "lista inválida" || m == "lista sem versão" || m == "lista sem arquivos" ||
          m == "arquivo inválido na lista" || m == "lista sem o Nelo.exe");
    return 0;
  }
  const nelo::ReleaseManifest& manifest = parsed.value();
  check(manifest.document == input);
  check(!input.starts_with("\xEF\xBB\xBF"));
  check(!manifest.version.empty() && manifest.version.back() != '.');
  check(manifest.version != "." && manifest.version != "..");
  check(!is_reserved(manifest.version));
  for (char c : manifest.version) {
    check((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
          c == '-');
  }
  bool has_program = false;
  for (const nelo::ManifestFile& file : manifest.files) {
    check_path(file.path);
    check(file.sha256.size() == 64);
    for (char c : file.sha256) {
      check((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
    }
    has_program = has_program || file.path == "Nelo.exe";
  }
  check(has_program);
  // Every pack member is an object of the release lying inside its pack, none overlapping.
  for (const nelo::ReleasePack& pack : manifest.packs) {
    std::uint64_t end = 0;
    for (const nelo::PackMember& member : pack.members) {
      const auto object = std::find_if(
          manifest.files.begin(), manifest.files.end(),
          [&](const nelo::ManifestFile& file) { return file.sha256 == member.sha256; });
      const bool is_launcher = manifest.launcher && manifest.launcher->sha256 == member.sha256;
      const std::uint64_t length = object != manifest.files.end() ? object->zsize
                                   : is_launcher                  ? manifest.launcher->zsize
                                                                  : 0;
      check(length > 0 && member.offset >= end && length <= pack.size &&
            member.offset <= pack.size - length);
      end = member.offset + length;
    }
  }
  return 0;
}
