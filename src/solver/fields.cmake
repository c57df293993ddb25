# Field problems: dense inversion, flow stress law, nodal rheology and the
# flow element matrix.
add_library(kalmora_fields STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dense_inverse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flow_stress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flow_element.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rheology.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_solve.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flow_solve.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flow_force.cpp
  ${CMAKE_CURRENT_LIST_DIR}/temperature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/section_heat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/potential.cpp
)
target_link_libraries(kalmora_fields PUBLIC kalmora_frontal kalmora_fem kalmora_core kalmora_warnings)
