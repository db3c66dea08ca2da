// The entries of the tests' access header, each passed on to the layer it probes.
#include "testing/test_access.h"

#include "core/block_access.h"
#include "core/format_text.h"
#include "os/locale.h"
#include "system/clock_offset.h"
#include "translator/plugin_names.h"

namespace zem_util::test_access {

void setTimeOffset(unsigned int offsetMs) { detail::setTimeOffset(offsetMs); }

unsigned getThreadLocaleId() { return os::getThreadLocaleId(); }

std::int32_t getBlockCount(const ArrayPtr<char>& text) {
  SharedArray<char>* block = detail::BlockAccess::blockOf(text);
  return block ? detail::BlockAccess::count(block).load(std::memory_order_relaxed) : 0;
}

int formatText(char* buffer, std::size_t size, const char* format, va_list args) {
  return detail::formatText(buffer, size, format, args);
}

ArrayPtr<ArrayPtr<char>> getPluginLibraryNames(const ArrayPtr<char>& name, const ArrayPtr<char>& language) {
  return detail::getPluginLibraryNames(name, language);
}

}  // namespace zem_util::test_access
