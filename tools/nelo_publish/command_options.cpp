#include "nelo_publish/command_options.h"

#include <algorithm>

namespace nelo::publish {

Result<CommandOptions> read_command_options(const std::vector<std::string>& arguments,
                                            const std::set<std::string>& names,
                                            const std::set<std::string>& flags,
                                            std::size_t most_positional) {
  CommandOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!argument.starts_with("--")) {
      if (options.positional.size() == most_positional) {
        return fail("argumento inesperado: \"" + argument + "\"");
      }
      options.positional.push_back(argument);
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(2, equals == std::string::npos ? equals : equals - 2);
    const bool flag = flags.contains(name);
    if (!flag && !names.contains(name)) {
      return fail("opção desconhecida: --" + name);
    }
    std::string value;
    if (flag) {
      if (equals != std::string::npos) {
        return fail("--" + name + " não leva valor");
      }
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) {
      value = arguments[++i];
    } else {
      return fail("falta o valor de --" + name);
    }
    if (!flag && value.empty()) {
      return fail("valor vazio em --" + name);
    }
    if (!options.values.emplace(name, value).second) {
      return fail("--" + name + " dada mais de uma vez");
    }
  }
  return options;
}

Result<std::int64_t> parse_duration(std::string_view text) {
  const auto wrong = [&] {
    return fail("duração inválida: \"" + std::string(text) +
                "\" (use por exemplo 30d, 12h, 45m ou 600s)");
  };
  if (text.size() < 2 || text.size() > 12) {
    return wrong();
  }
  const std::string_view digits = text.substr(0, text.size() - 1);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return wrong();
  }
  std::int64_t unit = 0;
  switch (text.back()) {
    case 'd':
      unit = 86400;
      break;
    case 'h':
      unit = 3600;
      break;
    case 'm':
      unit = 60;
      break;
    case 's':
      unit = 1;
      break;
    default:
      return wrong();
  }
  const std::int64_t seconds = std::stoll(std::string(digits)) * unit;
  constexpr std::int64_t kTenYears = std::int64_t{3653} * 86400;
  if (seconds < 1 || seconds > kTenYears) {
    return wrong();
  }
  return seconds;
}

}  // namespace nelo::publish
