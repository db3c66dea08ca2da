// CstStr against std::string: random building, sharing and reading with a fixed seed, every result checked.
#include <gtest/gtest.h>

#include <random>

#include "core/cst_str_model.h"

namespace {

struct RandomChooser {
  int pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }
  std::mt19937 random{20240611u};
};

struct ExpectingChecker {
  template <class T>
  void equal(const T& actual, const T& expected, const char* what) {
    EXPECT_EQ(actual, expected) << what;
  }
};

TEST(CstStrRandomTest, MatchesStdStringUnderRandomOperations) {
  RandomChooser chooser;
  ExpectingChecker checker;
  test_support::CstStrModel<RandomChooser, ExpectingChecker> model(chooser, checker);
  for (int i = 0; i < 50000; ++i) {
    model.step();
    if (i % 64 == 0) model.checkAll();
    if (::testing::Test::HasFailure()) FAIL() << "after step " << i;
  }
}

}  // namespace
