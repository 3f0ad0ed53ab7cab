#include "main/escaped_failure.h"

#include <exception>
#include <new>

namespace nelo {
namespace {

std::string escaped_message() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return "memória insuficiente";
  } catch (const std::exception& error) {
    return std::string("falha inesperada: ") + error.what();
  } catch (...) {
    return "falha inesperada";
  }
}

}  // namespace

int run_guarded(RunMode mode, const std::function<void()>& run, const EscapeReports& reports) {
  std::string message;
  try {
    run();
    return kOrderlyExit;
  } catch (...) {
    message = escaped_message();
  }
  // Reporting must not throw again: each report is tried on its own.
  try {
    if (reports.log) {
      reports.log(message);
    }
  } catch (...) {
  }
  try {
    if (mode == RunMode::Stage && reports.output) {
      reports.output("error " + message);
    }
  } catch (...) {
  }
  return kEscapedExit;
}

}  // namespace nelo
