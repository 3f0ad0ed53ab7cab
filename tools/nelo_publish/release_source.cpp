#include "nelo_publish/release_source.h"

#include <cstdio>
#include <vector>

#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

class FolderSource final : public ReleaseSource {
 public:
  explicit FolderSource(std::filesystem::path root) : root_(std::move(root)) {}

  bool remote() const override { return false; }

  Result<SourceAnswer> get(const std::string& path, const BodySink& body) override {
    const std::filesystem::path location = root_ / path_from_utf8(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(location, error)) {
      return SourceAnswer{404, {}};
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_for_reading(location), &std::fclose);
    if (!file) {
      return fail("não foi possível abrir " + shown(location));
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
      const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), file.get());
      if (read > 0) {
        if (Status taken = body(std::string_view(buffer.data(), read)); !taken) {
          return taken.error();
        }
      }
      if (read < buffer.size()) {
        if (std::ferror(file.get())) {
          return fail("não foi possível ler " + shown(location));
        }
        return SourceAnswer{200, {}};
      }
    }
  }

 private:
  static std::FILE* open_for_reading(const std::filesystem::path& location) {
#ifdef _WIN32
    return ::_wfopen(location.c_str(), L"rb");
#else
    return std::fopen(location.c_str(), "rb");
#endif
  }

  std::filesystem::path root_;
};

}  // namespace

Result<std::unique_ptr<ReleaseSource>> open_release_source(const std::string& where,
                                                           const std::filesystem::path& ca_file) {
  if (where.starts_with("http://") || where.starts_with("https://")) {
    return open_url_source(where.ends_with("/") ? where : where + "/", ca_file);
  }
  std::error_code error;
  const std::filesystem::path root = path_from_utf8(where);
  if (!std::filesystem::is_directory(root, error)) {
    return fail("não é uma pasta nem um endereço http(s): " + shown(root));
  }
  return std::unique_ptr<ReleaseSource>(std::make_unique<FolderSource>(root));
}

}  // namespace nelo::publish
