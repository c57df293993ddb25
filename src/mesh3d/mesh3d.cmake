# Boundary classification and boundary data of the volume meshes.
target_sources(kalmora_mesh3d PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/boundary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boundary_classify.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boundary_faces.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boundary_values.cpp
  ${CMAKE_CURRENT_LIST_DIR}/volume_check.cpp
)
