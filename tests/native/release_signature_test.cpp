#include "release/release_signature.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "nelo_publish/manifest_signing.h"
#include "tests/expect_ok.h"

namespace nelo {
namespace {

std::string base64(const unsigned char* bytes, std::size_t size) {
  std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
  text.resize(text.find('\0'));
  return text;
}

// A key pair as minisign makes one: the ".pub" text and the key to sign with.
struct TestKey {
  std::string pub;
  SigningKey key;
  std::array<unsigned char, 32> public_key{};
};

TestKey make_key() {
  EXPECT_GE(sodium_init(), 0);
  TestKey made;
  randombytes_buf(made.key.id.data(), made.key.id.size());
  crypto_sign_keypair(made.public_key.data(), made.key.secret_key.data());
  std::array<unsigned char, 42> pub{'E', 'd'};
  std::copy(made.key.id.begin(), made.key.id.end(), pub.begin() + 2);
  std::copy(made.public_key.begin(), made.public_key.end(), pub.begin() + 10);
  made.pub = "untrusted comment: minisign public key\n" + base64(pub.data(), pub.size()) + "\n";
  return made;
}

std::vector<ReleaseKey> keys_of(const std::string& pub_text) {
  auto keys = parse_release_keys(pub_text);
  EXPECT_TRUE(keys);
  return keys.value_or(std::vector<ReleaseKey>{});
}

// The four lines, with the signed part and the comment chosen freely (and signed properly).
std::string signature_file(std::string_view message, const SigningKey& key, char algorithm,
                           const std::string& comment) {
  return signature_file_text(message, algorithm, key, comment);
}

const std::string kDocument = R"({"version": "2.0", "files": []})";

TEST(ReleaseSignatureTest, AcceptsBothAlgorithmsAndGivesTheTimestamp) {
  const TestKey key = make_key();
  const std::string hashed = sign_manifest(kDocument, key.key, 1796743910, "manifest.json");
  auto verified = verify_manifest_signature(kDocument, hashed, keys_of(key.pub));
  ASSERT_OK(verified);
  EXPECT_EQ(verified->signed_at, 1796743910);
  EXPECT_FALSE(verified->expires_at);

  const std::string legacy =
      signature_file(kDocument, key.key, 'd', "timestamp:42\tfile:manifest.json");
  verified = verify_manifest_signature(kDocument, legacy, keys_of(key.pub));
  ASSERT_OK(verified);
  EXPECT_EQ(verified->signed_at, 42);
}

TEST(ReleaseSignatureTest, RefusesWhatDoesNotVerify) {
  const TestKey key = make_key();
  const TestKey other = make_key();
  const std::string good = sign_manifest(kDocument, key.key, 100, "manifest.json");
  std::string edited_comment = good;
  edited_comment.replace(edited_comment.find("timestamp:100"), 13, "timestamp:999");
  // Another key's signature under this key's id.
  SigningKey impostor = other.key;
  impostor.id = key.key.id;
  std::string changed_document = kDocument;
  changed_document[3] = 'V';
  struct Case {
    const char* name;
    std::string document;
    std::string signature;
  };
  const Case cases[] = {
      {"the manifest changed by one byte", changed_document, good},
      {"signed by another key", kDocument, sign_manifest(kDocument, other.key, 100, "m")},
      {"another key under this key's id", kDocument, sign_manifest(kDocument, impostor, 100, "m")},
      {"the trusted comment edited", kDocument, edited_comment},
      {"no timestamp", kDocument, signature_file(kDocument, key.key, 'd', "file:manifest.json")},
      {"a timestamp that is no number", kDocument,
       signature_file(kDocument, key.key, 'd', "timestamp:12a")},
      {"truncated", kDocument, good.substr(0, good.size() / 2)},
      {"garbled", kDocument, std::string(good).replace(good.find('\n') + 20, 4, "!!!!")},
      {"another signature's bytes", kDocument,
       std::string(good).replace(good.find('\n') + 20, 4, "AAAA")},
      {"empty", kDocument, ""},
      {"an error page", kDocument, "<html>404 Not Found</html>"},
      {"five lines", kDocument, good + "extra\n"},
  };
  for (const Case& c : cases) {
    const auto verified = verify_manifest_signature(c.document, c.signature, keys_of(key.pub));
    ASSERT_FALSE(verified.ok()) << c.name;
    EXPECT_EQ(verified.message(), "assinatura inválida") << c.name;
  }
}

TEST(ReleaseSignatureTest, AnyOfTheBuiltInKeysWillDo) {
  const TestKey first = make_key();
  const TestKey second = make_key();
  const auto keys = keys_of(first.pub + "\n" + second.pub);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_OK(
      verify_manifest_signature(kDocument, sign_manifest(kDocument, second.key, 7, "m"), keys));
  EXPECT_OK(
      verify_manifest_signature(kDocument, sign_manifest(kDocument, first.key, 7, "m"), keys));
}

TEST(ReleaseSignatureTest, ReadsKeyFilesStrictly) {
  const TestKey key = make_key();
  EXPECT_TRUE(parse_release_keys(key.pub));
  EXPECT_TRUE(parse_release_keys("\r\n" + key.pub + "\r\n"));
  EXPECT_FALSE(parse_release_keys(""));
  EXPECT_FALSE(parse_release_keys("untrusted comment: nothing else\n"));
  EXPECT_FALSE(parse_release_keys(key.pub + "not a key\n"));
  EXPECT_FALSE(parse_release_keys("untrusted comment: x\nRWQ=\n"));
}

TEST(ReleaseSignatureTest, TrustedTimestamps) {
  EXPECT_EQ(trusted_timestamp("timestamp:1796743910\tfile:m\thashed"), 1796743910);
  EXPECT_EQ(trusted_timestamp("timestamp:0"), 0);
  EXPECT_FALSE(trusted_timestamp("file:m\ttimestamp:5"));
  EXPECT_FALSE(trusted_timestamp("timestamp:"));
  EXPECT_FALSE(trusted_timestamp("timestamp:-5"));
  EXPECT_FALSE(trusted_timestamp("timestamp:99999999999999999999"));
}

TEST(ReleaseSignatureTest, TrustedExpiries) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"timestamp:1\tfile:manifest.json\thashed\texpires:1796743910", 1796743910},
      {"timestamp:1\texpires:5\tfile:m", 5},
      {"timestamp:1\tfile:m\thashed", std::nullopt},
      {"timestamp:1\tfile:expires:5", std::nullopt},  // inside another field
      {"timestamp:1\texpires:", std::nullopt},
      {"timestamp:1\texpires:-5", std::nullopt},
      {"timestamp:1\texpires:5 ", std::nullopt},
      {"timestamp:1\texpires:99999999999999999999", std::nullopt},
  };
  for (const auto& [comment, expiry] : cases) {
    EXPECT_EQ(trusted_expiry(comment), expiry) << comment;
  }
}

