kalmora_test(test_mesh2d_block
  ${CMAKE_CURRENT_LIST_DIR}/test_resample.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_block_mesh.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_block_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_mesh_check.cpp
)
target_link_libraries(test_mesh2d_block PRIVATE kalmora_mesh2d)
target_include_directories(test_mesh2d_block PRIVATE ${CMAKE_CURRENT_LIST_DIR})
