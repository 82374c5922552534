# Shared part of the MinGW-w64 cross toolchains: Debian's mingw-w64 compilers targeting
# Windows, included by the per-architecture files after they set ZEL_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: the win32 variants of GCC 12 lack std::mutex and std::thread.
set(CMAKE_C_COMPILER ${ZEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the target's sysroot only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ZEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Exceptions are thrown by pointer from one DLL and caught in another: every module must use
# the one shared copy of the unwinder and the C++ runtime (libgcc_s_*.dll, libstdc++-6.dll),
# never a static copy of its own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-shared-libgcc")
