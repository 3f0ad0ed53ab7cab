#include "net/update_client.h"

#include <gtest/gtest.h>

#include "net/content_range.h"
#include "net/throughput_floor.h"
#include "tests/native/fake_update_client.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeUpdateClient;

TEST(FetchWholeTest, GathersEveryChunkUpToTheBound) {
  FakeUpdateClient server;
  server.bodies["app/manifest.json"] = std::string(200000, 'm');
  server.chunking = [](std::size_t) { return std::vector<std::size_t>(200, 999); };
  const auto body = fetch_whole(server, "app/manifest.json", 200000);
  ASSERT_TRUE(body.ok()) << body.message();
  EXPECT_EQ(body->view(), server.bodies["app/manifest.json"]);

  const auto too_large = fetch_whole(server, "app/manifest.json", 199999);
  ASSERT_FALSE(too_large.ok());
  EXPECT_EQ(too_large.message(), "resposta grande demais");

  const auto missing = fetch_whole(server, "app/none", 10);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.message(), "o servidor respondeu 404");
}

TEST(RangeHeaderTest, BoundedAndOpenRanges) {
  EXPECT_EQ(range_header({0, 268435456}), "Range: bytes=0-268435455");
  EXPECT_EQ(range_header({268435456, 10}), "Range: bytes=268435456-268435465");
  EXPECT_EQ(range_header({5000, 0}), "Range: bytes=5000-");
}

TEST(ContentRangeTest, TheFirstByteOfWellFormedRangesOnly) {
  struct Case {
    const char* value;
    std::optional<std::uint64_t> start;
  };
  const Case cases[] = {
      {"bytes 0-99/100", 0},
      {"bytes 268435456-536870911/5000000000", 268435456},
      {"bytes 10-19/*", 10},
      {"bytes 18446744073709551614-18446744073709551614/18446744073709551615",
       18446744073709551614ull},
      {"bytes 10-9/100", std::nullopt},    // ends before it starts
      {"bytes 10-100/100", std::nullopt},  // past the total
      {"bytes */100", std::nullopt},       // an unsatisfied range names no bytes
      {"bytes=10-19/100", std::nullopt},
      {"items 10-19/100", std::nullopt},
      {"bytes 10-19", std::nullopt},
      {"bytes -10-19/100", std::nullopt},
      {"bytes 10-19/100 ", std::nullopt},
      {"bytes 99999999999999999999-1/2", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(content_range_start(c.value), c.start) << c.value;
  }
}

TEST(ContentRangeTest, TheAnnouncedLengthIsReadWholeOrNotAtAll) {
  struct Case {
    std::string_view value;
    std::optional<std::uint64_t> length;
  };
  const Case cases[] = {
      {"0", 0},
      {"307200", 307200},
      {"5368709120", 5368709120},  // beyond 32 bits: a file of 5 GiB
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", std::nullopt},
      {"", std::nullopt},
      {"-1", std::nullopt},
      {"+5", std::nullopt},
      {"12 ", std::nullopt},
      {" 12", std::nullopt},
      {"12a", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(content_length_value(c.value), c.length) << c.value;
  }
}

TEST(ThroughputFloorTest, ABodyStallsWhenAMinuteBringsLessThanAKibibyte) {
  const auto start = std::chrono::steady_clock::time_point{} + 1000s;
  struct Case {
    const char* name;
    // Bytes arriving at each second (index) after the start.
    std::function<std::uint64_t(int second)> bytes_at;
    std::optional<int> stalls_at;  // the first second at which it counts as stalled
  };
  const Case cases[] = {
      {"a steady stream", [](int) { return 100000; }, std::nullopt},
      {"one byte every five seconds", [](int s) { return s % 5 == 0 ? 1 : 0; }, 60},
      {"a kibibyte a minute, spread out", [](int s) { return s % 6 == 0 ? 103 : 0; }, std::nullopt},
      {"fast, then silence", [](int s) { return s < 30 ? 50000 : 0; }, 89},
      {"fast, then a drip", [](int s) { return s < 10 ? 50000 : (s % 5 == 0 ? 1 : 0); }, 69},
      {"nothing at all", [](int) { return 0; }, 60},
  };
  for (const Case& c : cases) {
    ThroughputFloor floor(start);
    std::uint64_t total = 0;
    std::optional<int> stalled_at;
    for (int second = 1; second <= 200 && !stalled_at; ++second) {
      total += c.bytes_at(second);
      floor.note(start + std::chrono::seconds(second), total);
      if (floor.stalled(start + std::chrono::seconds(second))) {
        stalled_at = second;
      }
    }
    EXPECT_EQ(stalled_at, c.stalls_at) << c.name;
  }
}

TEST(ThroughputFloorTest, ReadsManyTimesASecondKeepFewSamples) {
  const auto start = std::chrono::steady_clock::time_point{};
  ThroughputFloor floor(start);
  std::uint64_t total = 0;
  for (int ms = 1; ms <= 300000; ++ms) {  // five minutes of a read every millisecond
    total += 10;
    floor.note(start + std::chrono::milliseconds(ms), total);
  }
  EXPECT_FALSE(floor.stalled(start + 300s));
  // Then a minute of nothing.
  EXPECT_FALSE(floor.stalled(start + 359s));
  floor.note(start + 361s, total);
  EXPECT_TRUE(floor.stalled(start + 361s));
}

}  // namespace
}  // namespace nelo
