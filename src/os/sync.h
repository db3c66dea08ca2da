// Platform layer, locks and events: the system objects beneath the library's mutexes and events.
//
//   CriticalSection  an in-process lock that waits without limit and cannot fail once created. Not recursive:
//                    the library counts recursion above this layer. POSIX: a pthread mutex; Windows: a critical
//                    section.
//   KernelMutex      a recursive lock that waits with a timeout and says when its previous owner thread ended
//                    while holding it. POSIX: a robust recursive pthread mutex; Windows: an unnamed kernel mutex.
//   PulseEvent       `pulseOne` releases exactly one thread waiting at that instant, `pulseAll` every thread
//                    waiting at that instant; a pulse with nobody waiting is forgotten. A wake-up that no pulse
//                    caused is never reported as one.
//   word waits       the sleeping half of a lock written above this layer: sleep while a 32-bit word holds a
//                    value, wake a sleeper. Linux: a private futex; Windows: WaitOnAddress.
//   process barrier  returns once every other running thread of the process has executed a full memory
//                    barrier. Linux: membarrier (private expedited); Windows: FlushProcessWriteBuffers.
//
// Timeouts are in milliseconds: 0xFFFFFFFF waits without limit, 0 only tries. Where a failure has a system
// error code it is stored in `*error` (the pthread result on POSIX, GetLastError() on Windows). Handles are
// not checked: a null or deleted one is the caller's error.
#pragma once

#include <atomic>
#include <cstdint>

namespace zem_util::os {

struct CriticalSection;
CriticalSection* newCriticalSection();
void enterCriticalSection(CriticalSection* section);
bool tryEnterCriticalSection(CriticalSection* section);  // true when entered without waiting
void leaveCriticalSection(CriticalSection* section);     // REQUIRES: entered by the calling thread
void deleteCriticalSection(CriticalSection* section);    // REQUIRES: entered by no thread

enum class WaitResult { Signalled, Abandoned, Timeout, Failed };

struct KernelMutex;
KernelMutex* newKernelMutex(unsigned* error);  // null on failure
// Signalled: acquired. Abandoned: acquired, from an owner thread that ended holding it. Timeout: not acquired.
// Failed: not acquired, *error set.
WaitResult waitKernelMutex(KernelMutex* mutex, unsigned timeoutMs, unsigned* error);
void releaseKernelMutex(KernelMutex* mutex);  // REQUIRES: held by the calling thread
void deleteKernelMutex(KernelMutex* mutex);

struct PulseEvent;
PulseEvent* newPulseEvent(unsigned* error);         // null on failure
bool pulseOne(PulseEvent* event, unsigned* error);  // false, *error set, when the system refuses
bool pulseAll(PulseEvent* event, unsigned* error);
// Registers the caller as a waiter, calls `release(arg)` (which lets go of the caller's own lock), then waits.
// Signalled: released by a pulse; Timeout; Failed, *error set. `release` runs on every path, exactly once. A
// back end that can register the waiter before `release` runs does so, so that a pulse sent as soon as the
// caller's lock is free is not lost.
WaitResult waitPulseEvent(PulseEvent* event, unsigned timeoutMs, void (*release)(void*), void* arg, unsigned* error);
void deletePulseEvent(PulseEvent* event);  // REQUIRES: no thread waits on it

// Sleeps while `word` holds `value`, at most `timeoutMs` (never without limit). The test of the value and the
// going to sleep are one step with respect to `wakeOneWaiter`: a wake-up sent after `word` has changed is not
// missed. May return early for no reason, so the caller tests its condition again.
void waitWhileEqual(const std::atomic<std::uint32_t>& word, std::uint32_t value, unsigned timeoutMs);
// Wakes one thread sleeping in waitWhileEqual on `word`, if there is one.
void wakeOneWaiter(const std::atomic<std::uint32_t>& word);
// Returns after every thread of the process that was running during the call has executed a full memory
// barrier (a thread that was not running passes one when it is switched back in). Best effort: where the system
// offers no such barrier (an old kernel, a sandbox that forbids it, an emulation that stubs it) it does nothing,
// and callers must stay correct, only slower, without it.
void issueProcessBarrier();
// Whether issueProcessBarrier is known to deliver the barrier, for callers that are correct only with it.
bool hasProcessBarrier();

}  // namespace zem_util::os
