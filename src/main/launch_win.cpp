#include "main/launch.h"

#include "main/app_process_win.h"

namespace nelo {

void launch_version(std::string_view label, bool hidden) {
  SteadyClock clock;
  // Without a window nobody can be told of a failed start, and nothing waits for the
  // application: its handles close when `app` goes out of scope.
  auto app = start_app(label, hidden, clock);
  (void)app;
}

}  // namespace nelo
