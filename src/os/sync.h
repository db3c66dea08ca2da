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
//
// Timeouts are in milliseconds: 0xFFFFFFFF waits without limit, 0 only tries. Where a failure has a system
// error code it is stored in `*error` (the pthread result on POSIX, GetLastError() on Windows). Handles are
// not checked: a null or deleted one is the caller's error.
#pragma once

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

}  // namespace zem_util::os
