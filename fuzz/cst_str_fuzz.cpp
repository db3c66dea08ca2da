// Fuzz target of CstStr: the input's bytes choose a sequence of operations on eight values and four handles, run
// beside std::string by the model the random test uses (tests/core/cst_str_model.h). Every result is compared
// with the std::string one, and every few operations every value and handle is compared with its text, so a
// change that reaches a text it must not (an append written into a shared block, say) shows soon after.
// An input runs at most 16 operations on texts of at most 256 characters: every representation and every
// threshold of CstStr (short below 8, tail blocks from 32) is reached well within that, and each check costs
// what the texts are long, so a short state lets the fuzzer try many more sequences. The random test runs the
// same model on long texts and long runs.
#include <cstdint>

#include "core/cst_str_model.h"
#include "fuzz_support.h"

namespace {

constexpr int kMaxSteps = 16;
constexpr std::size_t kMaxLength = 256;

struct AbortingChecker {
  template <class T>
  void equal(const T& actual, const T& expected, const char* what) {
    if (!(actual == expected)) zem_util::fuzz::fail(__FILE__, __LINE__, what);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zem_util::fuzz::Input input(data, size);
  AbortingChecker checker;
  test_support::CstStrModel<zem_util::fuzz::Input, AbortingChecker> model(input, checker, kMaxLength);
  int step = 0;
  while (step < kMaxSteps && !input.isEmpty()) {
    model.step();
    if (++step % 4 == 0) model.checkAll();
  }
  if (step % 4 != 0) model.checkAll();
  return 0;
}
