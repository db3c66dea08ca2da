// Translator plug-ins for the registry tests. One source, built once per library name; the macro
// PLUGIN_KIND picks what the entry point does:
//   1 a catalogue whose texts name the library and the pair it was asked for,
//   2 no catalogue (null),
//   3 an exception.
// A library built with PLUGIN_KIND 0 exports no entry point at all.
#include <zem_util/translator_plugin.h>

#include <string>

#if PLUGIN_KIND != 0
ZEM_UTIL_TRANSLATOR_ENTRY_POINT(name, language) {
  (void)name, (void)language;  // what kinds 2 and 3 do does not depend on them
#if PLUGIN_KIND == 1
  static zem_util::Translator catalogue;
  if (catalogue.getMessageCount() == 0) {
    catalogue.addMsg("library", PLUGIN_NAME);
    catalogue.addMsg("asked", name + "/" + language);
  }
  return &catalogue;
#elif PLUGIN_KIND == 2
  return nullptr;
#else
  throw std::string("no catalogue here");
#endif
}
#endif

// Present in every plug-in so that tests can tell whether the library was loaded, and fault inside one.
extern "C" ZEM_UTIL_PLUGIN_EXPORT int pluginKind() { return PLUGIN_KIND; }
extern "C" ZEM_UTIL_PLUGIN_EXPORT __attribute__((no_sanitize("undefined"))) int pluginLoad(const int* address) {
  return *address;  // faults, on purpose, for the fault translation tests; the sanitizer would stop it first
}
