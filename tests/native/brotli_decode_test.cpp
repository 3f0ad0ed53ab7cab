#include "install/brotli_decode.h"

#include <gtest/gtest.h>

#include "tests/native/brotli_support.h"

namespace nelo {
namespace {

using testing_support::brotli;

constexpr std::uint64_t kLimit = 64ull << 20;

TEST(BrotliDecodeTest, DecodesWhateverTheSizeHint) {
  // Random bytes do not compress, so the body spans several input slices.
  std::string content;
  std::uint32_t state = 12345;
  for (int i = 0; i < 300000; ++i) {
    state = state * 1664525u + 1013904223u;
    content += static_cast<char>(state >> 24);
  }
  const std::string body = brotli(content);
  ASSERT_GT(body.size(), kBrotliInputChunk) << "the body must span several input slices";
  for (std::uint64_t hint : {std::uint64_t{0}, std::uint64_t{10}, std::uint64_t{content.size()},
                             std::uint64_t{1} << 62, ~std::uint64_t{0}}) {
    EXPECT_EQ(decode_brotli(body, hint, kLimit), content) << hint;
  }
  EXPECT_EQ(decode_brotli(brotli(""), 0, kLimit), "");
}

TEST(BrotliDecodeTest, RefusesWhatIsNotAWholeStream) {
  const std::string body = brotli(std::string(100000, 'x') + "tail");
  EXPECT_FALSE(decode_brotli("plain text, not brotli", 0, kLimit));
  EXPECT_FALSE(decode_brotli("", 0, kLimit));
  EXPECT_FALSE(decode_brotli(body.substr(0, body.size() - 3), 0, kLimit)) << "cut short";
  EXPECT_FALSE(decode_brotli("<html>404</html>", 0, kLimit));
}

TEST(BrotliDecodeTest, ABombStopsAtTheLimit) {
  // 256 MiB of zeros compress to a few hundred bytes.
  const std::string bomb = brotli(std::string(256u << 20, '\0'), 1);
  ASSERT_LT(bomb.size(), 100000u);
  EXPECT_FALSE(decode_brotli(bomb, 0, 16u << 20));
  EXPECT_FALSE(decode_brotli(bomb, ~std::uint64_t{0}, 16u << 20)) << "a huge hint reserves nothing";
  const auto whole = decode_brotli(bomb, 0, 512u << 20);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->size(), 256u << 20);
}

}  // namespace
}  // namespace nelo
