kalmora_test(test_mesh2d_section
  ${CMAKE_CURRENT_LIST_DIR}/test_measures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_outline_file.cpp
)
target_link_libraries(test_mesh2d_section PRIVATE kalmora_mesh2d)
target_compile_definitions(test_mesh2d_section PRIVATE KALMORA_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")

# Cross-section driver on a fixture set of real profile shapes.
kalmora_test(test_mesh2d_driver
  ${CMAKE_CURRENT_LIST_DIR}/test_run_gr_2d.cpp
)
target_link_libraries(test_mesh2d_driver PRIVATE kalmora_mesh2d kalmora_input)
target_include_directories(test_mesh2d_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests)