// A signature whose expiry field cannot be read is refused: taken for no expiry, it would be
// good for ever.
TEST(ReleaseSignatureTest, AMalformedExpiryRefusesTheSignature) {
  const TestKey key = make_key();
  const std::pair<const char*, bool> cases[] = {
      {"timestamp:1\tfile:m\texpires:5", true},
      {"timestamp:1\tfile:m", true},
      {"timestamp:1\tfile:expires:5", true},  // not a field of its own
      {"timestamp:1\texpires:", false},
      {"timestamp:1\texpires:soon", false},
      {"timestamp:1\texpires:-5", false},
      {"timestamp:1\texpires:99999999999999999999", false},
  };
  for (const auto& [comment, accepted] : cases) {
    const auto verified = verify_manifest_signature(
        kDocument, signature_file(kDocument, key.key, 'd', comment), keys_of(key.pub));
    EXPECT_EQ(verified.ok(), accepted) << comment;
    if (!accepted) {
      EXPECT_EQ(verified.message(), "assinatura inválida") << comment;
    }
  }
}

TEST(SigningKeyTest, UnlocksAPasswordProtectedKeyAndTellsAWrongPassword) {
  const TestKey made = make_key();
  // A key file as minisign writes one with a password: the secret part XORed with scrypt.
  std::array<unsigned char, 158> file{'E', 'd', 'S', 'c', 'B', '2'};
  randombytes_buf(file.data() + 6, 32);
  const std::uint64_t ops = crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_INTERACTIVE;
  const std::uint64_t mem = crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_INTERACTIVE;
  for (int i = 0; i < 8; ++i) {
    file[38 + i] = static_cast<unsigned char>(ops >> (8 * i));
    file[46 + i] = static_cast<unsigned char>(mem >> (8 * i));
  }
  unsigned char* secret = file.data() + 54;
  std::copy(made.key.id.begin(), made.key.id.end(), secret);
  std::copy(made.key.secret_key.begin(), made.key.secret_key.end(), secret + 8);
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, 32);
  crypto_generichash_update(&state, file.data(), 2);
  crypto_generichash_update(&state, secret, 72);
  crypto_generichash_final(&state, secret + 72, 32);
  std::array<unsigned char, 104> stream{};
  const std::string password = "segredo";
  ASSERT_EQ(crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.data(),
                                               password.size(), file.data() + 6, ops, mem),
            0);
  for (std::size_t i = 0; i < stream.size(); ++i) {
    secret[i] ^= stream[i];
  }
  const std::string text = "untrusted comment: minisign encrypted secret key\n" +
                           base64(file.data(), file.size()) + "\n";
  EXPECT_TRUE(signing_key_needs_password(text));
  const auto unlocked = read_signing_key(text, password);
  ASSERT_OK(unlocked);
  EXPECT_EQ(unlocked->secret_key, made.key.secret_key);
  const auto wrong = read_signing_key(text, "errada");
  ASSERT_FALSE(wrong.ok());
  EXPECT_EQ(wrong.message(), "senha errada para a chave secreta");
  EXPECT_FALSE(read_signing_key("untrusted comment: x\nRWQ=\n", "").ok());
}

