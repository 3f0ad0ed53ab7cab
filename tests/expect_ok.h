// Checks of a Result that print its message when it failed.
#pragma once

#include <gtest/gtest.h>

#include "base/result.h"

namespace nelo::testing_support {

template <class T>
testing::AssertionResult is_ok(const Result<T>& result) {
  if (result.ok()) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << "failed with \"" << result.message() << "\"";
}

}  // namespace nelo::testing_support

#define EXPECT_OK(result) EXPECT_TRUE(::nelo::testing_support::is_ok(result))
#define ASSERT_OK(result) ASSERT_TRUE(::nelo::testing_support::is_ok(result))
