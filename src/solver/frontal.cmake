# Frontal equation solver and the shared calling sequence of a field solve.
add_library(kalmora_frontal STATIC
  ${CMAKE_CURRENT_LIST_DIR}/frontal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sol_def.cpp
)
target_link_libraries(kalmora_frontal PUBLIC kalmora_core kalmora_warnings)
