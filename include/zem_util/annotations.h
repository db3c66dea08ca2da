// Compiler annotations the library's headers use: locking rules that clang checks, and printf formats that the
// compiler checks against their arguments. Each expands to nothing where the compiler has no such check.
//
//   class Account {
//     zem_util::Mutex mutex_;
//     int balance_ ZEM_UTIL_GUARDED_BY(mutex_) = 0;  // read or written only with mutex_ held
//     void settle() ZEM_UTIL_REQUIRES(mutex_);        // callers must hold mutex_
//   };
//
// With clang and -Wthread-safety, touching `balance_` without holding `mutex_` (through a `MutexLock`) is a
// compile-time warning. Other compilers see plain declarations.
#pragma once

#if defined(__clang__)
#define ZEM_UTIL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZEM_UTIL_THREAD_ANNOTATION(x)
#endif

// A class whose objects are locks.
#define ZEM_UTIL_CAPABILITY(name) ZEM_UTIL_THREAD_ANNOTATION(capability(name))
// A class whose objects hold a lock from construction to destruction.
#define ZEM_UTIL_SCOPED_CAPABILITY ZEM_UTIL_THREAD_ANNOTATION(scoped_lockable)
// A field read or written only with the lock held; PT_: the object the field points to.
#define ZEM_UTIL_GUARDED_BY(lock) ZEM_UTIL_THREAD_ANNOTATION(guarded_by(lock))
#define ZEM_UTIL_PT_GUARDED_BY(lock) ZEM_UTIL_THREAD_ANNOTATION(pt_guarded_by(lock))
// A function that takes, releases, or needs the caller to hold (or not to hold) the locks.
#define ZEM_UTIL_ACQUIRE(...) ZEM_UTIL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ZEM_UTIL_TRY_ACQUIRE(...) ZEM_UTIL_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ZEM_UTIL_RELEASE(...) ZEM_UTIL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ZEM_UTIL_REQUIRES(...) ZEM_UTIL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ZEM_UTIL_EXCLUDES(...) ZEM_UTIL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that tells the analysis the lock is held, where the code knows it and the analysis cannot see it.
#define ZEM_UTIL_ASSERT_CAPABILITY(lock) ZEM_UTIL_THREAD_ANNOTATION(assert_capability(lock))
// A function that returns a reference to the lock it names.
#define ZEM_UTIL_RETURN_CAPABILITY(lock) ZEM_UTIL_THREAD_ANNOTATION(lock_returned(lock))
// A function whose locking the analysis cannot follow (say why beside it).
#define ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS ZEM_UTIL_THREAD_ANNOTATION(no_thread_safety_analysis)

// A printf-style function: argument `format_index` is the format, the checked arguments start at `first_arg`
// (1-based; count `this` as 1 in member functions; 0 for a va_list). GCC and clang check every call (-Wformat,
// part of -Wall). MSVC checks through an annotation on the format parameter itself (under /analyze), so a
// printf-style declaration carries both:
//
//   ArrayPtr<char> format(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(1, 2);
#if defined(__MINGW32__)
// mingw's C++ runtime formats with its own C99 printf (__USE_MINGW_ANSI_STDIO), not Microsoft's, and so does the
// library: %zu and %Lf are fine there, which the compiler's "printf" (Microsoft's rules) would refuse.
#define ZEM_UTIL_PRINTF_FORMAT(format_index, first_arg) __attribute__((format(gnu_printf, format_index, first_arg)))
#elif defined(__GNUC__) || defined(__clang__)
#define ZEM_UTIL_PRINTF_FORMAT(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#else
#define ZEM_UTIL_PRINTF_FORMAT(format_index, first_arg)
#endif
#if defined(_MSC_VER)
#include <sal.h>
#define ZEM_UTIL_PRINTF_FORMAT_STRING _Printf_format_string_
#else
#define ZEM_UTIL_PRINTF_FORMAT_STRING
#endif
