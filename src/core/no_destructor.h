// The one way the library keeps a process-wide object: built on first use, never destroyed.
//
//   Registry& registry() {
//     static NoDestructor<Registry> instance;  // thread-safe first use; lives until the process ends
//     return *instance;
//   }
//
// Never destroying it means that static destructors of other files and libraries, and threads still running
// while the process exits (the alarm thread), can use it to the very end; there is no order of destruction to
// get wrong. What it holds is given back by the system when the process ends.
#pragma once

#include <new>
#include <utility>

namespace zem_util::detail {

template <class T>
class NoDestructor {
 public:
  template <class... Args>
  explicit NoDestructor(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T& operator*() { return *get(); }
  T* operator->() { return get(); }
  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace zem_util::detail
