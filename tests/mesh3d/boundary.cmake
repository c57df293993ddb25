kalmora_test(test_mesh3d_boundary
  ${CMAKE_CURRENT_LIST_DIR}/test_boundary_faces.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_boundary_classify.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_boundary_values.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_boundary_sections.cpp
)
target_link_libraries(test_mesh3d_boundary PRIVATE kalmora_mesh3d kalmora_input)
target_include_directories(test_mesh3d_boundary PRIVATE ${PROJECT_SOURCE_DIR}/tests)
