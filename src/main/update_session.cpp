#include "main/update_session.h"

#include "install/rollout_share.h"
#include "main/install_release.h"
#include "main/release_fetch.h"
#include "main/session_window.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 100ms;
constexpr auto kUpdatedHold = 700ms;

// How an attempt ended: with the session's result, or with a wish to try again.
struct AttemptEnd {
  bool try_again = false;
  std::optional<std::string> target;
};

AttemptEnd finish(std::optional<std::string> target) {
  return {false, std::move(target)};
}

// The countdown of the offline and failure screens, polling the user's choice every 100 ms.
AttemptEnd count_down(LauncherUi& ui, const std::optional<std::string>& installed,
                      const std::function<Phase(std::uint32_t seconds_left)>& phase,
                      SessionServices& services) {
  const AttemptSettings settings = attempt_settings(installed.has_value());
  const Clock::time_point start = services.clock.now();
  for (;;) {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(services.clock.now() - start);
    if (elapsed >= settings.countdown) {
      // Running out starts what is installed, or tries again when nothing is.
      return installed ? finish(installed) : AttemptEnd{true, std::nullopt};
    }
    set_phase(ui, phase(static_cast<std::uint32_t>((settings.countdown - elapsed).count())));
    switch (take_action(ui)) {
      case NoAction:
        services.clock.sleep_for(kPollInterval);
        continue;
      case Retry:
        return {true, std::nullopt};
      case OpenNow:
        return finish(installed);
      default:  // Quit (the window is gone) or anything else
        return finish(std::nullopt);
    }
  }
}

AttemptEnd run_attempt(const std::shared_ptr<LauncherUi>& ui, SessionServices& services) {
  const std::optional<std::string> installed = services.store.find_installed_version();
  const AttemptSettings settings = attempt_settings(installed.has_value());
  if (installed) {
    set_version_text(*ui, *installed);
    set_phase(*ui, Checking{});
  } else {
    set_phase(*ui, Installing{0, 0, 0});
  }

  auto client = services.open_client(settings.timeout_ms);
  std::optional<ReleaseManifest> manifest;
  if (client) {
    if (auto fetched = fetch_release_manifest(**client, services.store.manifest_trust())) {
      manifest = std::move(fetched).value();
    }
  }
  if (!manifest) {
    // No connection, no server, or a bad answer: the message is not shown.
    const bool has_installed = installed.has_value();
    return count_down(
        *ui, installed,
        [&](std::uint32_t seconds_left) {
          return Phase(Offline{seconds_left, has_installed});
        },
        services);
  }
  if (installed == manifest->version) {
    services.release = std::move(manifest);
    return finish(installed);
  }
  if (passes_over_release(services.store, installed, *manifest)) {
    return finish(installed);
  }

  ProgressContext context;
  context.ui = ui;
  context.clock = &services.clock;
  context.has_installed = installed.has_value();
  context.new_version = manifest->version;
  context.label =
      manifest_changes_app(services.store.load_stored_manifest(installed), manifest->files)
          ? "O programa"
          : "Voz e live";
  // The speed counts from the staging's first report, made once the update lock is held, so
  // that waiting for another launcher does not count as slow downloading.
  ProgressSink sink = [context, started = false](const DownloadProgress& progress) mutable {
    if (!started) {
      context.started = context.clock->now();
      started = true;
    }
    publish_progress(context, progress);
  };
  const auto outcome = install_release(**client, *manifest, sink, services.store);
  if (outcome) {
    set_version_text(*ui, manifest->version);
    set_phase(*ui, Updated{});
    services.clock.sleep_for(kUpdatedHold);
    std::string version = manifest->version;
    services.release = std::move(manifest);
    return finish(std::move(version));
  }
  const std::string message = outcome.message();
  const bool has_installed = installed.has_value();
  return count_down(
      *ui, installed,
      [&](std::uint32_t) {
        return Phase(Failed{message, settings.failure_title, has_installed});
      },
      services);
}

}  // namespace

AttemptSettings attempt_settings(bool has_installed) {
  if (has_installed) {
    return {3000, 5s, "Não deu para atualizar"};
  }
  return {kPatientConnectTimeoutMs, 15s, "Não deu para instalar"};
}

std::optional<std::string> run_update_session(const std::shared_ptr<LauncherUi>& ui,
                                              SessionServices& services) {
  services.release.reset();
  for (;;) {
    AttemptEnd end = run_attempt(ui, services);
    if (!end.try_again) {
      return end.target;
    }
  }
}

std::optional<std::string> run_quiet_session(VersionStore& store, const ClientOpener& open_client) {
  if (std::optional<std::string> installed = store.find_installed_version()) {
    return installed;  // without asking the server
  }
  auto client = open_client(attempt_settings(false).timeout_ms);
  if (!client) {
    return std::nullopt;
  }
  const auto manifest = fetch_release_manifest(**client, store.manifest_trust());
  if (!manifest) {
    return std::nullopt;
  }
  if (!install_release(**client, *manifest, nullptr, store)) {
    return std::nullopt;
  }
  return manifest->version;
}

}  // namespace nelo
