# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DDEMO_PLUGIN_SOURCE=... -DSHARED=ON|OFF -P check_package.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${output}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
    -DDEMO_PLUGIN_SOURCE=${DEMO_PLUGIN_SOURCE})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer --plugin)

# The plug-in must load wherever dlopen is called: no text relocations, and no initial-exec TLS, which draws on
# the small static TLS reserve that every dlopen shares.
find_program(READELF readelf)
if(READELF AND EXISTS ${WORK_DIR}/build/DemoMsg_en.so)
  execute_process(COMMAND ${READELF} -d ${WORK_DIR}/build/DemoMsg_en.so OUTPUT_VARIABLE dynamic)
  if(dynamic MATCHES "STATIC_TLS|TEXTREL")
    message(FATAL_ERROR "DemoMsg_en.so needs static TLS or text relocations:\n${dynamic}")
  endif()
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
  string(REPLACE ";" ":" pc_path "${pc_dirs}")
  set(ENV{PKG_CONFIG_PATH} ${pc_path})
  set(static_flag "")
  if(NOT SHARED)
    set(static_flag --static)  # the libraries a static libzemutil.a needs besides itself
  endif()
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs ${static_flag} zemutil OUTPUT_VARIABLE flags
                  RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know zemutil")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(GET pc_dirs 0 first_pc_dir)
  get_filename_component(libdir ${first_pc_dir} DIRECTORY)
  run(c++ -std=c++17 ${SOURCE_DIR}/main.cpp ${flags} -Wl,-rpath,${libdir} -o ${WORK_DIR}/consumer_pc)
  run(${WORK_DIR}/consumer_pc)
else()
  message(STATUS "pkg-config not found: the pkg-config half was not checked")
endif()
