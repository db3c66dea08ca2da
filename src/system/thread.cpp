// Detached threads, the clock and the identifiers.
#include <atomic>

#include "os/clock.h"
#include "os/process.h"
#include "os/threads.h"
#include "system/clock_offset.h"
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

namespace {
std::atomic<unsigned int> timeOffset{0};  // 0 outside of tests
}  // namespace

void detail::setTimeOffset(unsigned int offsetMs) { timeOffset.store(offsetMs, std::memory_order_relaxed); }

unsigned int getTimeMs() { return os::getTickCountMs() + timeOffset.load(std::memory_order_relaxed); }
void sleepMs(unsigned int ms) { os::sleepMs(ms); }
unsigned int getCurrentThreadId() { return os::getCurrentThreadId(); }
unsigned int getCurrentProcessId() { return os::getCurrentProcessId(); }

}  // namespace zem_util
