#include "main/update_lock.h"

#include "base/win_support.h"

namespace nelo {

void acquire_update_lock() {
  // Once taken, the mutex stays with this process: a second call has nothing to wait for.
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
