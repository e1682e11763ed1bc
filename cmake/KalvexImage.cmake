# The kernel images: Kalvex.sys over the WDM backend of our kernel interface,
# for i686 (the deliverable) and x86-64; and, on i686, the test-host image and
# the user-mode program that check the control device under Wine.
#
# The backend (driver/kernel/wdm/) is the only code that sees the platform's
# headers; it compiles with mingw-w64's include paths, the driver's logic
# (kalvex_kernel) with the allow-list. Both without a C runtime.
set(KALVEX_DDK_INCLUDE ${CMAKE_FIND_ROOT_PATH}/include/ddk)
if(NOT EXISTS ${KALVEX_DDK_INCLUDE}/ntddk.h)
  message(FATAL_ERROR "mingw-w64's kernel headers not found in ${KALVEX_DDK_INCLUDE}")
endif()
set(KALVEX_IMAGE_COMPILE_FLAGS ${KALVEX_KERNEL_FLAGS} -ffreestanding -fno-builtin -fno-asynchronous-unwind-tables
    -fno-stack-protector -mno-stack-arg-probe)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KALVEX_IMAGE_ARCH i386)
  set(KALVEX_IMAGE_ENTRY _DriverEntry@8)  # stdcall, two arguments
else()
  set(KALVEX_IMAGE_ARCH amd64)
  set(KALVEX_IMAGE_ENTRY DriverEntry)
endif()
# The driver package: kalvex.inf beside i386/Kalvex.sys and amd64/Kalvex.sys.
set(KALVEX_PACKAGE_DIR ${CMAKE_BINARY_DIR}/driver CACHE PATH "Where the driver package is assembled")
set(KALVEX_IMAGE_DIR ${KALVEX_PACKAGE_DIR}/${KALVEX_IMAGE_ARCH})

file(GLOB KALVEX_WDM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/driver/kernel/wdm/*.cpp)
add_library(kalvex_wdm STATIC ${KALVEX_WDM_SOURCES})
target_include_directories(kalvex_wdm PUBLIC ${CMAKE_SOURCE_DIR}/driver ${CMAKE_SOURCE_DIR})
target_include_directories(kalvex_wdm SYSTEM PUBLIC ${KALVEX_DDK_INCLUDE})
target_compile_definitions(kalvex_wdm PUBLIC KALVEX_KERNEL_BUILD=1)
target_compile_options(kalvex_wdm PUBLIC ${KALVEX_IMAGE_COMPILE_FLAGS} PRIVATE ${KALVEX_WARNING_FLAGS})
add_custom_command(TARGET kalvex_wdm POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DARCHIVE=$<TARGET_FILE:kalvex_wdm>
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckNoStaticConstructors.cmake
  VERBATIM)

# kalvex_kernel_image(NAME ENTRY_SOURCE OUTPUT_DIR): a native image whose
# entry is DriverEntry in ENTRY_SOURCE, linked against the kernel and the HAL
# only; the math routines come statically from mingw-w64's libmingwex. The
# build fails when the image imports anything else or is not native.
function(kalvex_kernel_image name entry_source output_dir)
  add_executable(${name} ${entry_source})
  set_target_properties(${name} PROPERTIES SUFFIX ".sys" RUNTIME_OUTPUT_DIRECTORY ${output_dir})
  target_compile_options(${name} PRIVATE ${KALVEX_WARNING_FLAGS})
  target_link_options(${name} PRIVATE -nostdlib -nostartfiles -shared -Wl,--subsystem,native
                      -Wl,--entry,${KALVEX_IMAGE_ENTRY} -Wl,--image-base,0x10000 -Wl,--dynamicbase -Wl,--nxcompat
                      -Wl,--exclude-all-symbols -s)
  target_link_libraries(${name} PRIVATE "$<LINK_GROUP:RESCAN,kalvex_kernel,kalvex_wdm,mingwex>" ntoskrnl hal gcc)
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DIMAGE=$<TARGET_FILE:${name}>
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckDriverImage.cmake
    VERBATIM)
endfunction()

kalvex_kernel_image(Kalvex ${CMAKE_SOURCE_DIR}/driver/kernel/wdm/entry/driver_entry.cpp ${KALVEX_IMAGE_DIR})

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  configure_file(${CMAKE_SOURCE_DIR}/driver/kalvex.inf ${KALVEX_PACKAGE_DIR}/kalvex.inf COPYONLY)

  # The 64-bit image: this same project configured in a directory of its own
  # with the x86-64 toolchain, building only Kalvex, into the same package.
  include(ExternalProject)
  ExternalProject_Add(kalvex_x64
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/x64
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-x86_64-mingw.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DKALVEX_PACKAGE_DIR=${KALVEX_PACKAGE_DIR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target Kalvex
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE)
  add_dependencies(Kalvex kalvex_x64)

  # The Wine check (scripts/wine-driver-check): Wine loads a legacy kernel
  # service but no plug-and-play filter, so the test host's entry stands up
  # a simulated audio device under the real add-device and starts it; the
  # user-mode program then talks to the control device.
  set(KALVEX_CHECK_DIR ${CMAKE_BINARY_DIR}/driver-check)
  kalvex_kernel_image(KalvexTestHost ${CMAKE_SOURCE_DIR}/driver/kernel/wdm/test_host/test_host_entry.cpp
                      ${KALVEX_CHECK_DIR})
  add_executable(kalvex_control_check ${CMAKE_SOURCE_DIR}/tests/driver-wine/kalvex_control_check.cpp)
  set_target_properties(kalvex_control_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KALVEX_CHECK_DIR})
  target_include_directories(kalvex_control_check PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(kalvex_control_check PRIVATE UNICODE _UNICODE NOMINMAX)
  target_compile_options(kalvex_control_check PRIVATE -Wall -Wextra -Wshadow -Werror)
  target_link_libraries(kalvex_control_check PRIVATE gtest gtest_main)
  target_link_options(kalvex_control_check PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(KalvexTestHost kalvex_control_check)
endif()
