// The check of the failure screen, shared by the tests of everything that shows one.
#pragma once

#include <gtest/gtest.h>

#include <variant>

#include "ui/launcher_ui.h"

namespace nelo::testing_support {

// Success when the snapshot shows the failure screen with exactly these texts.
inline testing::AssertionResult shows_failure(const UiSnapshot& snapshot, const Failed& expected) {
  const auto* failed = std::get_if<Failed>(&snapshot.phase);
  if (failed == nullptr) {
    return testing::AssertionFailure()
           << "not the failure screen (phase " << snapshot.phase.index() << ")";
  }
  if (failed->title != expected.title || failed->message != expected.message ||
      failed->has_installed != expected.has_installed) {
    return testing::AssertionFailure()
           << "shows \"" << failed->title << "\" / \"" << failed->message << "\" / "
           << failed->has_installed << ", expected \"" << expected.title << "\" / \""
           << expected.message << "\" / " << expected.has_installed;
  }
  return testing::AssertionSuccess();
}

}  // namespace nelo::testing_support
