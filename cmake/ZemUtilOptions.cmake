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
if(MINGW)
  # The DLL, tests and examples carry their own runtime: nothing needs to sit beside them.
  target_link_options(zem_util_options INTERFACE -static-libgcc -static-libstdc++ -static)
endif()
