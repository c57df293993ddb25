kalmora_test(test_mesh3d_gen
  ${CMAKE_CURRENT_LIST_DIR}/test_gen_gr3d.cpp
)
target_link_libraries(test_mesh3d_gen PRIVATE kalmora_mesh3d)
target_include_directories(test_mesh3d_gen PRIVATE ${PROJECT_SOURCE_DIR}/tests)
