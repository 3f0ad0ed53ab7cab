#include "nelo_publish/publish.h"

#include <brotli/encode.h>

#include <algorithm>
#include <ctime>
#include <iterator>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#ifdef _WIN32
#include "base/win_support.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "base/unicode_lower.h"
#include "base/utf.h"
#include "install/manifest.h"
#include "install/sha256.h"
#include "install/windows_names.h"

namespace nelo::publish {
namespace {

namespace fs = std::filesystem;

// Input is read, compressed and reported on in pieces of this size.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
// The standard window (4 MiB); the large-window extension stays off, since decoders that do not
// ask for it refuse such streams.
constexpr int kWindowBits = 22;

// A path as text for messages; never fails.
std::string shown(const fs::path& path) {
#ifdef _WIN32
  const std::wstring& wide = path.native();
  return utf16_to_utf8_lossy(std::u16string(wide.begin(), wide.end()));
#else
  return path.native();
#endif
}

// One file of the release.
struct SourceFile {
  std::string path;   // UTF-8, "/"-separated, relative to the release folder
  fs::path location;  // where it is on disk
  std::uint64_t size = 0;
  std::string sha256;
};

bool is_lower_hex_digest(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// ---------------------------------------------------------------------------------------------
// Letter case. Windows compares names without regard to case in every script; the simple
// lower-case mapping of each code point finds the names it would take for one another. The
// final sigma is folded as well: Windows upper-cases it, like the medial one, to capital sigma.

std::u32string case_folded(std::string_view utf8) {
  std::u32string text = lower_case(utf8_to_utf16(utf8).value_or(std::u16string()));
  std::replace(text.begin(), text.end(), U'\u03C2', U'\u03C3');
  return text;
}

// Two files Windows would take for one, or a file and a folder of the same name.
Status check_letter_case(const std::vector<SourceFile>& files) {
  std::map<std::u32string, std::string_view> file_names;
  std::map<std::u32string, std::string_view> folder_names;
  for (const SourceFile& file : files) {
    const auto [existing, added] = file_names.emplace(case_folded(file.path), file.path);
    if (!added) {
      return fail("dois arquivos teriam o mesmo nome no Windows, que não distingue maiúsculas: \"" +
                  std::string(existing->second) + "\" e \"" + file.path + "\"");
    }
    const std::string_view path = file.path;
    for (size_t slash = path.find('/'); slash != std::string_view::npos;
         slash = path.find('/', slash + 1)) {
      folder_names.emplace(case_folded(path.substr(0, slash)), path.substr(0, slash));
    }
  }
  for (const auto& [folded, path] : file_names) {
    if (const auto folder = folder_names.find(folded); folder != folder_names.end()) {
      return fail("um arquivo e uma pasta teriam o mesmo nome no Windows: \"" + std::string(path) +
                  "\" e \"" + std::string(folder->second) + "/\"");
    }
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// The release folder.

Status check_manifest_path(const std::string& path) {
  // Every piece on its own as well: on POSIX a name may hold "\", which the launcher would
  // take for a separator.
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string_view piece = std::string_view(path).substr(start, slash - start);
    if (!is_plain_windows_name(piece)) {
      return fail("nome impróprio para o Windows: \"" + std::string(piece) + "\" em \"" + path +
                  "\"");
    }
    if (slash == std::string::npos) {
      break;
    }
    start = slash + 1;
  }
  if (is_reserved_version_name(std::string_view(path).substr(0, path.find('/')))) {
    return fail("nome que a pasta da versão guarda para si: \"" + path + "\"");
  }
  if (!is_valid_manifest_path(path)) {
    return fail("caminho impróprio para o Windows: \"" + path + "\"");
  }
  return {};
}

// Every regular file below `from`, sorted by path (byte-wise). Symbolic links and special
// files are refused.
Result<std::vector<SourceFile>> list_release(const fs::path& from) {
  std::error_code error;
  if (!fs::is_directory(fs::status(from, error))) {
    return fail("a pasta da versão não existe ou não é uma pasta: " + shown(from));
  }
  struct Folder {
    fs::path location;
    std::string path;  // relative, "" for the top
  };
  std::vector<SourceFile> files;
  std::vector<Folder> pending{{from, ""}};
  while (!pending.empty()) {
    const Folder folder = std::move(pending.back());
    pending.pop_back();
    fs::directory_iterator entries(folder.location, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
      const fs::directory_entry& entry = *entries;
      const std::optional<std::string> name = path_to_utf8(entry.path().filename());
      if (!name) {
        return fail("nome que não é Unicode válido: " + shown(entry.path()));
      }
      const std::string path = folder.path.empty() ? *name : folder.path + "/" + *name;
      const fs::file_status status = entry.symlink_status(error);
      if (error) {
        break;
      }
      if (fs::is_symlink(status)) {
        return fail("link simbólico na versão (publique o próprio arquivo): \"" + path + "\"");
      }
      if (fs::is_directory(status)) {
        pending.push_back({entry.path(), path});
        continue;
      }
      if (!fs::is_regular_file(status)) {
        return fail("não é um arquivo comum: \"" + path + "\"");
      }
      if (Status checked = check_manifest_path(path); !checked) {
        return Failure{checked.message()};
      }
      const std::uintmax_t size = entry.file_size(error);
      if (error) {
        break;
      }
      files.push_back({path, entry.path(), size, {}});
    }
    if (error) {
      return fail("não foi possível ler a pasta " + shown(folder.location) + ": " +
                  error.message());
    }
  }
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.path < b.path; });
  return files;
}

Result<std::string> read_whole_file(const fs::path& location, std::uint64_t expected_size) {
  std::ifstream in(location, std::ios::binary);
  if (!in) {
    return fail("não foi possível abrir " + shown(location));
  }
  std::string content;
  content.reserve(static_cast<size_t>(expected_size));
  while (in) {
    const size_t before = content.size();
    content.resize(before + kChunkBytes);
    in.read(content.data() + before, static_cast<std::streamsize>(kChunkBytes));
    content.resize(before + static_cast<size_t>(in.gcount()));
  }
  if (in.bad() || !in.eof()) {
    return fail("não foi possível ler " + shown(location));
  }
  return content;
}

// True when `inner` is `outer` or lies below it.
bool is_within(const fs::path& inner, const fs::path& outer) {
  const auto trimmed = [](const fs::path& path) {
    fs::path normal = path.lexically_normal();
    return normal.has_filename() || normal == normal.root_path() ? normal : normal.parent_path();
  };
  const fs::path a = trimmed(inner);
  const fs::path b = trimmed(outer);
  return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

// ---------------------------------------------------------------------------------------------
// Files written under a temporary name in the same folder, made durable, then renamed over the
// final name: the final name always holds a whole file or nothing.

std::string temporary_suffix() {
  static std::atomic<unsigned> counter{0};
  std::random_device device;
  const std::uint64_t noise = (std::uint64_t{device()} << 32) ^ device() ^ counter++;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(noise));
  return text;
}

class PendingFile {
 public:
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  PendingFile(PendingFile&& other) noexcept
      : final_(std::move(other.final_)),
        temporary_(std::move(other.temporary_)),
        handle_(std::exchange(other.handle_, kNoHandle)),
        size_(other.size_) {
    other.temporary_.clear();
  }
  PendingFile& operator=(PendingFile&&) = delete;

