// The library's process-wide objects, built when it is loaded and destroyed in reverse order when unloaded.
#pragma once

#include "zem_util/core.h"
#include "zem_util/system.h"
#include "zem_util/translator.h"

namespace zem_util::detail {

// Members are declared in load order: the default translator, the global mutex, the reference-count mutex,
// the cached process path, the cached current language, the language mutex, the base-36 and base-64 table
// mutexes, the cached process directory, the cached CharConv.txt path, the cached process name and the
// trace-manager mutex. Subsystems add their members at their place in that order.
struct Statics {
  // Emptied first on unload, while the reference-count mutex that its texts need still exists.
  ~Statics() { defaultTranslator = Translator(); }

  Translator defaultTranslator;
  Mutex globalMutex{true};
  Mutex refCountMutex{true};
  Mutex languageMutex{false};
  Mutex base36TableMutex{false};
  Mutex base64TableMutex{false};
  Mutex traceMgrMutex{false};
};

// Valid from before the first static constructor of any file that includes <zem_util/core.h> until after
// its last static destructor.
Statics& statics();

}  // namespace zem_util::detail
