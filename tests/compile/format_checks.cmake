# cmake -DCOMPILER=... -DINCLUDE_DIR=... -DSOURCE=... -P format_checks.cmake
# Compiles SOURCE once per "#if CASE == n" branch, format warnings as errors: case 0 must compile, every other
# case must be refused.
file(STRINGS ${SOURCE} cases REGEX "^#(el)?if CASE == [0-9]+$")
list(LENGTH cases count)
math(EXPR last "${count} - 1")
set(failures "")
foreach(case RANGE ${last})
  execute_process(COMMAND ${COMPILER} -std=c++17 -fsyntax-only -Werror=format -I${INCLUDE_DIR} -DCASE=${case}
                          ${SOURCE}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(case EQUAL 0 AND NOT result EQUAL 0)
    string(APPEND failures "case 0 (every argument right) does not compile:\n${output}\n")
  elseif(case GREATER 0 AND result EQUAL 0)
    string(APPEND failures "case ${case} (a wrong argument) compiles\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "${count} cases: the right one compiles, the ${last} wrong ones do not")
