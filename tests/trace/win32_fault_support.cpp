// Windows side of the trace tests' faults: it has neither a per-process file-size limit nor an always-full device.
#include "trace/fault_support.h"

namespace test_support {

ChildOutcome runWithFileSizeLimit(std::size_t, const std::function<int()>&) {
  ChildOutcome outcome;
  outcome.why = "Windows has no per-process file-size limit";
  return outcome;
}

std::string fullDevicePath() { return ""; }

}  // namespace test_support
