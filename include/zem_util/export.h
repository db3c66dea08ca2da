// The macros that mark what is exported: the library's public interface, and a plug-in's entry points.
//
// ZEM_UTIL_EXPORT goes on every exported class and free function. The library is built with hidden
// visibility, so nothing else leaks out of libzemutil.so / ZemUtil.dll. Static builds define ZEM_UTIL_STATIC.
// ZEM_UTIL_PLUGIN_EXPORT is what a plug-in library puts on the entry points it exports itself.
// ZEM_UTIL_INLINE_COUNT_CHANGE says whether handles change counts inline (below).
#pragma once

#if defined(_WIN32)
#define ZEM_UTIL_PLUGIN_EXPORT __declspec(dllexport)
#else
#define ZEM_UTIL_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#if defined(ZEM_UTIL_STATIC)
#define ZEM_UTIL_EXPORT
#elif defined(_WIN32)
#if defined(ZEM_UTIL_BUILDING)
#define ZEM_UTIL_EXPORT __declspec(dllexport)
#else
#define ZEM_UTIL_EXPORT __declspec(dllimport)
#endif
#else
#define ZEM_UTIL_EXPORT __attribute__((visibility("default")))
#endif

// Whether a handle's count change may run inline in the caller's code. It reads a thread-local word of the
// library, and a Windows DLL cannot export thread-local data, so there a count change is a call.
#if defined(__GNUC__) && !defined(_WIN32)
#define ZEM_UTIL_INLINE_COUNT_CHANGE 1
#else
#define ZEM_UTIL_INLINE_COUNT_CHANGE 0
#endif
