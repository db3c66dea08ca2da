// Platform layer, faults: the per-thread translator and the one process-wide hook, for both back ends.
#include "os/faults.h"

#include <utility>

namespace zem_util::os {

namespace {

// Installed with the first translator and removed when the library is unloaded: a hook left behind in an
// unloaded library would crash the next fault of the process.
class FaultHook {
 public:
  FaultHook() { backend::installFaultHook(); }
  ~FaultHook() { backend::removeFaultHook(); }
  FaultHook(const FaultHook&) = delete;
  FaultHook& operator=(const FaultHook&) = delete;
};

}  // namespace

FaultTranslator setThreadFaultTranslator(FaultTranslator translator) {
  if (translator != nullptr) {
    static FaultHook hook;
    (void)hook;
  }
  return std::exchange(backend::getThreadFaultState().translator, translator);
}

}  // namespace zem_util::os
