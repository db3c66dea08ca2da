// Reference-counted handles and the library's string type.
//
//   class Job : public zem_util::Shared { ... };
//   zem_util::Ptr<Job> job(new Job);          // count 1: the handle owns the new object
//   zem_util::Ptr<Job> other = job;           // shared, count 2; deleted when both are gone
//
//   zem_util::ArrayPtr<char> name("net.log"); // a counted copy of the text
//   zem_util::ArrayPtr<char> tail = name;     // shares the block: no characters copied
//   zem_util::ArrayPtr<char> full = zem_util::format("%s.%d", name.toPtr(), 2);  // "net.log.2"
//
// Handles are values: copying one takes a reference, destroying one releases it, and the object or block goes
// away with its last handle. Every count changes under the process-wide reference-count mutex, so handles to one
// object may be copied and released from any number of threads; a single handle variable, like any other
// variable, must not be assigned from two threads at once.
//
// `ArrayPtr<T>` shows a window of a shared block: slices share storage and there is no copy-on-write, so a
// slice is generally not NUL-terminated (use `toNullTerminatedPtr` to get a C string).
//
// Lengths are ints. A text that would be longer than an int can count, or a negative number of elements, is
// refused with std::bad_array_new_length whose `what()` names the function that refused it:
// "zem_util::operator+: a text of more than 2147483646 characters".
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "zem_util/annotations.h"
#include "zem_util/export.h"

namespace zem_util {

namespace detail {
// The reference-count mutex as every count change sees it. A change does not take the mutex's word: it marks
// its own thread busy, checks that no thread holds the mutex, and changes the count with one atomic
// instruction. A thread that takes the mutex (through `getRefCountMutex()`) sets the word and then waits out
// the changes already under way, so counts still change only while the mutex is free to them, and a holder sees
// every count frozen. Only these functions and the library touch this state; the argument why no change slips
// past a holder is in src/core/count_lock.cpp.
struct alignas(64) CountLockState {        // a cache line of its own, written only when the mutex is taken
  std::atomic<std::uint32_t> held{0};      // 1 while some thread holds the mutex
  std::atomic<std::uint32_t> sleepers{0};  // threads queued to sleep until it is free
};
ZEM_UTIL_EXPORT extern CountLockState countLockState;

// A count change that cannot take the quick way: the mutex is held (perhaps by the calling thread), or the
// calling thread has no slot of its own yet. Returns the new value.
ZEM_UTIL_EXPORT std::int32_t changeCountSlowly(std::atomic<std::int32_t>& count, std::int32_t delta) noexcept;

#if ZEM_UTIL_INLINE_COUNT_CHANGE
// What a holder of the mutex looks at in each thread: `busy` while the thread is between its look at the word
// and the end of its change; `quick` once the thread is known to the mutex (count_lock.cpp).
struct CountSlot {
  std::atomic<std::uint32_t> busy;
  std::atomic<std::uint32_t> quick;
};
#if defined(ZEM_UTIL_BUILDING) && !defined(ZEM_UTIL_STATIC)
// Inside the shared library, which lives in the startup block of thread-local storage anyway: one load from the
// thread pointer. Elsewhere the compiler's and linker's choice (a program gets the single load all the same), so
// that a plug-in that copies handles, or links the static library, can still be loaded by any dlopen.
ZEM_UTIL_EXPORT extern __thread CountSlot countSlot __attribute__((tls_model("initial-exec")));
#else
ZEM_UTIL_EXPORT extern __thread CountSlot countSlot;
#endif
#endif

// Adds `delta` (1 or -1) to a count under the reference-count mutex and returns the new value.
inline std::int32_t changeCount(std::atomic<std::int32_t>& count, std::int32_t delta) noexcept {
#if ZEM_UTIL_INLINE_COUNT_CHANGE
  CountSlot& self = countSlot;
  if (self.quick.load(std::memory_order_relaxed) != 0) {
    self.busy.store(1, std::memory_order_relaxed);
    // Only the compiler is stopped here: a holder of the mutex makes every thread's processor order the two.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (countLockState.held.load(std::memory_order_relaxed) == 0) {
      const std::int32_t changed = count.fetch_add(delta, std::memory_order_acq_rel) + delta;
      self.busy.store(0, std::memory_order_release);
      return changed;
    }
    self.busy.store(0, std::memory_order_relaxed);
  }
#endif
  return changeCountSlowly(count, delta);
}

inline void retainCount(std::atomic<std::int32_t>& count) noexcept { changeCount(count, 1); }
inline std::int32_t releaseCount(std::atomic<std::int32_t>& count) noexcept { return changeCount(count, -1); }

}  // namespace detail

