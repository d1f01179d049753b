# Cross toolchain: 32-bit Windows GUI programs built on Debian with mingw-w64,
# the programs that ship.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run the cross-built programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
