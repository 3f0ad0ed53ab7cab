#include <vector>

#include "base/file_system_win.h"
#include "base/gathered_writes.h"
#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "base/utf8_path.h"
#include "base/wide_text_win.h"
#include "install/install_layout.h"
#include "install/tree_removal.h"
#include "install/version_store_win.h"

namespace nelo {
namespace {

constexpr DWORD kReadPiece = DWORD{1} << 20;
constexpr std::size_t kGatheredWrite = std::size_t{256} << 10;

bool is_digest_name(std::wstring_view name) {
  return name.size() == 64 && name.find_first_not_of(L"0123456789abcdef") == std::wstring::npos;
}

// Appends to the bytes kept of one object. What it wrote stays when it is dropped: a download
// that breaks off is continued from there. Not flushed: after a power cut the tail may be lost
// or torn, and the digest of the whole content then sends the download back to the start.
class KeptBody final : public FileWriter {
 public:
  explicit KeptBody(unique_file file)
      : file_(std::move(file)), writes_(kGatheredWrite, [this](std::string_view bytes) {
          return write_all(file_.get(), bytes);
        }) {}
  KeptBody(const KeptBody&) = delete;
  KeptBody& operator=(const KeptBody&) = delete;
  // What was gathered goes to the file too: a download that broke off keeps all it received.
  ~KeptBody() override { (void)writes_.flush(); }

  Status write(std::string_view bytes) override { return writes_.write(bytes); }
  Status commit() override {
    Status written = writes_.flush();
    file_.reset();
    return written;
  }

 private:
  unique_file file_;
  GatheredWrites writes_;
};

}  // namespace

std::unordered_map<std::string, std::uint64_t> WindowsVersionStore::kept_bodies() {
  std::unordered_map<std::string, std::uint64_t> bodies;
  const std::optional<std::vector<ListedEntry>> entries = list_folder(downloads_folder());
  if (!entries) {
    return bodies;
  }
  for (const ListedEntry& entry : *entries) {
    if ((entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        is_digest_name(entry.name)) {
      bodies[to_utf8(entry.name)] = entry.size;
    }
  }
  return bodies;
}

Result<std::unique_ptr<FileWriter>> WindowsVersionStore::keep_body(std::string_view sha256,
                                                                   bool append) {
  const std::filesystem::path folder = downloads_folder();
  if (Status created = create_folders(folder); !created) {
    return created.error();
  }
  const std::filesystem::path path = folder / path_from_utf8(sha256);
  // An exclusive open of bytes written a moment ago: a scanner may still be reading them.
  unique_file file;
  if (!retry_while_held([&] {
        file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                 append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
        return static_cast<bool>(file);
      })) {
    return fail(last_error_text());
  }
  if (append && !::SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END)) {
    return fail(last_error_text());
  }
  return std::unique_ptr<FileWriter>(std::make_unique<KeptBody>(std::move(file)));
}

Status WindowsVersionStore::read_kept_body(std::string_view sha256,
                                           const std::function<Status(std::string_view)>& take) {
  const std::filesystem::path path = downloads_folder() / path_from_utf8(sha256);
  unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    return fail(last_error_text());
  }
  std::vector<char> buffer(kReadPiece);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data(), kReadPiece, &read, nullptr)) {
      return fail(last_error_text());
    }
    if (read == 0) {
      return {};
    }
    if (Status taken = take(std::string_view(buffer.data(), read)); !taken) {
      return taken;
    }
  }
}

void WindowsVersionStore::drop_kept_bodies(const std::optional<std::string>& sha256) {
  if (sha256) {
    (void)delete_file_name(downloads_folder() / path_from_utf8(*sha256));
  } else {
    (void)remove_tree(downloads_folder());
  }
}

}  // namespace nelo
