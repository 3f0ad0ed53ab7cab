#include "release/sha256.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

TEST(Sha256Test, MatchesTheStandardVectors) {
  struct Vector {
    std::string input;
    std::string digest;
  };
  const Vector vectors[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::string("\0\0\0", 3),
       "709e80c88487a2411e1ee4dfb9f22a861492d20c4765150c0c794abd70f8147c"},
  };
  for (const Vector& v : vectors) {
    EXPECT_EQ(sha256_hex(v.input), v.digest) << v.input.size() << " bytes";
  }
}

TEST(Sha256Test, HexKeepsLeadingZeros) {
  const unsigned char bytes[] = {0x00, 0x0f, 0xa0, 0xff};
  EXPECT_EQ(to_hex(bytes, sizeof(bytes)), "000fa0ff");
}

}  // namespace
}  // namespace nelo