// Base class of every reference-counted object. Create derived objects with `new` and hand them to a `Ptr` at
// once; the last `Ptr` to let go deletes the object through the virtual destructor.
class ZEM_UTIL_EXPORT Shared {
 public:
  Shared() = default;
  // Copies the count, like every other field.
  Shared(const Shared& other) noexcept : count(other.count.load(std::memory_order_relaxed)) {}
  Shared& operator=(const Shared& other) noexcept {
    count.store(other.count.load(std::memory_order_relaxed), std::memory_order_relaxed);
    return *this;
  }
  virtual ~Shared();

 private:
  template <class>
  friend class Ptr;
  std::atomic<std::int32_t> count{0};  // number of `Ptr`s that refer to this object
};

// Counted handle of an object derived from `Shared`. Null by default.
template <class T>
class Ptr {
 public:
  Ptr() noexcept = default;
  // Takes a reference to `object` (none when it is null).
  Ptr(T* object) noexcept : object_(object) { retain(); }  // NOLINT: implicit by design
  Ptr(const Ptr& other) noexcept : object_(other.object_) { retain(); }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ptr(const Ptr<U>& other) noexcept : object_(other.get()) {  // NOLINT: implicit like T* conversions
    retain();
  }
  ~Ptr() { release(); }

  // Same object: no count changes. Otherwise the new object is taken before the old one is released, so that
  // `node = node->next` is safe when `node` held the last reference to the old object.
  Ptr& operator=(const Ptr& other) noexcept {
    if (object_ != other.object_) {
      T* old = object_;
      object_ = other.object_;
      retain();
      releaseObject(old);
    }
    return *this;
  }

  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  bool isNull() const noexcept { return object_ == nullptr; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  friend bool operator==(const Ptr& a, const Ptr& b) noexcept { return a.object_ == b.object_; }
  friend bool operator!=(const Ptr& a, const Ptr& b) noexcept { return a.object_ != b.object_; }

 private:
  void retain() noexcept {
    if (object_) detail::retainCount(static_cast<Shared*>(object_)->count);
  }
  void release() noexcept { releaseObject(object_); }
  static void releaseObject(T* object) noexcept {
    if (object && detail::releaseCount(static_cast<Shared*>(object)->count) == 0) delete object;
  }

  T* object_ = nullptr;
};

// Handles ordered by the address of their object (null first), as std::less orders pointers, so that they can key
// a std::map or std::set; std::hash below hashes the same address.
template <class T>
bool operator<(const Ptr<T>& a, const Ptr<T>& b) noexcept {
  return std::less<T*>()(a.get(), b.get());
}

namespace detail {
template <class T>
class ArrayHandle;
// The library's own reach into blocks and handles (src/core/block_access.h).
struct BlockAccess;
// Throws an exception derived from std::bad_array_new_length whose `what()` is `message`, which names the
// refusing function: "zem_util::CstStr::cat: a text of more than 2147483647 characters".
[[noreturn]] ZEM_UTIL_EXPORT void throwLengthError(const char* message);
}  // namespace detail

// A counted block of `length` elements followed by one terminator element (NUL for `char`, a null handle for
// handle elements), allocated together with its header. Never copied: handles share it, and only the handles
// (and the library's strings) see inside it.
template <class T>
class SharedArray {
 private:
  template <class>
  friend class detail::ArrayHandle;
  friend struct detail::BlockAccess;

  // Count 0; `char` elements are left for the caller to fill (the terminator is NUL), others are
  // value-initialised. A negative length throws std::bad_array_new_length; std::bad_alloc when out of memory.
  static SharedArray* create(std::int32_t length) {
    if (length < 0) detail::throwLengthError("zem_util::ArrayPtr::ArrayPtr: a negative number of elements");
    const std::size_t elements = static_cast<std::size_t>(length) + 1;
    void* raw = ::operator new(dataOffset() + elements * sizeof(T));
    auto* block = static_cast<SharedArray*>(raw);
    new (&block->count) std::atomic<std::int32_t>(0);
    block->length = length;
    block->data = reinterpret_cast<T*>(static_cast<char*>(raw) + dataOffset());
    if constexpr (std::is_same_v<T, char>) {
      block->data[length] = '\0';
    } else {
      std::size_t built = 0;
      try {
        for (; built < elements; ++built) new (block->data + built) T();
      } catch (...) {
        while (built > 0) block->data[--built].~T();
        ::operator delete(raw);
        throw;
      }
    }
    return block;
  }

