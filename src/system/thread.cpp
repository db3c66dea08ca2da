// Detached threads, the clock and the identifiers.
#include "os/os.h"
#include "zem_util/system.h"

namespace zem_util {

Runnable::~Runnable() = default;
void Runnable::run() {}

namespace {
void runBody(void* body) { static_cast<Runnable*>(body)->run(); }
}  // namespace

void startThread(Runnable& body) {
  unsigned error = 0;
  if (!os::startDetachedThread(runBody, &body, &error))
    throw Exception(getSystemErrorMsg("Can't create a new thread", "CreateThread", error));
}

unsigned int getTimeMs() { return os::getTickCountMs(); }
void sleepMs(unsigned int ms) { os::sleepMs(ms); }
unsigned int getCurrentThreadId() { return os::getCurrentThreadId(); }
unsigned int getCurrentProcessId() { return os::getCurrentProcessId(); }

}  // namespace zem_util
