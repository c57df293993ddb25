# Block mesher: outline resampling, advancing-front triangulation, block
# operations and the mesh consistency checker.
target_sources(kalmora_mesh2d PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/resample.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_mesh.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mesh_check.cpp
)
