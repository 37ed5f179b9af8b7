// Tests of the platform services: each platform's file-name separators, and
// debugger output that is harmless without a debugger.
#include "platform/services.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformServices, TheWrittenSeparatorIsOneThePlatformTakes) {
  EXPECT_TRUE(Platform_IsPathSeparator(Platform_PathSeparator()));
  EXPECT_TRUE(Platform_IsPathSeparator(u'\\')) << "'\\' separates on every platform";
  EXPECT_FALSE(Platform_IsPathSeparator(u':'));
  EXPECT_FALSE(Platform_IsPathSeparator(u'a'));
#ifdef _WIN32
  EXPECT_EQ(Platform_PathSeparator(), u'\\');
  EXPECT_FALSE(Platform_IsPathSeparator(u'/')) << "'/' is no file-name character on Windows";
#else
  EXPECT_EQ(Platform_PathSeparator(), u'/');
  EXPECT_TRUE(Platform_IsPathSeparator(u'/'));
#endif
}

TEST(PlatformServices, DebugOutputWithoutADebuggerDoesNothingHarmful) {
  Platform_DebugOutput("Tilepost: test line\n");
  Platform_DebugOutput("");
}

}  // namespace
