# 64-bit Windows (x86_64) with Debian's MinGW-w64 compilers (g++-mingw-w64-x86-64). Programs
# built with it run under Wine (wine64) on this machine, which is how the tests run.
set(ZEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Debian keeps wine64 out of PATH (in /usr/lib/wine); the `wine` command would pick a 32-bit
# loader first if one were installed.
find_program(ZEL_WINE64 NAMES wine64 wine64-stable PATHS /usr/lib/wine /usr/lib/wine-stable
             DOC "Wine loader for 64-bit Windows programs")
if(ZEL_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEL_WINE64})
endif()
