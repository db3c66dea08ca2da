// A text handle's characters as a std::string, for comparisons in tests and fuzz targets.
#pragma once

#include <zem_util/core.h>

#include <string>

namespace test_support {

// Exactly the handle's window, embedded NULs included; "" for a null or empty handle.
inline std::string text(const zem_util::ArrayPtr<char>& handle) { return handle.str(); }

}  // namespace test_support