  ~PendingFile() {
    close();
    if (!temporary_.empty()) {
      std::error_code ignored;
      fs::remove(temporary_, ignored);
    }
  }

  static Result<PendingFile> create(const fs::path& final_path) {
    // ".<name>.<random>.tmp": hidden, and never a name the launcher asks for.
    fs::path name(".");
    name += final_path.filename();
    name += "." + temporary_suffix() + ".tmp";
    const fs::path temporary = final_path.parent_path() / name;
#ifdef _WIN32
    HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      return fail("não foi possível criar " + shown(temporary) + ": " + last_error());
    }
#else
    const int handle = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (handle < 0) {
      return fail("não foi possível criar " + shown(temporary) + ": " + last_error());
    }
#endif
    return PendingFile(final_path, temporary, handle);
  }

  Status write(const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
#ifdef _WIN32
      DWORD written = 0;
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(length, kChunkBytes));
      if (!::WriteFile(handle_, bytes, piece, &written, nullptr) || written == 0) {
        return fail("não foi possível gravar " + shown(temporary_) + ": " + last_error());
      }
#else
      const ssize_t written = ::write(handle_, bytes, std::min<size_t>(length, kChunkBytes));
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written <= 0) {
        return fail("não foi possível gravar " + shown(temporary_) + ": " + last_error());
      }
#endif
      bytes += written;
      length -= static_cast<size_t>(written);
      size_ += static_cast<std::uint64_t>(written);
    }
    return {};
  }

  std::uint64_t size() const {
    return size_;
  }

  // Flushes the content to the disk, closes and renames over the final name.
  Status commit() {
#ifdef _WIN32
    const bool flushed = ::FlushFileBuffers(handle_);
#else
    const bool flushed = ::fsync(handle_) == 0;
#endif
    if (!flushed) {
      return fail("não foi possível gravar " + shown(temporary_) + ": " + last_error());
    }
    if (!close()) {
      return fail("não foi possível fechar " + shown(temporary_) + ": " + last_error());
    }
#ifdef _WIN32
    if (!::MoveFileExW(temporary_.c_str(), final_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return fail("não foi possível renomear " + shown(temporary_) + ": " + last_error());
    }
#else
    if (::rename(temporary_.c_str(), final_.c_str()) != 0) {
      return fail("não foi possível renomear " + shown(temporary_) + ": " + last_error());
    }
#endif
    temporary_.clear();
    return {};
  }

 private:
#ifdef _WIN32
  using Handle = HANDLE;
  static inline const Handle kNoHandle = INVALID_HANDLE_VALUE;
  static std::string last_error() {
    return std::error_code(static_cast<int>(::GetLastError()), std::system_category()).message();
  }
#else
  using Handle = int;
  static constexpr Handle kNoHandle = -1;
  static std::string last_error() {
    return std::error_code(errno, std::generic_category()).message();
  }
#endif

  PendingFile(fs::path final_path, fs::path temporary, Handle handle)
      : final_(std::move(final_path)), temporary_(std::move(temporary)), handle_(handle) {}

  bool close() {
    if (handle_ == kNoHandle) {
      return true;
    }
#ifdef _WIN32
    const bool closed = ::CloseHandle(std::exchange(handle_, kNoHandle));
#else
    const bool closed = ::close(std::exchange(handle_, kNoHandle)) == 0;
#endif
    return closed;
  }

  fs::path final_;
  fs::path temporary_;  // empty once renamed
  Handle handle_ = kNoHandle;
  std::uint64_t size_ = 0;
};

