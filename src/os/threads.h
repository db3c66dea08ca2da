// Platform layer, threads: starting a detached thread, sleeping, yielding, and the calling thread's identifier.
#pragma once

namespace zem_util::os {

// Starts a thread that runs entry(arg) and ends when it returns; nobody can join it. False, with the system's
// error code in *error, when the thread cannot be created: `entry` is then never called.
bool startDetachedThread(void (*entry)(void*), void* arg, unsigned* error);

// Suspends the calling thread for `ms` milliseconds; signals that interrupt the wait do not shorten it.
void sleepMs(unsigned ms);

// Gives the rest of the calling thread's time slice to another ready thread, if there is one.
void yieldProcessor();

// One turn of a spin-wait: tells the processor that the thread is waiting for another, which on x86 frees the
// core's resources for its sibling and avoids the penalty of leaving the loop.
inline void pauseProcessor() {
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
  __builtin_ia32_pause();
#endif
}

// The system's identifier of the calling thread, never 0. Cheap: every lock asks for it.
unsigned getCurrentThreadId();

// Between threads.cpp and the back ends; nothing above this layer uses it.
namespace backend {

// What a new thread is handed: its thread procedure calls runThreadStart with it first thing.
struct ThreadStart {
  void (*entry)(void*);
  void* arg;
};

// Frees the start record, then runs its entry.
void runThreadStart(void* start);

// Creates a detached system thread whose procedure calls runThreadStart(start). False, *error set, when the
// system refuses; the start record is then still the caller's.
bool startSystemThread(ThreadStart* start, unsigned* error);

}  // namespace backend

}  // namespace zem_util::os
