# Field problems: dense inversion, flow stress law, nodal rheology and the
# flow element matrix.
add_library(kalmora_fields STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dense_inverse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flow_stress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flow_element.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rheology.cpp
)
target_link_libraries(kalmora_fields PUBLIC kalmora_fem kalmora_core kalmora_warnings)
