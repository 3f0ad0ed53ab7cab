#include "nelo_publish/launcher_image.h"

#include <cstdint>

namespace nelo::publish {
namespace {

constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDll = 0x2000;
// Where the DOS header keeps the offset of the PE signature.
constexpr std::size_t kPeOffsetField = 0x3C;
// The signature (4), the file header (20) and the optional header's magic (2).
constexpr std::size_t kPeHeadersRead = 4 + 20 + 2;

std::uint32_t little_endian(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

}  // namespace

Status check_launcher_image(std::string_view bytes) {
  constexpr const char* kNotAnExecutable = "o lançador não é um executável do Windows x86-64: ";
  if (bytes.size() < kPeOffsetField + 4 || !bytes.starts_with("MZ")) {
    return fail(std::string(kNotAnExecutable) + "falta o cabeçalho MZ");
  }
  const std::uint64_t pe = little_endian(bytes, kPeOffsetField, 4);
  if (pe + kPeHeadersRead > bytes.size() || bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
    return fail(std::string(kNotAnExecutable) + "falta o cabeçalho PE");
  }
  if (little_endian(bytes, pe + 4, 2) != kMachineAmd64) {
    return fail(std::string(kNotAnExecutable) + "a máquina não é AMD64");
  }
  const std::uint32_t characteristics = little_endian(bytes, pe + 22, 2);
  if ((characteristics & kExecutableImage) == 0 || (characteristics & kDll) != 0) {
    return fail(std::string(kNotAnExecutable) + "não é um programa (é uma DLL ou um objeto)");
  }
  if (little_endian(bytes, pe + 24, 2) != kPe32PlusMagic) {
    return fail(std::string(kNotAnExecutable) + "o cabeçalho opcional não é PE32+");
  }
  return {};
}

}  // namespace nelo::publish
