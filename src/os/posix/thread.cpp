// POSIX back end: detached threads.
#include <pthread.h>

#include <cerrno>
#include <new>

#include "os/os.h"

namespace zem_util::os {

namespace {
struct Start {
  void (*entry)(void*);
  void* arg;
};

void* threadMain(void* raw) {
  const Start start = *static_cast<Start*>(raw);
  delete static_cast<Start*>(raw);
  start.entry(start.arg);
  return nullptr;
}
}  // namespace

bool startDetachedThread(void (*entry)(void*), void* arg, unsigned* error) {
  auto* start = new (std::nothrow) Start{entry, arg};
  if (!start) {
    *error = ENOMEM;
    return false;
  }
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int result = pthread_create(&thread, &attributes, threadMain, start);
  pthread_attr_destroy(&attributes);
  if (result != 0) {
    delete start;
    *error = static_cast<unsigned>(result);
    return false;
  }
  return true;
}

}  // namespace zem_util::os
