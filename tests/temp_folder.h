// A fresh folder below the system's temporary folder, removed with everything in it: the one
// temporary-folder fixture of every test layer.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace nelo::testing_support {

class TempFolder {
 public:
  // A name no other folder has: tests of several processes at once never share one.
  TempFolder() {
    std::random_device device;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    do {
      path_ = base / ("nelo-test-" + std::to_string(device()) + "-" + std::to_string(device()));
    } while (!std::filesystem::create_directories(path_));
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Writes `bytes` as the whole file at `path`, making its folders.
inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The whole file at `path`; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace nelo::testing_support
