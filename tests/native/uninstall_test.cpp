#include "main/uninstall.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

TEST(RemovalCommandTest, PausesThenRemovesTheQuotedRoot) {
  const auto arguments = removal_command_arguments(u"C:\\Users\\Ana\\AppData\\Local\\Nelo");
  ASSERT_TRUE(arguments);
  EXPECT_TRUE(
      *arguments ==
      u"/c ping -n 3 127.0.0.1 >nul & rmdir /s /q \"C:\\Users\\Ana\\AppData\\Local\\Nelo\"");
}

TEST(RemovalCommandTest, KeepsThePathAsItReads) {
  // Characters that cmd treats as literal between quotes are passed on untouched.
  for (const std::u16string root : {
           u"C:\\Users\\João da Silva\\AppData\\Local\\Nelo",
           u"C:\\Users\\A&B (C) ^D\\AppData\\Local\\Nelo",
           u"\\\\?\\C:\\long\\Nelo",
           u".\\Nelo",
       }) {
    const auto arguments = removal_command_arguments(root);
    ASSERT_TRUE(arguments);
    EXPECT_TRUE(*arguments == u"/c ping -n 3 127.0.0.1 >nul & rmdir /s /q \"" + root + u"\"");
  }
}

TEST(RemovalCommandTest, RefusesAPathThatCmdWouldExpand) {
  // "%USERPROFILE%" in a user's name would make rmdir delete the whole profile.
  for (const std::u16string root : {
           u"C:\\Users\\a%USERPROFILE%b\\AppData\\Local\\Nelo",
           u"C:\\Users\\100%\\AppData\\Local\\Nelo",
           u"C:\\Users\\Oi!\\AppData\\Local\\Nelo",
       }) {
    EXPECT_FALSE(removal_command_arguments(root));
  }
}

}  // namespace
}  // namespace nelo