// Interoperability with the standard tool, both ways, when it is installed (scripts/setup
// installs Debian's minisign).
class MinisignToolTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("minisign -v >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "no minisign command";
    }
    folder_ = std::filesystem::temp_directory_path() /
              ("nelo-minisign-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
    std::filesystem::create_directories(folder_);
    ASSERT_EQ(run("minisign -G -W -p k.pub -s k.key"), 0);
    write("manifest.json", kDocument);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  int run(const std::string& command) {
    return std::system(
        ("cd '" + folder_.string() + "' && " + command + " </dev/null >/dev/null 2>&1").c_str());
  }
  std::string read(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void write(const std::string& name, std::string_view text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }

  std::filesystem::path folder_;
};

TEST_F(MinisignToolTest, ItsSignaturesVerifyHere) {
  const auto keys = keys_of(read("k.pub"));
  ASSERT_EQ(run("minisign -S -s k.key -m manifest.json"), 0);
  EXPECT_OK(verify_manifest_signature(kDocument, read("manifest.json.minisig"), keys))
      << "ED, the default";
  ASSERT_EQ(run("minisign -S -l -s k.key -m manifest.json"), 0);
  EXPECT_OK(verify_manifest_signature(kDocument, read("manifest.json.minisig"), keys))
      << "Ed, the legacy form";
}

TEST_F(MinisignToolTest, OurSignaturesVerifyThere) {
  const auto key = read_signing_key(read("k.key"), "");
  ASSERT_OK(key);
  write("manifest.json.minisig", sign_manifest(kDocument, *key, 1796743910, "manifest.json"));
  EXPECT_EQ(run("minisign -V -p k.pub -m manifest.json"), 0);
  write("manifest.json", kDocument + " ");
  EXPECT_NE(run("minisign -V -p k.pub -m manifest.json"), 0) << "and it refuses a change";
}

}  // namespace
}  // namespace nelo
