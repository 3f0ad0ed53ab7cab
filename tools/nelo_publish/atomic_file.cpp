#include "nelo_publish/atomic_file.h"

#include <atomic>
#include <cstdio>
#include <random>
#include <system_error>
#include <utility>

#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

// ".<random>.tmp", to follow the final name.
std::string temporary_suffix() {
  static std::atomic<unsigned> counter{0};
  std::random_device device;
  const std::uint64_t noise = (std::uint64_t{device()} << 32) ^ device() ^ counter++;
  char text[32];
  std::snprintf(text, sizeof text, ".%016llx.tmp", static_cast<unsigned long long>(noise));
  return text;
}

}  // namespace

Result<AtomicFile> AtomicFile::create(const std::filesystem::path& final_path) {
  std::filesystem::path name(".");
  name += final_path.filename();
  name += temporary_suffix();
  const std::filesystem::path temporary = final_path.parent_path() / name;
  Result<NativeFile> file = native::create_new_file(temporary);
  if (!file) {
    return fail("não foi possível criar " + shown(temporary) + ": " + file.message());
  }
  return AtomicFile(final_path, temporary, *file);
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : final_(std::move(other.final_)),
      temporary_(std::move(other.temporary_)),
      file_(std::exchange(other.file_, kNoFile)),
      size_(other.size_) {
  other.temporary_.clear();
}

AtomicFile::~AtomicFile() {
  if (file_ != kNoFile) {
    (void)native::close_file(std::exchange(file_, kNoFile));
  }
  if (!temporary_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
}

Status AtomicFile::write(std::string_view bytes) {
  if (Status written = native::write_file(file_, bytes); !written) {
    return fail("não foi possível gravar " + shown(temporary_) + ": " + written.message());
  }
  size_ += bytes.size();
  return {};
}

Status AtomicFile::commit() {
  if (Status written = finish_writing(); !written) {
    return written;
  }
  return take_final_name();
}

Status AtomicFile::finish_writing() {
  if (Status flushed = native::flush_file(file_); !flushed) {
    return fail("não foi possível gravar " + shown(temporary_) + ": " + flushed.message());
  }
  if (Status closed = native::close_file(std::exchange(file_, kNoFile)); !closed) {
    return fail("não foi possível fechar " + shown(temporary_) + ": " + closed.message());
  }
  return {};
}

Status AtomicFile::take_final_name() {
  if (Status renamed = native::replace_file(temporary_, final_); !renamed) {
    return fail("não foi possível renomear " + shown(temporary_) + ": " + renamed.message());
  }
  temporary_.clear();
  return {};
}

Status write_whole_file(const std::filesystem::path& path, std::string_view bytes) {
  Result<AtomicFile> file = AtomicFile::create(path);
  if (!file) {
    return file.error();
  }
  if (Status written = file->write(bytes); !written) {
    return written;
  }
  return file->commit();
}

}  // namespace nelo::publish
