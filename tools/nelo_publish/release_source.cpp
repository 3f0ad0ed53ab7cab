#include "nelo_publish/release_source.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "nelo_publish/read_only_file.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

class FolderSource final : public ReleaseSource {
 public:
  explicit FolderSource(std::filesystem::path root) : root_(std::move(root)) {}

  bool remote() const override { return false; }

  Result<SourceAnswer> get(const std::string& path, const BodySink& body) override {
    return read(path, 0, std::nullopt, body);
  }

  Result<SourceAnswer> get_range(const std::string& path, std::uint64_t offset,
                                 std::uint64_t length, const BodySink& body) override {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(root_ / path_from_utf8(path), error);
    if (!error && (length == 0 || offset + length > size)) {
      return SourceAnswer{416, {}};
    }
    Result<SourceAnswer> answer = read(path, offset, length, body);
    if (answer && answer->status == 200) {
      answer->status = 206;
    }
    return answer;
  }

 private:
  // The file's bytes from `offset`, `length` of them or all the rest.
  Result<SourceAnswer> read(const std::string& path, std::uint64_t offset,
                            std::optional<std::uint64_t> length, const BodySink& body) {
    const std::filesystem::path location = root_ / path_from_utf8(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(location, error)) {
      return SourceAnswer{404, {}};
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_read_only(location), &std::fclose);
    if (!file) {
      return fail("não foi possível abrir " + shown(location));
    }
    if (offset > 0 && !seek_to(file.get(), offset)) {
      return fail("não foi possível ler " + shown(location));
    }
    std::vector<char> buffer(1 << 20);
    std::uint64_t left = length.value_or(UINT64_MAX);
    for (;;) {
      const std::size_t wanted =
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left));
      const std::size_t read = std::fread(buffer.data(), 1, wanted, file.get());
      left -= read;
      if (read > 0) {
        if (Status taken = body(std::string_view(buffer.data(), read)); !taken) {
          return taken.error();
        }
      }
      if (left == 0) {
        return SourceAnswer{200, {}};
      }
      if (read < wanted) {
        if (std::ferror(file.get())) {
          return fail("não foi possível ler " + shown(location));
        }
        return SourceAnswer{200, {}};
      }
    }
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
