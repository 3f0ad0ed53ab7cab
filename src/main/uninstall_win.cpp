#include "main/run_modes.h"

namespace nelo {

void run_uninstall() {
  // Stopping the application, removing the shortcuts and the registry entry and deleting the
  // installation root join here with the shell integration.
}

}  // namespace nelo
