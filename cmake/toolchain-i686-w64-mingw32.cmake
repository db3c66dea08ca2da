# Cross build for 32-bit Windows (the x86 DLL) with mingw-w64, POSIX thread model. Built and linked only:
# running 32-bit programs would need a 32-bit Wine as well, which the build machine does not carry.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZEM_UTIL_MINGW_TRIPLE i686-w64-mingw32)
# C as well as C++: third-party projects built beside ours (GoogleTest) enable C by default.
set(CMAKE_C_COMPILER ${ZEM_UTIL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEM_UTIL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEM_UTIL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the mingw-w64 sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZEM_UTIL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
