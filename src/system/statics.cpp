// Builds the process-wide objects on the first LibraryInit and destroys them with the last one.
#include "system/statics.h"

#include <new>

namespace zem_util::detail {

namespace {
// Zero-initialised before any constructor runs, so the counter is valid whatever the order of static
// construction across files and libraries.
alignas(Statics) unsigned char storage[sizeof(Statics)];
int initCount = 0;
}  // namespace

Statics& statics() { return *std::launder(reinterpret_cast<Statics*>(storage)); }

// Static construction and destruction are serialised by the loader, so a plain counter is enough.
LibraryInit::LibraryInit() {
  if (initCount++ == 0) new (storage) Statics();
}

LibraryInit::~LibraryInit() {
  if (--initCount == 0) statics().~Statics();
}

}  // namespace zem_util::detail
