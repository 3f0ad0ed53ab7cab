#include "nelo_publish/verify.h"

#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <memory>
#include <set>
#include <unordered_map>

#include "base/worker_threads.h"
#include "release/brotli_decode.h"
#include "release/file_writer.h"
#include "release/manifest.h"
#include "release/object_stream.h"
#include "release/patch_stream.h"
#include "release/sha256.h"

namespace nelo::publish {
namespace {

constexpr char kManifestPath[] = "app/manifest.json";
constexpr char kSignaturePath[] = "app/manifest.json.minisig";

// Objects and patches above this size are asked for once more by a range of up to
// kRangeCheckBytes from their middle.
constexpr std::uint64_t kRangeCheckFrom = std::uint64_t{1} << 20;
constexpr std::uint64_t kRangeCheckBytes = std::uint64_t{64} << 10;
constexpr std::uint64_t kLongCache = 86400;  // an object cached for less than a day is a waste
constexpr std::uint64_t kShortCache = 300;   // a manifest cached longer delays every release

// One header of an answer, or empty.
std::string header(const SourceAnswer& answer, const std::string& name) {
  const auto found = answer.headers.find(name);
  return found == answer.headers.end() ? std::string() : found->second;
}

// The max-age of a Cache-Control value; nothing without one.
std::optional<std::uint64_t> max_age(const std::string& cache_control) {
  const std::size_t at = cache_control.find("max-age=");
  if (at == std::string::npos) {
    return std::nullopt;
  }
  std::uint64_t seconds = 0;
  std::size_t digits = 0;
  for (std::size_t i = at + 8;
       i < cache_control.size() && std::isdigit(cache_control[i]) && digits < 12; ++i, ++digits) {
    seconds = seconds * 10 + static_cast<std::uint64_t>(cache_control[i] - '0');
  }
  return digits == 0 ? std::nullopt : std::optional(seconds);
}

// Content that only the final check may look at: decoded and hashed, then dropped.
class Discard final : public FileWriter {
 public:
  Status write(std::string_view) override { return {}; }
  Status commit() override { return {}; }
};

// The findings of many threads, and the departures that repeat for many objects told once with
// their count and a first example.
class Findings {
 public:
  void fault(std::string text) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(text));
  }
  void departure(const std::string& kind, const std::string& example) {
    std::lock_guard lock(mutex_);
    auto& [count, first] = departures_[kind];
    if (count++ == 0) {
      first = example;
    }
  }
  void into(VerifyReport& report) {
    std::lock_guard lock(mutex_);
    report.faults.insert(report.faults.end(), faults_.begin(), faults_.end());
    for (const auto& [kind, seen] : departures_) {
      report.warnings.push_back(kind + (seen.first > 1
                                            ? " (" + std::to_string(seen.first) +
                                                  " vezes; por exemplo " + seen.second + ")"
                                            : " (" + seen.second + ")"));
    }
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> faults_;
  std::map<std::string, std::pair<std::size_t, std::string>> departures_;
};

// A whole small body; a fault when there is none or it is larger than `limit`.
struct SmallBody {
  SourceAnswer answer;
  std::string bytes;
};
Result<SmallBody> fetch_small(ReleaseSource& source, const std::string& path, std::uint64_t limit) {
  SmallBody body;
  Result<SourceAnswer> answer = source.get(path, [&](std::string_view piece) -> Status {
    if (body.bytes.size() + piece.size() > limit) {
      return fail(path + ": maior que " + std::to_string(limit) + " bytes");
    }
    body.bytes.append(piece);
    return {};
  });
  if (!answer) {
    return fail(path + ": " + answer.message());
  }
  body.answer = std::move(*answer);
  return body;
}

std::string status_fault(const std::string& path, int status) {
  return status == 404 ? "falta " + path
                       : path + ": o servidor respondeu " + std::to_string(status);
}

// What the deploy guide asks of the manifest's and the signature's answers.
void check_list_headers(const std::string& path, const SourceAnswer& answer, Findings& found) {
  if (const std::string encoding = header(answer, "content-encoding"); !encoding.empty()) {
    found.fault(path + " veio com Content-Encoding: " + encoding +
                " (o lançador lê os bytes como vêm)");
  }
  const std::string cache = header(answer, "cache-control");
  const std::optional<std::uint64_t> age = max_age(cache);
  const bool asked_anew = cache.find("no-cache") != std::string::npos ||
                          cache.find("no-store") != std::string::npos ||
                          (age && *age <= kShortCache);
  if (!asked_anew || cache.find("immutable") != std::string::npos) {
    found.departure(
        path + " pode ficar em cache: Cache-Control \"" + cache + "\" (o guia pede no-cache)",
        path);
  }
}

// What the deploy guide asks of an object's or a patch's answer.
void check_object_headers(const std::string& path, const SourceAnswer& answer, Findings& found) {
  const std::string cache = header(answer, "cache-control");
  const std::optional<std::uint64_t> age = max_age(cache);
  if (cache.find("immutable") == std::string::npos && (!age || *age < kLongCache)) {
    found.departure("objetos sem Cache-Control imutável: \"" + cache + "\"", path);
  }
  if (const std::string type = header(answer, "content-type"); type != "application/octet-stream") {
    found.departure("objetos servidos como \"" + type + "\", não application/octet-stream", path);
  }
}

struct Check {
  const ManifestFile* file = nullptr;
  const PatchOffer* patch = nullptr;  // none: the whole object
  const ReleasePack* pack = nullptr;  // a pack instead of a file's object or patch

