# Warnings and sanitizers shared by every target of this project (not exported to consumers).
add_library(zem_util_options INTERFACE)
if(MSVC)
  target_compile_options(zem_util_options INTERFACE /W4 $<$<BOOL:${ZEM_UTIL_WERROR}>:/WX>)
else()
  target_compile_options(zem_util_options INTERFACE -Wall -Wextra -Wpedantic
                         $<$<BOOL:${ZEM_UTIL_WERROR}>:-Werror>)
endif()
if(ZEM_UTIL_SANITIZE)
  target_compile_options(zem_util_options INTERFACE -fsanitize=${ZEM_UTIL_SANITIZE} -fno-omit-frame-pointer
                         -fno-sanitize-recover=all)
  target_link_options(zem_util_options INTERFACE -fsanitize=${ZEM_UTIL_SANITIZE})
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
