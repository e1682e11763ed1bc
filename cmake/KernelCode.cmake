# The Windows build of the kernel code. GCC's -ffreestanding still lets the
# hosted headers in, so the standard include paths are dropped altogether and
# only a short allow-list of freestanding headers is offered in their place:
# the compiler's self-contained stdint.h, and a stddef.h of our own (the
# toolchain's stddef.h, float.h and stdarg.h all chain into the C library's).
set(KALVEX_ALLOWED_HEADERS stdint.h stdint-gcc.h)

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include
  OUTPUT_VARIABLE KALVEX_GCC_INCLUDE OUTPUT_STRIP_TRAILING_WHITESPACE)
set(KALVEX_ALLOW_DIR ${CMAKE_BINARY_DIR}/kernel-headers)
file(MAKE_DIRECTORY ${KALVEX_ALLOW_DIR})
foreach(header ${KALVEX_ALLOWED_HEADERS})
  if(NOT EXISTS ${KALVEX_GCC_INCLUDE}/${header})
    message(FATAL_ERROR "freestanding header ${header} not found in ${KALVEX_GCC_INCLUDE}")
  endif()
  file(CREATE_LINK ${KALVEX_GCC_INCLUDE}/${header} ${KALVEX_ALLOW_DIR}/${header} SYMBOLIC)
endforeach()
file(COPY ${CMAKE_SOURCE_DIR}/cmake/kernel-headers/stddef.h DESTINATION ${KALVEX_ALLOW_DIR})

add_library(kalvex_kernel STATIC ${KALVEX_DRIVER_SOURCES})
target_include_directories(kalvex_kernel PRIVATE ${CMAKE_SOURCE_DIR}/driver ${CMAKE_SOURCE_DIR})
target_compile_definitions(kalvex_kernel PRIVATE KALVEX_KERNEL_BUILD=1)
target_compile_options(kalvex_kernel PRIVATE
  ${KALVEX_KERNEL_FLAGS} ${KALVEX_WARNING_FLAGS}
  -ffreestanding -nostdinc -nostdinc++ -isystem ${KALVEX_ALLOW_DIR}
  -fno-asynchronous-unwind-tables -fno-stack-protector -mno-stack-arg-probe)

# A kernel image has nobody to run static constructors: refuse any.
add_custom_command(TARGET kalvex_kernel POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DARCHIVE=$<TARGET_FILE:kalvex_kernel>
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckNoStaticConstructors.cmake
  VERBATIM)

# The kernel images over the WDM backend.
include(${CMAKE_SOURCE_DIR}/cmake/KalvexImage.cmake)