  std::string path() const {
    if (pack) {
      return "app/packs/" + pack->name;
    }
    return patch ? "app/patches/" + patch->from + "-" + file->sha256 : "app/files/" + file->sha256;
  }
};

// The bytes from `offset` to `offset + length` of a body that arrives piece by piece.
class RangeCopy {
 public:
  RangeCopy(std::uint64_t offset, std::uint64_t length) : offset_(offset), length_(length) {}

  void take(std::string_view piece) {
    if (received_ + piece.size() > offset_ && received_ < offset_ + length_) {
      const std::uint64_t from = offset_ > received_ ? offset_ - received_ : 0;
      const std::uint64_t to = std::min<std::uint64_t>(piece.size(), offset_ + length_ - received_);
      bytes_.append(piece.substr(from, to - from));
    }
    received_ += piece.size();
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::uint64_t offset_;
  std::uint64_t length_;
  std::uint64_t received_ = 0;
  std::string bytes_;
};

// A pack's members as they arrive: each decoded and checked against its object's digest, as a
// launcher does while it stages them.
class PackMembers {
 public:
  PackMembers(const ReleasePack& pack,
              const std::unordered_map<std::string_view, const ManifestFile*>& objects)
      : pack_(pack), objects_(objects) {}

  void take(std::string_view piece) {
    while (!piece.empty() && next_ < pack_.members.size()) {
      const PackMember& member = pack_.members[next_];
      const ManifestFile& file = *objects_.at(member.sha256);
      if (received_ < member.offset) {
        const std::uint64_t gap = std::min<std::uint64_t>(piece.size(), member.offset - received_);
        advance(piece, gap);
        continue;
      }
      if (!stream_) {
        stream_ = std::make_unique<ObjectStream>(file, discard_);
      }
      const std::uint64_t end = member.offset + file.zsize;
      const std::uint64_t length = std::min<std::uint64_t>(piece.size(), end - received_);
      if (!broken_ && !stream_->ended()) {
        if (Result<Receive> taken = stream_->take(piece.substr(0, length)); !taken) {
          broken_ = taken.message();
        }
      }
      advance(piece, length);
      if (received_ == end) {
        end_member(file);
      }
    }
    received_ += piece.size();
  }

  // What each member that did not decode to its content said, with the member's path; members
  // the body did not reach are reported as cut off.
  std::vector<std::string> faults() {
    for (; next_ < pack_.members.size(); ++next_) {
      faults_.push_back(objects_.at(pack_.members[next_].sha256)->path +
                        ": o pacote acaba antes deste membro");
    }
    return faults_;
  }

 private:
  void advance(std::string_view& piece, std::uint64_t count) {
    piece.remove_prefix(static_cast<std::size_t>(count));
    received_ += count;
  }

  void end_member(const ManifestFile& file) {
    if (!broken_) {
      if (Status finished = stream_->finish(); !finished) {
        broken_ = finished.message();
      }
    }
    if (broken_) {
      faults_.push_back(file.path + " (" + file.sha256 + "): " + *broken_);
    }
    broken_.reset();
    stream_.reset();
    ++next_;
  }

  const ReleasePack& pack_;
  const std::unordered_map<std::string_view, const ManifestFile*>& objects_;
  Discard discard_;
  std::unique_ptr<ObjectStream> stream_;
  std::optional<std::string> broken_;
  std::vector<std::string> faults_;
  std::size_t next_ = 0;
  std::uint64_t received_ = 0;
};

class Verifier {
 public:
  Verifier(ReleaseSource& source, Findings& found, std::atomic<std::uint64_t>& bytes)
      : source_(source), found_(found), bytes_(bytes) {}

