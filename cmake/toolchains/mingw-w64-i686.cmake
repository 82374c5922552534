# 32-bit Windows (i686), the product's own platform, with Debian's MinGW-w64 compilers
# (g++-mingw-w64-i686). No emulator: 32-bit Windows code cannot run on the build machines
# (they have no 32-bit Wine), so what this toolchain builds is inspected, not run.
set(ZEL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
