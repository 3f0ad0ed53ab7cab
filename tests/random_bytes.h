// Incompressible test content, the same for the same seed on every run.
#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace nelo::testing_support {

inline std::string random_bytes(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(random());
  }
  return bytes;
}

}  // namespace nelo::testing_support
