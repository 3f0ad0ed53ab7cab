#include "base/system_error_win.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

TEST(SystemErrorTest, GivesTheSystemTextAndTheCode) {
  const std::string text = system_error_text(ERROR_FILE_NOT_FOUND);
  ASSERT_GT(text.size(), std::string(" (os error 2)").size());
  EXPECT_TRUE(text.ends_with(" (os error 2)")) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  EXPECT_EQ(text.find('\n'), std::string::npos) << text;
}

TEST(SystemErrorTest, ACodeWithoutTextStillShowsTheCode) {
  // A code without a system text keeps the blank before the code.
  EXPECT_EQ(system_error_text(0x2000FFFF), " (os error 536936447)");
}

TEST(SystemErrorTest, LastErrorIsReadAtOnce) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(last_error_text().ends_with(" (os error 5)"));
}

}  // namespace
}  // namespace nelo
