#include "main/launcher_update.h"

#include <limits>

#include "install/object_fetch.h"
#include "install/reuse.h"
#include "install/transfer_board.h"

namespace nelo {
namespace {

constexpr std::string_view kSelfTestOk = "self-test ok keys ";

// Fetches, verifies, tests and swaps in the listed launcher; the first failure is the message.
class LauncherSwap {
 public:
  LauncherSwap(UpdateClient& client, VersionStore& store, LauncherPlace& place,
               const ManifestFile& listed, std::size_t own_keys)
      : client_(client), store_(store), place_(place), listed_(listed), own_keys_(own_keys) {}

  Status run(const std::optional<std::string>& installed_digest) {
    const std::filesystem::path fresh = place_.fresh_path();
    if (Status fetched = fetch(fresh, installed_digest); !fetched) {
      return fetched;
    }
    const Result<std::string> output = place_.run_self_test(fresh);
    if (!output) {
      return fail("autoteste: " + output.message());
    }
    const std::optional<std::size_t> keys = read_self_test_line(*output);
    if (!keys) {
      return fail("autoteste sem a linha \"self-test ok\"");
    }
    if (!may_replace_launcher(own_keys_, *keys)) {
      return fail("o novo lançador não confere assinaturas, e este confere");
    }
    if (Status swapped = place_.swap_in(fresh); !swapped) {
      return fail("trocar o lançador: " + swapped.message());
    }
    return {};
  }

 private:
  // The object, streamed through its decoder and digest into a new file that reaches the disk
  // before it is run; from a patch of the installed launcher when the release lists one.
  Status fetch(const std::filesystem::path& fresh,
               const std::optional<std::string>& installed_digest) {
    ReuseIndex installed;
    if (installed_digest) {
      installed.emplace(*installed_digest, place_.installed_path());
    }
    const std::optional<PatchSource> patch = usable_patch(listed_, installed);
    TransferBoard board(DownloadProgress{0, listed_.zsize, 1, 0}, nullptr);
    // A launcher is a few MiB: its bytes are never kept for a later attempt, so that the kept
    // bodies stay those of the release being staged.
    TransferSettings settings;
    settings.keep_body_from = std::numeric_limits<std::uint64_t>::max();
    return fetch_object(client_, store_, board, settings, listed_, fresh, 0,
                        patch ? &*patch : nullptr);
  }

  UpdateClient& client_;
  VersionStore& store_;
  LauncherPlace& place_;
  const ManifestFile& listed_;
  std::size_t own_keys_;
};

}  // namespace

std::string self_test_line(std::size_t keys) {
  return std::string(kSelfTestOk) + std::to_string(keys);
}

std::optional<std::size_t> read_self_test_line(std::string_view output) {
  if (output.ends_with("\r\n")) {
    output.remove_suffix(2);
  } else if (output.ends_with('\n')) {
    output.remove_suffix(1);
  }
  if (!output.starts_with(kSelfTestOk)) {
    return std::nullopt;
  }
  const std::string_view number = output.substr(kSelfTestOk.size());
  if (number.empty() || number.size() > 4) {
    return std::nullopt;
  }
  std::size_t keys = 0;
  for (const char c : number) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    keys = keys * 10 + static_cast<std::size_t>(c - '0');
  }
  return keys;
}

LauncherComparison compare_launcher(
    const std::optional<ManifestFile>& listed, std::optional<std::uint64_t> installed_size,
    const std::function<std::optional<std::string>()>& installed_digest) {
  if (!listed) {
    return LauncherComparison::kNotListed;
  }
  if (installed_size != listed->size) {
    return LauncherComparison::kDiffers;
  }
  return installed_digest() == listed->sha256 ? LauncherComparison::kSame
                                              : LauncherComparison::kDiffers;
}

bool may_replace_launcher(std::size_t own_keys, std::size_t new_keys) {
  return own_keys == 0 || new_keys > 0;
}

LauncherUpdate update_launcher(UpdateClient& client, const ReleaseManifest& manifest,
                               VersionStore& store, LauncherPlace& place, std::size_t own_keys) {
  if (!manifest.launcher) {
    return LauncherUpdate::kNotListed;
  }
  // The launcher comes with its release: an installation the release is not current in (left
  // out of its rollout, or whose staging failed) keeps its launcher as well.
  if (store.read_current_version() != manifest.version) {
    return LauncherUpdate::kNotCurrent;
  }
  const ManifestFile& listed = *manifest.launcher;
  std::optional<std::string> digest;
  bool hashed = false;
  const auto installed_digest = [&] {
    if (!hashed) {
      digest = store.file_digest(place.installed_path());
      hashed = true;
    }
    return digest;
  };
  if (compare_launcher(manifest.launcher, place.installed_size(), installed_digest) ==
      LauncherComparison::kSame) {
    return LauncherUpdate::kSame;
  }
  if (!place.try_update_lock()) {
    return LauncherUpdate::kBusy;
  }
  // A patch starts from the installed launcher's content: its digest tells which patch fits.
  if (!listed.patches.empty()) {
    (void)installed_digest();
  }
  const std::filesystem::path fresh = place.fresh_path();
  store.remove_file(fresh);  // what a launcher stopped before its swap left behind
  const Status swapped = LauncherSwap(client, store, place, listed, own_keys).run(digest);
  if (!swapped) {
    store.remove_file(fresh);
    store.note("o lançador " + listed.sha256 + " da versão " + manifest.version +
               " não foi posto no lugar: " + swapped.message());
    return LauncherUpdate::kFailed;
  }
  return LauncherUpdate::kReplaced;
}

}  // namespace nelo
