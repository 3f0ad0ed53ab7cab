#include "nelo_publish/publish.h"

#include <algorithm>
#include <exception>
#include <map>
#include <new>
#include <system_error>

#include <nlohmann/json.hpp>

#include "release/manifest.h"
#include "release/sha256.h"
#include "nelo_publish/atomic_file.h"
#include "release/brotli_decode.h"
#include "nelo_publish/brotli_encoder.h"
#include "nelo_publish/launcher_image.h"
#include "nelo_publish/pack_writer.h"
#include "nelo_publish/patch_maker.h"
#include "nelo_publish/release_folder.h"
#include "nelo_publish/release_history.h"
#include "nelo_publish/served_pair.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;

// Compressed sizes by digest; 0 until the object is known to be on the disk.
using ObjectSizes = std::map<std::string, std::uint64_t>;

// The patches each file of the release offers, by its path.
using PatchOffers = std::map<std::string, std::vector<PatchOffer>>;

Status check_options(const PublishOptions& options) {
  if (!is_valid_version_label(options.version)) {
    return fail("rótulo de versão inválido: \"" + options.version +
                "\" (use letras ASCII, dígitos, \".\" e \"-\"; não pode terminar em \".\" nem "
                "ser um nome de dispositivo do Windows)");
  }
  if (options.quality < kMinQuality || options.quality > kMaxQuality) {
    return fail("qualidade fora de 0 a 11: " + std::to_string(options.quality));
  }
  if (options.rollout && (*options.rollout < 1 || *options.rollout > 100)) {
    return fail("parcela fora de 1 a 100: " + std::to_string(*options.rollout));
  }
  if (options.from.empty() || options.to.empty()) {
    return fail("faltam a pasta da versão ou a pasta do servidor");
  }
  std::error_code error;
  const fs::file_status root = fs::status(options.to, error);
  if (fs::exists(root) && !fs::is_directory(root)) {
    return fail("a pasta do servidor não é uma pasta: " + shown(options.to));
  }
  // A server tree inside the release would be published along with it next time.
  std::error_code from_error;
  std::error_code to_error;
  const fs::path from = fs::weakly_canonical(fs::absolute(options.from, from_error), from_error);
  const fs::path to = fs::weakly_canonical(fs::absolute(options.to, to_error), to_error);
  if (!from_error && !to_error && is_within(to, from)) {
    return fail("a pasta do servidor não pode ficar dentro da pasta da versão: " +
                shown(options.to));
  }
  return {};
}

// The release's files, checked as the launcher will take them.
Result<std::vector<SourceFile>> read_release_folder(const fs::path& from) {
  Result<std::vector<SourceFile>> files = list_release(from);
  if (!files) {
    return files;
  }
  const bool has_launcher_target = std::any_of(
      files->begin(), files->end(), [](const SourceFile& file) { return file.path == "Nelo.exe"; });
  if (!has_launcher_target) {
    return fail("falta o arquivo Nelo.exe no topo da pasta da versão " + shown(from));
  }
  if (Status checked = check_letter_case(*files); !checked) {
    return checked.error();
  }
  return files;
}

// Reads every file and notes its size and digest; gives the release's size.
Result<std::uint64_t> hash_files(std::vector<SourceFile>& files,
                                 const std::function<void(const PublishProgress&)>& report) {
  PublishProgress hashing{PublishPhase::kHashing, 0, files.size(), 0, 0};
  for (const SourceFile& file : files) {
    hashing.bytes_total += file.size;
  }
  for (SourceFile& file : files) {
    Result<std::string> content = read_whole_file(file.location, file.size);
    if (!content) {
      return content.error();
    }
    file.size = content->size();
    file.sha256 = sha256_hex(*content);
    hashing.files_done += 1;
    hashing.bytes_done += file.size;
    report(hashing);
  }
  return hashing.bytes_done;
}

// A file's entry, or the launcher's (which has no path).
nlohmann::ordered_json object_entry(const SourceFile* file, const std::string* path,
                                    const ObjectSizes& zsizes,
                                    const std::vector<PatchOffer>* offers) {
  nlohmann::ordered_json entry;
  if (path != nullptr) {
    entry["path"] = *path;
  }
  entry["sha256"] = file->sha256;
  entry["size"] = file->size;
  entry["zsize"] = zsizes.at(file->sha256);
  if (offers != nullptr && !offers->empty()) {
    nlohmann::ordered_json list_of_patches = nlohmann::ordered_json::array();
    for (const PatchOffer& offer : *offers) {
      list_of_patches.push_back({{"from", offer.from}, {"zsize", offer.zsize}});
    }
    entry["patches"] = std::move(list_of_patches);
  }
  return entry;
}