  // Destroys every element, terminator included, then frees the block.
  static void destroy(SharedArray* block) noexcept {
    if constexpr (!std::is_trivially_destructible_v<T>) {
      for (std::int32_t i = 0; i <= block->length; ++i) block->data[i].~T();
    }
    ::operator delete(static_cast<void*>(block));
  }

  static constexpr std::size_t dataOffset() { return (sizeof(SharedArray) + alignof(T) - 1) / alignof(T) * alignof(T); }

  std::atomic<std::int32_t> count;  // handles sharing the block
  std::int32_t length;              // elements, terminator excluded
  T* data;                          // length + 1 elements
};

namespace detail {
// What every `ArrayPtr<T>` does, whatever T is.
template <class T>
class ArrayHandle {
 public:
  ArrayHandle() noexcept = default;
  // A new block of n elements, shown whole. Negative n throws std::bad_array_new_length.
  explicit ArrayHandle(std::int32_t n) : block_(SharedArray<T>::create(n)), length_(n) {
    block_->count.store(1, std::memory_order_relaxed);
  }
  ArrayHandle(const ArrayHandle& other) noexcept
      : block_(other.block_), length_(other.length_), offset_(other.offset_) {
    if (block_) retainCount(block_->count);
  }
  ~ArrayHandle() { releaseBlock(block_); }

  // On the same block only the window changes; otherwise the new block is taken, then the old one released.
  ArrayHandle& operator=(const ArrayHandle& other) noexcept {
    if (block_ != other.block_) {
      SharedArray<T>* old = block_;
      block_ = other.block_;
      if (block_) retainCount(block_->count);
      releaseBlock(old);
    }
    length_ = other.length_;
    offset_ = other.offset_;
    return *this;
  }

  std::int32_t length() const noexcept { return length_; }
  std::int32_t offset() const noexcept { return offset_; }
  bool isNull() const noexcept { return block_ == nullptr; }
  // Address of the first element shown; null for a null handle.
  T* toPtr() const noexcept { return block_ ? block_->data + offset_ : nullptr; }
  // Unchecked: 0 <= i < length() is the caller's business.
  T& operator[](std::int32_t i) const noexcept { return block_->data[offset_ + i]; }
  // The window as a contiguous range, for the standard library's algorithms and range-for: `data()` is
  // `toPtr()`, `size()` is `length()`. A null handle is the empty range (both ends null).
  T* data() const noexcept { return toPtr(); }
  std::size_t size() const noexcept { return static_cast<std::size_t>(length_); }
  bool empty() const noexcept { return length_ == 0; }
  T* begin() const noexcept { return toPtr(); }
  T* end() const noexcept { return toPtr() + length_; }

  // Whether both handles show windows of one block (whatever the windows), so that characters written through
  // one are seen through the other. Two null handles share nothing.
  bool sharesBlockWith(const ArrayHandle& other) const noexcept { return block_ && block_ == other.block_; }

  // A handle on the same block showing `count` elements from `start` (relative to this window). Unchecked.
  ArrayHandle slice(std::int32_t start, std::int32_t count) const noexcept {
    ArrayHandle result(*this);
    result.offset_ += start;
    result.length_ = count;
    return result;
  }

  // Rebinds this handle to `count` elements of `source` from `start` (relative to its window): what
  // `*this = source.slice(start, count)` does, without the temporary handle, so that no count changes when both
  // already share the block. Unchecked.
  void setSlice(const ArrayHandle& source, std::int32_t start, std::int32_t count) noexcept {
    const std::int32_t offset = source.offset_ + start;  // read before `source` may be this very handle
    *this = source;
    offset_ = offset;
    length_ = count;
  }

 protected:
  // Makes this handle the first owner of a freshly created block.
  void adopt(SharedArray<T>* block) noexcept {
    block->count.store(1, std::memory_order_relaxed);
    releaseBlock(block_);
    block_ = block;
    length_ = block->length;
    offset_ = 0;
  }

 private:
  friend struct BlockAccess;

  static void releaseBlock(SharedArray<T>* block) noexcept {
    if (block && releaseCount(block->count) == 0) SharedArray<T>::destroy(block);
  }

  SharedArray<T>* block_ = nullptr;
  std::int32_t length_ = 0;
  std::int32_t offset_ = 0;
};
}  // namespace detail

// Counted handle on a window of a `SharedArray<T>`.
template <class T>
class ArrayPtr : public detail::ArrayHandle<T> {
  using Base = detail::ArrayHandle<T>;

