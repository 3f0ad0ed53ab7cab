// A file opened for reading through the C library, by a path of any name the platform allows,
// and positioned past 2 GiB.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace nelo::publish {

// The file at `location` opened for reading in binary; null when it cannot be.
std::FILE* open_read_only(const std::filesystem::path& location);

// Moves to `offset` bytes from the start; false when the platform refuses.
bool seek_to(std::FILE* file, std::uint64_t offset);

}  // namespace nelo::publish
