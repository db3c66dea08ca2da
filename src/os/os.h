// Internal platform layer: the only interface through which the library reaches the operating system.
//
// Every function here is implemented once per back end, in src/os/posix/ and src/os/win32/, one file per
// concept. The code above this layer is written once and never includes a system header itself.
//
// Conventions:
//  - Failures are reported through results; where the caller needs the system's error code it is returned
//    in an `unsigned* error` argument (errno / pthread result on POSIX, GetLastError() on Windows).
//  - Texts are plain `std::string`s; the layer knows nothing of the library's own types.
//  - Paths may use "/" or "\" on every platform; `kNativeSeparator` is the one the library adds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zem_util::os {

// ---- threads and locks ------------------------------------------------------------------------------------

// An in-process lock: waits without limit, never fails once created, not recursive (recursion is counted by
// the caller). On POSIX a plain pthread mutex; on Windows a critical section.
struct CriticalSection;
CriticalSection* newCriticalSection();
void enterCriticalSection(CriticalSection*);
bool tryEnterCriticalSection(CriticalSection*);
void leaveCriticalSection(CriticalSection*);
void deleteCriticalSection(CriticalSection*);

enum class WaitResult { Signalled, Abandoned, Timeout, Failed };

// A lock that waits with a timeout and reports when its previous owner thread ended while holding it.
// On POSIX a robust recursive pthread mutex; on Windows an unnamed kernel mutex. Timeout 0xFFFFFFFF = no limit.
struct KernelMutex;
KernelMutex* newKernelMutex(unsigned* error);  // null on failure
WaitResult waitKernelMutex(KernelMutex*, unsigned timeoutMs, unsigned* error);
void releaseKernelMutex(KernelMutex*);
void deleteKernelMutex(KernelMutex*);

// A pair of pulse events: `pulseOne` releases exactly one thread waiting at that instant, `pulseAll` every
// thread waiting at that instant; a pulse with nobody waiting is forgotten.
struct PulseEvent;
PulseEvent* newPulseEvent(unsigned* error);  // null on failure
bool pulseOne(PulseEvent*, unsigned* error);
bool pulseAll(PulseEvent*, unsigned* error);
// Registers the caller as a waiter, then calls `release(arg)` (which lets go of the caller's own lock), then
// waits. Signalled: released by a pulse; Timeout; Failed with *error set. A back end that can register the
// waiter before `release` runs does so, so that a pulse sent right after the caller's lock is free is not lost.
WaitResult waitPulseEvent(PulseEvent*, unsigned timeoutMs, void (*release)(void*), void* arg, unsigned* error);
void deletePulseEvent(PulseEvent*);

// Starts a detached thread running entry(arg). False (with *error) when the thread cannot be created.
bool startDetachedThread(void (*entry)(void*), void* arg, unsigned* error);

// ---- clock and identity -----------------------------------------------------------------------------------

unsigned getTickCountMs();  // milliseconds since boot, wrapping at 2^32
void sleepMs(unsigned ms);
unsigned getCurrentThreadId();  // cheap: cached per thread where the system call is not
unsigned getCurrentProcessId();

struct LocalTime {
  int year;         // e.g. 2026
  int month;        // 1..12
  int day;          // 1..31
  int hour;         // 0..23
  int minute;       // 0..59
  int second;       // 0..60
  int millisecond;  // 0..999
};
LocalTime getLocalTime();

// ---- errors -----------------------------------------------------------------------------------------------

// The system's own text for an error code, exactly as the system gives it; false when it has none.
bool getSystemErrorText(unsigned code, std::string* text);

// ---- paths and files --------------------------------------------------------------------------------------

extern const char kNativeSeparator;    // '/' on POSIX, '\\' on Windows
extern const char kPathListSeparator;  // ':' on POSIX, ';' on Windows
// Extra bytes a text-mode stream stores for each line feed: 1 where "\n" becomes "\r\n" on disk, else 0.
extern const int kTextModeLineEndExtra;

// Paths handed to these functions may use either separator; the POSIX back end reads "\" as "/".
// None of them limits the length of a path; a text the system cannot take simply fails.

bool getCurrentDirectory(std::string* dir);  // without a trailing separator (except a root: "/", "C:\")
// The system's absolute form of `path`: "sub/../x" in /home/me -> "/home/me/x". False for an empty path.
// Windows: GetFullPathNameA. POSIX: the current directory joined lexically, "." and ".." resolved without
// looking at the disk, a trailing separator kept.
bool getFullPath(const char* path, std::string* full);
// An ordinary file the user may read: exists, is not a directory, is not hidden (Windows: the hidden and
// offline attributes; POSIX: a name starting with "."), and on POSIX this process may read it.
bool isFileReadable(const char* path);
bool pathExists(const char* path);     // the file status query succeeds: any kind of entry
bool makeDirectory(const char* path);  // one level; true when created
bool removeFile(const char* path);

// Holds a stream's own lock across several writes, which then skip taking it one by one.
void lockStream(std::FILE* stream);
void unlockStream(std::FILE* stream);

// ---- process, environment and modules ---------------------------------------------------------------------

bool getExecutablePath(std::string* path);  // full path of the running executable
// The module (executable or shared library) that contains `address`: its full file name and the address it
// is loaded at. False when no module contains it; *base is then the start of the system allocation that holds
// the address where the system tells (Windows), else 0.
bool findModuleOfAddress(const void* address, std::string* fileName, std::uintptr_t* base);
// A null value removes the variable. Windows changes the system's block only, which getenv does not see;
// POSIX has one environment, which getenv does see.
bool setEnvironmentVariable(const char* name, const char* value);
// Windows: a system-modal box with an OK button and the stop icon, owned by no window; returns when closed.
// POSIX: "<title>: <text>" and a line end on standard error.
void showMessageBox(const char* title, const char* text);

// ---- dynamic libraries ------------------------------------------------------------------------------------

// Null when it cannot be loaded. The system's own rules complete the name: Windows adds ".dll" and looks
// beside the executable first; POSIX adds ".so" when the last component has no ".", and looks for a name
// without a separator beside the executable first, then where the dynamic loader looks.
void* loadLibrary(const char* name);
void* getMainModule();  // the executable itself
void* findSymbol(void* library, const char* name);
bool getLibraryFileName(void* library, std::string* path);
void freeLibrary(void* library);

// ---- locale -----------------------------------------------------------------------------------------------

// The calling thread's locale as a Windows locale identifier (0x040C for fr_FR, ...); 0 when unknown.
unsigned getThreadLocaleId();

// ---- fault translation ------------------------------------------------------------------------------------

// Called in the faulting thread, in ordinary (not signal-handler) context and as if the faulting
// instruction had called it, with the fault's Windows exception code (0xC0000005, ...) and the address of
// the faulting instruction. It must not return: it throws.
using FaultTranslator = void (*)(unsigned code, std::uintptr_t address);
// Installs `translator` for the calling thread only (null: none) and returns the one it replaces. The first
// translator installs the process-wide hook; from then on a thread without a translator sees its faults
// handled exactly as before (previous signal dispositions, other exception handlers).
FaultTranslator setThreadFaultTranslator(FaultTranslator translator);

}  // namespace zem_util::os
