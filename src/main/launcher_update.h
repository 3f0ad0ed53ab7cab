// Putting the launcher a release lists in place of the installed one, so that every fix made to
// the launcher reaches the installations already out there. Never worse than before: the new
// launcher is fetched and verified like any file, flushed, and run once with "--self-test"
// before it takes the installed launcher's name; any failure leaves the installed launcher
// exactly as it was, nothing left behind, and one line in the launcher log.
//
//   <root>
//     Nelo.exe        the installed launcher (the shortcuts and the uninstall entry start it)
//     Nelo.exe.new    the release's launcher while it is fetched and tested
//     Nelo.exe.old    the launcher it replaced: renamed, not deleted, since it may be running;
//                     deleted at the next session start
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "install/version_store.h"
#include "net/update_client.h"
#include "release/manifest.h"

namespace nelo {

// The argument that runs the self-test, and the one line it prints when the program can run:
// "self-test ok keys N", N the release keys it was built with (0: it checks no signature).
constexpr std::string_view kSelfTestArgument = "--self-test";
std::string self_test_line(std::size_t keys);

// What a self-test reported: nothing when its output is not exactly one success line (a final
// line end allowed); else the number of keys it trusts.
std::optional<std::size_t> read_self_test_line(std::string_view output);

// Whether the installed launcher is the one listed: sizes first, and only when they agree the
// digest of the installed file (`installed_digest`, read only then). A launcher that cannot be
// read (no size, no digest) differs.
enum class LauncherComparison { kNotListed, kSame, kDiffers };
LauncherComparison compare_launcher(
    const std::optional<ManifestFile>& listed, std::optional<std::uint64_t> installed_size,
    const std::function<std::optional<std::string>()>& installed_digest);

// Whether a launcher whose self-test reported `new_keys` may replace this one, which trusts
// `own_keys`: one built with keys never gives signature checks up for all later releases.
bool may_replace_launcher(std::size_t own_keys, std::size_t new_keys);

// Where the launcher lives, and what the swap does on the disk; Windows in
// launcher_update_win.cpp, a fake in the tests.
class LauncherPlace {
 public:
  virtual ~LauncherPlace() = default;
  virtual std::filesystem::path installed_path() = 0;  // <root>\Nelo.exe
  virtual std::filesystem::path fresh_path() = 0;      // <root>\Nelo.exe.new
  virtual std::optional<std::uint64_t> installed_size() = 0;
  // The update lock when nobody else holds it: a launcher that waits for it would only find the
  // work done, or hold up the application that started it.
  virtual bool try_update_lock() = 0;
  // Runs the program at `program` with the self-test argument and gives what it printed, when
  // it ended by itself with exit code 0 within the deadline (15 s); else the failure.
  virtual Result<std::string> run_self_test(const std::filesystem::path& program) = 0;
  // The installed launcher renamed to "Nelo.exe.old", then `fresh` renamed to "Nelo.exe", back
  // to back; when the second fails, the first is undone. Fails with the system's text.
  virtual Status swap_in(const std::filesystem::path& fresh) = 0;
};

// How an update of the launcher ended: for the tests, and for the line in the log.
enum class LauncherUpdate {
  kNotListed,   // the release lists no launcher: the installed one stays
  kNotCurrent,  // the release is not the current version here (outside its rollout, failed)
  kSame,        // the installed launcher is the listed one
  kBusy,        // another launcher holds the update lock
  kReplaced,    // the listed launcher is in place
  kFailed,      // fetch, digest, self-test or swap failed: the installed launcher stays
};

// Brings the installed launcher to the one `manifest` lists, once the release is the current
// version of the installation (the launcher comes with the release, and with its rollout):
// fetched through `client` (from a patch of the installed launcher when one is listed) into the
// place's fresh file, verified, self-tested and swapped in. `own_keys` are the keys of the running
// launcher. Never fails towards its caller: a failure is one line in the store's log.
LauncherUpdate update_launcher(UpdateClient& client, const ReleaseManifest& manifest,
                               VersionStore& store, LauncherPlace& place, std::size_t own_keys);

}  // namespace nelo