// Makes the renames done in `folder` durable; POSIX only (Windows writes the rename through).
// Best effort: some file systems refuse to sync a folder.
void sync_folder([[maybe_unused]] const fs::path& folder) {
#ifndef _WIN32
  const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle >= 0) {
    ::fsync(handle);
    ::close(handle);
  }
#endif
}

// ---------------------------------------------------------------------------------------------
// Compression.

struct EncoderDeleter {
  void operator()(BrotliEncoderState* state) const { BrotliEncoderDestroyInstance(state); }
};

// Writes `content` to `out` as one bare Brotli stream; `consumed` hears how much input the
// encoder has taken after each chunk.
Status compress(std::string_view content, int quality, PendingFile& out,
                const std::function<void(std::uint64_t)>& consumed) {
  const std::unique_ptr<BrotliEncoderState, EncoderDeleter> encoder(
      BrotliEncoderCreateInstance(nullptr, nullptr, nullptr));
  if (!encoder) {
    return fail("não foi possível iniciar o compressor Brotli");
  }
  const auto size_hint =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(content.size(), std::uint64_t{1} << 30));
  if (!BrotliEncoderSetParameter(encoder.get(), BROTLI_PARAM_QUALITY,
                                 static_cast<std::uint32_t>(quality)) ||
      !BrotliEncoderSetParameter(encoder.get(), BROTLI_PARAM_LGWIN, kWindowBits) ||
      !BrotliEncoderSetParameter(encoder.get(), BROTLI_PARAM_LARGE_WINDOW, BROTLI_FALSE) ||
      !BrotliEncoderSetParameter(encoder.get(), BROTLI_PARAM_SIZE_HINT, size_hint)) {
    return fail("o compressor Brotli recusou os parâmetros");
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(content.data());
  const std::uint8_t* next_in = data;
  size_t available_in = 0;
  size_t handed_over = 0;
  std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
  while (!BrotliEncoderIsFinished(encoder.get())) {
    if (available_in == 0 && handed_over < content.size()) {
      available_in = std::min(kChunkBytes, content.size() - handed_over);
      next_in = data + handed_over;
      handed_over += available_in;
    }
    const BrotliEncoderOperation operation =
        handed_over == content.size() ? BROTLI_OPERATION_FINISH : BROTLI_OPERATION_PROCESS;
    size_t available_out = buffer.size();
    std::uint8_t* next_out = buffer.data();
    if (!BrotliEncoderCompressStream(encoder.get(), operation, &available_in, &next_in,
                                     &available_out, &next_out, nullptr)) {
      return fail("falha do compressor Brotli");
    }
    if (Status written = out.write(buffer.data(), buffer.size() - available_out); !written) {
      return written;
    }
    if (operation == BROTLI_OPERATION_PROCESS && available_in == 0) {
      consumed(handed_over);
    }
  }
  consumed(content.size());
  return {};
}

