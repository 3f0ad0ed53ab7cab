#include "nelo_publish/release_history.h"

#include <algorithm>
#include <chrono>
#include <sstream>
#include <system_error>

#include "nelo_publish/atomic_file.h"
#include "nelo_publish/release_folder.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;

fs::path history_folder(const fs::path& root) {
  return root / "releases";
}

fs::path record_path(const fs::path& root, const std::string& label) {
  return history_folder(root) / (label + ".json");
}

}  // namespace

std::vector<std::string> published_labels(const fs::path& root) {
  std::vector<std::string> labels;
  Result<std::string> text = read_whole_file(history_folder(root) / "history", 0);
  if (!text) {
    return labels;
  }
  std::istringstream lines(*text);
  for (std::string line; std::getline(lines, line);) {
    // Only labels that name a folder of their own, as the launcher takes them.
    if (is_valid_version_label(line)) {
      labels.push_back(line);
    }
  }
  return labels;
}

std::vector<ReleaseManifest> recent_releases(const fs::path& root, std::size_t count,
                                             const std::string& except) {
  std::vector<ReleaseManifest> releases;
  const std::vector<std::string> labels = published_labels(root);
  for (auto label = labels.rbegin(); label != labels.rend() && releases.size() < count; ++label) {
    if (*label == except) {
      continue;
    }
    Result<std::string> document = read_whole_file(record_path(root, *label), 0);
    if (!document) {
      continue;
    }
    if (Result<ReleaseManifest> manifest = parse_release_manifest(std::move(*document))) {
      releases.push_back(std::move(manifest).value());
    }
  }
  return releases;
}

Result<ReleaseManifest> recorded_release(const fs::path& root, const std::string& label) {
  const fs::path path = record_path(root, label);
  Result<std::string> document = read_whole_file(path, 0);
  if (!document) {
    return fail("o registro da versão " + label + " não pôde ser lido: " + document.message());
  }
  Result<ReleaseManifest> manifest = parse_release_manifest(std::move(*document));
  if (!manifest) {
    return fail("o registro da versão " + label + " em " + shown(path) +
                " é recusado: " + manifest.message());
  }
  return manifest;
}

std::int64_t seconds_since_1970(fs::file_time_type time) {
  const auto system = std::chrono::file_clock::to_sys(time);
  return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

std::optional<std::int64_t> published_at(const fs::path& root, const std::string& label) {
  std::error_code error;
  const fs::file_time_type written = fs::last_write_time(record_path(root, label), error);
  if (error) {
    return std::nullopt;
  }
  return seconds_since_1970(written);
}

Status record_release(const fs::path& root, const ReleaseManifest& manifest) {
  std::error_code error;
  fs::create_directories(history_folder(root), error);
  if (error) {
    return fail("não foi possível criar a pasta " + shown(history_folder(root)) + ": " +
                error.message());
  }
  if (Status written = write_whole_file(record_path(root, manifest.version), manifest.document);
      !written) {
    return written;
  }
  std::vector<std::string> labels = published_labels(root);
  std::erase(labels, manifest.version);
  labels.push_back(manifest.version);
  std::string history;
  for (const std::string& label : labels) {
    history += label + "\n";
  }
  return write_whole_file(history_folder(root) / "history", history);
}

}  // namespace nelo::publish
