// Platform layer, threads: what both back ends do around the system's thread creation.
#include "os/threads.h"

namespace zem_util::os {

bool startDetachedThread(void (*entry)(void*), void* arg, unsigned* error) {
  auto* start = new backend::ThreadStart{entry, arg};
  if (backend::startSystemThread(start, error)) return true;
  delete start;
  return false;
}

// The record is taken over before the entry runs: the entry may run for the life of the process.
void backend::runThreadStart(void* start) {
  const ThreadStart copy = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  copy.entry(copy.arg);
}

}  // namespace zem_util::os
