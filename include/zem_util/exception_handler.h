// Processor faults as `Exception`s: while a handler object lives, faults in its thread are thrown.
//
//   int ratio(int a, int b) { return a / b; }
//
//   zem_util::WindowsExceptionHandler faultsAsExceptions;  // this thread, until the end of the scope
//   try {
//     ratio(1, 0);
//   } catch (const zem_util::Exception& e) {
//     // e.getMessage(): "System exception 3221225620:Integer Division by Zero occured in module
//     //                  /opt/app/bin/app at offset 4660 (address 94740373635636)"
//   }
//
// The message gives the Windows exception code and its name ("unnamed" for codes without one), the full
// file name of the module that holds the faulting instruction ("Unknown" when it is in none), its offset in
// that module and its address, all in unsigned decimal. On Windows every structured exception (processor
// fault or a program's own RaiseException code) is translated; the C++ exceptions of other run-times and
// informational ones are not. On POSIX the synchronous signals the processor raises are translated:
// SIGSEGV as 0xC0000005 "Access Violation", SIGFPE with FPE_INTDIV as 0xC0000094 "Integer Division by
// Zero", the other SIGFPE, SIGBUS and SIGILL codes as their Windows counterparts; signals sent by kill are
// not. Stack overflows are not translated either: there is no stack left to throw on.
//
// What the faulting code must be compiled with: the exception starts at the faulting instruction, and the
// C++ run-time looks that instruction up in its function's exception table. Compile code that may fault,
// and the code that calls it up to the catch, with -fnon-call-exceptions (GCC, mingw-w64): then a fault
// behaves like a throw from the faulting instruction, destructors on the way run, and a try block in the
// same function catches it. Without that option the compiler takes such instructions, and often the calls
// that lead to them, for ones that cannot throw, and the run-time calls std::terminate instead. (Even with
// it, GCC takes the trap instruction of __builtin_trap for one that cannot throw.)
//
// Threads without a handler object keep the system's handling of faults, and whatever handlers the program
// had installed before (signal handlers on POSIX), exactly as before. On Windows the translation happens
// before frame-based handlers are asked, so a __try/__except block around a fault in a thread with a handler
// object does not see it. Translation works on x86 and x86-64 processors; elsewhere faults keep their
// ordinary handling.
#pragma once

#include <cstdint>

#include "zem_util/export.h"

namespace zem_util {

// Scoped: construction installs the library's fault translator in the calling thread, destruction puts back
// the one that was there before. Handlers nest; destroy them in reverse order of construction, each in the
// thread that created it. A copy holds the same "previous" translator and installs nothing; destroying a
// copy puts that one back as well.
class ZEM_UTIL_EXPORT WindowsExceptionHandler {
 public:
  WindowsExceptionHandler();
  WindowsExceptionHandler(const WindowsExceptionHandler&) = default;
  WindowsExceptionHandler& operator=(const WindowsExceptionHandler&) = default;
  virtual ~WindowsExceptionHandler();

 private:
  // The thread's translator before this one (it takes the exception code and the faulting address, and
  // throws); null when the thread had none.
  void (*previousTranslator_)(unsigned int code, std::uintptr_t address);
};

}  // namespace zem_util
