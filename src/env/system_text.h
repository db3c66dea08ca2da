// Passing the library's texts to the platform layer and back.
#pragma once

#include <cstring>
#include <string>

#include "zem_util/core.h"

namespace zem_util::detail {

// The text, NUL-terminated, for the operating system. False when it holds a NUL of its own: the system
// would read a shorter name than the caller gave ("lib\0x" is not "lib"), so such texts are refused.
inline bool toSystemText(const ArrayPtr<char>& text, std::string* out) {
  out->assign(text.length() > 0 ? text.toPtr() : "", static_cast<std::size_t>(text.length()));
  return std::memchr(out->data(), '\0', out->size()) == nullptr;
}

// A new text holding `text`.
inline ArrayPtr<char> newText(const std::string& text) {
  return ArrayPtr<char>(text.data(), 0, static_cast<std::int32_t>(text.size()));
}

}  // namespace zem_util::detail
