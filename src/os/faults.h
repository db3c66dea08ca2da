// Platform layer, faults: processor faults of a thread handed to a translator of its own, and the module that
// holds an address.
//
// POSIX: synchronous SIGSEGV, SIGBUS, SIGFPE and SIGILL, with the Windows code of each (SIGSEGV -> 0xC0000005,
// SIGFPE/FPE_INTDIV -> 0xC0000094, ...). Windows: the structured exceptions the processor and programs raise.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

namespace zem_util::os {

// Called in the faulting thread, in ordinary (not signal-handler) context and as if the faulting instruction
// had called it, with the fault's Windows exception code and the address of the faulting instruction. It must
// not return: it throws.
using FaultTranslator = void (*)(unsigned code, std::uintptr_t address);

// Installs `translator` for the calling thread only (null: none) and returns the one it replaces. The first
// translator installs the process-wide hook, which stays until the library is unloaded; a thread without a
// translator sees its faults handled exactly as before (previous signal dispositions, other exception handlers).
FaultTranslator setThreadFaultTranslator(FaultTranslator translator);

// The module (executable or shared library) that holds `address`: its full file name and the address it is
// loaded at. False when no module holds it; *base is then the start of the system allocation that holds the
// address where the system tells (Windows), else 0.
bool findModuleOfAddress(const void* address, std::string* fileName, std::uintptr_t* base);

// Between faults.cpp and the back ends; nothing above this layer uses it.
namespace backend {

// What a thread keeps between a fault and the throw of its translation.
struct FaultState {
  FaultTranslator translator;
  bool translating;  // from a fault to its throw: a fault in between is not translated again
  unsigned code;
  std::uintptr_t address;
};

// The calling thread's state, made reachable from the back end's hook.
FaultState& getThreadFaultState();

// Install and remove the process-wide hook that hands faults to their thread's state.
void installFaultHook();
void removeFaultHook();

// Hands the pending fault to the thread's translator, which throws; the translation ends as the exception
// leaves. Called where the back end's hook makes the faulting thread continue.
[[noreturn]] inline void translatePendingFault(FaultState& state) {
  struct EndTranslation {
    FaultState& state;
    ~EndTranslation() { state.translating = false; }
  } end{state};
  state.translator(state.code, state.address);
  std::abort();  // a translator that returns has nowhere to return to
}

}  // namespace backend

}  // namespace zem_util::os
