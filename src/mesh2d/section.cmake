add_library(kalmora_mesh2d STATIC
  ${CMAKE_CURRENT_LIST_DIR}/measures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/outline_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/outline_shapes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_gr_2d.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gen_gr2d.cpp
)
target_link_libraries(kalmora_mesh2d PUBLIC kalmora_core)