// The "packs" list, one member a line: a release of 20,000 small files lists as many members,
// and every launcher reads this document at each start.
std::string packs_text(const std::vector<ReleasePack>& packs) {
  std::string text = "[";
  for (std::size_t i = 0; i < packs.size(); ++i) {
    const ReleasePack& pack = packs[i];
    text += std::string(i == 0 ? "" : ",") + "\n    {\"name\": \"" + pack.name +
            "\", \"size\": " + std::to_string(pack.size) + ", \"members\": [";
    for (std::size_t m = 0; m < pack.members.size(); ++m) {
      text += std::string(m == 0 ? "" : ",") + "\n      {\"sha256\": \"" + pack.members[m].sha256 +
              "\", \"offset\": " + std::to_string(pack.members[m].offset) + "}";
    }
    text += "]}";
  }
  return text + "\n  ]";
}

std::string manifest_document(const std::string& version, std::optional<std::uint64_t> rollout,
                              const std::vector<SourceFile>& files,
                              const std::optional<SourceFile>& launcher, const ObjectSizes& zsizes,
                              const PatchOffers& patches = {},
                              const std::vector<PatchOffer>& launcher_patches = {},
                              const std::vector<ReleasePack>& packs = {}) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const SourceFile& file : files) {
    const auto offers = patches.find(file.path);
    list.push_back(object_entry(&file, &file.path, zsizes,
                                offers != patches.end() ? &offers->second : nullptr));
  }
  nlohmann::ordered_json document;
  document["version"] = version;
  if (rollout && *rollout < 100) {
    document["rollout"] = *rollout;
  }
  if (launcher) {
    document["launcher"] = object_entry(&*launcher, nullptr, zsizes, &launcher_patches);
  }
  document["files"] = std::move(list);
  std::string text = document.dump(2);
  if (!packs.empty()) {
    // The dump ends with a line break and the document's closing brace; the packs go before.
    text.resize(text.size() - 2);
    text += ",\n  \"packs\": " + packs_text(packs) + "\n}";
  }
  return text + "\n";
}

// The release's objects that may travel in packs, in the order of the manifest's paths.
std::vector<PackCandidate> pack_candidates(const std::vector<SourceFile>& files,
                                           const ObjectSizes& sizes) {
  std::vector<PackCandidate> candidates;
  candidates.reserve(files.size());
  for (const SourceFile& file : files) {
    candidates.push_back({file.sha256, sizes.at(file.sha256)});
  }
  return candidates;
}

// The launcher to ship, read and checked like the release's files: a Windows x86-64 program.
Result<SourceFile> read_launcher(const fs::path& location) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(location, error);
  if (error || !fs::is_regular_file(status)) {
    return fail("o lançador não é um arquivo comum: " + shown(location));
  }
  Result<std::string> content = read_whole_file(location, fs::file_size(location, error));
  if (!content) {
    return content.error();
  }
  if (Status image = check_launcher_image(*content); !image) {
    return fail(image.message() + " (" + shown(location) + ")");
  }
  if (content->size() > kMostLauncherBytes) {
    return fail("o lançador passa de " + std::to_string(kMostLauncherBytes >> 20) +
                " MiB: " + shown(location));
  }
  return SourceFile{std::string(kLauncherObjectName), location, content->size(),
                    sha256_hex(*content)};
}

Status check_with_launcher_reader(std::string document) {
  if (Result<ReleaseManifest> parsed = parse_release_manifest(std::move(document)); !parsed) {
    return fail("o lançador recusaria o manifesto gerado: " + parsed.message());
  }
  return {};
}

// The contents the server does not hold yet, one file each; the sizes of those it holds go into
// `sizes`.
Result<std::vector<const SourceFile*>> find_missing_objects(const std::vector<SourceFile>& files,
                                                            const fs::path& objects_folder,
                                                            ObjectSizes& sizes) {
  std::map<std::string, const SourceFile*> contents;
  for (const SourceFile& file : files) {
    contents.emplace(file.sha256, &file);
  }
  std::vector<const SourceFile*> missing;
  for (const auto& [sha256, file] : contents) {
    std::error_code error;
    const fs::path object = objects_folder / sha256;
    const fs::file_status status = fs::status(object, error);
    if (status.type() == fs::file_type::not_found) {
      missing.push_back(file);
      continue;
    }
    if (error || !fs::is_regular_file(status)) {
      return fail("o objeto existente não é um arquivo legível: " + shown(object));
    }
    sizes[sha256] = fs::file_size(object, error);
    if (error) {
      return fail("não foi possível ler o tamanho de " + shown(object) + ": " + error.message());
    }
  }
  return missing;
}