 public:
  ArrayPtr() noexcept = default;
  explicit ArrayPtr(std::int32_t n) : Base(n) {}
  ArrayPtr(const Base& other) noexcept : Base(other) {}  // NOLINT: slices come back as the base

  // For lists of texts: shares the texts of `list` up to (not including) its first empty element, in a new
  // block with a null terminator. A null `list` gives a null handle.
  template <class U = T, class = std::enable_if_t<std::is_base_of_v<detail::ArrayHandle<char>, U>>>
  ArrayPtr& operator=(const U* list) {
    if (!list) return *this = ArrayPtr();
    std::int32_t n = 0;
    while (list[n].length() != 0) ++n;
    ArrayPtr result(n);
    for (std::int32_t i = 0; i < n; ++i) result[i] = list[i];
    return *this = result;
  }
};

// The string of the whole interface: a window of a shared, NUL-terminated character block.
// A null handle (no block) and an empty one both have length 0 and compare equal; only the pointer accessors
// tell them apart (null versus a pointer to "").
template <>
class ZEM_UTIL_EXPORT ArrayPtr<char> : public detail::ArrayHandle<char> {
  using Base = detail::ArrayHandle<char>;

 public:
  ArrayPtr() noexcept = default;
  // n characters for the caller to fill, then a NUL.
  explicit ArrayPtr(std::int32_t n) : Base(n) {}
  ArrayPtr(const Base& other) noexcept : Base(other) {}  // NOLINT: slices come back as the base
  // A copy of the C string; null for a null pointer.
  ArrayPtr(const char* text);  // NOLINT: implicit, texts are passed everywhere as ArrayPtr<char>
  // A copy of count characters at source + start, embedded NULs included; null for a null source.
  ArrayPtr(const char* source, std::int32_t start, std::int32_t count);

  // A copy of the characters of `text`, embedded NULs included; null for a view without data
  // (`std::string_view()`), empty for "". Explicit: it copies, where copying a handle never does. Longer than
  // 2147483646 characters throws std::bad_array_new_length.
  explicit ArrayPtr(std::string_view text);

  // The window as a C string. When the window already ends at a NUL its address is returned; otherwise this
  // handle is rebound to a private NUL-terminated copy (other handles keep the old block). Null for a null handle.
  char* toNullTerminatedPtr();

