kalmora_test(test_mesh3d_gen
  ${CMAKE_CURRENT_LIST_DIR}/test_gen_gr3d.cpp
)
target_link_libraries(test_mesh3d_gen PRIVATE kalmora_mesh3d)
target_include_directories(test_mesh3d_gen PRIVATE ${PROJECT_SOURCE_DIR}/tests)

# Flow and thermal meshes of the profile fixture set, from outline file to wedges.
kalmora_test(test_mesh3d_fixtures
  ${CMAKE_CURRENT_LIST_DIR}/test_fixture_volumes.cpp
)
target_link_libraries(test_mesh3d_fixtures PRIVATE kalmora_mesh3d kalmora_input kalmora_post)
target_include_directories(test_mesh3d_fixtures PRIVATE ${PROJECT_SOURCE_DIR}/tests)
