#include "platform/log.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(LogTest, QuietLogsSilenceEveryLineWhileOneLives) {
  ::testing::internal::CaptureStdout();
  logLine("before");
  {
    const QuietLog outer;
    {
      const QuietLog inner;
      logLine("inside both");
    }
    logLine("inside the outer");
  }
  logLine("after");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "before\nafter\n");
}

}  // namespace
}  // namespace platform
