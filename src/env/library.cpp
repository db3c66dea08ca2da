// The process-wide table of loaded libraries and the lookup of their functions.
#include <string>

#include "core/no_destructor.h"
#include "env/system_text.h"
#include "os/libraries.h"
#include "zem_util/env.h"
#include "zem_util/system.h"

namespace zem_util {

namespace {

struct LibraryEntry {
  ArrayPtr<char> name;  // as the caller gave it, sharing the caller's block
  void* handle;
  LibraryEntry* next;  // in the same bucket
};

constexpr unsigned kBucketCount = 101;

// Filled on demand and emptied only by freeAllLibraries.
struct LibraryTable {
  Mutex lock{MutexKind::kCriticalSection};
  LibraryEntry* buckets[kBucketCount] ZEM_UTIL_GUARDED_BY(lock) = {};

  // The handle entered for `name` in its bucket, or null.
  void* find(unsigned bucket, const ArrayPtr<char>& name) const ZEM_UTIL_REQUIRES(lock) {
    for (const LibraryEntry* entry = buckets[bucket]; entry != nullptr; entry = entry->next) {
      if (entry->name == name) return entry->handle;
    }
    return nullptr;
  }
};

LibraryTable& libraryTable() {
  static detail::NoDestructor<LibraryTable> table;
  return *table;
}

// The module of the library named `name`, loaded and entered in the table on first request; null when it
// cannot be loaded (and nothing is entered, so the next request tries again). The system loads outside the
// table's lock: a library's initialisation may itself ask for libraries, and holding our lock across the
// system's loader lock could deadlock against another thread doing the same.
void* getLibraryHandle(const ArrayPtr<char>& name) {
  if (name.length() == 0) return nullptr;
  const unsigned bucket = hash(name) % kBucketCount;
  LibraryTable& table = libraryTable();
  {
    MutexLock guard(table.lock);
    if (void* handle = table.find(bucket, name)) return handle;
  }
  std::string systemName;
  if (!detail::toSystemText(name, &systemName)) return nullptr;
  void* loaded = os::loadLibrary(systemName.c_str());
  if (loaded == nullptr) return nullptr;
  void* entered;
  {
    MutexLock guard(table.lock);
    entered = table.find(bucket, name);
    if (entered == nullptr) table.buckets[bucket] = new LibraryEntry{name, loaded, table.buckets[bucket]};
  }
  // Another thread entered the same name meanwhile: keep its load, give back ours.
  if (entered != nullptr) {
    os::freeLibrary(loaded);
    return entered;
  }
  return loaded;
}

}  // namespace

ArrayPtr<char> getLibraryFileName(const ArrayPtr<char>& libraryName) {
  void* handle = getLibraryHandle(libraryName);
  std::string fileName;
  if (handle == nullptr || !os::getLibraryFileName(handle, &fileName)) return ArrayPtr<char>();
  return detail::newText(fileName);
}

void* getFunctionPointer(const ArrayPtr<char>& functionName, ArrayPtr<char> libraryName) {
  std::string systemName;
  if (!detail::toSystemText(functionName, &systemName) || systemName.empty()) return nullptr;
  void* module = libraryName.length() == 0 ? os::getMainModule() : getLibraryHandle(libraryName);
  return module != nullptr ? os::findSymbol(module, systemName.c_str()) : nullptr;
}

void freeAllLibraries() {
  // Detached under the lock, released outside it: a library's clean-up may call back into the table.
  LibraryEntry* detached[kBucketCount];
  {
    LibraryTable& table = libraryTable();
    MutexLock guard(table.lock);
    for (unsigned i = 0; i < kBucketCount; ++i) {
      detached[i] = table.buckets[i];
      table.buckets[i] = nullptr;
    }
  }
  for (LibraryEntry* entry : detached) {
    while (entry != nullptr) {
      LibraryEntry* next = entry->next;
      os::freeLibrary(entry->handle);
      delete entry;
      entry = next;
    }
  }
}

}  // namespace zem_util
