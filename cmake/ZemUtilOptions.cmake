# Warnings and sanitizers shared by every target of this project (not exported to consumers).
add_library(zem_util_options INTERFACE)
if(MSVC)
  target_compile_options(zem_util_options INTERFACE /W4 $<$<BOOL:${ZEM_UTIL_WERROR}>:/WX>)
else()
  target_compile_options(zem_util_options INTERFACE -Wall -Wextra -Wpedantic
                         $<$<BOOL:${ZEM_UTIL_WERROR}>:-Werror>)
endif()
set(zem_util_sanitizers "${ZEM_UTIL_SANITIZE}")
if(ZEM_UTIL_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZEM_UTIL_BUILD_FUZZERS needs clang: configure with CC=clang CXX=clang++")
  endif()
  if(NOT zem_util_sanitizers)
    set(zem_util_sanitizers address,undefined)
  endif()
  # Coverage feedback from every target, the library included, so that the fuzzers see inside it.
  target_compile_options(zem_util_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(zem_util_sanitizers)
  target_compile_options(zem_util_options INTERFACE -fsanitize=${zem_util_sanitizers} -fno-omit-frame-pointer
                         -fno-sanitize-recover=all)
  target_link_options(zem_util_options INTERFACE -fsanitize=${zem_util_sanitizers})
endif()
if(MINGW)
  # The DLL, tests and examples carry their own runtime: nothing needs to sit beside them.
  target_link_options(zem_util_options INTERFACE -static-libgcc -static-libstdc++ -static)
endif()
