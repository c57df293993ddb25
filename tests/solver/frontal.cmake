kalmora_test(test_frontal
  ${CMAKE_CURRENT_LIST_DIR}/test_frontal.cpp
)
target_link_libraries(test_frontal PRIVATE kalmora_frontal)
