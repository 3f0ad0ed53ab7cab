// The options of a nelo-publish command line: "--name value" or "--name=value", and the
// positional arguments a subcommand takes.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/result.h"

namespace nelo::publish {

struct CommandOptions {
  std::map<std::string, std::string> values;  // by name, without the dashes
  std::vector<std::string> positional;        // in order

  bool has(const std::string& name) const { return values.contains(name); }
  const std::string& at(const std::string& name) const { return values.at(name); }
};

// Reads `arguments` against the names a command allows (`flags` take no value). Fails with the
// Portuguese reason: an unknown option, one without its value, an empty value, one given twice,
// or more positional arguments than `most_positional`.
Result<CommandOptions> read_command_options(const std::vector<std::string>& arguments,
                                            const std::set<std::string>& names,
                                            const std::set<std::string>& flags,
                                            std::size_t most_positional);

// A duration such as "30d", "12h", "45m" or "600s" (days, hours, minutes, seconds) in seconds:
// at least one second, at most ten years. Fails with the reason.
Result<std::int64_t> parse_duration(std::string_view text);

}  // namespace nelo::publish
