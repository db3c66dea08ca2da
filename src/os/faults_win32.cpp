// Win32 back end of faults.h: a vectored handler redirecting structured exceptions; VirtualQuery for modules.
//
// mingw-w64's C++ run-time has no _set_se_translator, and its catch clauses never see structured exceptions.
// So one vectored handler, added with the first translator, takes the exceptions of threads that have a
// translator: it edits the faulting context so that the thread continues in `raiseFault` as if the faulting
// instruction had called it, and `raiseFault` calls the translator, which throws an ordinary C++ exception.
// The made-up return address is the faulting instruction + 1, so the C++ run-time's "return address - 1"
// lookup lands on the faulting instruction itself. Vectored handlers run before frame-based ones: a
// __try/__except around a fault in such a thread does not see it.
#include <cstdint>
#include <cstring>

#include "os/faults.h"
#include "os/windows_api.h"

namespace zem_util::os {

namespace {

thread_local backend::FaultState threadState{};
// The vectored handler finds a thread's state through a system TLS slot: reading it never allocates, unlike
// the compiler's thread_local on a thread that has not used it yet.
DWORD stateSlot = TLS_OUT_OF_INDEXES;
void* handler = nullptr;  // the vectored handler while it is installed

// Processor faults and the codes programs raise themselves (warning and error severities), but not what
// other run-times and the system raise for their own purposes: C++ throws of MSVC (0xE06D7363) and the
// CLR, and informational codes such as debug output and thread names. GCC's own throws have the success
// severity. Nor a stack overflow: with its guard page used up, the stack has no room left to throw on.
bool isTranslatable(DWORD code) {
  return (code & 0x80000000) != 0 && code != EXCEPTION_STACK_OVERFLOW && code != 0xE06D7363 && code != 0xE0434352 &&
         code != 0xE0434F4D;
}

}  // namespace

// Where the thread continues after a fault. Not static: the x86-64 stubs below call it by name. On x86 the
// thread jumps straight in, with the faulting code's stack alignment, so it realigns the stack first.
#if defined(__i386__)
#define ZEM_UTIL_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define ZEM_UTIL_REALIGN_STACK
#endif
extern "C" [[noreturn]] __attribute__((noinline, used)) ZEM_UTIL_REALIGN_STACK void zemUtilRaiseFault() {
  backend::translatePendingFault(threadState);
}

#if defined(__x86_64__)
// The faulting code may have any stack alignment, and a callee may write the 32-byte home area above its
// return address. So the thread enters one of two stubs, chosen by the alignment, that reserve a home area
// of their own and call zemUtilRaiseFault with the stack aligned. Their unwind information describes just
// that allocation, which leads the unwinder to the made-up return address and the faulting function.
extern "C" void zemUtilRaiseFaultAligned();    // entered with rsp = 8 (mod 16), as after a call
extern "C" void zemUtilRaiseFaultUnaligned();  // entered with rsp = 0 (mod 16)
asm(R"(
    .text
    .p2align 4
    .def zemUtilRaiseFaultAligned; .scl 2; .type 32; .endef
zemUtilRaiseFaultAligned:
    .seh_proc zemUtilRaiseFaultAligned
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    call zemUtilRaiseFault
    int3
    .seh_endproc

    .p2align 4
    .def zemUtilRaiseFaultUnaligned; .scl 2; .type 32; .endef
zemUtilRaiseFaultUnaligned:
    .seh_proc zemUtilRaiseFaultUnaligned
    subq $32, %rsp
    .seh_stackalloc 32
    .seh_endprologue
    call zemUtilRaiseFault
    int3
    .seh_endproc
)");
#endif

namespace {

// Makes the thread continue in zemUtilRaiseFault as if the faulting instruction had called it. A function
// without unwind information (a leaf, or no code at all: a bad function pointer) is taken as just entered,
// its return address on top of the stack, as the system's own unwinder does.
void redirectToRaiseFault(CONTEXT* context) {
#if defined(__x86_64__)
  DWORD64 imageBase = 0;
  if (RtlLookupFunctionEntry(context->Rip, &imageBase, nullptr) != nullptr) {
    context->Rsp -= sizeof(DWORD64);
    *reinterpret_cast<DWORD64*>(context->Rsp) = context->Rip + 1;
  }
  const bool aligned = context->Rsp % 16 == 8;
  context->Rip = reinterpret_cast<DWORD64>(aligned ? &zemUtilRaiseFaultAligned : &zemUtilRaiseFaultUnaligned);
#elif defined(__i386__)
  HMODULE module = nullptr;
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(context->Eip), &module)) {
    context->Esp -= sizeof(DWORD);
    *reinterpret_cast<DWORD*>(context->Esp) = context->Eip + 1;
  }
  context->Eip = reinterpret_cast<DWORD>(&zemUtilRaiseFault);
#else
#error "fault translation: unsupported processor"
#endif
}

LONG CALLBACK onException(EXCEPTION_POINTERS* pointers) {
  auto* self = static_cast<backend::FaultState*>(TlsGetValue(stateSlot));
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (self == nullptr || self->translator == nullptr || self->translating || !isTranslatable(record->ExceptionCode))
    return EXCEPTION_CONTINUE_SEARCH;
  self->translating = true;
  self->code = record->ExceptionCode;
  self->address = reinterpret_cast<std::uintptr_t>(record->ExceptionAddress);
  redirectToRaiseFault(pointers->ContextRecord);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

// Also makes the state reachable from the vectored handler, once the hook is installed.
backend::FaultState& backend::getThreadFaultState() {
  if (stateSlot != TLS_OUT_OF_INDEXES) TlsSetValue(stateSlot, &threadState);
  return threadState;
}

void backend::installFaultHook() {
  stateSlot = TlsAlloc();
  if (stateSlot != TLS_OUT_OF_INDEXES) handler = AddVectoredExceptionHandler(1, onException);
}

void backend::removeFaultHook() {
  if (handler != nullptr) RemoveVectoredExceptionHandler(handler);
  if (stateSlot != TLS_OUT_OF_INDEXES) TlsFree(stateSlot);
}

bool findModuleOfAddress(const void* address, std::string* fileName, std::uintptr_t* base) {
  MEMORY_BASIC_INFORMATION region;
  std::memset(&region, 0, sizeof region);  // a failed query leaves the allocation base 0
  VirtualQuery(address, &region, sizeof region);
  *base = reinterpret_cast<std::uintptr_t>(region.AllocationBase);
  // GetModuleFileNameA(NULL) would name the executable for an address that is in no allocation at all.
  if (region.AllocationBase == nullptr) return false;
  char name[MAX_PATH];
  const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), name, MAX_PATH);
  if (length == 0) return false;
  fileName->assign(name, length < MAX_PATH ? length : MAX_PATH - 1);
  return true;
}

}  // namespace zem_util::os
