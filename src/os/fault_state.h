// What both back ends keep per thread between a fault and the throw of its translation.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "os/os.h"

namespace zem_util::os {

struct FaultState {
  FaultTranslator translator;
  bool translating;  // from a fault to its throw: a fault in between is not translated again
  unsigned code;
  std::uintptr_t address;
};

// Hands the pending fault to the thread's translator, which throws; the translation ends as the exception
// leaves.
[[noreturn]] inline void translatePendingFault(FaultState& state) {
  struct EndTranslation {
    FaultState& state;
    ~EndTranslation() { state.translating = false; }
  } end{state};
  state.translator(state.code, state.address);
  std::abort();  // a translator that returns has nowhere to return to
}

}  // namespace zem_util::os