  void check_object(const Check& check) {
    const std::string path = check.path();
    Discard discard;
    ObjectStream stream(*check.file, discard);
    std::uint64_t received = 0;
    std::optional<std::string> broken;
    // The bytes a range request will ask for again, taken from the whole answer.
    const std::uint64_t served_size = check.patch ? check.patch->zsize : check.file->zsize;
    const std::uint64_t range_offset = served_size / 2;
    const std::uint64_t range_length = std::min(kRangeCheckBytes, served_size - range_offset);
    std::string range_bytes;
    Result<SourceAnswer> answer = source_.get(path, [&](std::string_view piece) -> Status {
      if (served_size > kRangeCheckFrom && received + piece.size() > range_offset &&
          received < range_offset + range_length) {
        const std::uint64_t from = range_offset > received ? range_offset - received : 0;
        const std::uint64_t to =
            std::min<std::uint64_t>(piece.size(), range_offset + range_length - received);
        range_bytes.append(piece.substr(from, to - from));
      }
      received += piece.size();
      bytes_ += piece.size();
      if (!broken && !stream.ended()) {
        if (Result<Receive> taken = stream.take(piece); !taken) {
          broken = taken.message();
        }
      }
      return {};
    });
    if (!usable_answer(path, answer, check.file->path)) {
      return;
    }
    if (received != check.file->zsize) {
      found_.fault(path + ": " + std::to_string(received) + " bytes, a lista diz " +
                   std::to_string(check.file->zsize));
      return;
    }
    if (!broken) {
      if (Status finished = stream.finish(); !finished) {
        broken = finished.message();
      }
    }
    if (broken) {
      found_.fault(path + ": " + *broken);
      return;
    }
    if (served_size > kRangeCheckFrom) {
      check_range(path, range_offset, range_length, range_bytes, served_size);
    }
  }

  // A pack: its bytes are its name's, its length the listed one, and each member decodes to its
  // object's content; launchers ask for runs of members by range, which is checked as for a
  // large object.
  void check_pack(const ReleasePack& pack,
                  const std::unordered_map<std::string_view, const ManifestFile*>& objects) {
    const std::string path = "app/packs/" + pack.name;
    PackMembers members(pack, objects);
    Sha256 digest;
    const std::uint64_t range_offset = pack.size / 2;
    RangeCopy range(range_offset, std::min(kRangeCheckBytes, pack.size - range_offset));
    std::uint64_t received = 0;
    Result<SourceAnswer> answer = source_.get(path, [&](std::string_view piece) -> Status {
      received += piece.size();
      bytes_ += piece.size();
      digest.add(piece);
      range.take(piece);
      members.take(piece);
      return {};
    });
    if (!usable_answer(path, answer, "pacote")) {
      return;
    }
    if (received != pack.size) {
      found_.fault(path + ": " + std::to_string(received) + " bytes, a lista diz " +
                   std::to_string(pack.size));
    } else if (digest.finish_hex() != pack.name) {
      found_.fault(path + ": o conteúdo não confere com o nome do pacote");
    }
    for (const std::string& fault : members.faults()) {
      found_.fault(path + ": " + fault);
    }
    if (pack.size > kRangeCheckFrom && received == pack.size) {
      check_range(path, range_offset, range.bytes().size(), range.bytes(), pack.size);
    }
  }

  // Launchers go on with a broken-off download, and fetch objects over 256 MiB in pieces, by
  // Range requests: a server that refuses them, or answers another range, breaks them.
  void check_range(const std::string& path, std::uint64_t offset, std::uint64_t length,
                   const std::string& expected, std::uint64_t total) {
    std::string got;
    Result<SourceAnswer> answer =
        source_.get_range(path, offset, length, [&](std::string_view piece) -> Status {
          bytes_ += piece.size();
          if (got.size() + piece.size() > length) {
            return fail("mais bytes que os pedidos");
          }
          got.append(piece);
          return {};
        });
    const std::string asked =
        "bytes=" + std::to_string(offset) + "-" + std::to_string(offset + length - 1);
    if (!answer) {
      found_.fault(path + ": o pedido de " + asked + " falhou: " + answer.message());
      return;
    }
    if (answer->status != 206) {
      found_.fault(path + ": o pedido de " + asked + " teve a resposta " +
                   std::to_string(answer->status) +
                   ", não 206 (os lançadores retomam downloads e pedem objetos grandes em partes)");
      return;
    }
    const std::string range = "bytes " + std::to_string(offset) + "-" +
                              std::to_string(offset + length - 1) + "/" + std::to_string(total);
    if (source_.remote() && header(*answer, "content-range") != range) {
      found_.fault(path + ": o pedido de " + asked + " veio com Content-Range \"" +
                   header(*answer, "content-range") + "\", não \"" + range + "\"");
      return;
    }
    if (got != expected) {
      found_.fault(path + ": o pedido de " + asked + " trouxe outros bytes que os do objeto");
    }
  }

