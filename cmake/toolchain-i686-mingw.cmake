# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
# The -posix compilers (posix thread model) are used for everything: the
# application's tests need them for GoogleTest, and the freestanding kernel
# library does not depend on the thread model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KALVEX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KALVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KALVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KALVEX_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${KALVEX_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KALVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
