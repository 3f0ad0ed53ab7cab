// Walking the pieces of a relative path, the names between its separators.
#pragma once

#include <optional>
#include <string_view>

namespace nelo {

// A manifest path separates its pieces by "/" and "\" alike.
constexpr std::string_view kManifestPathSeparators = "/\\";

// Gives the pieces of `path` in order, split at any character of `separators`. Every separator
// ends a piece, so "a//b" has an empty piece and "" is one empty piece.
//
//   PathPieces pieces(path);
//   while (const std::optional<std::string_view> piece = pieces.next()) { ... }
class PathPieces {
 public:
  explicit PathPieces(std::string_view path, std::string_view separators = kManifestPathSeparators)
      : path_(path), separators_(separators) {}

  // The next piece, or nothing after the last.
  std::optional<std::string_view> next() {
    if (done_) {
      return std::nullopt;
    }
    const std::size_t start = start_;
    const std::size_t end = path_.find_first_of(separators_, start);
    if (end == std::string_view::npos) {
      done_ = true;
    } else {
      start_ = end + 1;
    }
    return path_.substr(start, end - start);
  }

 private:
  std::string_view path_;
  std::string_view separators_;
  std::size_t start_ = 0;
  bool done_ = false;
};

}  // namespace nelo
