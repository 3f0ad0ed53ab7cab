#include "nelo_publish/release_folder.h"

#include <algorithm>
#include <fstream>
#include <map>

#include "base/path_pieces.h"
#include "base/utf.h"
#include "release/manifest.h"
#include "release/windows_names.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;

// Files are read in pieces of this size.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

}  // namespace

Status check_letter_case(const std::vector<SourceFile>& files) {
  // Names as Windows compares them: the launcher's own fold.
  std::map<std::u16string, std::string_view> file_names;
  std::map<std::u16string, std::string_view> folder_names;
  for (const SourceFile& file : files) {
    const auto [existing, added] = file_names.emplace(folded_path_key(file.path), file.path);
    if (!added) {
      return fail("dois arquivos teriam o mesmo nome no Windows, que não distingue maiúsculas: \"" +
                  std::string(existing->second) + "\" e \"" + file.path + "\"");
    }
    const std::string_view path = file.path;
    for (size_t slash = path.find('/'); slash != std::string_view::npos;
         slash = path.find('/', slash + 1)) {
      folder_names.emplace(folded_path_key(path.substr(0, slash)), path.substr(0, slash));
    }
  }
  for (const auto& [folded, path] : file_names) {
    if (const auto folder = folder_names.find(folded); folder != folder_names.end()) {
      return fail("um arquivo e uma pasta teriam o mesmo nome no Windows: \"" + std::string(path) +
                  "\" e \"" + std::string(folder->second) + "/\"");
    }
  }
  return {};
}

Status check_manifest_path(const std::string& path) {
  // Every piece on its own as well: on POSIX a name may hold "\", which the launcher would
  // take for a separator.
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string_view piece = std::string_view(path).substr(start, slash - start);
    if (!is_plain_windows_name(piece)) {
      return fail("nome impróprio para o Windows: \"" + std::string(piece) + "\" em \"" + path +
                  "\"");
    }
    if (has_short_name_form(piece)) {
      return fail(
          "nome no formato curto do Windows (8.3, como LONGFI~1.DLL), que pode coincidir "
          "com o nome curto de outro arquivo: \"" +
          std::string(piece) + "\" em \"" + path + "\"");
    }
    if (slash == std::string::npos) {
      break;
    }
    start = slash + 1;
  }
  if (is_reserved_version_name(std::string_view(path).substr(0, path.find('/')))) {
    return fail("nome que a pasta da versão guarda para si: \"" + path + "\"");
  }
  if (!is_valid_manifest_path(path)) {
    return fail("caminho impróprio para o Windows: \"" + path + "\"");
  }
  return {};
}

Result<std::vector<SourceFile>> list_release(const fs::path& from) {
  std::error_code error;
  if (!fs::is_directory(fs::status(from, error))) {
    return fail("a pasta da versão não existe ou não é uma pasta: " + shown(from));
  }
  struct Folder {
    fs::path location;
    std::string path;  // relative, "" for the top
  };
  std::vector<SourceFile> files;
  std::vector<Folder> pending{{from, ""}};
  while (!pending.empty()) {
    const Folder folder = std::move(pending.back());
    pending.pop_back();
    fs::directory_iterator entries(folder.location, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
      const fs::directory_entry& entry = *entries;
      const std::optional<std::string> name = path_to_utf8(entry.path().filename());
      if (!name) {
        return fail("nome que não é Unicode válido: " + shown(entry.path()));
      }
      const std::string path = folder.path.empty() ? *name : folder.path + "/" + *name;
      const fs::file_status status = entry.symlink_status(error);
      if (error) {
        break;
      }
      // The library does not tell every kind of link on every system (MinGW's takes a Windows
      // junction for a folder): the platform is asked as well.
      if (fs::is_symlink(status) || is_link_elsewhere(entry.path())) {
        return fail("link simbólico na versão (publique o próprio arquivo): \"" + path + "\"");
      }
      if (fs::is_directory(status)) {
        pending.push_back({entry.path(), path});
        continue;
      }
      if (!fs::is_regular_file(status)) {
        return fail("não é um arquivo comum: \"" + path + "\"");
      }
      if (Status checked = check_manifest_path(path); !checked) {
        return checked.error();
      }
      const std::uintmax_t size = entry.file_size(error);
      if (error) {
        break;
      }
      files.push_back({path, entry.path(), size, {}});
    }
    if (error) {
      return fail("não foi possível ler a pasta " + shown(folder.location) + ": " +
                  error.message());
    }
  }
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.path < b.path; });
  return files;
}

Result<std::string> read_whole_file(const fs::path& location, std::uint64_t expected_size) {
  std::ifstream in(location, std::ios::binary);
  if (!in) {
    return fail("não foi possível abrir " + shown(location));
  }
  std::string content;
  content.reserve(static_cast<size_t>(expected_size));
  while (in) {
    const size_t before = content.size();
    content.resize(before + kChunkBytes);
    in.read(content.data() + before, static_cast<std::streamsize>(kChunkBytes));
    content.resize(before + static_cast<size_t>(in.gcount()));
  }
  if (in.bad() || !in.eof()) {
    return fail("não foi possível ler " + shown(location));
  }
  return content;
}

bool is_within(const fs::path& inner, const fs::path& outer) {
  const auto trimmed = [](const fs::path& path) {
    fs::path normal = path.lexically_normal();
    return normal.has_filename() || normal == normal.root_path() ? normal : normal.parent_path();
  };
  const fs::path a = trimmed(inner);
  const fs::path b = trimmed(outer);
  return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

}  // namespace nelo::publish
