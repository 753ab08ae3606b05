#include "platform/shell.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RunCommand, Output_IsReturnedWhole) {
  EXPECT_EQ(platform::runCommand("echo hello"), "hello\n");
  // Longer than one read chunk, with a NUL that a line-based reader would cut at.
  EXPECT_EQ(platform::runCommand("head -c 1000 /dev/zero | tr '\\0' x; printf 'a\\0b'"),
            std::string(1000, 'x') + std::string("a\0b", 3));
}

TEST(RunCommand, FailingCommand_GivesItsOutputOnly) {
  EXPECT_EQ(platform::runCommand("echo partial; echo error >&2; exit 3"), "partial\n");
  EXPECT_EQ(platform::runCommand("no-such-command-here 2>/dev/null"), "");
}

}  // namespace
