// Structured-exception translation: the library's fault translator and its per-thread scope.
#include <cstdint>
#include <string>

#include "os/faults.h"
#include "zem_util/system.h"

namespace zem_util {

namespace {

struct ExceptionName {
  unsigned int code;
  const char* name;
};

constexpr ExceptionName kExceptionNames[] = {
    {0x80000001, "Guard Page"},
    {0x80000002, "Datatype Misalignment"},
    {0x80000003, "Breakpoint"},
    {0x80000004, "Single Step"},
    {0xC0000005, "Access Violation"},
    {0xC0000006, "In Page Error"},
    {0xC0000008, "Invalid Handle"},
    {0xC000001D, "Illegal Instruction"},
    {0xC0000025, "Non-continuable Exception"},
    {0xC0000026, "Invalid Disposition"},
    {0xC000008C, "Array Bounds Exceeded"},
    {0xC000008D, "Float Denormal Operand"},
    {0xC000008E, "Floating Point Divide by Zero"},
    {0xC000008F, "Floating Point Inexact Result"},
    {0xC0000090, "Floating Point Invalid Operation"},
    {0xC0000091, "Floating Point Overflow"},
    {0xC0000092, "Floating Point Stack Check"},
    {0xC0000093, "Floating Point Underflow"},
    {0xC0000094, "Integer Division by Zero"},
    {0xC0000095, "Integer Overflow"},
    {0xC0000096, "Privileged Instruction"},
    {0xC00000FD, "Stack Overflow"},
};

const char* getExceptionName(unsigned int code) {
  for (const ExceptionName& entry : kExceptionNames) {
    if (entry.code == code) return entry.name;
  }
  return "unnamed";
}

// Module names are cut where the system's 260-character buffer would cut them, which also keeps the message
// far below the 3000 characters of `format`.
constexpr std::size_t kMaxModuleName = 259;

// Runs in the faulting thread, in ordinary context (the platform layer arranges that).
[[noreturn]] void translateFault(unsigned int code, std::uintptr_t address) {
  std::string module;
  std::uintptr_t base = 0;
  if (!os::findModuleOfAddress(reinterpret_cast<const void*>(address), &module, &base) || module.empty())
    module = "Unknown";
  if (module.size() > kMaxModuleName) module.resize(kMaxModuleName);
  // Full-width numbers on 64-bit systems: the same text as the 32-bit form below 2^32.
  throw Exception(format("System exception %u:%s occured in module %s at offset %llu (address %llu)", code,
                         getExceptionName(code), module.c_str(), static_cast<unsigned long long>(address - base),
                         static_cast<unsigned long long>(address)));
}

}  // namespace

WindowsExceptionHandler::WindowsExceptionHandler()
    : previousTranslator_(os::setThreadFaultTranslator(translateFault)) {}

WindowsExceptionHandler::~WindowsExceptionHandler() { os::setThreadFaultTranslator(previousTranslator_); }

}  // namespace zem_util
