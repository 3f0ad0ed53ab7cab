#include "install/rollout_share.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "release/sha256.h"

namespace nelo {
namespace {

constexpr char kIdentityFile[] = "installation";

}  // namespace

bool is_installation_identity(std::string_view text) {
  return text.size() == kIdentityDigits && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string draw_installation_identity() {
  std::array<unsigned char, kIdentityDigits / 2> bits{};
  randombytes_buf(bits.data(), bits.size());
  return to_hex(bits.data(), bits.size());
}

std::uint32_t rollout_place(std::string_view identity, std::string_view version) {
  std::string seed;
  seed.reserve(identity.size() + 1 + version.size());
  seed.append(identity).append(1, '\n').append(version);
  const std::string digest = sha256_hex(seed);
  // 64 bits of the digest: the remainder's bias is below 1 in 10^17.
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 16; ++i) {
    const char c = digest[i];
    value = value * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return static_cast<std::uint32_t>(value % 100);
}

bool release_is_for(const ReleaseManifest& manifest, std::string_view identity) {
  return !manifest.rollout || rollout_place(identity, manifest.version) < *manifest.rollout;
}

namespace {

// Reads of an identity file that is there but cannot be read, and the pause between them.
constexpr int kIdentityReads = 5;
constexpr std::chrono::milliseconds kIdentityReadPause{20};

// The identity a file's text holds (one line end after it allowed), or nothing.
std::optional<std::string> identity_in(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  if (!is_installation_identity(text)) {
    return std::nullopt;
  }
  return std::string(text);
}

std::optional<std::string> kept_identity(VersionStore& store, const std::filesystem::path& file) {
  const std::optional<std::string> text = store.read_small(file);
  return text ? identity_in(*text) : std::nullopt;
}

}  // namespace

std::string installation_identity(VersionStore& store) {
  const std::filesystem::path file = store.versions_folder().parent_path() / kIdentityFile;
  // A file that is there but cannot be read a moment (another launcher, a scanner) is read
  // again before anything new is drawn: a new draw would move the installation to another place.
  std::optional<std::string> text = store.read_small(file);
  for (int read = 1; !text && read < kIdentityReads && store.file_stamp(file); ++read) {
    std::this_thread::sleep_for(kIdentityReadPause);
    text = store.read_small(file);
  }
  if (text) {
    if (std::optional<std::string> kept = identity_in(*text)) {
      return *kept;
    }
  }
  const std::string drawn = draw_installation_identity();
  std::filesystem::path fresh = file;
  fresh += "." + drawn + ".new";
  if (Status written = store.write_new_file(fresh, drawn + "\n"); !written) {
    store.note("a identidade da instalação não foi gravada: " + written.message());
    return drawn;
  }
  // The new file takes its name by one rename that never replaces another launcher's identity
  // (two that drew at once agree on the first); only a malformed one is replaced.
  const Status placed = text ? store.replace_file(fresh, file) : store.move_folder(fresh, file);
  if (!placed) {
    store.remove_file(fresh);
  }
  if (std::optional<std::string> kept = kept_identity(store, file)) {
    return *kept;
  }
  store.note("a identidade da instalação não foi gravada: " + placed.message());
  return drawn;
}

bool passes_over_release(VersionStore& store, const std::optional<std::string>& installed,
                         const ReleaseManifest& manifest) {
  if (!installed || !manifest.rollout || *installed == manifest.version ||
      release_is_for(manifest, installation_identity(store))) {
    return false;
  }
  store.note("a versão " + manifest.version + " é para " + std::to_string(*manifest.rollout) +
             "% das instalações, e esta não está entre elas: fica a " + *installed);
  return true;
}

}  // namespace nelo