// ---------------------------------------------------------------------------------------------

Status check_options(const PublishOptions& options) {
  if (!is_valid_version_label(options.version)) {
    return fail("rótulo de versão inválido: \"" + options.version +
                "\" (use letras ASCII, dígitos, \".\" e \"-\"; não pode terminar em \".\" nem "
                "ser um nome de dispositivo do Windows)");
  }
  if (options.quality < kMinQuality || options.quality > kMaxQuality) {
    return fail("qualidade fora de 0 a 11: " + std::to_string(options.quality));
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

std::string manifest_document(const std::string& version, const std::vector<SourceFile>& files,
                              const std::map<std::string, std::uint64_t>& zsizes) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const SourceFile& file : files) {
    nlohmann::ordered_json entry;
    entry["path"] = file.path;
    entry["sha256"] = file.sha256;
    entry["size"] = file.size;
    entry["zsize"] = zsizes.at(file.sha256);
    list.push_back(std::move(entry));
  }
  nlohmann::ordered_json document;
  document["version"] = version;
  document["files"] = std::move(list);
  return document.dump(2) + "\n";
}

Status check_with_launcher_reader(std::string document) {
  if (Result<ReleaseManifest> parsed = parse_release_manifest(std::move(document)); !parsed) {
    return fail("o lançador recusaria o manifesto gerado: " + parsed.message());
  }
  return {};
}

// Writes `bytes` as the file at `path` through a temporary file and a rename: a reader sees the
// old file or the whole new one.
Status write_whole_file(const fs::path& path, std::string_view bytes) {
  Result<PendingFile> file = PendingFile::create(path);
  if (!file) {
    return Failure{file.message()};
  }
  if (Status written = file->write(bytes.data(), bytes.size()); !written) {
    return written;
  }
  return file->commit();
}

