// The last step of a normal run: starting the chosen version of the application.
#pragma once

#include <string_view>

namespace nelo {

// Starts "Nelo.exe" of the version `label`, passing "--hidden" on when `hidden`, and returns
// without waiting for the application. Without a window a failed start is silent.
void launch_version(std::string_view label, bool hidden);

}  // namespace nelo
