# The native build: the driver's logic over the simulated kernel, the tests,
# the tools and the benchmarks.
if(KALVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(kalvex_driver STATIC ${KALVEX_DRIVER_SOURCES})
target_include_directories(kalvex_driver PUBLIC ${CMAKE_SOURCE_DIR}/driver ${CMAKE_SOURCE_DIR})
target_compile_options(kalvex_driver PRIVATE ${KALVEX_KERNEL_FLAGS} ${KALVEX_WARNING_FLAGS})

file(GLOB_RECURSE KALVEX_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*.cpp)
add_library(kalvex_sim STATIC ${KALVEX_SIM_SOURCES})
target_include_directories(kalvex_sim PUBLIC ${CMAKE_SOURCE_DIR}/sim ${CMAKE_SOURCE_DIR})
target_compile_options(kalvex_sim PRIVATE ${KALVEX_WARNING_FLAGS})
target_link_libraries(kalvex_sim PUBLIC kalvex_driver)
# The driver's kernel calls are answered by the simulated backend.
target_link_libraries(kalvex_driver INTERFACE kalvex_sim)

option(KALVEX_BUILD_TESTS "Build the native tests" ON)
if(KALVEX_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()

find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_subdirectory(bench)
endif()
add_subdirectory(tools)
