// The process-wide directory of catalogues by component and language, filled on demand from plug-ins.
#include <cstring>

#include "core/no_destructor.h"
#include "translator/plugin_names.h"
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

Translator* searchPlugins(const ArrayPtr<char>& name, const ArrayPtr<char>& language) {
  const ArrayPtr<ArrayPtr<char>> libraries = detail::getPluginLibraryNames(name, language);
  for (std::int32_t i = 0; i < libraries.length(); ++i) {
    if (Translator* found = askPlugin(libraries[i], name, language)) return found;
  }
  return nullptr;
}

// How much of `text` is a library name rather than a path: everything before the first separator ("/", "\"),
// colon (a drive or a stream), NUL or other control character, or "..". The
// language comes from users (a preference, a request header), and any of these would let it lead the loader out
// of the places it searches: "CfgMsg_x/../../evil", "CfgMsg_..\evil", "CfgMsg_C:evil".
std::int32_t getNameLength(const char* text, std::int32_t length) {
  for (std::int32_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') return i;
    if (c == '.' && i + 1 < length && text[i + 1] == '.') return i;
  }
  return length;
}

}  // namespace

// The candidates end where the first one does and at each underscore from that of "Msg_" on, so the longest
// come first; as each is a beginning of the first one, one look at the first tells which of them are names.
ArrayPtr<ArrayPtr<char>> detail::getPluginLibraryNames(const ArrayPtr<char>& name, const ArrayPtr<char>& language) {
  const ArrayPtr<char> first = name + "Msg_" + language;
  const char* text = first.toPtr();
  const std::int32_t length = first.length();
  const std::int32_t usable = getNameLength(text, length);
  const auto isName = [&](std::int32_t end) { return end <= usable && (end == length || text[end] == '_'); };
  std::int32_t count = 0;
  for (std::int32_t end = name.length() + 3; end <= length; ++end) count += isName(end) ? 1 : 0;
  ArrayPtr<ArrayPtr<char>> names(count);
  for (std::int32_t end = length, i = 0; i < count; --end) {
    if (isName(end)) names[i++] = first.slice(0, end);
  }
  return names;
}

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
