// What the strings need to meet the standard library: their common order, and writing them to streams.
#include <ostream>

#include "zem_util/core.h"
#include "zem_util/cst_str.h"

namespace zem_util {

int detail::compareTexts(std::string_view a, std::string_view b) noexcept {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    if (a[i] != b[i]) return static_cast<signed char>(a[i]) < static_cast<signed char>(b[i]) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

std::ostream& operator<<(std::ostream& out, const ArrayPtr<char>& text) { return out << text.view(); }

std::ostream& operator<<(std::ostream& out, const CstStr& text) { return out << text.view(); }

}  // namespace zem_util
