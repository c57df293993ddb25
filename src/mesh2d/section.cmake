add_library(kalmora_mesh2d STATIC
  ${CMAKE_CURRENT_LIST_DIR}/measures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section_file.cpp
)
target_link_libraries(kalmora_mesh2d PUBLIC kalmora_core)
