#include "install/version_store_win.h"

namespace nelo {
namespace {

// The named mutex all launcher processes of the logon session share.
unique_handle open_update_lock() {
  return unique_handle(::CreateMutexW(nullptr, FALSE, L"Local\\NeloLauncherUpdate"));
}

}  // namespace

void WindowsVersionStore::acquire_update_lock() {
  // The named mutex "Local\\NeloLauncherUpdate" stays with this store once taken (a second call
  // has nothing to wait for); it is released when the store, made once at the top of a run
  // mode, ends with it.
  if (update_lock_) {
    return;
  }
  unique_handle mutex = open_update_lock();
  if (!mutex) {
    return;
  }
  // WAIT_ABANDONED (the previous owner ended without releasing) gives ownership just the same.
  ::WaitForSingleObject(mutex.get(), INFINITE);
  update_lock_ = std::move(mutex);
}

bool WindowsVersionStore::try_update_lock() {
  if (update_lock_) {
    return true;
  }
  unique_handle mutex = open_update_lock();
  if (!mutex) {
    return false;
  }
  const DWORD waited = ::WaitForSingleObject(mutex.get(), 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    return false;
  }
  update_lock_ = std::move(mutex);
  return true;
}

}  // namespace nelo
