// The library's own reach into counted blocks and the handles on them: the fields that the public headers keep
// private to the handle machinery, for the strings and the probes that build and share blocks themselves.
#pragma once

#include <cstdint>

#include "zem_util/core.h"

namespace zem_util::detail {

struct BlockAccess {
  // A new block of `length` elements with count 0 (see SharedArray::create).
  template <class T>
  static SharedArray<T>* create(std::int32_t length) {
    return SharedArray<T>::create(length);
  }
  template <class T>
  static void destroy(SharedArray<T>* block) noexcept {
    SharedArray<T>::destroy(block);
  }

  template <class T>
  static std::atomic<std::int32_t>& count(SharedArray<T>* block) noexcept {
    return block->count;
  }
  template <class T>
  static std::int32_t& length(SharedArray<T>* block) noexcept {
    return block->length;
  }
  template <class T>
  static T* data(SharedArray<T>* block) noexcept {
    return block->data;
  }

  // The block a handle shows, or null.
  template <class T>
  static SharedArray<T>* blockOf(const ArrayHandle<T>& handle) noexcept {
    return handle.block_;
  }

  // A handle showing `length` elements of `block` from `offset`, taking a reference to it.
  template <class T>
  static ArrayHandle<T> window(SharedArray<T>* block, std::int32_t offset, std::int32_t length) noexcept {
    ArrayHandle<T> handle;
    retainCount(block->count);
    handle.block_ = block;
    handle.offset_ = offset;
    handle.length_ = length;
    return handle;
  }
};

}  // namespace zem_util::detail
