# Cross toolchain: the same sources as x86-64 Windows programs, for hosts whose
# kernel cannot run 32-bit code and so can only test under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run the cross-built programs under 64-bit Wine, named explicitly:
# Debian's wine script picks the 32-bit loader whenever wine32 is installed.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