// Compresses each missing content into its object; their sizes go into `sizes`.
Status write_objects(const std::vector<const SourceFile*>& missing, const fs::path& objects_folder,
                     int quality, ObjectSizes& sizes,
                     const std::function<void(const PublishProgress&)>& report) {
  PublishProgress compressing{PublishPhase::kCompressing, 0, missing.size(), 0, 0};
  for (const SourceFile* file : missing) {
    compressing.bytes_total += file->size;
  }
  std::error_code error;
  fs::create_directories(objects_folder, error);
  if (error) {
    return fail("não foi possível criar a pasta " + shown(objects_folder) + ": " + error.message());
  }
  for (const SourceFile* file : missing) {
    // Read again: contents are not all kept in memory. A file that changed since it was hashed
    // would be stored under the wrong name.
    Result<std::string> content = read_whole_file(file->location, file->size);
    if (!content) {
      return content.error();
    }
    if (sha256_hex(*content) != file->sha256) {
      return fail("o arquivo mudou durante a publicação: \"" + file->path + "\"");
    }
    Result<AtomicFile> object = AtomicFile::create(objects_folder / file->sha256);
    if (!object) {
      return object.error();
    }
    const std::uint64_t before = compressing.bytes_done;
    Status compressed = compress_brotli(
        *content, quality, [&](std::string_view piece) { return object->write(piece); },
        [&](std::uint64_t taken) {
          compressing.bytes_done = before + taken;
          if (taken < file->size) {
            report(compressing);
          }
        });
    if (!compressed) {
      return compressed;
    }
    sizes[file->sha256] = object->size();
    if (Status committed = object->commit(); !committed) {
      return committed;
    }
    compressing.files_done += 1;
    report(compressing);
  }
  sync_folder(objects_folder);
  return {};
}

// The content of an object the tree holds, decoded whole; nothing when it is missing or does not
// decode to `size` bytes.
std::optional<std::string> decoded_object(const fs::path& object, std::uint64_t size) {
  std::error_code error;
  if (!fs::is_regular_file(object, error)) {
    return std::nullopt;
  }
  Result<std::string> body = read_whole_file(object, fs::file_size(object, error));
  if (!body) {
    return std::nullopt;
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(size));
  BrotliStream stream;
  const auto taken = stream.feed(*body, [&](std::string_view piece) -> Status {
    content.append(piece);
    return {};
  });
  if (!taken || *taken != BrotliStream::State::kEnded || content.size() != size) {
    return std::nullopt;
  }
  return content;
}

// The patches that make `file` from the contents it had in the `earlier` releases (found by
// `old_of`), kept only when less than half of the whole object; up to one a release, the newest
// first. Patches go to app/patches/<from>-<to> by a rename each, before any manifest names them;
// one there already is kept as it is.
Result<std::vector<PatchOffer>> write_patches_of(
    const SourceFile& file, const std::vector<ReleaseManifest>& earlier,
    const std::function<const ManifestFile*(const ReleaseManifest&)>& old_of,
    const ObjectSizes& sizes, const fs::path& app_folder, PublishReport& report) {
  std::vector<PatchOffer> list;
  std::optional<std::string> content;
  const fs::path patches_folder = app_folder / "patches";
  for (const ReleaseManifest& release : earlier) {
    const ManifestFile* old = old_of(release);
    if (old == nullptr || old->sha256 == file.sha256 ||
        std::any_of(list.begin(), list.end(),
                    [&](const PatchOffer& offer) { return offer.from == old->sha256; })) {
      continue;
    }
    const std::uint64_t worth = sizes.at(file.sha256) / 2;
    const fs::path patch_path = patches_folder / (old->sha256 + "-" + file.sha256);
    std::error_code error;
    if (fs::is_regular_file(patch_path, error)) {
      const std::uint64_t size = fs::file_size(patch_path, error);
      if (!error && size > 0 && size < worth) {
        list.push_back({old->sha256, size});
      }
      continue;
    }
    const std::optional<std::string> old_content =
        decoded_object(app_folder / "files" / old->sha256, old->size);
    if (!old_content) {
      continue;  // that content is no longer in the tree
    }
    if (!content) {
      Result<std::string> read = read_whole_file(file.location, file.size);
      if (!read) {
        return read.error();
      }
      content = std::move(read).value();
    }
    const std::optional<std::string> patch =
        make_patch(*old_content, *content, static_cast<std::size_t>(worth));
    if (!patch || patch->empty() || patch->size() >= worth) {
      continue;
    }
    fs::create_directories(patches_folder, error);
    if (Status written = write_whole_file(patch_path, *patch); !written) {
      return written.error();
    }
    ++report.patches_written;
    list.push_back({old->sha256, patch->size()});
  }
  return list;
}