Result<PublishReport> publish(const PublishOptions& options, const ProgressSink& progress) {
  const auto report_progress = [&progress](const PublishProgress& state) {
    if (progress) {
      progress(state);
    }
  };

  // Everything that can refuse the release comes before the first write.
  if (Status checked = check_options(options); !checked) {
    return Failure{checked.message()};
  }
  Result<std::vector<SourceFile>> listed = list_release(options.from);
  if (!listed) {
    return Failure{listed.message()};
  }
  std::vector<SourceFile>& files = *listed;
  const bool has_launcher_target = std::any_of(
      files.begin(), files.end(), [](const SourceFile& file) { return file.path == "Nelo.exe"; });
  if (!has_launcher_target) {
    return fail("falta o arquivo Nelo.exe no topo da pasta da versão " + shown(options.from));
  }
  if (Status checked = check_letter_case(files); !checked) {
    return Failure{checked.message()};
  }

  PublishProgress hashing{PublishPhase::kHashing, 0, files.size(), 0, 0};
  for (const SourceFile& file : files) {
    hashing.bytes_total += file.size;
  }
  for (SourceFile& file : files) {
    Result<std::string> content = read_whole_file(file.location, file.size);
    if (!content) {
      return Failure{content.message()};
    }
    file.size = content->size();
    file.sha256 = sha256_hex(*content);
    if (!is_lower_hex_digest(file.sha256)) {
      return fail("não foi possível calcular o SHA-256 de " + shown(file.location));
    }
    hashing.files_done += 1;
    hashing.bytes_done += file.size;
    report_progress(hashing);
  }

  std::map<std::string, const SourceFile*> contents;
  std::map<std::string, std::uint64_t> zsizes;
  for (const SourceFile& file : files) {
    contents.emplace(file.sha256, &file);
    zsizes.emplace(file.sha256, 0);  // known once each object is on disk
  }
  // The launcher's own reader has the last word on what it would accept; the compressed sizes
  // take no part in that.
  if (Status readable =
          check_with_launcher_reader(manifest_document(options.version, files, zsizes));
      !readable) {
    return Failure{readable.message()};
  }

  const fs::path app_folder = options.to / "app";
  const fs::path objects_folder = app_folder / "files";
  PublishReport report;
  report.files = files.size();
  report.bytes = hashing.bytes_done;
  std::vector<const SourceFile*> missing;
  PublishProgress compressing{PublishPhase::kCompressing, 0, 0, 0, 0};
  for (const auto& [sha256, file] : contents) {
    std::error_code error;
    const fs::path object = objects_folder / sha256;
    const fs::file_status status = fs::status(object, error);
    if (status.type() == fs::file_type::not_found) {
      missing.push_back(file);
      compressing.bytes_total += file->size;
      continue;
    }
    if (error || !fs::is_regular_file(status)) {
      return fail("o objeto existente não é um arquivo legível: " + shown(object));
    }
    zsizes[sha256] = fs::file_size(object, error);
    if (error) {
      return fail("não foi possível ler o tamanho de " + shown(object) + ": " + error.message());
    }
    report.objects_kept += 1;
  }
  compressing.files_total = missing.size();

  // Writing starts here.
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
      return Failure{content.message()};
    }
    if (sha256_hex(*content) != file->sha256) {
      return fail("o arquivo mudou durante a publicação: \"" + file->path + "\"");
    }
    Result<PendingFile> object = PendingFile::create(objects_folder / file->sha256);
    if (!object) {
      return Failure{object.message()};
    }
    const std::uint64_t before = compressing.bytes_done;
    Status compressed = compress(*content, options.quality, *object, [&](std::uint64_t taken) {
      compressing.bytes_done = before + taken;
      if (taken < file->size) {
        report_progress(compressing);
      }
    });
    if (!compressed) {
      return Failure{compressed.message()};
    }
    zsizes[file->sha256] = object->size();
    if (Status committed = object->commit(); !committed) {
      return Failure{committed.message()};
    }
    compressing.files_done += 1;
    report_progress(compressing);
    report.objects_written += 1;
  }
  sync_folder(objects_folder);

  const std::string document = manifest_document(options.version, files, zsizes);
  if (Status readable = check_with_launcher_reader(document); !readable) {
    return Failure{readable.message()};
  }
  report.manifest = app_folder / "manifest.json";
  if (options.signing_key) {
    // The signature goes first: a reader may meet the new signature beside the old manifest
    // (and refuse that pair until the manifest follows), never a new manifest unsigned.
    const std::string signature =
        sign_manifest(document, *options.signing_key, options.signing_time, "manifest.json");
    if (Status written = write_whole_file(app_folder / "manifest.json.minisig", signature);
        !written) {
      return Failure{written.message()};
    }
  }
  if (Status written = write_whole_file(report.manifest, document); !written) {
    return Failure{written.message()};
  }
  sync_folder(app_folder);
  return report;
}

// ---------------------------------------------------------------------------------------------
// The command.

// "12,3" for 12.3 MiB: tenths, whatever the locale.
std::string mebibytes(std::uint64_t bytes) {
  const std::uint64_t tenths = bytes * 10 / (std::uint64_t{1} << 20);
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

// Progress on one terminal line, redrawn at most ten times a second; each phase ends its line.
class ProgressLine {
 public:
  ProgressLine(bool terminal, const TextSink& err) : terminal_(terminal), err_(err) {}

  void update(const PublishProgress& state) {
    if (state.phase == PublishPhase::kHashing && state.files_done <= 1) {
      shown_ = terminal_ && state.bytes_total > kProgressThreshold;
    }
    if (!shown_) {
      return;
    }
    const bool last = state.files_done == state.files_total;
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - drawn_at_ < std::chrono::milliseconds(100)) {
      return;
    }
    drawn_at_ = now;
    const bool hashing = state.phase == PublishPhase::kHashing;
    std::string line = std::string(hashing ? "lendo " : "comprimindo ") +
                       std::to_string(state.files_done) + "/" + std::to_string(state.files_total) +
                       (hashing ? " arquivos, " : " objetos, ") + mebibytes(state.bytes_done) +
                       "/" + mebibytes(state.bytes_total) + " MiB";
    const size_t width = line.size();
    line.append(width_ > width ? width_ - width : 0, ' ');
    width_ = last ? 0 : width;
    err_("\r" + line + (last ? "\n" : ""));
    open_ = !last;
  }

  // Ends a line left open by a failure.
  void close() {
    if (open_) {
      err_("\n");
      open_ = false;
    }
  }

 private:
  bool terminal_;
  const TextSink& err_;
  bool shown_ = false;
  bool open_ = false;
  size_t width_ = 0;
  std::chrono::steady_clock::time_point drawn_at_{};
};

