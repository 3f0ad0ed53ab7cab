#include "nelo_publish/served_pair.h"

#include <algorithm>
#include <system_error>

#include "release/release_signature.h"
#include "nelo_publish/atomic_file.h"
#include "nelo_publish/release_folder.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;

// A file made whole on the disk under a temporary name, waiting for its final one.
Result<AtomicFile> written_aside(const fs::path& path, std::string_view bytes) {
  Result<AtomicFile> file = AtomicFile::create(path);
  if (!file) {
    return file.error();
  }
  if (Status written = file->write(bytes); !written) {
    return written.error();
  }
  if (Status finished = file->finish_writing(); !finished) {
    return finished.error();
  }
  return file;
}

// The bytes of a served file, or nothing when there is none.
std::optional<std::string> served_bytes(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    return std::nullopt;
  }
  Result<std::string> bytes = read_whole_file(path, 0);
  return bytes ? std::optional(std::move(bytes).value()) : std::nullopt;
}

}  // namespace

fs::path served_manifest_path(const fs::path& root) {
  return root / "app" / "manifest.json";
}

fs::path served_signature_path(const fs::path& root) {
  return root / "app" / "manifest.json.minisig";
}

Status put_served_pair(const fs::path& root, std::string_view document, std::string_view signature,
                       bool drop_old_signature) {
  std::error_code error;
  fs::create_directories(root / "app", error);
  if (error) {
    return fail("não foi possível criar a pasta " + shown(root / "app") + ": " + error.message());
  }
  const fs::path signature_path = served_signature_path(root);
  const std::optional<std::string> previous_signature = served_bytes(signature_path);
  std::optional<AtomicFile> new_signature;
  if (!signature.empty()) {
    Result<AtomicFile> written = written_aside(signature_path, signature);
    if (!written) {
      return written.error();
    }
    new_signature.emplace(std::move(written).value());
  }
  Result<AtomicFile> new_manifest = written_aside(served_manifest_path(root), document);
  if (!new_manifest) {
    return new_manifest.error();
  }
  // Nothing served has changed so far; from here on, two renames (or a removal and a rename:
  // between them a launcher with keys finds no signature, never a wrong one).
  if (!new_signature && drop_old_signature && previous_signature) {
    std::error_code removed;
    if (fs::remove(signature_path, removed); removed) {
      return fail("não foi possível retirar a assinatura antiga " + shown(signature_path) + ": " +
                  removed.message());
    }
  }
  if (new_signature) {
    if (Status renamed = new_signature->take_final_name(); !renamed) {
      return renamed;
    }
  }
  if (Status renamed = new_manifest->take_final_name(); !renamed) {
    if (!new_signature && drop_old_signature && previous_signature) {
      (void)write_whole_file(signature_path, *previous_signature);
    }
    if (new_signature) {
      // The old manifest stays: so must its own signature.
      std::error_code ignored;
      if (previous_signature) {
        (void)write_whole_file(signature_path, *previous_signature);
      } else {
        fs::remove(signature_path, ignored);
      }
    }
    return renamed;
  }
  sync_folder(root / "app");
  return {};
}

Status put_served_signature(const fs::path& root, std::string_view signature) {
  if (Status written = write_whole_file(served_signature_path(root), signature); !written) {
    return written;
  }
  sync_folder(root / "app");
  return {};
}

std::optional<std::int64_t> served_signing_time(const fs::path& root) {
  const std::optional<std::string> signature = served_bytes(served_signature_path(root));
  return signature ? signing_time(*signature) : std::nullopt;
}

std::int64_t next_signing_time(std::int64_t clock, std::optional<std::int64_t> served) {
  return served ? std::max(clock, *served + 1) : clock;
}

NextSignature sign_after_served(const fs::path& root, std::string_view document,
                                const SigningKey& key, std::int64_t clock,
                                std::optional<std::int64_t> expires_after) {
  NextSignature next;
  next.signed_at = next_signing_time(clock, served_signing_time(root));
  next.clock_behind = next.signed_at != clock;
  if (expires_after) {
    next.expires_at = next.signed_at + *expires_after;
  }
  next.text = sign_manifest(document, key, next.signed_at, "manifest.json", next.expires_at);
  return next;
}

}  // namespace nelo::publish
