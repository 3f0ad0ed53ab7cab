#include "base/ascii_case.h"

#include <algorithm>

namespace nelo {

std::string ascii_lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    c = ascii_lower(c);
  }
  return lower;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

}  // namespace nelo
