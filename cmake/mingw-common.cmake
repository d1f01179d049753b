# What both cross toolchains share; the including file sets TOOLCHAIN_PREFIX
# and CMAKE_SYSTEM_PROCESSOR first.
# The posix-threads flavour is used throughout because GoogleTest needs
# std::condition_variable; everything links statically either way. The
# programs themselves are built so that they link none of the threads
# library (see KOPIWA_PRODUCT_COMPILE_OPTIONS).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
# The static checks read the programs with the cross objdump; the host's one
# may not know the format, and a cache could hold it.
set(CMAKE_OBJDUMP      ${TOOLCHAIN_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
