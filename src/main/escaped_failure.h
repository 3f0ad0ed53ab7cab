// What happens when a run mode ends with an exception instead of returning: the failure is
// never silent and the exit code is not 0.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "main/command_line.h"

namespace nelo {

// Where an escaped failure is told: the launcher log always, and the stage mode's reader.
struct EscapeReports {
  std::function<void(std::string_view line)> log;
  std::function<void(std::string_view line)> output;
};

// The exit code of a run that ended as it should.
constexpr int kOrderlyExit = 0;
// The exit code of a run that an exception ended.
constexpr int kEscapedExit = 1;

// Runs `mode` by `run`. An exception that escapes it ("memória insuficiente" when memory ran
// out, "falha inesperada" with what it says otherwise) becomes a line in the log and, in the
// stage mode, an "error" line on standard output; the exit code then is kEscapedExit.
int run_guarded(RunMode mode, const std::function<void()>& run, const EscapeReports& reports);

}  // namespace nelo
