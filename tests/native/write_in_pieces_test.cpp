#include "base/write_in_pieces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nelo {
namespace {

TEST(WriteInPiecesTest, WritesEverythingThroughShortWrites) {
  std::string written;
  std::vector<std::size_t> offered;
  // The writer takes at most three bytes of each piece, as a pipe might.
  const auto end = write_in_pieces("abcdefghij", 4, [&](std::string_view piece) {
    offered.push_back(piece.size());
    const std::size_t taken = std::min<std::size_t>(piece.size(), 3);
    written.append(piece.substr(0, taken));
    return std::optional<std::size_t>(taken);
  });
  EXPECT_EQ(end, WriteEnd::Done);
  EXPECT_EQ(written, "abcdefghij");
  EXPECT_EQ(offered, (std::vector<std::size_t>{4, 4, 4, 1}));
}

TEST(WriteInPiecesTest, AWriteOfNothingEndsTheLoop) {
  int calls = 0;
  const auto end = write_in_pieces("abc", 8, [&](std::string_view) {
    ++calls;
    return std::optional<std::size_t>(0);
  });
  EXPECT_EQ(end, WriteEnd::Stalled);
  EXPECT_EQ(calls, 1);
}

TEST(WriteInPiecesTest, AFailureEndsTheLoopAndNothingIsNothingToDo) {
  EXPECT_EQ(
      write_in_pieces("abc", 8, [](std::string_view) { return std::optional<std::size_t>(); }),
      WriteEnd::Failed);
  int calls = 0;
  EXPECT_EQ(write_in_pieces("", 8,
                            [&](std::string_view) {
                              ++calls;
                              return std::optional<std::size_t>(0);
                            }),
            WriteEnd::Done);
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace nelo
