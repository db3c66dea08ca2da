# What both mingw-w64 toolchain files share; they set ZEM_UTIL_MINGW_TRIPLE and the processor first.
set(CMAKE_SYSTEM_NAME Windows)

# C as well as C++: third-party projects built beside ours (GoogleTest) enable C by default. The POSIX thread
# model, so that std::thread and std::mutex exist.
set(CMAKE_C_COMPILER ${ZEM_UTIL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEM_UTIL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEM_UTIL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the mingw-w64 sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZEM_UTIL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
