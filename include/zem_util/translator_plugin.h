// Writing a translator plug-in: a shared library named <Component>Msg_<language> (for example
// CfgMsg_fr.so / CfgMsg_fr.dll) that hands out catalogues through the entry point `getZemTranslator`.
//
//   // cfg_msg_fr.cpp, built as a MODULE library named CfgMsg_fr and linked with ZemUtil::zem_util
//   #include <zem_util/translator_plugin.h>
//
//   static const char* kMessages[] = {
//       "CFG_OPEN_FAILED", "Impossible d'ouvrir {0}",
//       "CFG_LOADED",      "{0} paramètres chargés",
//       nullptr};
//   ZEM_UTIL_TRANSLATOR_PLUGIN(kMessages)
//
// The catalogue is built on the first request and kept for the life of the plug-in. For full control, define
// the entry point yourself with ZEM_UTIL_TRANSLATOR_ENTRY_POINT:
//
//   ZEM_UTIL_TRANSLATOR_ENTRY_POINT(name, language) {
//     static MyCatalogue catalogue;               // any class derived from zem_util::Translator
//     return language == zem_util::ArrayPtr<char>("fr_CA") ? &catalogue : nullptr;  // null: "not here"
//   }
//
// The entry point receives the pair that was asked for (for example "Cfg" and "fr_FR", even when the library
// found is CfgMsg_fr). An exception that escapes it counts as "no catalogue".
#pragma once

#include "zem_util/export.h"
#include "zem_util/translator.h"

#define ZEM_UTIL_TRANSLATOR_ENTRY_POINT(name, language)                                                          \
  extern "C" ZEM_UTIL_PLUGIN_EXPORT zem_util::Translator* getZemTranslator(const zem_util::ArrayPtr<char>& name, \
                                                                           const zem_util::ArrayPtr<char>& language)

#define ZEM_UTIL_TRANSLATOR_PLUGIN(pairs)         \
  ZEM_UTIL_TRANSLATOR_ENTRY_POINT(, ) {           \
    static zem_util::Translator catalogue(pairs); \
    return &catalogue;                            \
  }
