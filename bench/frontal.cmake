# Frontal solver against UMFPACK of SuiteSparse; built only when UMFPACK is
# installed (the program itself does not use it).
find_path(UMFPACK_INCLUDE_DIR umfpack.h PATH_SUFFIXES suitesparse)
find_library(UMFPACK_LIBRARY umfpack)
if(UMFPACK_INCLUDE_DIR AND UMFPACK_LIBRARY)
  add_executable(bench_frontal ${CMAKE_CURRENT_LIST_DIR}/bench_frontal.cpp)
  target_include_directories(bench_frontal PRIVATE ${UMFPACK_INCLUDE_DIR})
  target_link_libraries(bench_frontal PRIVATE kalmora_frontal ${UMFPACK_LIBRARY} kalmora_warnings)
  # The mixed velocity-pressure flow system when the flow element exists,
  # else a scalar conduction system.
  if(TARGET kalmora_fields)
    target_link_libraries(bench_frontal PRIVATE kalmora_fields)
    target_compile_definitions(bench_frontal PRIVATE KALMORA_BENCH_FLOW)
  endif()
else()
  message(STATUS "bench_frontal skipped: UMFPACK of SuiteSparse not found (umfpack.h, libumfpack)")
endif()
