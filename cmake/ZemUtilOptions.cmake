# Warnings and sanitizers shared by every target of this project (not exported to consumers).
add_library(zem_util_options INTERFACE)
if(MSVC)
  target_compile_options(zem_util_options INTERFACE /W4 $<$<BOOL:${ZEM_UTIL_WERROR}>:/WX>)
else()
  # -Wformat=2: printf formats are checked against their arguments, and a format that is not a literal must come
  # from a caller that is itself checked (ZEM_UTIL_PRINTF_FORMAT).
  target_compile_options(zem_util_options INTERFACE -Wall -Wextra -Wpedantic -Wformat=2
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
if(MINGW AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit mingw unwinds with DWARF tables that a static libgcc knows only for its own module, so an exception
  # thrown in ZemUtil.dll could not reach a catch in the program. The shared libgcc (and the thread library it
  # needs) therefore sit beside the DLL; the C++ runtime stays static.
  target_link_options(zem_util_options INTERFACE -shared-libgcc -static-libstdc++)
  foreach(runtime_dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime_dll}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    file(REAL_PATH "${runtime_path}" runtime_path)
    list(APPEND ZEM_UTIL_MINGW_RUNTIME_DLLS "${runtime_path}")
  endforeach()
  file(COPY ${ZEM_UTIL_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_BINARY_DIR}/bin)
  install(FILES ${ZEM_UTIL_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
elseif(MINGW)
  # 64-bit unwinding goes through the system's tables, so the whole runtime links statically and the DLL,
  # tests and examples need nothing beside them.
  target_link_options(zem_util_options INTERFACE -static-libgcc -static-libstdc++ -static)
endif()
