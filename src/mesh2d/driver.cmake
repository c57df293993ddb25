# Cross-section driver: ring splitting and outline reduction.
target_sources(kalmora_mesh2d PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ring_split.cpp)
