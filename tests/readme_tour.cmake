# The README's tour compiles and runs: its C++ blocks are gathered into one program at configure time.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
string(FIND "${readme}" "## A tour" tour_start)
string(FIND "${readme}" "## Errors" tour_end)
math(EXPR tour_length "${tour_end} - ${tour_start}")
string(SUBSTRING "${readme}" ${tour_start} ${tour_length} tour)
# Gather the text between each "```cpp" line and the fence that closes it.
set(code "")
set(fence "```cpp\n")
string(LENGTH "${fence}" fence_length)
while(TRUE)
  string(FIND "${tour}" "${fence}" block_start)
  if(block_start EQUAL -1)
    break()
  endif()
  math(EXPR block_start "${block_start} + ${fence_length}")
  string(SUBSTRING "${tour}" ${block_start} -1 tour)
  string(FIND "${tour}" "\n```" block_end)
  string(SUBSTRING "${tour}" 0 ${block_end} block)
  string(APPEND code "${block}\n\n")
  string(SUBSTRING "${tour}" ${block_end} -1 tour)
endwhile()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/readme_tour.cpp.in
  "// Generated from README.md: the tour's examples, run in order.\n"
  "#include <zem_util/zem_util.h>\n\n#include <cstdio>\n\n${code}"
  "int main() {\n  tourHandles();\n  tourSystem();\n  tourEnvironment();\n  tourMatching();\n"
  "  tourMessages();\n  tourTracing();\n  tourAlarms();\n  return 0;\n}\n")
configure_file(${CMAKE_CURRENT_BINARY_DIR}/readme_tour.cpp.in ${CMAKE_CURRENT_BINARY_DIR}/readme_tour.cpp COPYONLY)
add_executable(readme_tour ${CMAKE_CURRENT_BINARY_DIR}/readme_tour.cpp)
target_link_libraries(readme_tour PRIVATE ZemUtil::zem_util zem_util_options)
add_test(NAME readme_tour COMMAND readme_tour)
set_tests_properties(readme_tour PROPERTIES LABELS threads)