Result<int> parse_quality(std::string_view text) {
  if (text.empty() || text.size() > 2 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return fail("--quality espera um número de 0 a 11, não \"" + std::string(text) + "\"");
  }
  const int quality = std::stoi(std::string(text));
  if (quality > kMaxQuality) {
    return fail("--quality espera um número de 0 a 11, não \"" + std::string(text) + "\"");
  }
  return quality;
}

}  // namespace

fs::path path_from_utf8(std::string_view text) {
#ifdef _WIN32
  const std::optional<std::u16string> wide = utf8_to_utf16(text);
  if (wide) {
    return fs::path(std::wstring(wide->begin(), wide->end()));
  }
#endif
  return fs::path(std::string(text));
}

std::optional<std::string> path_to_utf8(const fs::path& path) {
#ifdef _WIN32
  const std::wstring& wide = path.native();
  return utf16_to_utf8(std::u16string(wide.begin(), wide.end()));
#else
  if (!is_valid_utf8(path.native())) {
    return std::nullopt;
  }
  return path.native();
#endif
}

Result<PublishReport> publish_release(const PublishOptions& options, const ProgressSink& progress) {
  try {
    return publish(options, progress);
  } catch (const std::bad_alloc&) {
    return fail("memória insuficiente para publicar a versão");
  } catch (const std::exception& error) {
    return fail(std::string("falha inesperada ao publicar a versão: ") + error.what());
  }
}

Result<PublishCommand> parse_publish_arguments(const std::vector<std::string>& arguments) {
  PublishCommand command;
  if (std::find_if(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument == "--help" || argument == "-h";
      }) != arguments.end()) {
    command.help = true;
    return command;
  }
  std::map<std::string, std::string> values;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!argument.starts_with("--")) {
      return fail("argumento inesperado: \"" + argument + "\"");
    }
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(2, equals == std::string::npos ? equals : equals - 2);
    if (name != "version" && name != "from" && name != "to" && name != "quality" &&
        name != "sign" && name != "password-file") {
      return fail("opção desconhecida: --" + name);
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) {
      value = arguments[++i];
    } else {
      return fail("falta o valor de --" + name);
    }
    if (value.empty()) {
      return fail("valor vazio em --" + name);
    }
    if (!values.emplace(name, value).second) {
      return fail("--" + name + " dada mais de uma vez");
    }
  }
  for (const char* required : {"version", "from", "to"}) {
    if (!values.contains(required)) {
      return fail(std::string("falta --") + required);
    }
  }
  command.options.version = values["version"];
  command.options.from = path_from_utf8(values["from"]);
  command.options.to = path_from_utf8(values["to"]);
  if (values.contains("sign")) {
    command.sign_key_file = path_from_utf8(values["sign"]);
  }
  if (values.contains("password-file")) {
    if (!values.contains("sign")) {
      return fail("--password-file só vale com --sign");
    }
    command.password_file = path_from_utf8(values["password-file"]);
  }
  if (values.contains("quality")) {
    Result<int> quality = parse_quality(values["quality"]);
    if (!quality) {
      return Failure{quality.message()};
    }
    command.options.quality = *quality;
  }
  return command;
}

