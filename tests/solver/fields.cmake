kalmora_test(test_fields
  ${CMAKE_CURRENT_LIST_DIR}/test_dense_inverse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_flow_stress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_flow_element.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_rheology.cpp
)
target_link_libraries(test_fields PRIVATE kalmora_fields)
