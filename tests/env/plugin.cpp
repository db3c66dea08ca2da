// A plug-in module for the library-table tests. Its counter starts from 0 with every load, so a test can tell
// a library that stayed loaded from one that was loaded anew.
#include <zem_util/export.h>

namespace {
int calls = 0;
}

extern "C" ZEM_UTIL_PLUGIN_EXPORT int zemTestPluginNextCount() { return ++calls; }
