#include "install/brotli_decode.h"

#include <gtest/gtest.h>

#include "tests/native/brotli_support.h"

namespace nelo {
namespace {

using testing_support::brotli;

constexpr std::uint64_t kLimit = 64ull << 20;

std::string random_bytes(std::size_t count, std::uint32_t state) {
  std::string bytes;
  bytes.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes += static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string decoded(std::string_view body, std::uint64_t hint, std::uint64_t limit = kLimit) {
  const std::optional<ByteBuffer> content = decode_brotli(body, hint, limit);
  return content ? std::string(content->view()) : "<refused>";
}

TEST(BrotliDecodeTest, DecodesWhateverTheSizeHint) {
  // Random bytes do not compress, so the body spans several input slices.
  const std::string content = random_bytes(300000, 12345);
  const std::string body = brotli(content);
  ASSERT_GT(body.size(), kBrotliInputChunk) << "the body must span several input slices";
  struct Case {
    const char* name;
    std::uint64_t hint;
  };
  const Case cases[] = {
      {"zero", 0},
      {"far too small", 10},
      {"one byte short", content.size() - 1},
      {"exact", content.size()},
      {"one byte over", content.size() + 1},
      {"larger than the limit", kLimit * 2},
      {"absurd", std::uint64_t{1} << 62},
      {"all ones", ~std::uint64_t{0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decoded(body, c.hint), content) << c.name;
  }
  EXPECT_EQ(decoded(brotli(""), 0), "");
  EXPECT_EQ(decoded(brotli(""), 1000), "");
}

TEST(BrotliDecodeTest, ACorrectHintIsOneAllocationOfExactlyTheContent) {
  // Several megabytes, compressible and not, so that growth would show.
  for (const std::string& content :
       {random_bytes(3u << 20, 7), std::string(5u << 20, 'a'), std::string("x")}) {
    const auto result = decode_brotli(brotli(content), content.size(), kLimit);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->size(), content.size());
    EXPECT_EQ(result->capacity(), content.size()) << "reserved at the size and never grown";
  }
}

TEST(BrotliDecodeTest, GrowthBeyondAWrongHintStaysModest) {
  const std::string content(10u << 20, 'q');
  const auto result = decode_brotli(brotli(content), 1u << 20, kLimit);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->view(), content);
  // Growth by halves: never more than one and a half times the content.
  EXPECT_LE(result->capacity(), content.size() + content.size() / 2);
}

TEST(BrotliDecodeTest, RefusesWhatIsNotAWholeStream) {
  const std::string body = brotli(std::string(100000, 'x') + "tail");
  EXPECT_FALSE(decode_brotli("plain text, not brotli", 0, kLimit));
  EXPECT_FALSE(decode_brotli("", 0, kLimit));
  EXPECT_FALSE(decode_brotli(body.substr(0, body.size() - 3), 0, kLimit)) << "cut short";
  EXPECT_FALSE(decode_brotli(body.substr(0, body.size() - 3), 100004, kLimit))
      << "cut short, with the right hint";
  EXPECT_FALSE(decode_brotli("<html>404</html>", 0, kLimit));
}

TEST(BrotliDecodeTest, ABombStopsAtTheLimit) {
  // 256 MiB of zeros compress to a few hundred bytes.
  const std::string bomb = brotli(std::string(256u << 20, '\0'), 1);
  ASSERT_LT(bomb.size(), 100000u);
  EXPECT_FALSE(decode_brotli(bomb, 0, 16u << 20));
  EXPECT_FALSE(decode_brotli(bomb, ~std::uint64_t{0}, 16u << 20)) << "a huge hint changes nothing";
  const auto exact = decode_brotli(bomb, 0, 256u << 20);
  ASSERT_TRUE(exact) << "content of exactly the limit is fine";
  EXPECT_EQ(exact->size(), 256u << 20);
}

}  // namespace
}  // namespace nelo
