// The entries of the tests' access header, each passed on to the layer it probes.
#include "testing/test_access.h"

#include "core/block_access.h"
#include "os/locale.h"
#include "system/clock_offset.h"

namespace zem_util::test_access {

void setTimeOffset(unsigned int offsetMs) { detail::setTimeOffset(offsetMs); }

unsigned getThreadLocaleId() { return os::getThreadLocaleId(); }

std::int32_t getBlockCount(const ArrayPtr<char>& text) {
  SharedArray<char>* block = detail::BlockAccess::blockOf(text);
  return block ? detail::BlockAccess::count(block) : 0;
}

}  // namespace zem_util::test_access
