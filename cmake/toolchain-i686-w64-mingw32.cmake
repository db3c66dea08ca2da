# Cross build for 32-bit Windows (the x86 DLL) with mingw-w64. Built and linked only: running 32-bit programs
# would need a 32-bit Wine as well, which the build machine does not carry.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZEM_UTIL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
