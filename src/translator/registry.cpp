// The process-wide directory of catalogues by component and language, filled on demand from plug-ins.
#include <cstring>

#include "core/no_destructor.h"
#include "zem_util/env.h"
#include "zem_util/system.h"
#include "zem_util/translator.h"

namespace zem_util {

namespace {

struct TranslatorEntry {
  ArrayPtr<char> name;
  ArrayPtr<char> language;
  Translator* translator;
  TranslatorEntry* next;
};

constexpr std::uint32_t kBuckets = 101;

using EntryPoint = Translator* (*)(const ArrayPtr<char>&, const ArrayPtr<char>&);

// Created on first use and kept until the process ends, like the catalogues it points to. The lock makes the
// registry safe to use from several threads; it is recursive, so a plug-in may ask for another catalogue
// while it is being loaded. The default catalogue answers every pair that no plug-in serves.
struct Registry {
  Mutex mutex{MutexKind::kCriticalSection};
  Translator defaultTranslator;
  TranslatorEntry* buckets[kBuckets] ZEM_UTIL_GUARDED_BY(mutex) = {};

  TranslatorEntry*& headOf(const ArrayPtr<char>& name) ZEM_UTIL_REQUIRES(mutex) {
    return buckets[hash(name) % kBuckets];
  }

  TranslatorEntry* find(const ArrayPtr<char>& name, const ArrayPtr<char>& language) ZEM_UTIL_REQUIRES(mutex) {
    for (TranslatorEntry* e = headOf(name); e; e = e->next) {
      if (e->name == name && e->language == language) return e;
    }
    return nullptr;
  }

  void link(TranslatorEntry* entry) ZEM_UTIL_REQUIRES(mutex) {
    TranslatorEntry*& head = headOf(entry->name);
    entry->next = head;
    head = entry;
  }
};

Registry& registry() {
  static detail::NoDestructor<Registry> instance;
  return *instance;
}

// Asks one plug-in library for the pair's catalogue; anything thrown counts as "none".
Translator* askPlugin(const ArrayPtr<char>& library, const ArrayPtr<char>& name, const ArrayPtr<char>& language) {
  try {
    auto entry = reinterpret_cast<EntryPoint>(getFunctionPointer("getZemTranslator", library));
    return entry ? entry(name, language) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

// Tries CfgMsg_fr_FR, then CfgMsg_fr, then CfgMsg: each candidate loses its last "_..." part, and the
// underscore of "Msg_" stops the cut, so the component name itself is never shortened.
Translator* searchPlugins(const ArrayPtr<char>& name, const ArrayPtr<char>& language) {
  const ArrayPtr<char> candidate = name + "Msg_" + language;
  const std::int32_t shortest = name.length() + 3;
  for (std::int32_t length = candidate.length();;) {
    if (Translator* found = askPlugin(candidate.slice(0, length), name, language)) return found;
    if (length <= shortest) return nullptr;
    const char* text = candidate.toPtr();
    do --length;
    while (text[length] != '_');
  }
}

}  // namespace

void setTranslator(const ArrayPtr<char>& name, const ArrayPtr<char>& language, Translator* translator) {
  if (!translator) return;
  Registry& r = registry();
  MutexLock guard(r.mutex);
  if (TranslatorEntry* entry = r.find(name, language)) {
    entry->translator = translator;
  } else {
    r.link(new TranslatorEntry{name, language, translator, nullptr});
  }
}

void setTranslator(const ArrayPtr<char>& name, Translator* translator) {
  setTranslator(name, getCurrentLanguage(), translator);
}

void setTranslator(Translator* translator) { setTranslator(getProcessName(), getCurrentLanguage(), translator); }

Translator* getTranslator(const ArrayPtr<char>& name, const ArrayPtr<char>& language) {
  Registry& r = registry();
  MutexLock guard(r.mutex);
  if (TranslatorEntry* entry = r.find(name, language)) return entry->translator;
  auto* entry = new TranslatorEntry{name, language, nullptr, nullptr};
  try {
    entry->translator = searchPlugins(name, language);
  } catch (...) {
    // Building a candidate name can fail for want of memory; the default catalogue still answers.
  }
  if (!entry->translator) entry->translator = &r.defaultTranslator;
  r.link(entry);
  return entry->translator;
}

Translator* getTranslator(const ArrayPtr<char>& name) { return getTranslator(name, getCurrentLanguage()); }

Translator* getTranslator() { return getTranslator(getProcessName(), getCurrentLanguage()); }

}  // namespace zem_util
