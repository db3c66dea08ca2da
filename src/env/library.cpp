// The process-wide table of loaded libraries and the lookup of their functions.
#include <cstring>
#include <string>

#include "env/system_text.h"
#include "os/os.h"
#include "system/statics.h"
#include "zem_util/env.h"

namespace zem_util {

namespace {

struct LibraryEntry {
  ArrayPtr<char> name;  // as the caller gave it, sharing the caller's block
  void* handle;
  LibraryEntry* next;  // in the same bucket
};

constexpr unsigned kBucketCount = 101;

// Filled on first use and emptied only by freeAllLibraries; guarded by the library table's lock. Plain
// pointers, so there is nothing to destroy when the process ends.
LibraryEntry* buckets[kBucketCount];

Mutex& tableLock() { return detail::statics().libraryTableMutex; }

// Same length, then the same window of the same block or the same bytes (case-sensitive).
bool isSameName(const ArrayPtr<char>& a, const ArrayPtr<char>& b) {
  if (a.length() != b.length()) return false;
  if (a.sharesBlockWith(b) && a.offset() == b.offset()) return true;
  return std::memcmp(a.toPtr(), b.toPtr(), static_cast<std::size_t>(a.length())) == 0;
}

// The handle entered for `name` in its bucket, or null. The caller holds the table's lock.
void* privateFind(unsigned bucket, const ArrayPtr<char>& name) {
  for (LibraryEntry* entry = buckets[bucket]; entry != nullptr; entry = entry->next) {
    if (isSameName(entry->name, name)) return entry->handle;
  }
  return nullptr;
}

// The module of the library named `name`, loaded and entered in the table on first request; null when it
// cannot be loaded (and nothing is entered, so the next request tries again). The system loads outside the
// table's lock: a library's initialisation may itself ask for libraries, and holding our lock across the
// system's loader lock could deadlock against another thread doing the same.
void* getLibraryHandle(const ArrayPtr<char>& name) {
  if (name.length() == 0) return nullptr;
  const unsigned bucket = hash(name) % kBucketCount;
  {
    MutexLock guard(tableLock());
    if (void* handle = privateFind(bucket, name)) return handle;
  }
  std::string systemName;
  if (!detail::toSystemText(name, &systemName)) return nullptr;
  void* loaded = os::loadLibrary(systemName.c_str());
  if (loaded == nullptr) return nullptr;
  void* entered;
  {
    MutexLock guard(tableLock());
    entered = privateFind(bucket, name);
    if (entered == nullptr) buckets[bucket] = new LibraryEntry{name, loaded, buckets[bucket]};
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
    MutexLock guard(tableLock());
    for (unsigned i = 0; i < kBucketCount; ++i) {
      detached[i] = buckets[i];
      buckets[i] = nullptr;
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
