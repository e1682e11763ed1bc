# What both mingw-w64 toolchains share, for the triple KALVEX_MINGW_TRIPLE:
# the -posix compilers (the application's tests need them for GoogleTest; the
# freestanding kernel code does not depend on the thread model) and a find
# root that keeps the host's libraries and headers out.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KALVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KALVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KALVEX_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${KALVEX_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KALVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
