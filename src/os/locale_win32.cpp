// Win32 back end of locale.h: GetThreadLocale.
#include "os/locale.h"
#include "os/windows_api.h"

namespace zem_util::os {

// Already the identifier callers look up (0x040C for French, France): nothing to map on Windows.
unsigned getThreadLocaleId() { return GetThreadLocale(); }

}  // namespace zem_util::os
