// POSIX back end of faults.h: synchronous signals redirected to the thread's translator; dladdr for modules.
//
// SIGSEGV, SIGBUS, SIGFPE and SIGILL get one process-wide handler, installed with the first translator. In a
// thread that has a translator, a fault raised by the processor is not thrown from the signal handler:
// the handler edits the interrupted context so that, once it returns, the thread continues in `raiseFault`
// as if the faulting instruction had called it, and `raiseFault` calls the translator, which throws from
// ordinary context. So the handler itself stays async-signal-safe, the kernel restores the signal mask as
// usual, and sanitizer run-times see a handler that returned. The made-up return address is the faulting
// instruction + 1, so the unwinder's "return address - 1" lookup lands on the faulting instruction itself.
// Everywhere else (other threads, signals sent by kill, stack overflows) the disposition that was there
// before is applied, exactly as if this handler did not exist.
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>

#include "os/faults.h"
#include "os/process.h"

namespace zem_util::os {

namespace {

// Read by the signal handler: initial-exec TLS is a plain load from the thread pointer, never a lazy
// allocation. Kept in the static library too: only a plug-in that translates faults itself links this file.
#if defined(__GNUC__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local backend::FaultState threadState{};

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction previousActions[kSignalCount];  // written before the handler is installed

struct sigaction& previousActionOf(int signal) {
  int i = 0;
  while (kSignals[i] != signal) ++i;
  return previousActions[i];
}

// The Windows code of a fault.
unsigned codeOf(int signal, int reason) {
  switch (signal) {
    case SIGSEGV:
      return 0xC0000005;  // Access Violation
    case SIGBUS:
      return reason == BUS_ADRALN ? 0x80000002 : 0xC0000006;  // Datatype Misalignment, In Page Error
    case SIGILL:
      return reason == ILL_PRVOPC ? 0xC0000096 : 0xC000001D;  // Privileged / Illegal Instruction
    default:
      break;
  }
  switch (reason) {
    case FPE_INTDIV:
      return 0xC0000094;  // Integer Division by Zero
    case FPE_INTOVF:
      return 0xC0000095;
    case FPE_FLTDIV:
      return 0xC000008E;
    case FPE_FLTOVF:
      return 0xC0000091;
    case FPE_FLTUND:
      return 0xC0000093;
    case FPE_FLTRES:
      return 0xC000008F;
    case FPE_FLTSUB:
      return 0xC000008C;  // Array Bounds Exceeded
    default:
      return 0xC0000090;  // FPE_FLTINV, and the codes Windows has no name for
  }
}

#if defined(__x86_64__) || defined(__i386__)
#if defined(__x86_64__)
constexpr int kPcRegister = REG_RIP;
constexpr int kSpRegister = REG_RSP;
#else
constexpr int kPcRegister = REG_EIP;
constexpr int kSpRegister = REG_ESP;
#endif

// Where the thread continues after a fault. The signal handler enters it by a jump, with whatever stack
// alignment the faulting code had, so it realigns the stack first.
[[noreturn]] __attribute__((noinline, force_align_arg_pointer)) void raiseFault() {
  backend::translatePendingFault(threadState);
}

std::uintptr_t readRegister(const ucontext_t* context, int index) {
  return static_cast<std::uintptr_t>(context->uc_mcontext.gregs[index]);
}

// A fault on an address near the stack pointer is a stack overflow: there is no stack left to throw on.
bool isStackOverflow(int signal, const siginfo_t* info, std::uintptr_t sp) {
  constexpr std::uintptr_t kNear = 64 * 1024;
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  return signal == SIGSEGV && address + kNear >= sp && address < sp + kNear;
}

// Makes the thread continue in raiseFault as if the instruction at the program counter had called it.
// Code outside every module (reached through a bad function pointer) has no unwind information; it is taken
// as just entered, its return address on top of the stack, as Windows does with leaf functions.
bool redirectToRaiseFault(int signal, const siginfo_t* info, ucontext_t* context, std::uintptr_t* pc) {
  *pc = readRegister(context, kPcRegister);
  std::uintptr_t sp = readRegister(context, kSpRegister);
  if (isStackOverflow(signal, info, sp)) return false;
  Dl_info module;
  if (dladdr(reinterpret_cast<void*>(*pc), &module) != 0) {
    // On x86-64 this slot lies in the faulting function's red zone, which only a leaf function uses and which
    // dies with its frame: nothing in a leaf can catch.
    sp -= sizeof(std::uintptr_t);
    *reinterpret_cast<std::uintptr_t*>(sp) = *pc + 1;
  }
  context->uc_mcontext.gregs[kSpRegister] = static_cast<greg_t>(sp);
  context->uc_mcontext.gregs[kPcRegister] = reinterpret_cast<greg_t>(&raiseFault);
  return true;
}
#else
// Other processors: no redirection yet, so faults keep their previous disposition.
bool redirectToRaiseFault(int, const siginfo_t*, ucontext_t*, std::uintptr_t*) { return false; }
#endif

void restoreDefault(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// Does what the previous disposition would have done with this signal.
void chainToPrevious(int signal, siginfo_t* info, ucontext_t* context) {
  struct sigaction& previous = previousActionOf(signal);
  const bool sentByKernel = info->si_code > 0;
  if (previous.sa_handler == SIG_IGN && !sentByKernel) return;
  if (previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN) {
    // A fault cannot be ignored: with the default action back, the retried instruction faults again and ends
    // the process as it would have without us. A signal that someone sent is sent again.
    restoreDefault(signal);
    if (!sentByKernel) raise(signal);
    return;
  }
  const struct sigaction handler = previous;
  if (handler.sa_flags & SA_RESETHAND) {  // the system resets such a disposition when it delivers
    previous.sa_handler = SIG_DFL;
    previous.sa_flags &= ~SA_SIGINFO;
  }
  // The mask the previous handler would have run with.
  sigset_t mask = context->uc_sigmask;
  sigorset(&mask, &mask, &handler.sa_mask);
  if (!(handler.sa_flags & SA_NODEFER)) sigaddset(&mask, signal);
  sigset_t saved;
  pthread_sigmask(SIG_SETMASK, &mask, &saved);
  if (handler.sa_flags & SA_SIGINFO) {
    handler.sa_sigaction(signal, info, context);
  } else {
    handler.sa_handler(signal);
  }
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

void onFault(int signal, siginfo_t* info, void* rawContext) {
  auto* context = static_cast<ucontext_t*>(rawContext);
  backend::FaultState& self = threadState;
  std::uintptr_t pc = 0;
  // si_code > 0: raised by the processor, not sent by kill or sigqueue.
  if (self.translator && !self.translating && info->si_code > 0 && redirectToRaiseFault(signal, info, context, &pc)) {
    self.translating = true;
    self.code = codeOf(signal, info->si_code);
    self.address = pc;
    return;
  }
  chainToPrevious(signal, info, context);
}

}  // namespace

backend::FaultState& backend::getThreadFaultState() { return threadState; }

void backend::installFaultHook() {
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], nullptr, &previousActions[i]);
  struct sigaction action {};
  action.sa_sigaction = onFault;
  // On the alternate stack where the thread has one: a previous handler may need it for stack overflows.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

// Gives each signal back its previous disposition, unless someone has installed another since.
void backend::removeFaultHook() {
  for (int i = 0; i < kSignalCount; ++i) {
    struct sigaction current;
    if (sigaction(kSignals[i], nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) &&
        current.sa_sigaction == onFault)
      sigaction(kSignals[i], &previousActions[i], nullptr);
  }
}

// The loader knows the executable only by the name it was started with; the system has its full path.
bool findModuleOfAddress(const void* address, std::string* fileName, std::uintptr_t* base) {
  *base = 0;
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || !info.dli_fbase) return false;
  *base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  const bool isExecutable = map && map->l_name && map->l_name[0] == '\0';
  if (isExecutable && getExecutablePath(fileName)) return true;
  fileName->assign(info.dli_fname ? info.dli_fname : "");
  return true;
}

}  // namespace zem_util::os