// For each file whose content changed since one of the last releases published, patches from
// that release's content of the same path (write_patches_of); for the launcher, from the
// launchers those releases shipped.
Result<PatchOffers> write_patches(const PublishOptions& options,
                                  const std::vector<SourceFile>& files,
                                  const std::optional<SourceFile>& launcher,
                                  const ObjectSizes& sizes, const fs::path& app_folder,
                                  PublishReport& report,
                                  std::vector<PatchOffer>& launcher_patches) {
  PatchOffers offers;
  if (options.patch_from_releases == 0) {
    return offers;
  }
  const std::vector<ReleaseManifest> earlier =
      recent_releases(options.to, options.patch_from_releases, options.version);
  for (const SourceFile& file : files) {
    Result<std::vector<PatchOffer>> list = write_patches_of(
        file, earlier,
        [&](const ReleaseManifest& release) -> const ManifestFile* {
          const auto old = std::find_if(release.files.begin(), release.files.end(),
                                        [&](const ManifestFile& f) { return f.path == file.path; });
          return old != release.files.end() ? &*old : nullptr;
        },
        sizes, app_folder, report);
    if (!list) {
      return list.error();
    }
    if (!list->empty()) {
      offers[file.path] = std::move(list).value();
    }
  }
  if (launcher) {
    Result<std::vector<PatchOffer>> list = write_patches_of(
        *launcher, earlier,
        [](const ReleaseManifest& release) -> const ManifestFile* {
          return release.launcher ? &*release.launcher : nullptr;
        },
        sizes, app_folder, report);
    if (!list) {
      return list.error();
    }
    launcher_patches = std::move(list).value();
  }
  return offers;
}

// True when `manifest` names exactly these files (paths, contents and sizes). The launcher is
// not the release's content: an installation of the label takes a new one all the same.
bool same_content(const ReleaseManifest& manifest, const std::vector<SourceFile>& files) {
  if (manifest.files.size() != files.size()) {
    return false;
  }
  std::map<std::string_view, std::pair<std::string_view, std::uint64_t>> listed;
  for (const ManifestFile& file : manifest.files) {
    listed[file.path] = {file.sha256, file.size};
  }
  return std::all_of(files.begin(), files.end(), [&](const SourceFile& file) {
    const auto found = listed.find(file.path);
    return found != listed.end() && found->second.first == file.sha256 &&
           found->second.second == file.size;
  });
}

// The manifest and, with a key, its signature, in place of the served pair. The signing time is
// never earlier than the one served already; an expiry counts from it.
Status write_manifest(const PublishOptions& options, const std::string& document,
                      PublishReport& report) {
  std::string signature;
  if (options.signing_key) {
    NextSignature next = sign_after_served(options.to, document, *options.signing_key,
                                           options.signing_time, options.expires_after);
    report.signed_at = next.signed_at;
    report.expires_at = next.expires_at;
    report.clock_behind = next.clock_behind;
    signature = std::move(next.text);
  }
  return put_served_pair(options.to, document, signature, options.leave_unsigned);
}

// What the root serves must stay what it was announced as: a signed root is not left serving
// a new manifest beside the old signature (every launcher with keys would refuse it), and a
// label it serves, or published before, never comes back with other content (installations
// that have that label would never get it).
Status check_against_root(const PublishOptions& options, const std::vector<SourceFile>& files) {
  if (!options.signing_key && !options.leave_unsigned &&
      fs::exists(served_signature_path(options.to))) {
    return fail("a lista servida em " + shown(options.to) +
                " é assinada: publique com --sign CHAVE, ou com --unsigned para assinar depois "
                "(a assinatura antiga é então retirada)");
  }
  std::vector<ReleaseManifest> same_label;
  if (Result<std::string> served = read_whole_file(served_manifest_path(options.to), 0)) {
    if (Result<ReleaseManifest> manifest = parse_release_manifest(std::move(*served))) {
      same_label.push_back(std::move(manifest).value());
    }
  }
  if (Result<ReleaseManifest> recorded = recorded_release(options.to, options.version)) {
    same_label.push_back(std::move(recorded).value());
  }
  for (const ReleaseManifest& earlier : same_label) {
    if (earlier.version == options.version && !same_content(earlier, files)) {
      return fail("a versão " + options.version + " já foi publicada em " + shown(options.to) +
                  " com outro conteúdo: as instalações que já a têm nunca receberiam este; "
                  "publique com outro rótulo");
    }
  }
  return {};
}

