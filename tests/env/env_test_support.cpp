// The environment tests' guard for tests that need a process of their own.
#include "env_test_support.h"

#include <gtest/gtest.h>

namespace test_support {

namespace {
int startedTests = 0;

class StartCounter : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ++startedTests; }
};

// Installed before main, so that it sees every test start.
const bool counterInstalled = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new StartCounter);
  return true;
}();
}  // namespace

bool isFirstTestOfProcess() { return counterInstalled && startedTests == 1; }

}  // namespace test_support
