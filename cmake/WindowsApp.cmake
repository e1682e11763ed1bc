# The Windows application: Miravel.exe (GUI, Unicode, static runtime), its
# resource library Ostrel.dll, and the application's tests, which CTest runs
# under Wine (scripts/test-windows). All programs land in one folder, so that
# Miravel finds Ostrel by the system's library search and the tests find both.
enable_language(C RC)

set(MIRAVEL_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${MIRAVEL_BIN_DIR})

set(MIRAVEL_DEFINITIONS UNICODE _UNICODE NOMINMAX)
set(MIRAVEL_WARNING_FLAGS -Wall -Wextra -Wshadow -Werror)
set(MIRAVEL_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
set(MIRAVEL_SYSTEM_LIBRARIES gdiplus shlwapi psapi comctl32 version)

# Icons and silent sounds are drawn by a generator built for this machine.
find_program(MIRAVEL_HOST_CXX NAMES g++ c++ REQUIRED)
set(MIRAVEL_ART_DIR ${CMAKE_BINARY_DIR}/miravel-art)
file(MAKE_DIRECTORY ${MIRAVEL_ART_DIR})
add_custom_command(
  OUTPUT ${MIRAVEL_ART_DIR}/resgen
  COMMAND ${MIRAVEL_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -Werror -I${CMAKE_SOURCE_DIR}/app/resources
          ${CMAKE_SOURCE_DIR}/tools/resgen/resgen.cpp -o ${MIRAVEL_ART_DIR}/resgen
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/resgen/resgen.cpp ${CMAKE_SOURCE_DIR}/app/resources/miravel_ids.h
  COMMENT "Building the icon and sound generator"
  VERBATIM)
add_custom_command(
  OUTPUT ${MIRAVEL_ART_DIR}/miravel_art.rc
  COMMAND ${MIRAVEL_ART_DIR}/resgen ${MIRAVEL_ART_DIR}
  DEPENDS ${MIRAVEL_ART_DIR}/resgen
  COMMENT "Drawing Miravel's icons and writing its silent sounds"
  VERBATIM)

# Ostrel: strings (and later dialog templates) only, no code, no entry point.
add_library(Ostrel SHARED ${CMAKE_SOURCE_DIR}/app/ostrel/ostrel.rc)
set_target_properties(Ostrel PROPERTIES PREFIX "" LINKER_LANGUAGE C)
target_include_directories(Ostrel PRIVATE ${CMAKE_SOURCE_DIR}/app/ostrel)
target_link_options(Ostrel PRIVATE -nostdlib -Wl,-e,0)

# The application's code as a library, so that the tests link the same objects.
file(GLOB_RECURSE MIRAVEL_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/core/*.cpp ${CMAKE_SOURCE_DIR}/app/windows/*.cpp)
add_library(miravel_core STATIC ${MIRAVEL_CORE_SOURCES})
target_include_directories(miravel_core PUBLIC ${CMAKE_SOURCE_DIR}/app ${CMAKE_SOURCE_DIR})
target_compile_definitions(miravel_core PUBLIC ${MIRAVEL_DEFINITIONS})
target_compile_options(miravel_core PRIVATE ${MIRAVEL_WARNING_FLAGS})
target_link_libraries(miravel_core PUBLIC ${MIRAVEL_SYSTEM_LIBRARIES})

set(MIRAVEL_RC ${CMAKE_SOURCE_DIR}/app/resources/miravel.rc)
set_source_files_properties(${MIRAVEL_RC} PROPERTIES OBJECT_DEPENDS ${MIRAVEL_ART_DIR}/miravel_art.rc)
add_executable(Miravel WIN32 ${CMAKE_SOURCE_DIR}/app/main.cpp ${MIRAVEL_RC})
target_include_directories(Miravel PRIVATE ${CMAKE_SOURCE_DIR}/app/resources ${MIRAVEL_ART_DIR})
target_compile_options(Miravel PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${MIRAVEL_WARNING_FLAGS}>)
target_link_libraries(Miravel PRIVATE miravel_core)
target_link_options(Miravel PRIVATE ${MIRAVEL_STATIC_RUNTIME})
add_dependencies(Miravel Ostrel)

# GoogleTest from Debian's sources, built with the -posix cross compilers.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# One test executable, registered as one CTest test: each Wine process costs
# seconds, so all cases run in one. The emulator runs it under Wine.
enable_testing()
file(GLOB MIRAVEL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/app/*.cpp)
add_executable(app_tests ${MIRAVEL_TEST_SOURCES})
target_include_directories(app_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(app_tests PRIVATE ${MIRAVEL_WARNING_FLAGS})
target_link_libraries(app_tests PRIVATE miravel_core gtest gtest_main)
target_link_options(app_tests PRIVATE ${MIRAVEL_STATIC_RUNTIME})
set_target_properties(app_tests PROPERTIES CROSSCOMPILING_EMULATOR wine)
add_dependencies(app_tests Miravel Ostrel)
add_test(NAME app COMMAND app_tests --gtest_brief=1)
set_tests_properties(app PROPERTIES TIMEOUT 600)
