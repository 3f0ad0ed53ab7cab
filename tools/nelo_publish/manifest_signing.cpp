#include "nelo_publish/manifest_signing.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace nelo {
namespace {

constexpr std::size_t kKeyFileBytes = 158;
constexpr std::size_t kSaltOffset = 6;
constexpr std::size_t kOpsOffset = 38;
constexpr std::size_t kMemOffset = 46;
constexpr std::size_t kSecretOffset = 54;
constexpr std::size_t kSecretBytes = 104;

std::optional<std::vector<unsigned char>> key_bytes(std::string_view key_file) {
  if (sodium_init() < 0) {
    return std::nullopt;
  }
  // The first line that is not a comment.
  while (!key_file.empty()) {
    const std::size_t end = key_file.find('\n');
    std::string_view line = key_file.substr(0, end);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (!line.empty() && !line.starts_with("untrusted comment:")) {
      std::vector<unsigned char> bytes(kKeyFileBytes + 1);
      std::size_t length = 0;
      const char* stop = nullptr;
      if (sodium_base642bin(bytes.data(), bytes.size(), line.data(), line.size(), nullptr, &length,
                            &stop, sodium_base64_VARIANT_ORIGINAL) != 0 ||
          stop != line.data() + line.size() || length != kKeyFileBytes || bytes[0] != 'E' ||
          bytes[1] != 'd' || bytes[4] != 'B' || bytes[5] != '2') {
        return std::nullopt;
      }
      bytes.resize(kKeyFileBytes);
      return bytes;
    }
    if (end == std::string_view::npos) {
      break;
    }
    key_file.remove_prefix(end + 1);
  }
  return std::nullopt;
}

std::uint64_t little_endian(const unsigned char* bytes) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

}  // namespace

bool signing_key_needs_password(std::string_view key_file) {
  const auto bytes = key_bytes(key_file);
  return bytes && (*bytes)[2] == 'S' && (*bytes)[3] == 'c';
}

Result<SigningKey> read_signing_key(std::string_view key_file, std::string_view password) {
  auto bytes = key_bytes(key_file);
  if (!bytes) {
    return fail("não é uma chave secreta do minisign");
  }
  unsigned char* secret = bytes->data() + kSecretOffset;
  const bool encrypted = (*bytes)[2] == 'S' && (*bytes)[3] == 'c';
  if (encrypted) {
    std::array<unsigned char, kSecretBytes> stream{};
    if (crypto_pwhash_scryptsalsa208sha256(
            stream.data(), stream.size(), password.data(), password.size(),
            bytes->data() + kSaltOffset, little_endian(bytes->data() + kOpsOffset),
            static_cast<std::size_t>(little_endian(bytes->data() + kMemOffset))) != 0) {
      return fail("não foi possível derivar a chave da senha (memória)");
    }
    for (std::size_t i = 0; i < kSecretBytes; ++i) {
      secret[i] ^= stream[i];
    }
    sodium_memzero(stream.data(), stream.size());
  } else if ((*bytes)[2] != 0 || (*bytes)[3] != 0) {
    return fail("não é uma chave secreta do minisign");
  }
  // An Ed25519 secret key holds its seed and then its public key: the public key made from the
  // seed must be the one stored beside it, which tells a wrong password (or a damaged file)
  // from a right one. (minisign's own checksum field is left empty in some keys.)
  std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> public_key{};
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> derived{};
  crypto_sign_seed_keypair(public_key.data(), derived.data(), secret + 8);
  const bool consistent = sodium_memcmp(public_key.data(), secret + 8 + 32, 32) == 0;
  sodium_memzero(derived.data(), derived.size());
  if (!consistent) {
    sodium_memzero(bytes->data(), bytes->size());
    return fail(encrypted ? "senha errada para a chave secreta" : "chave secreta danificada");
  }
  SigningKey key;
  std::copy_n(secret, 8, key.id.begin());
  std::copy_n(secret + 8, 64, key.secret_key.begin());
  sodium_memzero(bytes->data(), bytes->size());
  return key;
}

std::string signature_file_text(std::string_view signed_bytes, char algorithm,
                                const SigningKey& key, std::string_view trusted_comment) {
  std::array<unsigned char, 74> signed_part{};
  signed_part[0] = 'E';
  signed_part[1] = static_cast<unsigned char>(algorithm);
  std::copy(key.id.begin(), key.id.end(), signed_part.begin() + 2);
  crypto_sign_detached(signed_part.data() + 10, nullptr,
                       reinterpret_cast<const unsigned char*>(signed_bytes.data()),
                       signed_bytes.size(), key.secret_key.data());
  std::string global_message(reinterpret_cast<const char*>(signed_part.data() + 10), 64);
  global_message += trusted_comment;
  std::array<unsigned char, 64> global{};
  crypto_sign_detached(global.data(), nullptr,
                       reinterpret_cast<const unsigned char*>(global_message.data()),
                       global_message.size(), key.secret_key.data());

  const auto base64 = [](const unsigned char* bytes, std::size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
  };
  std::string key_id_hex;
  for (auto it = key.id.rbegin(); it != key.id.rend(); ++it) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    key_id_hex += kDigits[*it >> 4];
    key_id_hex += kDigits[*it & 0x0F];
  }
  return "untrusted comment: signature from minisign secret key " + key_id_hex + "\n" +
         base64(signed_part.data(), signed_part.size()) +
         "\ntrusted comment: " + std::string(trusted_comment) + "\n" +
         base64(global.data(), global.size()) + "\n";
}

std::string sign_manifest(std::string_view document, const SigningKey& key, std::int64_t timestamp,
                          std::string_view file_name, std::optional<std::int64_t> expires_at) {
  std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};
  crypto_generichash(hash.data(), hash.size(),
                     reinterpret_cast<const unsigned char*>(document.data()), document.size(),
                     nullptr, 0);
  std::string trusted_comment =
      "timestamp:" + std::to_string(timestamp) + "\tfile:" + std::string(file_name) + "\thashed";
  if (expires_at) {
    trusted_comment += "\texpires:" + std::to_string(*expires_at);
  }
  return signature_file_text(
      std::string_view(reinterpret_cast<const char*>(hash.data()), hash.size()), 'D', key,
      trusted_comment);
}

}  // namespace nelo
