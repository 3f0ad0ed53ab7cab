// The setup program a release ships as its launcher: it must be a Windows x86-64 executable,
// or every installation that takes it would be left with a launcher that does not start.
#pragma once

#include <string_view>

#include "base/result.h"

namespace nelo::publish {

// Refuses bytes that are not a Windows x86-64 executable image: the MZ header, the PE signature
// where it points, the AMD64 machine, a PE32+ optional header, an executable image and not a
// DLL. Pure: no I/O.
Status check_launcher_image(std::string_view bytes);

}  // namespace nelo::publish
