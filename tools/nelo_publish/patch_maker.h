// Patches between two contents of a file: a zstd frame made with the older content as its
// prefix, with long-distance matching over a window that covers both, as "zstd --patch-from"
// makes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nelo::publish {

// The compression level of patches: close to what zstd gains at its highest levels for edits
// in large files, at a fraction of their time.
constexpr int kPatchLevel = 12;

// The patch that turns `old_content` into `new_content`, when it comes to at most `most` bytes;
// nothing when it would be larger (it is then not worth keeping) or cannot be made.
std::optional<std::string> make_patch(std::string_view old_content, std::string_view new_content,
                                      std::size_t most);

}  // namespace nelo::publish
