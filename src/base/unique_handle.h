// One move-only owner for every kind of Windows handle; the traits say what "no handle" is and
// how to close one.
#pragma once

#include <utility>

#include "base/win_support.h"

#include <objbase.h>
#include <winhttp.h>

namespace nelo {

template <class Traits>
class UniqueHandle {
 public:
  using pointer = typename Traits::pointer;

  UniqueHandle() = default;
  explicit UniqueHandle(pointer handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  pointer get() const { return handle_; }
  bool valid() const { return handle_ != Traits::invalid(); }
  explicit operator bool() const { return valid(); }

  pointer release() { return std::exchange(handle_, Traits::invalid()); }
  void reset(pointer handle = Traits::invalid()) {
    if (valid()) {
      Traits::close(handle_);
    }
    handle_ = handle;
  }
  // For out-parameters of system calls: closes what is held and hands out the slot.
  pointer* put() {
    reset();
    return &handle_;
  }

 private:
  pointer handle_ = Traits::invalid();
};

// A file opened with CreateFileW: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static void close(pointer handle) { ::CloseHandle(handle); }
};

// Processes, threads, mutexes, events, pipes: null means none.
struct KernelHandleTraits {
  using pointer = HANDLE;
  static pointer invalid() { return nullptr; }
  static void close(pointer handle) { ::CloseHandle(handle); }
};

struct RegistryKeyTraits {
  using pointer = HKEY;
  static pointer invalid() { return nullptr; }
  static void close(pointer key) { ::RegCloseKey(key); }
};

struct FindHandleTraits {
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static void close(pointer handle) { ::FindClose(handle); }
};

// A session, connection or request of WinHTTP.
struct InternetHandleTraits {
  using pointer = HINTERNET;
  static pointer invalid() { return nullptr; }
  static void close(pointer handle) { ::WinHttpCloseHandle(handle); }
};

// A view of a file mapping, from MapViewOfFile.
struct MappedViewTraits {
  using pointer = void*;
  static pointer invalid() { return nullptr; }
  static void close(pointer view) { ::UnmapViewOfFile(view); }
};

// A device context of CreateCompatibleDC.
struct MemoryDcTraits {
  using pointer = HDC;
  static pointer invalid() { return nullptr; }
  static void close(pointer dc) { ::DeleteDC(dc); }
};

struct BitmapTraits {
  using pointer = HBITMAP;
  static pointer invalid() { return nullptr; }
  static void close(pointer bitmap) { ::DeleteObject(bitmap); }
};

// Memory the system allocated for the caller with LocalAlloc (FormatMessageW's buffer).
struct LocalMemoryTraits {
  using pointer = HLOCAL;
  static pointer invalid() { return nullptr; }
  static void close(pointer memory) { ::LocalFree(memory); }
};

// Memory a COM or shell call allocated for the caller (SHGetKnownFolderPath's text).
struct CoTaskMemoryTraits {
  using pointer = wchar_t*;
  static pointer invalid() { return nullptr; }
  static void close(pointer memory) { ::CoTaskMemFree(memory); }
};

using unique_file = UniqueHandle<FileHandleTraits>;
using unique_handle = UniqueHandle<KernelHandleTraits>;
using unique_hkey = UniqueHandle<RegistryKeyTraits>;
using unique_find = UniqueHandle<FindHandleTraits>;
using unique_hinternet = UniqueHandle<InternetHandleTraits>;
using unique_mapped_view = UniqueHandle<MappedViewTraits>;
using unique_memory_dc = UniqueHandle<MemoryDcTraits>;
using unique_bitmap = UniqueHandle<BitmapTraits>;
using unique_local_memory = UniqueHandle<LocalMemoryTraits>;
using unique_cotask_text = UniqueHandle<CoTaskMemoryTraits>;

}  // namespace nelo
