# Cross-compiling for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64). Used for the 64-bit kernel image, which the
# windows-x86 build configures and builds in a directory of its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(KALVEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KALVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KALVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KALVEX_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${KALVEX_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KALVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
