# Cross build for 64-bit Windows with mingw-w64 (the POSIX thread model, so that std::thread and std::mutex
# exist), tests run under Wine.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZEM_UTIL_MINGW_TRIPLE x86_64-w64-mingw32)
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

# ctest (and add_custom_command on built programs) run the .exe files through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine64-run)
