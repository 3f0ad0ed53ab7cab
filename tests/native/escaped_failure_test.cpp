#include "main/escaped_failure.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <vector>

namespace nelo {
namespace {

TEST(EscapedFailureTest, AnExceptionIsToldAndEndsWithAnotherExitCode) {
  struct Case {
    const char* name;
    RunMode mode;
    std::function<void()> run;
    int exit_code;
    std::vector<std::string> log;
    std::vector<std::string> output;
  };
  const Case cases[] = {
      {"an orderly stage run", RunMode::Stage, [] {}, 0, {}, {}},
      {"memory runs out while staging",
       RunMode::Stage,
       [] { throw std::bad_alloc(); },
       1,
       {"memória insuficiente"},
       {"error memória insuficiente"}},
      {"anything else thrown while staging",
       RunMode::Stage,
       [] { throw std::runtime_error("x"); },
       1,
       {"falha inesperada: x"},
       {"error falha inesperada: x"}},
      {"something that is no exception",
       RunMode::Stage,
       [] { throw 7; },
       1,
       {"falha inesperada"},
       {"error falha inesperada"}},
      {"the normal mode has no reader",
       RunMode::Normal,
       [] { throw std::bad_alloc(); },
       1,
       {"memória insuficiente"},
       {}},
      {"nor has the hidden start",
       RunMode::Hidden,
       [] { throw std::logic_error("y"); },
       1,
       {"falha inesperada: y"},
       {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> log;
    std::vector<std::string> output;
    const int exit_code = run_guarded(c.mode, c.run,
                                      {[&](std::string_view line) { log.emplace_back(line); },
                                       [&](std::string_view line) { output.emplace_back(line); }});
    EXPECT_EQ(exit_code, c.exit_code) << c.name;
    EXPECT_EQ(log, c.log) << c.name;
    EXPECT_EQ(output, c.output) << c.name;
  }
}

TEST(EscapedFailureTest, AReportThatThrowsDoesNotHideTheOther) {
  std::vector<std::string> output;
  const int exit_code = run_guarded(RunMode::Stage, [] { throw std::bad_alloc(); },
                                    {[](std::string_view) { throw std::bad_alloc(); },
                                     [&](std::string_view line) { output.emplace_back(line); }});
  EXPECT_EQ(exit_code, 1);
  EXPECT_EQ(output, std::vector<std::string>{"error memória insuficiente"});
}

}  // namespace
}  // namespace nelo