std::string publish_usage() {
  return "uso: nelo-publish --version RÓTULO --from PASTA --to RAIZ [--quality N]\n"
         "                    [--sign CHAVE [--password-file ARQUIVO]]\n"
         "\n"
         "Publica a versão RÓTULO do Nelo, contida em PASTA (com o Nelo.exe no topo), na árvore\n"
         "estática RAIZ que o servidor de atualização serve:\n"
         "  RAIZ/app/files/<sha256>   cada conteúdo distinto uma vez, em Brotli\n"
         "  RAIZ/app/manifest.json    a lista da versão, gravada por último\n"
         "\n"
         "  --version RÓTULO  letras ASCII, dígitos, \".\" e \"-\" (por exemplo 1.4.0)\n"
         "  --from PASTA      a pasta da versão; links simbólicos dentro dela são recusados\n"
         "  --to RAIZ         a raiz do servidor; é criada se não existir\n"
         "  --quality N       qualidade do Brotli, de 0 a 11 (padrão 11)\n"
         "  --sign CHAVE      assina a lista com a chave secreta do minisign (minisign -G);\n"
         "                    grava RAIZ/app/manifest.json.minisig antes da lista\n"
         "  --password-file ARQUIVO\n"
         "                    a senha da chave na primeira linha do ARQUIVO (sem ela, a senha\n"
         "                    é pedida no terminal; uma chave de minisign -G -W não tem senha)\n"
         "  --help            mostra este texto\n"
         "\n"
         "Objetos já presentes em RAIZ são mantidos; só o manifesto é substituído. Envie ao\n"
         "servidor primeiro os objetos e por último a assinatura e o manifesto, juntos.\n"
         "\n"
         "Saída: 0 publicada, 1 recusada ou com falha, 2 uso incorreto.\n";
}

namespace {

std::optional<std::string> read_whole_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The key of --sign, unlocked with the password of --password-file (its first line) or, when
// there is none, with one asked for.
Result<SigningKey> load_signing_key(const std::filesystem::path& key_file,
                                    const std::filesystem::path& password_file,
                                    const PasswordPrompt& ask_password) {
  const std::optional<std::string> key_text = read_whole_file(key_file);
  if (!key_text) {
    return fail("não foi possível ler a chave " + shown(key_file));
  }
  std::string password;
  if (signing_key_needs_password(*key_text)) {
    std::optional<std::string> given;
    if (!password_file.empty()) {
      given = read_whole_file(password_file);
      if (!given) {
        return fail("não foi possível ler a senha em " + shown(password_file));
      }
      given = given->substr(0, given->find_first_of("\r\n"));
    } else if (ask_password) {
      given = ask_password();
    }
    if (!given) {
      return fail("a chave tem senha: dê --password-file ou rode num terminal");
    }
    password = std::move(*given);
  }
  Result<SigningKey> key = read_signing_key(*key_text, password);
  if (!key) {
    return fail(key.message() + ": " + shown(key_file));
  }
  return key;
}

}  // namespace

int run_publish_command(const std::vector<std::string>& arguments, bool err_is_terminal,
                        const TextSink& out, const TextSink& err,
                        const PasswordPrompt& ask_password) {
  try {
    Result<PublishCommand> command = parse_publish_arguments(arguments);
    if (!command) {
      err("nelo-publish: " + command.message() + "\nUse --help para ver o uso.\n");
      return 2;
    }
    if (command->help) {
      out(publish_usage());
      return 0;
    }
    if (!command->sign_key_file.empty()) {
      Result<SigningKey> key =
          load_signing_key(command->sign_key_file, command->password_file, ask_password);
      if (!key) {
        err("nelo-publish: " + key.message() + "\n");
        return 1;
      }
      command->options.signing_key = *key;
      command->options.signing_time = static_cast<std::int64_t>(std::time(nullptr));
    }
    ProgressLine line(err_is_terminal, err);
    Result<PublishReport> report = publish_release(
        command->options, [&line](const PublishProgress& state) { line.update(state); });
    line.close();
    if (!report) {
      err("nelo-publish: " + report.message() + "\n");
      return 1;
    }
    out("versão " + command->options.version + " publicada: " + std::to_string(report->files) +
        " arquivos (" + mebibytes(report->bytes) + " MiB), " +
        std::to_string(report->objects_written) + " objetos novos, " +
        std::to_string(report->objects_kept) + " já presentes; " + shown(report->manifest) + "\n");
    return 0;
  } catch (const std::exception& error) {
    err(std::string("nelo-publish: falha inesperada: ") + error.what() + "\n");
    return 1;
  }
}

}  // namespace nelo::publish
