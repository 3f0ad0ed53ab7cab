#include "main/uninstall.h"

#include <gtest/gtest.h>

namespace nelo {
namespace {

const std::u16string kSystem = u"C:\\Windows\\system32";

// What cmd runs for `root`, the outer quotes that "/s" takes away left out.
std::u16string removal(std::u16string_view root) {
  return u"/d /s /c \"\"C:\\Windows\\system32\\ping.exe\" -n 3 127.0.0.1 >nul & rmdir /s /q \"" +
         std::u16string(root) + u"\"\"";
}

TEST(RemovalCommandTest, PausesThenRemovesTheQuotedRoot) {
  const auto arguments =
      removal_command_arguments(u"C:\\Users\\Ana\\AppData\\Local\\Nelo", kSystem);
  ASSERT_TRUE(arguments);
  EXPECT_TRUE(*arguments == removal(u"C:\\Users\\Ana\\AppData\\Local\\Nelo"));
  EXPECT_TRUE(removal_command_arguments(u"C:\\Users\\Ana\\AppData\\Local\\Nelo", kSystem + u"\\") ==
              arguments)
      << "a system folder given with its separator";
}

TEST(RemovalCommandTest, KeepsThePathAsItReads) {
  // Characters that cmd treats as literal between quotes are passed on untouched; so is '!'
  // while delayed expansion is off, as it is unless the user turned it on.
  for (const std::u16string root : {
           u"C:\\Users\\João da Silva\\AppData\\Local\\Nelo",
           u"C:\\Users\\A&B (C) ^D\\AppData\\Local\\Nelo",
           u"C:\\Users\\Oi!\\AppData\\Local\\Nelo",
           u"\\\\?\\C:\\long\\Nelo",
           u"\\\\server\\share\\Nelo",
           u"z:/unix/like/Nelo",
       }) {
    const auto arguments = removal_command_arguments(root, kSystem);
    ASSERT_TRUE(arguments);
    EXPECT_TRUE(*arguments == removal(root));
  }
}

TEST(RemovalCommandTest, RefusesARootThatCouldNameAnotherFolder) {
  for (const std::u16string root : {
           // cmd expands variables even between quotes: "%USERPROFILE%" would delete the
           // whole profile.
           u"C:\\Users\\a%USERPROFILE%b\\AppData\\Local\\Nelo",
           u"C:\\Users\\100%\\AppData\\Local\\Nelo",
           // A quote ends the quoted path: rmdir would get the victim and another folder.
           u"Z:\\tmp\\victim\" \"Z:\\tmp\\local\\Nelo",
           // Without LOCALAPPDATA the root is relative: a folder Nelo wherever cmd runs.
           u".\\Nelo",
           u"Nelo",
           u"\\Nelo",
           u"C:Nelo",
           u"",
           // Control characters have no business in the path of a folder to delete.
           u"C:\\Users\\a\nb\\Nelo",
           u"C:\\Users\\a\tb\\Nelo",
       }) {
    EXPECT_FALSE(removal_command_arguments(root, kSystem));
    EXPECT_FALSE(removal_command_arguments(u"C:\\Users\\Ana\\AppData\\Local\\Nelo", root))
        << "the same holds for the system folder";
  }
}

TEST(RemovalCommandTest, RefusesAnExclamationMarkOnlyWhenCmdWouldExpandIt) {
  const std::u16string root = u"C:\\Users\\Oi!x!\\AppData\\Local\\Nelo";
  EXPECT_TRUE(removal_command_arguments(root, kSystem, false));
  EXPECT_FALSE(removal_command_arguments(root, kSystem, true));
  EXPECT_TRUE(removal_command_arguments(u"C:\\Users\\Ana\\AppData\\Local\\Nelo", kSystem, true));
}

}  // namespace
}  // namespace nelo
