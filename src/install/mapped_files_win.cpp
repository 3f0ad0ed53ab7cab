#include "base/file_system_win.h"
#include "base/system_error_win.h"
#include "base/unique_handle.h"
#include "install/launcher_log.h"
#include "install/version_store_win.h"

namespace nelo {
namespace {

// An existing file mapped for reading. An empty file has nothing to map.
class MappedView final : public FileView {
 public:
  MappedView(unique_file file, unique_handle mapping, unique_mapped_view view, std::size_t size)
      : file_(std::move(file)), mapping_(std::move(mapping)), view_(std::move(view)), size_(size) {}
  std::string_view bytes() const override { return {static_cast<const char*>(view_.get()), size_}; }

 private:
  // Released in the reverse order: the view, the mapping, then the file.
  unique_file file_;
  unique_handle mapping_;
  unique_mapped_view view_;
  std::size_t size_;
};

// A new file of a fixed size mapped for writing: removed again unless committed.
class MappedFile final : public MappedNewFile {
 public:
  MappedFile(unique_file file, unique_handle mapping, unique_mapped_view view, std::size_t size,
             std::filesystem::path path, bool flush)
      : file_(std::move(file)),
        mapping_(std::move(mapping)),
        view_(std::move(view)),
        size_(size),
        path_(std::move(path)),
        flush_(flush) {}
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() override {
    if (file_) {
      view_.reset();
      mapping_.reset();
      file_.reset();
      ::DeleteFileW(path_.c_str());
    }
  }

  std::span<char> bytes() override { return {static_cast<char*>(view_.get()), size_}; }

  Status commit() override {
    // The pages go to the file, then the file to the disk, before the version moves into place.
    if (view_ && flush_ && !::FlushViewOfFile(view_.get(), 0)) {
      return fail(last_error_text());
    }
    view_.reset();
    mapping_.reset();
    if (flush_ && !::FlushFileBuffers(file_.get())) {
      return fail(last_error_text());
    }
    file_.reset();
    return {};
  }

 private:
  unique_file file_;
  unique_handle mapping_;
  unique_mapped_view view_;
  std::size_t size_;
  std::filesystem::path path_;
  bool flush_;
};

// Maps `file` (of `size` bytes) whole; nothing to map for an empty file.
Result<std::pair<unique_handle, unique_mapped_view>> map_whole(HANDLE file, std::uint64_t size,
                                                               bool writable) {
  if (size == 0) {
    return std::pair<unique_handle, unique_mapped_view>();
  }
  unique_handle mapping(::CreateFileMappingW(
      file, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) {
    return fail(last_error_text());
  }
  unique_mapped_view view(
      ::MapViewOfFile(mapping.get(), writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, 0));
  if (!view) {
    return fail(last_error_text());
  }
  return std::pair(std::move(mapping), std::move(view));
}

}  // namespace

Result<std::unique_ptr<FileView>> WindowsVersionStore::view_file(
    const std::filesystem::path& path) {
  // Others may read it, and an application running from its version keeps it open.
  unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size)) {
    return fail(last_error_text());
  }
  auto mapped = map_whole(file.get(), static_cast<std::uint64_t>(size.QuadPart), false);
  if (!mapped) {
    return mapped.error();
  }
  return std::unique_ptr<FileView>(std::make_unique<MappedView>(
      std::move(file), std::move(mapped->first), std::move(mapped->second),
      static_cast<std::size_t>(size.QuadPart)));
}

Result<std::unique_ptr<MappedNewFile>> WindowsVersionStore::create_mapped_file(
    const std::filesystem::path& target, std::uint64_t size) {
  // A fresh file, as for any staged file: a name that is taken goes first, and is never
  // written through (it may be a link to an installed file).
  unique_file file(::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file && ::GetLastError() == ERROR_FILE_EXISTS) {
    remove_file(target);
    file.reset(::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!file) {
    return fail(last_error_text());
  }
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get())) {
    const std::string error = last_error_text();
    file.reset();
    ::DeleteFileW(target.c_str());
    return fail(error);
  }
  auto mapped = map_whole(file.get(), size, true);
  if (!mapped) {
    file.reset();
    ::DeleteFileW(target.c_str());
    return mapped.error();
  }
  return std::unique_ptr<MappedNewFile>(std::make_unique<MappedFile>(
      std::move(file), std::move(mapped->first), std::move(mapped->second),
      static_cast<std::size_t>(size), target, flush_files_));
}

void WindowsVersionStore::note(std::string_view line) {
  append_log_line(line);
}

}  // namespace nelo
