// The native floor of staging: one thread decoding (libbrotlidec), hashing (OpenSSL) and writing
// the objects of a published release, all read into memory first. What a launcher under Wine is
// measured against.
//
//   staging_floor ROOT OUT      ROOT as nelo-publish writes it; OUT an empty folder
//
// Prints "floor S decode S hash S write S files N bytes N" (seconds).
#include <brotli/decode.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "release/manifest.h"
#include "release/sha256.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: staging_floor ROOT OUT\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const std::filesystem::path out = argv[2];
  auto manifest = nelo::parse_release_manifest(read_file(root / "app" / "manifest.json"));
  if (!manifest) {
    std::fprintf(stderr, "manifest: %s\n", manifest.message().c_str());
    return 1;
  }
  std::vector<std::string> bodies;
  for (const nelo::ManifestFile& file : manifest->files) {
    bodies.push_back(read_file(root / "app" / "files" / file.sha256));
  }

  double decode = 0, hash = 0, write = 0;
  std::uint64_t bytes = 0;
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    const nelo::ManifestFile& file = manifest->files[i];
    Clock::time_point step = Clock::now();
    auto content = std::make_unique_for_overwrite<std::uint8_t[]>(file.size);
    std::size_t decoded = file.size;
    if (BrotliDecoderDecompress(bodies[i].size(),
                                reinterpret_cast<const std::uint8_t*>(bodies[i].data()), &decoded,
                                content.get()) != BROTLI_DECODER_RESULT_SUCCESS) {
      std::fprintf(stderr, "%s: not decoded\n", file.path.c_str());
      return 1;
    }
    decode += seconds_since(step);

    step = Clock::now();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(content.get(), decoded, digest, &length, EVP_sha256(), nullptr);
    if (nelo::to_hex(digest, length) != file.sha256) {
      std::fprintf(stderr, "%s: digest differs\n", file.path.c_str());
      return 1;
    }
    hash += seconds_since(step);

    step = Clock::now();
    const std::string target = (out / file.sha256).string();
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, content.get(), decoded) != static_cast<ssize_t>(decoded)) {
      std::perror(target.c_str());
      return 1;
    }
    ::close(fd);
    write += seconds_since(step);
    bytes += decoded;
  }
  std::printf("floor %.3f decode %.3f hash %.3f write %.3f files %zu bytes %llu\n",
              seconds_since(start), decode, hash, write, bodies.size(),
              static_cast<unsigned long long>(bytes));
  return 0;
}
