#include "install/version_store_win.h"

namespace nelo {

void WindowsVersionStore::acquire_update_lock() {
  // The named mutex "Local\\NeloLauncherUpdate" is never released and its handle never closed:
  // it goes with the process. Once taken, the mutex stays with this process: a second call has
  // nothing to wait for.
  static bool held = false;
  if (held) {
    return;
  }
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Local\\NeloLauncherUpdate");
  if (mutex == nullptr) {
    return;
  }
  // WAIT_ABANDONED (the previous owner ended without releasing) gives ownership just the same.
  ::WaitForSingleObject(mutex, INFINITE);
  held = true;
}

}  // namespace nelo
