# Speed is measured here, never asserted in unit tests.
find_package(benchmark REQUIRED)
file(GLOB VIRL_BENCHMARKS_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/benchmarks/*.cpp")
if(VIRL_BENCHMARKS_SOURCES)
    add_executable(virl_benchmarks ${VIRL_BENCHMARKS_SOURCES})
    virl_link_shared_code(virl_benchmarks)
    target_link_libraries(virl_benchmarks PRIVATE benchmark::benchmark benchmark::benchmark_main)
endif()
