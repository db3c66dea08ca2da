# The library is built as a stack of layers, one CMake object library per folder of src/. A layer may use
# only the layers it names with USES (and, through them, theirs), and the build proves it twice:
#  - includes: every file of the layer is scanned before it compiles; an include of another layer's folder or
#    of a public header that belongs to a layer it does not use stops the build with the file and line;
#  - calls (Linux shared builds): the layer's objects and those of the layers below are linked into a check
#    library that may leave no symbol undefined, so a call upward fails to link.
#
#   zem_util_add_layer(<name> [USES <layer>...] [HEADERS <public header>...] SOURCES <file>...)
#
# <name> is the folder under src/; HEADERS are the files of include/zem_util/ that the layer implements.

# Compile settings every layer shares; the objects end up in the one `zem_util` library.
add_library(zem_util_layer_settings INTERFACE)
target_include_directories(zem_util_layer_settings INTERFACE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(zem_util_layer_settings INTERFACE ZEM_UTIL_BUILDING
                           $<$<NOT:$<BOOL:${BUILD_SHARED_LIBS}>>:ZEM_UTIL_STATIC>)
target_link_libraries(zem_util_layer_settings INTERFACE zem_util_options)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Calls inside the library bind directly rather than through the PLT: nobody interposes our symbols.
  target_compile_options(zem_util_layer_settings INTERFACE -fno-semantic-interposition)
  # In position-independent code the default way to find a thread-local word is a call into the dynamic
  # loader's general lookup; descriptors make that a two-instruction call for a library loaded with the program.
  # The words on the hottest paths (the count slot, the node cache) are declared initial-exec instead; this is
  # for the others, such as the clock's per-thread second that every trace record reads.
  include(CheckCXXCompilerFlag)
  check_cxx_compiler_flag(-mtls-dialect=gnu2 zem_util_has_tls_descriptors)
  if(zem_util_has_tls_descriptors)
    target_compile_options(zem_util_layer_settings INTERFACE -mtls-dialect=gnu2)
  endif()
endif()

set(ZEM_UTIL_LAYERS "" CACHE INTERNAL "")
set(zem_util_check_calls OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND BUILD_SHARED_LIBS)
  set(zem_util_check_calls ON)
endif()

function(zem_util_add_layer name)
  cmake_parse_arguments(ARG "" "" "USES;HEADERS;SOURCES" ${ARGN})
  # What the layer may reach: itself and, transitively, every layer it uses.
  set(reach ${name})
  set(headers export.h annotations.h ${ARG_HEADERS})
  foreach(used IN LISTS ARG_USES)
    if(NOT TARGET zem_util_${used})
      message(FATAL_ERROR "layer ${name} uses ${used}, which is not defined before it")
    endif()
    get_property(used_reach GLOBAL PROPERTY ZEM_UTIL_LAYER_REACH_${used})
    get_property(used_headers GLOBAL PROPERTY ZEM_UTIL_LAYER_HEADERS_${used})
    list(APPEND reach ${used_reach})
    list(APPEND headers ${used_headers})
  endforeach()
  list(REMOVE_DUPLICATES reach)
  list(REMOVE_DUPLICATES headers)
  set_property(GLOBAL PROPERTY ZEM_UTIL_LAYER_REACH_${name} ${reach})
  set_property(GLOBAL PROPERTY ZEM_UTIL_LAYER_HEADERS_${name} ${headers})

  add_library(zem_util_${name} OBJECT ${ARG_SOURCES})
  set_target_properties(zem_util_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_link_libraries(zem_util_${name} PRIVATE zem_util_layer_settings)

  file(GLOB own_headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(scanned ${ARG_SOURCES} ${own_headers})
  list(TRANSFORM scanned PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ REGEX "^[^/]")
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.includes-checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -D "LAYER=${name}" -D "REACH=${reach}" -D "HEADERS=${headers}" -D "FILES=${scanned}"
            -D "STAMP=${stamp}" -P ${PROJECT_SOURCE_DIR}/cmake/check_layer_includes.cmake
    DEPENDS ${scanned} ${PROJECT_SOURCE_DIR}/cmake/check_layer_includes.cmake
    COMMENT "Checking the includes of layer ${name}" VERBATIM)
  add_custom_target(zem_util_${name}_includes DEPENDS ${stamp})
  add_dependencies(zem_util_${name} zem_util_${name}_includes)

  if(zem_util_check_calls)
    set(objects)
    foreach(layer IN LISTS reach)
      list(APPEND objects $<TARGET_OBJECTS:zem_util_${layer}>)
    endforeach()
    add_library(zem_util_${name}_calls SHARED ${objects})
    target_link_libraries(zem_util_${name}_calls PRIVATE zem_util_options Threads::Threads ${CMAKE_DL_LIBS})
    target_link_options(zem_util_${name}_calls PRIVATE -Wl,--no-undefined)
    set_target_properties(zem_util_${name}_calls PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()

  set(ZEM_UTIL_LAYERS ${ZEM_UTIL_LAYERS} ${name} CACHE INTERNAL "")
endfunction()
