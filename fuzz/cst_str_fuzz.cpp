// Fuzz target of CstStr: the input's bytes choose a sequence of operations on eight values and four handles, run
// beside std::string by the model the random test uses (tests/core/cst_str_model.h). Every result is compared
// with the std::string one, and every few operations every value and handle is compared with its text, so a
// change that reaches a text it must not (an append written into a shared block, say) shows soon after.
#include <cstdint>

#include "core/cst_str_model.h"
#include "fuzz_support.h"

namespace {

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
  test_support::CstStrModel<zem_util::fuzz::Input, AbortingChecker> model(input, checker);
  for (int step = 1; !input.isEmpty(); ++step) {
    model.step();
    if (step % 4 == 0) model.checkAll();
  }
  model.checkAll();
  return 0;
}
