// Lines for the process that started the stage mode and reads its standard output.
#pragma once

#include <string_view>

namespace nelo {

// Writes `line` and a line feed straight to the standard output handle: nothing is buffered,
// so the reader sees each line at once. Without a standard output the line is dropped.
void write_output_line(std::string_view line);

}  // namespace nelo
