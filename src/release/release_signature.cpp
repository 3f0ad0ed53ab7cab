#include "release/release_signature.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace nelo {
namespace {

constexpr std::string_view kUntrusted = "untrusted comment:";
constexpr std::string_view kTrusted = "trusted comment: ";

// Line by line, without the line end (LF or CR LF).
std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    if (end == std::string_view::npos) {
      break;
    }
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The bytes of a base64 line of exactly `size` bytes, or nothing.
template <std::size_t size>
std::optional<std::array<unsigned char, size>> decode_exact(std::string_view line) {
  std::array<unsigned char, size + 1> decoded{};  // one more, to tell a longer line apart
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(decoded.data(), decoded.size(), line.data(), line.size(), nullptr, &length,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != line.data() + line.size() || length != size) {
    return std::nullopt;
  }
  std::array<unsigned char, size> bytes{};
  std::copy_n(decoded.begin(), size, bytes.begin());
  return bytes;
}

// A decimal number of one to eighteen digits: no sign, nothing else, never past 64 bits.
std::optional<std::int64_t> decimal(std::string_view digits) {
  if (digits.empty() || digits.size() > 18 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (const char c : digits) {
    value = value * 10 + (c - '0');
  }
  return value;
}

bool ready() {
  static const bool initialised = sodium_init() >= 0;
  return initialised;
}

}  // namespace

std::optional<std::vector<ReleaseKey>> parse_release_keys(std::string_view text) {
  std::vector<ReleaseKey> keys;
  for (const std::string_view line : lines_of(text)) {
    if (line.empty() || line.starts_with(kUntrusted)) {
      continue;
    }
    const auto bytes = decode_exact<42>(line);
    if (!bytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') {
      return std::nullopt;
    }
    ReleaseKey key;
    std::copy_n(bytes->begin() + 2, 8, key.id.begin());
    std::copy_n(bytes->begin() + 10, 32, key.public_key.begin());
    keys.push_back(key);
  }
  if (keys.empty()) {
    return std::nullopt;
  }
  return keys;
}

std::optional<ManifestSignature> parse_manifest_signature(std::string_view text) {
  const std::vector<std::string_view> lines = lines_of(text);
  if (lines.size() != 4 || !lines[0].starts_with(kUntrusted) || !lines[2].starts_with(kTrusted)) {
    return std::nullopt;
  }
  const auto signed_part = decode_exact<74>(lines[1]);
  const auto global = decode_exact<64>(lines[3]);
  if (!signed_part || !global || (*signed_part)[0] != 'E' ||
      ((*signed_part)[1] != 'd' && (*signed_part)[1] != 'D')) {
    return std::nullopt;
  }
  ManifestSignature signature;
  signature.prehashed = (*signed_part)[1] == 'D';
  std::copy_n(signed_part->begin() + 2, 8, signature.key_id.begin());
  std::copy_n(signed_part->begin() + 10, 64, signature.signature.begin());
  signature.trusted_comment = std::string(lines[2].substr(kTrusted.size()));
  signature.global_signature = *global;
  return signature;
}

std::optional<std::int64_t> trusted_timestamp(std::string_view trusted_comment) {
  constexpr std::string_view kTimestamp = "timestamp:";
  if (!trusted_comment.starts_with(kTimestamp)) {
    return std::nullopt;
  }
  const std::string_view rest = trusted_comment.substr(kTimestamp.size());
  return decimal(rest.substr(0, rest.find('\t')));
}

namespace {

// The text after "expires:" of the first such field of a trusted comment, when it has one.
std::optional<std::string_view> expiry_field(std::string_view trusted_comment) {
  constexpr std::string_view kExpires = "expires:";
  while (!trusted_comment.empty()) {
    const std::size_t tab = trusted_comment.find('\t');
    const std::string_view field = trusted_comment.substr(0, tab);
    if (field.starts_with(kExpires)) {
      return field.substr(kExpires.size());
    }
    if (tab == std::string_view::npos) {
      break;
    }
    trusted_comment.remove_prefix(tab + 1);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::int64_t> trusted_expiry(std::string_view trusted_comment) {
  const std::optional<std::string_view> field = expiry_field(trusted_comment);
  return field ? decimal(*field) : std::nullopt;
}

std::optional<std::int64_t> signing_time(std::string_view signature_file) {
  const std::optional<ManifestSignature> signature = parse_manifest_signature(signature_file);
  return signature ? trusted_timestamp(signature->trusted_comment) : std::nullopt;
}

Result<SignedRelease> verify_manifest_signature(std::string_view document,
                                                std::string_view signature_file,
                                                const std::vector<ReleaseKey>& keys) {
  const auto invalid = [] { return Result<SignedRelease>(fail("assinatura inválida")); };
  const std::optional<ManifestSignature> signature = parse_manifest_signature(signature_file);
  if (!ready() || !signature) {
    return invalid();
  }
  const auto key = std::find_if(keys.begin(), keys.end(), [&](const ReleaseKey& candidate) {
    return candidate.id == signature->key_id;
  });
  if (key == keys.end()) {
    return invalid();
  }
  std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};
  std::string_view message = document;
  if (signature->prehashed) {
    crypto_generichash(hash.data(), hash.size(),
                       reinterpret_cast<const unsigned char*>(document.data()), document.size(),
                       nullptr, 0);
    message = std::string_view(reinterpret_cast<const char*>(hash.data()), hash.size());
  }
  if (crypto_sign_verify_detached(signature->signature.data(),
                                  reinterpret_cast<const unsigned char*>(message.data()),
                                  message.size(), key->public_key.data()) != 0) {
    return invalid();
  }
  // The global signature binds the trusted comment (and its timestamp) to this signature.
  std::string global_message(reinterpret_cast<const char*>(signature->signature.data()),
                             signature->signature.size());
  global_message += signature->trusted_comment;
  if (crypto_sign_verify_detached(signature->global_signature.data(),
                                  reinterpret_cast<const unsigned char*>(global_message.data()),
                                  global_message.size(), key->public_key.data()) != 0) {
    return invalid();
  }
  const std::optional<std::int64_t> timestamp = trusted_timestamp(signature->trusted_comment);
  if (!timestamp) {
    return invalid();
  }
  // An expiry that cannot be read is never taken for none: the signature would never expire.
  const std::optional<std::int64_t> expires_at = trusted_expiry(signature->trusted_comment);
  if (!expires_at && expiry_field(signature->trusted_comment)) {
    return invalid();
  }
  return SignedRelease{*timestamp, expires_at};
}

}  // namespace nelo
