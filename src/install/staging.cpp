#include "install/staging.h"

#include "base/path_pieces.h"
#include "install/brotli_decode.h"
#include "install/sha256.h"

#include <unordered_set>

namespace nelo {
namespace {

std::filesystem::path utf8_path(std::string_view text) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

bool has_parent_folder(std::string_view manifest_path) {
  return manifest_path.find_first_of(kManifestPathSeparators) != std::string_view::npos;
}

}  // namespace

DownloadProgress initial_progress(const ReleaseManifest& manifest, const ReuseIndex& reuse) {
  DownloadProgress progress;
  for (const ManifestFile& file : manifest.files) {
    if (find_reusable(reuse, file.sha256) == nullptr) {
      progress.bytes_total += file.zsize == 0 ? 1 : file.zsize;
      ++progress.file_count;
    }
  }
  return progress;
}

Status stage_release(UpdateClient& client, const ReleaseManifest& manifest, const ReuseIndex& reuse,
                     const ProgressSink& sink, VersionStore& store,
                     const std::optional<std::string>& current) {
  DownloadProgress progress = initial_progress(manifest, reuse);
  const std::uint64_t memory = store.physical_memory_bytes();
  const auto report = [&] {
    if (sink) {
      sink(progress);
    }
  };
  report();

  const std::filesystem::path versions = store.versions_folder();
  const std::filesystem::path staging = versions / utf8_path(manifest.version + ".partial");
  const std::filesystem::path final_folder = versions / utf8_path(manifest.version);
  store.discard_folder(staging);
  if (Status created = store.make_folders(staging); !created) {
    return fail("pasta: " + created.message());
  }

  // The staging folder is new and only this staging writes into it: a folder made once stays,
  // so each is asked for once (20,000 files in 100 folders cost 100 calls, not 20,000).
  std::unordered_set<std::filesystem::path::string_type> folders_made;
  for (const ManifestFile& file : manifest.files) {
    const std::filesystem::path target = join_manifest_path(staging, file.path);
    if (has_parent_folder(file.path) && !folders_made.contains(target.parent_path().native())) {
      if (Status created = store.make_folders(target.parent_path()); !created) {
        return fail("pasta: " + created.message());
      }
      folders_made.insert(target.parent_path().native());
    }
    if (const std::filesystem::path* source = find_reusable(reuse, file.sha256)) {
      if (Status taken = store.take_over_file(*source, target); !taken) {
        return fail("copiar " + file.path + ": " + taken.message());
      }
      continue;
    }
    auto body = client.fetch_resource(
        "app/files/" + file.sha256,
        [&](std::size_t chunk) {
          progress.bytes_done += chunk;
          report();
        },
        file.zsize);
    if (!body) {
      return body.error();
    }
    std::optional<ByteBuffer> content =
        decode_brotli(body->view(), file.size, body_size_limit(memory, file.size));
    body->release();  // the compressed body is not needed any more
    if (!content) {
      return fail(file.path + " veio estragado");
    }
    if (sha256_hex(content->view()) != file.sha256) {
      return fail(file.path + " não confere com a lista");
    }
    if (Status written = store.write_new_file(target, content->view()); !written) {
      return fail("gravar " + file.path + ": " + written.message());
    }
  }

  if (Status written =
          store.write_new_file(staging / utf8_path(kStoredManifestName), manifest.document);
      !written) {
    return fail("gravar a lista: " + written.message());
  }
  // A signed release keeps its signature beside the manifest: the signing time of the current
  // version is what a later release is held against.
  if (!manifest.signature.empty()) {
    if (Status written =
            store.write_new_file(staging / utf8_path(kStoredSignatureName), manifest.signature);
        !written) {
      return fail("gravar a lista: " + written.message());
    }
  }
  // A leftover folder of this version goes, but never the current version's: a label that
  // differs from it only in letter case names the same folder on Windows. The rename then fails
  // and the installed version stays whole.
  if (!current || !same_folder_name(*current, manifest.version)) {
    store.discard_folder(final_folder);
  }
  if (Status renamed = store.move_folder(staging, final_folder); !renamed) {
    return fail("trocar a pasta: " + renamed.message());
  }
  return {};
}

}  // namespace nelo
