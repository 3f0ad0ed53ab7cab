#include "nelo_publish/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "base/write_in_pieces.h"

namespace nelo::publish {
namespace {

// Pieces of at most this much per write.
constexpr std::size_t kMostPerWrite = std::size_t{1} << 20;

int descriptor_of(NativeFile file) {
  return static_cast<int>(file);
}

Failure errno_failure(int error) {
  return fail(std::error_code(error, std::generic_category()).message());
}

}  // namespace

void sync_folder(const std::filesystem::path& folder) {
  const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle >= 0) {
    ::fsync(handle);
    ::close(handle);
  }
}

namespace native {

Result<NativeFile> create_new_file(const std::filesystem::path& path) {
  const int handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (handle < 0) {
    return errno_failure(errno);
  }
  return NativeFile{handle};
}

Status write_file(NativeFile file, std::string_view bytes) {
  int error = 0;
  const WriteEnd end = write_in_pieces(bytes, kMostPerWrite, [&](std::string_view piece) {
    for (;;) {
      const ssize_t written = ::write(descriptor_of(file), piece.data(), piece.size());
      if (written >= 0) {
        return std::optional<std::size_t>(static_cast<std::size_t>(written));
      }
      if (errno != EINTR) {
        error = errno;
        return std::optional<std::size_t>();
      }
    }
  });
  switch (end) {
    case WriteEnd::Done:
      return {};
    case WriteEnd::Stalled:
      return errno_failure(EIO);
    case WriteEnd::Failed:
      break;
  }
  return errno_failure(error);
}

Status flush_file(NativeFile file) {
  if (::fsync(descriptor_of(file)) != 0) {
    return errno_failure(errno);
  }
  return {};
}

Status close_file(NativeFile file) {
  if (::close(descriptor_of(file)) != 0) {
    return errno_failure(errno);
  }
  return {};
}

Status replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return errno_failure(errno);
  }
  return {};
}

}  // namespace native
}  // namespace nelo::publish
