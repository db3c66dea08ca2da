// What a mutex handle points to.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/recursive_lock.h"
#include "os/sync.h"
#include "os/threads.h"
#include "zem_util/system.h"

namespace zem_util {

struct MutexRecord {
  bool criticalSection;            // the kind given to newMutex
  detail::RecursiveLock* section;  // the lock when criticalSection is true
  bool ownsSection;                // false only for the reference-count mutex, which wraps the count lock
  os::KernelMutex* kernel;         // the lock when criticalSection is false
  std::int32_t lockCount;          // kernel kind: recursion depth of the owner; 0 when free
  // Kernel kind: thread identifier of the holder, 0 when free. Written only by the holder; read by any thread
  // to ask "do I hold it?", which only the holder itself can answer yes, so relaxed order is enough.
  std::atomic<unsigned> owner;

  static MutexRecord* of(void* handle) { return static_cast<MutexRecord*>(handle); }

  bool isHeldByCaller() const {
    if (criticalSection) return section->isHeldByCaller();
    return owner.load(std::memory_order_relaxed) == os::getCurrentThreadId();
  }
};

}  // namespace zem_util