  // The window, not copied: valid while some handle keeps the block, and it sees whatever is later written into
  // the block. Not NUL-terminated in general. A null handle gives `std::string_view()`.
  std::string_view view() const noexcept { return std::string_view(toPtr(), size()); }
  // A copy of the window.
  std::string str() const { return std::string(view()); }
};

// Same length and the same bytes (exact, case-sensitive).
ZEM_UTIL_EXPORT bool operator==(const ArrayPtr<char>& a, const ArrayPtr<char>& b) noexcept;
inline bool operator!=(const ArrayPtr<char>& a, const ArrayPtr<char>& b) noexcept { return !(a == b); }

namespace detail {
// The library's order of texts, the one of `CstStr::cmp`: bytes taken as signed (0x80 and above sort before
// ASCII), a prefix before the longer text. Negative, 0 or positive; 0 exactly for equal texts.
ZEM_UTIL_EXPORT int compareTexts(std::string_view a, std::string_view b) noexcept;
}  // namespace detail

// Ordering consistent with ==, so that handles can key a std::map or std::set: exactly one of a < b, a == b,
// b < a holds. The order of `CstStr`: "B" < "a" < "ab", and "\xE9" < "A" (signed bytes).
inline bool operator<(const ArrayPtr<char>& a, const ArrayPtr<char>& b) noexcept {
  return detail::compareTexts(a.view(), b.view()) < 0;
}
inline bool operator>(const ArrayPtr<char>& a, const ArrayPtr<char>& b) noexcept { return b < a; }
inline bool operator<=(const ArrayPtr<char>& a, const ArrayPtr<char>& b) noexcept { return !(b < a); }
inline bool operator>=(const ArrayPtr<char>& a, const ArrayPtr<char>& b) noexcept { return !(a < b); }

// Writes the window like a std::string_view (field width and fill apply); nothing for a null handle.
ZEM_UTIL_EXPORT std::ostream& operator<<(std::ostream& out, const ArrayPtr<char>& text);

namespace detail {
// The texts that compare with one another by their characters, each seen as a std::string_view: `ArrayPtr<char>`
// (its window), C strings (char arrays and pointers; null reads as "") and `CstStr` (cst_str.h). `kind` tells
// them apart: two texts of one kind compare through their own operators.
template <class T, class = void>
struct TextView {
  static constexpr int kind = 0;  // not a text
};
template <>
struct TextView<ArrayPtr<char>> {
  static constexpr int kind = 1;
  static std::string_view of(const ArrayPtr<char>& text) noexcept { return text.view(); }
};
template <class T>
struct TextView<
    T, std::enable_if_t<std::is_same_v<std::decay_t<T>, char*> || std::is_same_v<std::decay_t<T>, const char*>>> {
  static constexpr int kind = 2;
  static std::string_view of(const char* text) noexcept { return text ? std::string_view(text) : std::string_view(); }
};
template <class A, class B>
constexpr bool kMixedTexts = TextView<A>::kind != 0 && TextView<B>::kind != 0 && TextView<A>::kind != TextView<B>::kind;
}  // namespace detail

// Comparisons across kinds of text: an `ArrayPtr<char>` with a C string or a `CstStr`, either way round. The same
// answers as converting one side to the other, without converting (nothing is copied), and without the ambiguity
// of two possible conversions. Templates, so that only these exact pairs reach them.
//   zem_util::ArrayPtr<char>("net.log") == "net.log"            // true
//   zem_util::CstStr("abc") < zem_util::ArrayPtr<char>("abd")  // true
template <class A, class B, std::enable_if_t<detail::kMixedTexts<A, B>, int> = 0>
bool operator==(const A& a, const B& b) {
  return detail::TextView<A>::of(a) == detail::TextView<B>::of(b);
}
template <class A, class B, std::enable_if_t<detail::kMixedTexts<A, B>, int> = 0>
bool operator!=(const A& a, const B& b) {
  return !(a == b);
}
template <class A, class B, std::enable_if_t<detail::kMixedTexts<A, B>, int> = 0>
bool operator<(const A& a, const B& b) {
  return detail::compareTexts(detail::TextView<A>::of(a), detail::TextView<B>::of(b)) < 0;
}
template <class A, class B, std::enable_if_t<detail::kMixedTexts<A, B>, int> = 0>
bool operator>(const A& a, const B& b) {
  return b < a;
}
template <class A, class B, std::enable_if_t<detail::kMixedTexts<A, B>, int> = 0>
bool operator<=(const A& a, const B& b) {
  return !(b < a);
}
template <class A, class B, std::enable_if_t<detail::kMixedTexts<A, B>, int> = 0>
bool operator>=(const A& a, const B& b) {
  return !(a < b);
}

// A new block holding a's characters then b's; a null operand adds nothing. Never null.
ZEM_UTIL_EXPORT ArrayPtr<char> operator+(const ArrayPtr<char>& a, const ArrayPtr<char>& b);
ZEM_UTIL_EXPORT ArrayPtr<char> operator+(const ArrayPtr<char>& a, const char* b);

// The hash of every table of the library. 0 for null and empty texts; "abc" -> 0x616260. Texts of up to 4
// characters are folded by 8 bits a byte, longer ones by 4 bits at every (length / 8)-th byte, so a long
// key costs no more than a short one.
ZEM_UTIL_EXPORT std::uint32_t hash(const ArrayPtr<char>& text) noexcept;

// printf-style formatting into a new text. Results over 3000 characters are refused: a `const char*` (not an
// `Exception`) is thrown, pointing to "'zem_util::format' cannot be used to format more than 3000
// characters !". Nothing is ever written past the 3000 characters. An encoding error gives an empty text.
ZEM_UTIL_EXPORT ArrayPtr<char> format(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...)
    ZEM_UTIL_PRINTF_FORMAT(1, 2);

}  // namespace zem_util

// Handles as keys of std::unordered_map and std::unordered_set. A `Ptr` hashes its object's address. A text
// hashes as the standard library hashes its characters (std::hash<std::string_view>), so equal texts hash alike
// whatever holds them; not `zem_util::hash`, which reads only about eight bytes of a long text and would crowd
// keys that differ elsewhere into one bucket.
namespace std {
template <class T>
struct hash<zem_util::Ptr<T>> {
  size_t operator()(const zem_util::Ptr<T>& handle) const noexcept { return hash<T*>()(handle.get()); }
};
template <>
struct hash<zem_util::ArrayPtr<char>> {
  size_t operator()(const zem_util::ArrayPtr<char>& text) const noexcept { return hash<string_view>()(text.view()); }
};
}  // namespace std
