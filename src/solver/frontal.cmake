# Frontal equation solver and the shared calling sequence of a field solve.
add_library(kalmora_frontal STATIC
  ${CMAKE_CURRENT_LIST_DIR}/frontal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sol_def.cpp
)
target_link_libraries(kalmora_frontal PUBLIC kalmora_core kalmora_warnings)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # The front kernels have run-time trip counts; at -O2 GCC's default cost
  # model leaves such loops scalar.
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/frontal.cpp PROPERTIES
    COMPILE_OPTIONS "-fvect-cost-model=dynamic")
endif()
