kalmora_test(test_mesh2d_split
  ${CMAKE_CURRENT_LIST_DIR}/test_ring_split.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_ring_split_mesh.cpp
)
target_link_libraries(test_mesh2d_split PRIVATE kalmora_mesh2d)
