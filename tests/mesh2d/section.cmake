kalmora_test(test_mesh2d_section
  ${CMAKE_CURRENT_LIST_DIR}/test_measures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_outline_file.cpp
)
target_link_libraries(test_mesh2d_section PRIVATE kalmora_mesh2d)
target_compile_definitions(test_mesh2d_section PRIVATE KALMORA_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
