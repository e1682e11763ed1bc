# Cross-compiling for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64). Used for the 64-bit kernel image, which the
# windows-x86 build configures and builds in a directory of its own.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KALVEX_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