  // A patch is applied to its older content when the server still has that content's object
  // and both fit the memory bound; otherwise its size is what can be checked. False when it was
  // checked by its size only.
  bool check_patch(const Check& check) {
    const std::string path = check.path();
    Result<SmallBody> patch = fetch_small(source_, path, check.patch->zsize + 1);
    if (!patch) {
      found_.fault(patch.message());
      return true;
    }
    bytes_ += patch->bytes.size();
    if (patch->answer.status != 200) {
      found_.fault(status_fault(path, patch->answer.status) + " (patch de " + check.file->path +
                   ")");
      return true;
    }
    if (source_.remote()) {
      check_object_headers(path, patch->answer, found_);
      if (const std::string encoding = header(patch->answer, "content-encoding");
          !encoding.empty()) {
        found_.fault(path + " veio com Content-Encoding: " + encoding);
        return true;
      }
    }
    if (patch->bytes.size() != check.patch->zsize) {
      found_.fault(path + ": " + std::to_string(patch->bytes.size()) + " bytes, a lista diz " +
                   std::to_string(check.patch->zsize));
      return true;
    }
    if (check.file->size > kMostPatchCheckBytes) {
      return false;
    }
    const std::optional<std::string> old = older_content(check.patch->from);
    if (!old) {
      return false;
    }
    std::string out(check.file->size, '\0');
    PatchStream stream(*check.file, *old, out);
    Result<Receive> taken = stream.take(patch->bytes);
    Status finished = taken ? stream.finish() : Status(taken.error());
    if (!finished) {
      found_.fault(path + ": " + finished.message());
    }
    return true;
  }

 private:
  // True when the answer to an object's or a pack's request brought its bytes as they are
  // (200, no Content-Encoding); otherwise the fault is noted, with `what` was asked for. The
  // headers of a server's answer are held to the deploy guide.
  bool usable_answer(const std::string& path, const Result<SourceAnswer>& answer,
                     const std::string& what) {
    if (!answer) {
      found_.fault(path + ": " + answer.message());
      return false;
    }
    if (answer->status != 200) {
      found_.fault(status_fault(path, answer->status) + " (" + what + ")");
      return false;
    }
    if (source_.remote()) {
      check_object_headers(path, *answer, found_);
      if (const std::string encoding = header(*answer, "content-encoding"); !encoding.empty()) {
        found_.fault(path + " veio com Content-Encoding: " + encoding +
                     " (o lançador decodifica os bytes como vêm)");
        return false;
      }
    }
    return true;
  }

  // The content of the object named `sha256` when the server has it, it decodes, and it fits.
  std::optional<std::string> older_content(const std::string& sha256) {
    BrotliStream decoder;
    std::string content;
    bool usable = true;
    Result<SourceAnswer> answer =
        source_.get("app/files/" + sha256, [&](std::string_view piece) -> Status {
          bytes_ += piece.size();
          if (!usable || decoder.state() != BrotliStream::State::kMore) {
            return {};
          }
          Result<BrotliStream::State> state =
              decoder.feed(piece, [&](std::string_view decoded) -> Status {
                if (content.size() + decoded.size() > kMostPatchCheckBytes) {
                  return fail("grande demais");
                }
                content.append(decoded);
                return {};
              });
          usable = state && *state != BrotliStream::State::kCorrupt;
          return {};
        });
    if (!answer || answer->status != 200 || !usable ||
        decoder.state() != BrotliStream::State::kEnded) {
      return std::nullopt;
    }
    return content;
  }

