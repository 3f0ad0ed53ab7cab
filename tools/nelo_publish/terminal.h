// What nelo-publish needs of the terminal it runs in.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nelo::publish {

bool is_terminal(std::FILE* stream);

// UTF-8 text to a stream; a Windows console gets it as UTF-16, whatever its code page.
void write_text(std::FILE* stream, std::string_view text);

// One line typed at the terminal without echo (the line end left out).
std::string read_line_without_echo();

// The whole command with the process's own streams: the output on standard output, messages
// and progress on standard error, the password asked for at the terminal. Gives the exit code.
int run_in_terminal(const std::vector<std::string>& arguments);

}  // namespace nelo::publish
