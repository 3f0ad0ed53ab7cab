#include "base/com_apartment_win.h"

#include <objbase.h>

namespace nelo {

void join_com_apartment() {
  // Never left: COM stays initialised until the thread ends, as objects may outlive any scope.
  thread_local const bool joined = [] {
    (void)::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return true;
  }();
  (void)joined;
}

}  // namespace nelo