  ReleaseSource& source_;
  Findings& found_;
  std::atomic<std::uint64_t>& bytes_;
};

}  // namespace

VerifyReport verify_deployment(ReleaseSource& source, const VerifyOptions& options,
                               const std::function<void(const VerifyProgress&)>& progress) {
  VerifyReport report;
  Findings found;
  Result<SmallBody> manifest = fetch_small(source, kManifestPath, kManifestMaxBytes);
  if (!manifest || manifest->answer.status != 200) {
    report.faults.push_back(manifest ? status_fault(kManifestPath, manifest->answer.status)
                                     : manifest.message());
    return report;
  }
  report.bytes += manifest->bytes.size();
  if (source.remote()) {
    check_list_headers(kManifestPath, manifest->answer, found);
  }
  if (!options.keys.empty()) {
    Result<SmallBody> signature = fetch_small(source, kSignaturePath, kSignatureMaxBytes);
    if (!signature || signature->answer.status != 200) {
      found.fault(signature ? status_fault(kSignaturePath, signature->answer.status) +
                                  " (lista sem assinatura)"
                            : signature.message());
    } else {
      report.bytes += signature->bytes.size();
      if (source.remote()) {
        check_list_headers(kSignaturePath, signature->answer, found);
      }
      Result<SignedRelease> verified =
          verify_manifest_signature(manifest->bytes, signature->bytes, options.keys);
      if (!verified) {
        found.fault("a assinatura não confere: " + verified.message());
      } else {
        report.signature = *verified;
        if (verified->expires_at && options.now > *verified->expires_at + kExpirySkewSeconds) {
          found.fault("a assinatura venceu: os lançadores recusam a lista (lista vencida)");
        }
      }
    }
  } else if (Result<SmallBody> signature = fetch_small(source, kSignaturePath, kSignatureMaxBytes);
             signature && signature->answer.status == 200 &&
             parse_manifest_signature(signature->bytes)) {
    // Launchers with keys check it: a signature nobody checked here is not a good one.
    report.bytes += signature->bytes.size();
    report.warnings.push_back(std::string("a lista é servida com assinatura (") + kSignaturePath +
                              "), que não foi conferida: passe --key para conferi-la");
  }
  Result<ReleaseManifest> parsed = parse_release_manifest(manifest->bytes);
  if (!parsed) {
    found.fault("o lançador recusa o manifesto: " + parsed.message());
    found.into(report);
    return report;
  }
  report.version = parsed->version;
  report.rollout = parsed->rollout;

  std::vector<Check> checks;
  std::set<std::string> seen;
  // The launcher's object and patches are checked like any file's.
  const std::vector<const ManifestFile*> objects = served_objects(*parsed);
  for (const ManifestFile* file : objects) {
    if (seen.insert(file->sha256).second) {
      checks.push_back({file, nullptr});
    }
  }
  for (const ManifestFile* file : objects) {
    for (const PatchOffer& patch : file->patches) {
      if (seen.insert(patch.from + "-" + file->sha256).second) {
        checks.push_back({file, &patch});
      }
    }
  }
  // Each pack member is checked against the first entry of its object (the reader holds every
  // entry of one digest to one length).
  std::unordered_map<std::string_view, const ManifestFile*> object_of;
  for (const ManifestFile* file : objects) {
    object_of.emplace(file->sha256, file);
  }
  for (const ReleasePack& pack : parsed->packs) {
    checks.push_back({nullptr, nullptr, &pack});
  }
  if (source.remote()) {
    // A missing object must be a plain 404 that no cache keeps.
    Result<SmallBody> missing = fetch_small(source, "app/files/" + std::string(64, '0'), 1 << 20);
    if (missing && missing->answer.status != 404) {
      found.departure(
          "um objeto que falta responde " + std::to_string(missing->answer.status) + ", não 404",
          "app/files/" + std::string(64, '0'));
    } else if (missing &&
               header(missing->answer, "cache-control").find("immutable") != std::string::npos) {
      found.departure("um 404 leva Cache-Control imutável (o objeto pode chegar depois)",
                      "app/files/" + std::string(64, '0'));
    }
  }

  std::atomic<std::uint64_t> bytes{report.bytes};
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> patches_by_size{0};
  std::mutex progress_mutex;
  std::size_t done = 0;
  Verifier verifier(source, found, bytes);
  run_on_threads(std::max<std::size_t>(1, std::min(options.transfers, checks.size())), [&] {
    for (std::size_t index = next++; index < checks.size(); index = next++) {
      const Check& check = checks[index];
      try {
        if (check.pack != nullptr) {
          verifier.check_pack(*check.pack, object_of);
        } else if (check.patch == nullptr) {
          verifier.check_object(check);
        } else if (!verifier.check_patch(check)) {
          ++patches_by_size;
        }
      } catch (const std::bad_alloc&) {
        found.fault(check.path() + ": memória insuficiente para conferir");
      }
      std::lock_guard lock(progress_mutex);
      ++done;
      if (progress) {
        progress({done, checks.size(), bytes.load()});
      }
    }
  });
  for (const Check& check : checks) {
    ++(check.pack ? report.packs : check.patch ? report.patches : report.objects);
  }
  report.patches_by_size_only = patches_by_size;
  report.bytes = bytes;
  found.into(report);
  return report;
}

}  // namespace nelo::publish
