# Preparation of the bundled example variant (cross-sections, both volume
# meshes, boundary data, first result file); Google Benchmark.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(bench_prepare ${CMAKE_CURRENT_LIST_DIR}/bench_prepare.cpp)
  target_link_libraries(bench_prepare PRIVATE kalmora_run benchmark::benchmark kalmora_warnings)
  target_compile_definitions(bench_prepare PRIVATE KALMORA_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
else()
  message(STATUS "bench_prepare skipped: Google Benchmark not found")
endif()