Result<PublishReport> publish(const PublishOptions& options, const ProgressSink& progress) {
  const auto report_progress = [&progress](const PublishProgress& state) {
    if (progress) {
      progress(state);
    }
  };
  const fs::path app_folder = options.to / "app";
  const fs::path objects_folder = app_folder / "files";

  // Everything that can refuse the release comes before the first write.
  if (Status checked = check_options(options); !checked) {
    return checked.error();
  }
  Result<std::vector<SourceFile>> files = read_release_folder(options.from);
  if (!files) {
    return files.error();
  }
  const Result<std::uint64_t> bytes = hash_files(*files, report_progress);
  if (!bytes) {
    return bytes.error();
  }
  std::optional<SourceFile> launcher;
  if (options.launcher) {
    Result<SourceFile> read = read_launcher(*options.launcher);
    if (!read) {
      return read.error();
    }
    launcher = std::move(read).value();
  }
  if (Status checked_root = check_against_root(options, *files); !checked_root) {
    return checked_root.error();
  }
  // Every object the tree must hold: the files' contents and the launcher's.
  std::vector<SourceFile> objects = *files;
  if (launcher) {
    objects.push_back(*launcher);
  }
  ObjectSizes sizes;
  for (const SourceFile& file : objects) {
    sizes.emplace(file.sha256, 0);
  }
  // The launcher's own reader has the last word on what it would accept; the compressed sizes
  // take no part in that (a placeholder of 1 stands for them).
  ObjectSizes placeholder_sizes = sizes;
  for (auto& [sha256, size] : placeholder_sizes) {
    size = 1;
  }
  if (Status readable = check_with_launcher_reader(
          manifest_document(options.version, options.rollout, *files, launcher, placeholder_sizes));
      !readable) {
    return readable.error();
  }
  const Result<std::vector<const SourceFile*>> missing =
      find_missing_objects(objects, objects_folder, sizes);
  if (!missing) {
    return missing.error();
  }

  // Writing starts here.
  if (Status written =
          write_objects(*missing, objects_folder, options.quality, sizes, report_progress);
      !written) {
    return written.error();
  }
  PublishReport report;
  std::vector<PatchOffer> launcher_patches;
  const Result<PatchOffers> patches =
      write_patches(options, *files, launcher, sizes, app_folder, report, launcher_patches);
  if (!patches) {
    return patches.error();
  }
  WrittenPacks packs;
  if (options.packs) {
    Result<WrittenPacks> written = write_packs(pack_candidates(*files, sizes), app_folder);
    if (!written) {
      return written.error();
    }
    packs = std::move(written).value();
  }
  const std::string document = manifest_document(options.version, options.rollout, *files, launcher,
                                                 sizes, *patches, launcher_patches, packs.packs);
  Result<ReleaseManifest> published = parse_release_manifest(document);
  if (!published) {
    return fail("o lançador recusaria o manifesto gerado: " + published.message());
  }
  if (Status written = write_manifest(options, document, report); !written) {
    return written.error();
  }
  // Patches of the next releases start from this one.
  if (Status recorded = record_release(options.to, *published); !recorded) {
    return recorded.error();
  }
  report.files = files->size();
  report.objects_written = missing->size();
  report.objects_kept = sizes.size() - missing->size();
  report.bytes = *bytes;
  report.packs = packs.packs.size();
  report.packs_written = packs.written;
  report.manifest = app_folder / "manifest.json";
  if (launcher) {
    report.launcher = launcher->sha256;
  }
  return report;
}

}  // namespace

Result<PublishReport> publish_release(const PublishOptions& options, const ProgressSink& progress) {
  try {
    return publish(options, progress);
  } catch (const std::bad_alloc&) {
    return fail("memória insuficiente para publicar a versão");
  } catch (const std::exception& error) {
    return fail(std::string("falha inesperada ao publicar a versão: ") + error.what());
  }
}

}  // namespace nelo::publish
