// What a mutex handle points to, and the lock steps shared by `lock`, `unlock` and the reference counts.
#pragma once

#include <atomic>
#include <cstdint>

#include "os/sync.h"
#include "os/threads.h"
#include "zem_util/system.h"

namespace zem_util {

struct MutexRecord {
  bool criticalSection;          // the kind given to newMutex
  os::CriticalSection* section;  // the lock when criticalSection is true
  os::KernelMutex* kernel;       // the lock when criticalSection is false
  std::int32_t lockCount;        // recursion depth of the owner; 0 when free
  // Thread identifier of the holder, 0 when free. Written only by the holder; read by any thread to ask
  // "do I hold it?", which can only be answered yes by the holder itself, so relaxed order is enough.
  std::atomic<unsigned> owner;

  static MutexRecord* of(void* handle) { return static_cast<MutexRecord*>(handle); }
  static MutexRecord* of(Mutex& mutex) { return of(mutex.getHandle()); }

  // The owner is set whenever the depth is above 0, so this alone tells; lockCount is only read afterwards,
  // by the holder.
  bool isHeldByCaller() const { return owner.load(std::memory_order_relaxed) == os::getCurrentThreadId(); }
};

// The critical-section kind counts recursion itself and enters the system lock once, at depth 1.
inline void lockCriticalSection(MutexRecord* mutex) {
  const unsigned self = os::getCurrentThreadId();
  if (mutex->owner.load(std::memory_order_relaxed) != self) {
    os::enterCriticalSection(mutex->section);
    mutex->owner.store(self, std::memory_order_relaxed);
  }
  ++mutex->lockCount;
}

inline bool unlockCriticalSection(MutexRecord* mutex) {
  if (!mutex->isHeldByCaller()) return false;
  if (--mutex->lockCount == 0) {
    mutex->owner.store(0, std::memory_order_relaxed);
    os::leaveCriticalSection(mutex->section);
  }
  return true;
}

}  // namespace zem_util
