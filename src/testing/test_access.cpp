// The representation probes of the tests' access header (the clock hook lives with the clock).
#include "testing/test_access.h"

#include "core/block_access.h"

namespace zem_util::test_access {

std::int32_t getBlockCount(const ArrayPtr<char>& text) {
  SharedArray<char>* block = detail::BlockAccess::blockOf(text);
  return block ? detail::BlockAccess::count(block) : 0;
}

}  // namespace zem_util::test_access
