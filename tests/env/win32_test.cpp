// What only the Win32 back end does: setting a variable changes the system's block, not the C runtime's copy.
#include <gtest/gtest.h>
#include <zem_util/env.h>

#include <cstdlib>

#include "support/platform.h"

namespace zem_util {
namespace {

TEST(Win32BackEndTest, SettingAVariableLeavesTheRuntimeCopyAlone) {
  setEnvironmentVariable("ZEM_ENV_WIN32_ONLY", "system");
  std::string value;
  EXPECT_TRUE(test_support::getSystemEnvironmentVariable("ZEM_ENV_WIN32_ONLY", &value) && value == "system");
  EXPECT_EQ(std::getenv("ZEM_ENV_WIN32_ONLY"), nullptr);
}

}  // namespace
}  // namespace zem_util
