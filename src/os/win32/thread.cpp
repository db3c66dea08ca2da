// Win32 back end: detached threads.
#include "os/os.h"
#include "os/win32/windows_api.h"

namespace zem_util::os {
namespace {

struct ThreadStart {
  void (*entry)(void*);
  void* arg;
};

DWORD WINAPI runThread(LPVOID param) {
  // Take the start record over before running: the entry may run for the life of the process.
  const ThreadStart start = *static_cast<ThreadStart*>(param);
  delete static_cast<ThreadStart*>(param);
  start.entry(start.arg);
  return 0;
}

}  // namespace

bool startDetachedThread(void (*entry)(void*), void* arg, unsigned* error) {
  auto* start = new ThreadStart{entry, arg};
  HANDLE thread = CreateThread(nullptr, 0, runThread, start, 0, nullptr);
  if (thread == nullptr) {
    win32::storeLastError(error);
    delete start;
    return false;
  }
  // Nobody joins: closing the handle now lets the system free the thread object as soon as it ends.
  CloseHandle(thread);
  return true;
}

}  // namespace zem_util::os
