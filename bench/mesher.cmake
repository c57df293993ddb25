# Block mesher timings (Google Benchmark); built only when the library is found.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(bench_mesher ${CMAKE_CURRENT_LIST_DIR}/bench_mesher.cpp)
  target_link_libraries(bench_mesher PRIVATE kalmora_mesh2d benchmark::benchmark kalmora_warnings)
else()
  message(STATUS "bench_mesher skipped: Google Benchmark not found")
endif()
